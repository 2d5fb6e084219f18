#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include "SandboxRule.h"

int main(int argc, char** argv)
{
    testutil::disableSandboxForRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Run the loop once to its end so the windows the application owns are
    // released the way they are in the program.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
