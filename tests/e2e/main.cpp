#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
