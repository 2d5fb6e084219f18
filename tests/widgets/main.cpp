// Test entry for the widget tests: they need a QApplication, which
// gtest_main does not make.
#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>
#include "SandboxRule.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testutil::disableSandboxForRoot();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Run the loop once to its end so the windows the application owns are
    // released the way they are in the program.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
