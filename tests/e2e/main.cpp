#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTimer>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The search indexes of the windows go to a test cache, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Run the loop once to its end so the windows the application owns are
    // released the way they are in the program.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
