#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include "SandboxRule.h"

int main(int argc, char** argv)
{
    testutil::disableSandboxForRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The search indexes of the windows go to a test cache, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    // Sorted listings follow the user's language; the tests read English.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The window keeps per-user settings; the tests keep theirs in a folder
    // of their own, never in the user's.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Run the loop once to its end so the windows the application owns are
    // released the way they are in the program.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
