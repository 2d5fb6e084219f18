// The window's search under index faults: another window's update whose
// holder is killed (a child process of this program's own), a damaged
// index met by a search, a cache on a file
// system that became read-only. The status lines say what really happens,
// the update is taken over or redone on its own, and a search shown while
// the index was incomplete or damaged is asked again when the update ends.
#include <signal.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include "ChildRoles.h"
#include "FaultSupport.h"
#include "WindowFaultFixture.h"
#include "app/SearchPane.h"
#include "app/SearchResults.h"
#include "model/AtlasdeskOps.h"
#include "model/StoreIndexer.h"

namespace {

// The child that holds an index update's lock until it is killed:
//   faults_index_test --hold-index-update PROGRAM-FOLDER STORE INDEX-FILE MARK
// loads the configuration of PROGRAM-FOLDER, starts an update of INDEX-FILE
// from STORE committing every 10 data sets, and after the 50th data set
// writes the file MARK and waits for ever, holding the lock.
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
const faults::RegisterChildRole holder("--hold-index-update", holdIndexUpdate);

constexpr int kCount = 200;

class IndexWindowFaultTest : public WindowFaultFixture {
protected:
    void SetUp() override
    {
        WindowFaultFixture::SetUp();
        for (int i = 0; i < kCount; ++i) {
            const std::string rel = "d" + std::to_string(i / 50) + "/set" + std::to_string(i) + ".shp";
            testutil::writeFile(m_tree / rel, "x");
            testutil::writeFile(m_tree / (rel + ".xml"),
                                "<metadata><idinfo><citation><citeinfo><title>Common title " + std::to_string(i) +
                                    "</title></citeinfo></citation></idinfo></metadata>");
        }
    }
    SearchPane& pane() { return *window().searchPane; }
    StoreIndexer& indexer() { return *window().findChild<StoreIndexer*>(); }
    QString server() const { return serverName(m_tree.path()); }
    QString indexFile() { return window().searchIndexFile(m_tree.path()); }
    void useCache(const std::string& folder) { window().searchIndexFolder = QString::fromStdString(folder); }
    bool waitForIndex() { return QTest::qWaitFor([&] { return !indexer().isRunning(); }, 120000); }
    // Types `words`; true once an answer to them is shown.
    bool search(const QString& words)
    {
        const int before = pane().answersShown();
        pane().edSearch->clear();
        QTest::keyClicks(pane().edSearch, words);
        return QTest::qWaitFor([&] { return pane().answersShown() > before; }, 30000);
    }
    // Runs `sql` on a connection of the test's own to the index file.
    void onIndexFile(const char* sql)
    {
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
            db.setDatabaseName(indexFile());
            ASSERT_TRUE(db.open());
            EXPECT_TRUE(QSqlQuery(db).exec(QString::fromLatin1(sql))) << sql;
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    }

    testutil::TempDir m_cache;
};

// Another instance of the program holds the update of the index (it has
// committed part of a first build) and is killed. Meanwhile this window
// says so and searches what is there as an index still being built; within
// seconds of the death it takes the update over, and the search it showed
// is asked again when the index is complete.
TEST_F(IndexWindowFaultTest, AnotherWindowTakesOverWhenTheUpdatesHolderIsKilled)
{
    useCache(m_cache.path());
    const std::string mark = m_work / "holding";
    QProcess holder;
    holder.setProcessChannelMode(QProcess::MergedChannels);
    holder.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                 {QStringLiteral("--hold-index-update"), QString::fromStdString(m_program.path()),
                  QString::fromStdString(m_tree.path()), indexFile(), QString::fromStdString(mark)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return testutil::exists(mark); }, 60000))
        << "the holder did not start its update: " << holder.readAll().toStdString();

    connectAndExpand();
    ASSERT_TRUE(QTest::qWaitFor([&] { return indexer().state() == StoreIndexer::State::WaitingForOtherUpdate; }, 30000));
    EXPECT_EQ(pane().stSearch->text(),
              QStringLiteral("Another Atlasdesk window is bringing the search index of %1 up to date").arg(server()));
    ASSERT_TRUE(search(QStringLiteral("common")));
    const int partial = pane().resultsModel->rowCount();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, kCount);
    EXPECT_EQ(pane().stSearch->text(),
              QStringLiteral("%1 data sets found \u2014 the index is still being built: %1 data sets indexed so far")
                  .arg(partial));

    const int answersBefore = pane().answersShown();
    ASSERT_EQ(::kill(pid_t(holder.processId()), SIGKILL), 0);
    ASSERT_TRUE(holder.waitForFinished(30000));
    QElapsedTimer sinceDeath;
    sinceDeath.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return indexer().state() != StoreIndexer::State::WaitingForOtherUpdate; }, 30000));
    EXPECT_LT(sinceDeath.elapsed(), 5000) << "the update was taken over only after " << sinceDeath.elapsed() << " ms";
    ASSERT_TRUE(waitForIndex());

    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().answersShown() > answersBefore; }, 30000))
        << "the search shown while the index was incomplete was not asked again";
    EXPECT_EQ(pane().resultsModel->rowCount(), kCount);
    EXPECT_EQ(pane().stSearch->text(), QStringLiteral("%1 data sets found").arg(kCount));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A search meets a damaged word index: it says so in words, the index is
