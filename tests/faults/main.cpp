// Test entry of the fault tests: a QApplication made with shared OpenGL
// contexts (the window's browser panes need it), English listings, and the
// event loop run to its end once so that windows the application owns are
// released as in the program. A program started with the option of a
// registered child role plays that role instead (see ChildRoles.h).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>

#include "ChildRoles.h"
#include "SandboxRule.h"

int main(int argc, char** argv)
{
    if (argc > 1) {
        const auto role = faults::childRoles().find(argv[1]);
        if (role != faults::childRoles().end())
            return role->second(argc, argv);
    }
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
