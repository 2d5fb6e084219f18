// The view tests drive a real QWebEngineView, which needs a QApplication
// created with shared OpenGL contexts before anything else.
#include <QApplication>

#include <gtest/gtest.h>
#include "SandboxRule.h"

int main(int argc, char** argv)
{
    testutil::disableSandboxForRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