// checked whole and rebuilt on its own, and the search is asked again.
TEST_F(IndexWindowFaultTest, ADamagedIndexMetByASearchIsRebuiltAndTheSearchAskedAgain)
{
    useCache(m_cache.path());
    connectAndExpand();
    ASSERT_TRUE(waitForIndex());
    onIndexFile("DELETE FROM titles_data WHERE id > 10");

    ASSERT_TRUE(search(QStringLiteral("common")));
    const int answersBefore = pane().answersShown();
    EXPECT_EQ(pane().stSearch->text(),
              QStringLiteral("The search index of %1 was damaged and is being rebuilt").arg(server()));
    EXPECT_TRUE(indexer().isRunning());
    ASSERT_TRUE(waitForIndex());
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().answersShown() > answersBefore; }, 30000))
        << "the search was not asked again after the rebuild";
    EXPECT_EQ(pane().resultsModel->rowCount(), kCount);
    EXPECT_EQ(pane().stSearch->text(), QStringLiteral("%1 data sets found").arg(kCount));
    EXPECT_EQ(window().lblTask->text(),
              QStringLiteral("Indexed %1 data sets; The search index of %2 was damaged and has been rebuilt")
                  .arg(kCount)
                  .arg(server()));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// The file system of the cache becomes read-only: Refresh says which folder
// cannot be written and why, claims no rebuild, and the complete index that
// is there is searched as such (not "still being built").
TEST_F(IndexWindowFaultTest, ACacheThatBecameReadOnlyIsSearchedAndSaysWhy)
{
    faults::TmpfsMount cache(m_cache.path(), 4 * 1024 * 1024);
    if (!cache.ok())
        GTEST_SKIP() << "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " << cache.error();
    useCache(m_cache.path());
    const QModelIndex root = connectAndExpand();
    ASSERT_TRUE(waitForIndex());
    ASSERT_TRUE(cache.setReadOnly(true));

    window().tvXMLTree->setCurrentIndex(root);
    action("mnuRefresh")->trigger();
    waitForListings();
    ASSERT_TRUE(waitForIndex());
    const QString why = QStringLiteral("The search index of %1 cannot be written in %2 (Read-only file system); "
                                       "searches use the index that is there")
                            .arg(server(), QString::fromStdString(m_cache.path()).chopped(1));
    EXPECT_EQ(pane().stSearch->text(), why);
    EXPECT_EQ(window().lblTask->text(), why);

    ASSERT_TRUE(search(QStringLiteral("common")));
    EXPECT_EQ(pane().resultsModel->rowCount(), kCount);
    EXPECT_EQ(pane().stSearch->text(), QStringLiteral("%1 data sets found").arg(kCount));
    cache.setReadOnly(false);
}

// The disk of the cache is full before the first build got far: the status
// line says so, and a search finds what was indexed, saying the index is
// incomplete (no update runs any more), not that it is still being built.
TEST_F(IndexWindowFaultTest, AFirstBuildStoppedByAFullDiskLeavesAnIncompleteIndexNotOneBeingBuilt)
{
    faults::TmpfsMount cache(m_cache.path(), 96 * 1024);
    if (!cache.ok())
        GTEST_SKIP() << "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " << cache.error();
    useCache(m_cache.path());
    connectAndExpand();
    ASSERT_TRUE(waitForIndex());
    EXPECT_EQ(pane().stSearch->text(),
              QStringLiteral("The disk is full: the search index of %1 cannot be brought up to date in %2, "
                             "so the update was stopped; searches use the index that is there")
                  .arg(server(), QString::fromStdString(m_cache.path()).chopped(1)));

    ASSERT_TRUE(search(QStringLiteral("common")));
    const int found = pane().resultsModel->rowCount();
    EXPECT_LT(found, kCount);
    const QString count = found == 0 ? QStringLiteral("No data set found")
                                     : QStringLiteral("%1 data set%2 found").arg(found).arg(found == 1 ? "" : "s");
    EXPECT_EQ(pane().stSearch->text(),
              count + QStringLiteral(" \u2014 the index is incomplete: %1 data sets indexed").arg(found));
}

} // namespace
