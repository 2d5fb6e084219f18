#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include "SandboxRule.h"

// EndToEndTest.cpp: the test program run as a child by a test; -1 when it
// is not run so.
int runStateChild(int argc, char** argv);

int main(int argc, char** argv)
{
    testutil::disableSandboxForRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The search indexes of the windows go to a test cache, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    if (const int child = runStateChild(argc, argv); child >= 0)
        return child;
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
