// Test entry of the fault tests: a QApplication made with shared OpenGL
// contexts (the window's browser panes need it), English listings, and the
// event loop run to its end once so that windows the application owns are
// released as in the program.
#include <gtest/gtest.h>

#include <QApplication>
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
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
