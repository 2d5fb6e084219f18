// Test entry of the search index's fault tests: as main.cpp, and one more
// role, in which a child process holds an index update's lock until it is
// killed:
//   faults_index_test --hold-index-update PROGRAM-FOLDER STORE INDEX-FILE MARK
// loads the configuration of PROGRAM-FOLDER, starts an update of INDEX-FILE
// from STORE committing every 10 data sets, and after the 50th data set
// writes the file MARK and waits for ever, holding the lock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "SandboxRule.h"
#include "TestUtil.h"
#include "model/AtlasdeskOps.h"
#include "model/StoreIndexer.h"

namespace {

int holdIndexUpdate(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    QCoreApplication app(argc, argv);
    SetProgramFolder(argv[2]);
    testutil::ChangeDir inProgramFolder(argv[2]);
    LoadConfiguration();
    IndexSettings settings = IndexSettings::fromConfiguration(argv[3], QString::fromLocal8Bit(argv[4]));
    settings.commitEvery = 10;
    const std::string mark = argv[5];
    bool walked = false;
    int asked = 0;
    updateStoreIndex(
        settings,
        [&] {
            if (walked && ++asked == 50) {
                testutil::writeFile(mark, "holding");
                for (;;)
                    QThread::sleep(60);
            }
            return false;
        },
        [&](int, int total) { walked = walked || total > 0; });
    return 1; // never reached: the process is killed
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-index-update") == 0)
        return holdIndexUpdate(argc, argv);
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
