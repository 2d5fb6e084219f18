// The search index under faults made on purpose, on real SQLite files: a
// damaged page of each table, damaged word and extent indexes, a lock that
// another program holds on the file, a cache folder its user may not write,
// a full disk. Whatever happens, the update and the searches say what really
// happened, in words, and the index is rebuilt only when it is damaged.
//
// The read-only folder cases run as nobody when the suite runs as root
// (root is not stopped by permission bits); the full disk is a small tmpfs,
// which needs CAP_SYS_ADMIN (skipped with the reason elsewhere).
#include <sys/statvfs.h>
#include <sys/stat.h>

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <filesystem>
#include <random>

#include "FaultSupport.h"
#include "OrdinaryUser.h"
#include "SearchTestSupport.h"
#include "app/BrowserPane.h"
#include "model/LocalSearch.h"
#include "xml/MetadataView.h"
#include "xml/TemporaryDocument.h"
#include "xml/XslTransform.h"

using namespace searchtest;

namespace {

// A connection of the test's own to an SQLite file, on the calling thread:
// another program that holds the file, or reads what it holds.
class OutsideConnection {
public:
    explicit OutsideConnection(const QString& file)
        : m_name(QStringLiteral("outside-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(file);
        EXPECT_TRUE(m_db.open()) << m_db.lastError().text().toStdString();
    }
    ~OutsideConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    OutsideConnection(const OutsideConnection&) = delete;
    OutsideConnection& operator=(const OutsideConnection&) = delete;

    // Runs `sql`; the values of the first column, or the error's text as
    // the only value.
    QStringList exec(const QString& sql)
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            return {QStringLiteral("error: ") + q.lastError().text()};
        QStringList values;
        while (q.next())
            values << q.value(0).toString();
        return values;
    }

private:
    QString m_name;
    QSqlDatabase m_db;
};

bool mentionsSql(const QString& text)
{
    for (const char* word : {"SELECT", "INSERT", "FROM ", "WHERE", "MATCH"})
        if (text.contains(QLatin1String(word)))
            return true;
    return false;
}

class IndexFaultTest : public StoreFixture {
protected:
    static constexpr int kCount = 300;

    // kCount data sets in six folders, each titled "Common title <n>" with
    // a box, indexed.
    void buildIndex(const std::string& abstract = "Surveyed rivers and lakes")
    {
        for (int i = 0; i < kCount; ++i)
            dataset("d" + std::to_string(i / 50) + "/set" + std::to_string(i) + ".shp",
                    {"Common title " + std::to_string(i), abstract, "Geneva", 6.0 + i % 10, 7.0 + i % 10, 46, 47});
        const IndexReport r = update();
        ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        ASSERT_EQ(r.read, kCount);
    }

    // The server's name as the messages give it.
    QString server() const { return serverName(m_store.path()); }

    SearchAnswer searchWords(const QString& words)
    {
        SearchQuery q;
        q.words = words;
        q.categories = {catVector};
        return runIndexSearch(indexFile(), q);
    }
    SearchAnswer searchWorld()
    {
        SearchQuery q;
        q.extent = GeoBox{};
        q.categories = {catVector};
        return runIndexSearch(indexFile(), q);
    }

    // The leaf pages of `table`, from SQLite's page statistics.
    std::vector<int> leafPages(const QString& table)
    {
        OutsideConnection db(indexFile());
        std::vector<int> pages;
        for (const QString& page :
             db.exec(QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = 'leaf' ORDER BY pageno")
                         .arg(table)))
            pages.push_back(page.toInt());
        return pages;
    }

    // Overwrites page `page` (from 1) of the index file with random bytes.
    void damagePage(int page)
    {
        const std::string file = indexFile().toStdString();
        std::string bytes = testutil::readFile(file);
        const size_t size = 4096;
        ASSERT_LE(page * size, bytes.size());
        std::mt19937 noise{unsigned(page)};
        for (size_t i = (page - 1) * size; i < page * size; ++i)
            bytes[i] = char(noise());
        testutil::writeFile(file, bytes);
    }

    // updateStoreIndex, keeping what it tells on the way.
    IndexReport updateTelling(QStringList& notices, const IndexSettings& s)
    {
        return updateStoreIndex(s, {}, {}, [&](const QString& text) { notices << text; });
    }
};

// A page of each table overwritten with random bytes: a search never takes
// the damage for the end of its rows and never shows a statement; the next
// update (even one with nothing to read) finds the damage when it opens the
// file, says so in words, and builds the index again once, without
// duplicates.
TEST_F(IndexFaultTest, ADamagedPageOfEachTableIsFoundAndRebuiltOnce)
{
    for (const char* table : {"datasets", "contents", "terms", "titles_data", "labels_data", "texts_data", "boxes_node"}) {
        SCOPED_TRACE(table);
        SearchIndex::discard(indexFile());
        ASSERT_NO_FATAL_FAILURE(buildIndex());
        const std::vector<int> pages = leafPages(QString::fromLatin1(table));
        ASSERT_FALSE(pages.empty());
        ASSERT_NO_FATAL_FAILURE(damagePage(pages[pages.size() / 2]));

        for (const SearchAnswer& a : {searchWords(QStringLiteral("common")), searchWorld()}) {
            if (a.fault == IndexFault::None) {
                EXPECT_EQ(a.hits.size(), size_t(kCount)) << "a damaged page passed for the end of the rows";
            } else {
                EXPECT_EQ(a.fault, IndexFault::Damaged) << a.error.toStdString();
                EXPECT_FALSE(mentionsSql(a.error)) << a.error.toStdString();
            }
        }

        QStringList notices;
        const IndexReport r = updateTelling(notices, settings());
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(notices, QStringList{QStringLiteral("The search index of %1 was damaged and is being rebuilt").arg(server())});
        EXPECT_EQ(r.notice, QStringLiteral("The search index of %1 was damaged and has been rebuilt").arg(server()));
        EXPECT_EQ(r.read, kCount) << "everything is read again, once";
        EXPECT_EQ(SearchIndex(indexFile()).datasetCount(), kCount) << "no data set twice";
        EXPECT_EQ(searchWords(QStringLiteral("common")).hits.size(), size_t(kCount));
        EXPECT_EQ(searchWorld().hits.size(), size_t(kCount));
        EXPECT_EQ(OutsideConnection(indexFile()).exec(QStringLiteral("PRAGMA quick_check")), QStringList{"ok"});
    }
}

// A page that is damaged after the file was opened and checked: the read
// that meets it fails, instead of taking the damage for the end of the rows
// (every data set past it would then be taken as new and written twice).
TEST_F(IndexFaultTest, AReadThatMeetsDamageFailsInsteadOfEndingEarly)
{
    ASSERT_NO_FATAL_FAILURE(buildIndex());
    const std::vector<int> pages = leafPages(QStringLiteral("datasets"));
    ASSERT_GT(pages.size(), 2u);
    SearchIndex index(indexFile());
    ASSERT_NO_FATAL_FAILURE(damagePage(pages[pages.size() / 2]));
    try {
        const size_t read = index.indexedFiles().size();
        ADD_FAILURE() << read << " data sets read from a damaged table, no error";
    } catch (const SearchIndexError& e) {
        EXPECT_EQ(e.fault(), IndexFault::Damaged) << e.what();
    }
}

// Damage inside the word and extent indexes that leaves every page well
// formed (a lost block of words, a lost node of the extents' tree): a search that meets it says the index is damaged (no statement);
// the quick check of an ordinary update does not see it, the thorough check
// does, which runs when a search met damage or when the last writer was
// killed (it left the file marked as being written).
TEST_F(IndexFaultTest, DamagedWordOrExtentIndexesAreFoundByTheThoroughCheck)
{
    const struct {
        const char* what;
        const char* spoil;
    } damages[] = {
        {"word index", "DELETE FROM titles_data WHERE id > 10"},
        {"extent index", "DELETE FROM boxes_node WHERE nodeno = (SELECT max(nodeno) FROM boxes_node)"},
    };
    const struct {
        const char* why;
        bool thoroughly;
        bool killedWriter;
        bool rebuilt;
    } checks[] = {
        {"an ordinary update", false, false, false},
        {"a search met damage", true, false, true},
        {"the last writer was killed", false, true, true},
    };
    for (const auto& damage : damages) {
        for (const auto& check : checks) {
            SCOPED_TRACE(std::string(damage.what) + ", " + check.why);
            SearchIndex::discard(indexFile());
            ASSERT_NO_FATAL_FAILURE(buildIndex());
            {
                OutsideConnection db(indexFile());
                ASSERT_TRUE(db.exec(QString::fromLatin1(damage.spoil)).isEmpty());
                if (check.killedWriter) {
                    ASSERT_TRUE(db.exec(QStringLiteral("UPDATE meta SET value = '1' WHERE key = 'writing'")).isEmpty());
                }
            }
            const SearchAnswer a = damage.what == std::string("word index") ? searchWords(QStringLiteral("common"))
                                                                            : searchWorld();
            EXPECT_EQ(a.fault, IndexFault::Damaged) << a.error.toStdString();
            EXPECT_FALSE(mentionsSql(a.error)) << a.error.toStdString();

            IndexSettings s = settings();
            s.checkThoroughly = check.thoroughly;
            QStringList notices;
            const IndexReport r = updateTelling(notices, s);
            EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
            EXPECT_EQ(!r.notice.isEmpty(), check.rebuilt) << r.notice.toStdString();
            EXPECT_EQ(r.read, check.rebuilt ? kCount : 0);
            if (check.rebuilt) {
                EXPECT_EQ(searchWords(QStringLiteral("common")).hits.size(), size_t(kCount));
                EXPECT_EQ(searchWorld().hits.size(), size_t(kCount));
            }
        }
    }
}

// Another program holds the file (BEGIN EXCLUSIVE on a connection of its
// own): the update waits for it, then stops and says the index is in use;
// the file is not taken for damaged, not deleted, not rebuilt. The
// background indexer says it will try again, and does.
TEST_F(IndexFaultTest, ALockHeldByAnotherProgramIsNotDamage)
{
    ASSERT_NO_FATAL_FAILURE(buildIndex());
    dataset("d0/set0.shp", {"Changed title", "", ""});
    touch(m_store / "d0/set0.shp.xml", 2000000000);
    struct stat before {};
    ASSERT_EQ(::stat(indexFile().toStdString().c_str(), &before), 0);
    IndexSettings s = settings();
    s.lockWaitMs = 300;
    s.lockRetryMs = 1000;
    {
        OutsideConnection other(indexFile());
        ASSERT_TRUE(other.exec(QStringLiteral("BEGIN EXCLUSIVE")).isEmpty());
        QStringList notices;
        const IndexReport r = updateTelling(notices, s);
        EXPECT_EQ(r.fault, IndexFault::Locked);
        EXPECT_EQ(r.error, QStringLiteral("The search index of %1 is in use by another program").arg(server()));
        EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
        EXPECT_TRUE(r.notice.isEmpty()) << r.notice.toStdString();
        struct stat after {};
        ASSERT_EQ(::stat(indexFile().toStdString().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced under the other program";
        EXPECT_EQ(other.exec(QStringLiteral("SELECT count(*) FROM datasets")), QStringList{QString::number(kCount)});

        // The indexer waits and tries again once the file is free.
        StoreIndexer indexer;
        QSignalSpy told(&indexer, &StoreIndexer::notice);
        QSignalSpy finished(&indexer, &StoreIndexer::finished);
        indexer.start(s);
        ASSERT_TRUE(told.wait(30000));
        EXPECT_EQ(told.takeFirst().at(0).toString(),
                  QStringLiteral("The search index of %1 is in use by another program: the update tries again in 1 s")
                      .arg(server()));
        EXPECT_EQ(indexer.state(), StoreIndexer::State::WaitingForLock);
        EXPECT_FALSE(indexer.isUpdating()) << "no update runs while the file is held";
        QTest::qWait(1500);
        EXPECT_TRUE(finished.isEmpty());
        other.exec(QStringLiteral("ROLLBACK"));
        ASSERT_TRUE(finished.wait(30000));
        const IndexReport done = finished.takeFirst().at(0).value<IndexReport>();
        EXPECT_TRUE(done.error.isEmpty()) << done.error.toStdString();
        EXPECT_EQ(done.read, 1);
        EXPECT_TRUE(done.notice.isEmpty()) << done.notice.toStdString();
    }
    EXPECT_EQ(searchWords(QStringLiteral("changed")).hits.size(), 1u);
    EXPECT_EQ(searchWords(QStringLiteral("common")).hits.size(), size_t(kCount - 1));
}

// A cache folder its user may not write: the update says which folder and
// why and claims no rebuild; the index that is there is still searched,
// whole, also one an earlier version kept with a write-ahead log (which
// cannot be opened there without files beside it); without an index the
// search finds nothing and does not claim one is being built.
TEST_F(IndexFaultTest, AnUnwritableCacheFolderIsSearchedAsItIs)
{
    if (!faults::asOrdinaryUser())
        return;
    const std::string folder = m_cache.path();
    const QString where = QDir::toNativeSeparators(QString::fromStdString(folder)).chopped(1);
    for (const bool writeAheadLog : {false, true}) {
        SCOPED_TRACE(writeAheadLog ? "kept with a write-ahead log" : "kept with a rollback journal");
        ::chmod(folder.c_str(), 0755);
        SearchIndex::discard(indexFile());
        ASSERT_NO_FATAL_FAILURE(buildIndex());
        if (writeAheadLog) {
            ASSERT_EQ(OutsideConnection(indexFile()).exec(QStringLiteral("PRAGMA journal_mode=WAL")), QStringList{"wal"});
        }
        const std::string before = testutil::readFile(indexFile().toStdString());
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

        QStringList notices;
        const IndexReport r = updateTelling(notices, settings());
        EXPECT_EQ(r.fault, IndexFault::Unwritable);
        EXPECT_EQ(r.error, QStringLiteral("The search index of %1 cannot be written in %2 (Permission denied); "
                                          "searches use the index that is there")
                               .arg(server(), where));
        EXPECT_TRUE(r.notice.isEmpty() && notices.isEmpty()) << "nothing was rebuilt";
        EXPECT_EQ(testutil::readFile(indexFile().toStdString()), before);

        const SearchAnswer a = searchWords(QStringLiteral("common"));
        EXPECT_EQ(a.fault, IndexFault::None) << a.error.toStdString();
        EXPECT_EQ(a.hits.size(), size_t(kCount));
        EXPECT_TRUE(a.complete);
        EXPECT_EQ(a.indexed, kCount);
        EXPECT_EQ(testutil::entries(folder), std::vector<std::string>{"index.sqlite"});
    }

    ::chmod(folder.c_str(), 0755);
    SearchIndex::discard(indexFile());
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const IndexReport r = update();
    EXPECT_EQ(r.error, QStringLiteral("The search index of %1 cannot be written in %2 (Permission denied); "
                                      "there is no index to search yet")
                           .arg(server(), where));
    const SearchAnswer a = searchWords(QStringLiteral("common"));
    EXPECT_EQ(a.fault, IndexFault::None) << a.error.toStdString();
    EXPECT_TRUE(a.hits.empty());
    EXPECT_FALSE(a.complete);
    ::chmod(folder.c_str(), 0755);
}

// The disk of the cache fills up during the first build: the update stops
// at once with a message that says so, nothing is built twice, nothing is
// left beside the index, and the index holds what was committed (a sound
// file, searched as incomplete). With room again, the next update reads
// only what is missing.
TEST_F(IndexFaultTest, AFullDiskStopsTheUpdateAtOnceAndLeavesNothingBehind)
{
    constexpr int kStore = 1500;
    for (int i = 0; i < kStore; ++i)
        dataset("d" + std::to_string(i / 100) + "/set" + std::to_string(i) + ".shp",
                {"Title " + std::to_string(i), "Abstract " + std::to_string(i * 7919) + std::string(600, 'a'), "Geneva"});
    faults::TmpfsMount disk(m_cache.path(), 1024 * 1024);
    if (!disk.ok())
        GTEST_SKIP() << "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " << disk.error();
    QStringList notices;
    bool secondWalk = false;
    bool walked = false;
    IndexSettings s = settings();
    s.commitEvery = 50; // the program commits every 250 ms
    const IndexReport r = updateStoreIndex(
        s, {},
        [&](int, int total) {
            secondWalk = secondWalk || (walked && total == 0);
            walked = walked || total > 0;
        },
        [&](const QString& text) { notices << text; });
    EXPECT_EQ(r.fault, IndexFault::DiskFull);
    EXPECT_EQ(r.error, QStringLiteral("The disk is full: the search index of %1 cannot be brought up to date in %2, "
                                      "so the update was stopped; searches use the index that is there")
                           .arg(server(), QDir::toNativeSeparators(QString::fromStdString(m_cache.path())).chopped(1)));
    EXPECT_LT(r.read, kStore) << "the update went on after the disk was full";
    EXPECT_FALSE(secondWalk) << "the store was walked again";
    EXPECT_TRUE(notices.isEmpty() && r.notice.isEmpty()) << "nothing was rebuilt";
    EXPECT_EQ(testutil::entries(m_cache.path()), std::vector<std::string>{"index.sqlite"});
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(m_cache.path().c_str(), &fs), 0);
    EXPECT_GT(fs.f_bavail, 0u) << "the failed batch's room was given back";

    EXPECT_EQ(OutsideConnection(indexFile()).exec(QStringLiteral("PRAGMA quick_check")), QStringList{"ok"});
    SearchQuery q;
    q.words = QStringLiteral("title");
    q.categories = {catVector};
    q.limit = kStore;
    const SearchAnswer a = runIndexSearch(indexFile(), q);
    EXPECT_EQ(a.fault, IndexFault::None) << a.error.toStdString();
    EXPECT_FALSE(a.complete);
    EXPECT_GT(a.indexed, 0);
    EXPECT_EQ(a.hits.size(), size_t(a.indexed));

    // Room again: the rest is read, once.
    ASSERT_EQ(::mount(nullptr, m_cache.path().c_str(), nullptr, MS_REMOUNT, "size=64m"), 0);
    const IndexReport rest = update();
    EXPECT_TRUE(rest.error.isEmpty()) << rest.error.toStdString();
    EXPECT_EQ(rest.read, kStore - a.indexed);
    EXPECT_EQ(SearchIndex(indexFile()).datasetCount(), kStore);
}

// The Metadata page's scratch document on a full disk: the write error is
// told as such (the disk is full), never as a parse error of an empty or
// cut document.
TEST_F(IndexFaultTest, TheScratchDocumentOnAFullDiskSaysTheDiskIsFull)
{
    const std::string source = m_store / "roads.shp.xml";
    testutil::writeFile(source, metadata({"Roads", "Main roads", "Geneva"}));
    testutil::writeFile(m_program / "plain.xsl",
                        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                        "<xsl:template match=\"/\"><p><xsl:value-of select=\"//title\"/></p></xsl:template>"
                        "</xsl:stylesheet>");
    testutil::TempDir scratchMount;
    faults::TmpfsMount disk(scratchMount.path(), 64 * 1024);
    if (!disk.ok())
        GTEST_SKIP() << "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " << disk.error();
    ASSERT_TRUE(faults::TmpfsMount::fillWith(scratchMount / "filler"));

    try {
        writeTemporaryDocument(source, scratchMount / "direct.xml");
        ADD_FAILURE() << "a document that could not be written was taken as written";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write " + scratchMount / "direct.xml" + ": the disk is full");
    }
    std::filesystem::remove(scratchMount / "direct.xml");

    MetadataViewRequest request;
    request.page = MetadataPage::Rendered;
    request.dataPath = m_store / "roads.shp";
    request.metadataPath = source;
    request.stylesheetPath = m_program / "plain.xsl";
    request.scratchFolder = scratchMount.path();
    const MetadataView view = RenderMetadataView(request);
    EXPECT_NE(view.error.find("the disk is full"), std::string::npos) << view.error;
    EXPECT_EQ(view.error.find("well-formed"), std::string::npos) << view.error;
    std::vector<std::string> left = testutil::entries(scratchMount.path());
    EXPECT_EQ(left, std::vector<std::string>{"filler"}) << "a scratch file was left behind";
}

// A page too large to be shown directly goes through a temporary file:
// on a full disk the pane says so, instead of showing a page cut short or
// an error without a cause.
TEST_F(IndexFaultTest, APageWrittenForTheBrowserOnAFullDiskSaysTheDiskIsFull)
{
    testutil::TempDir temporary;
    faults::TmpfsMount disk(temporary.path(), 1024 * 1024);
    if (!disk.ok())
        GTEST_SKIP() << "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " << disk.error();
    // The pane makes its folder for such pages where TMPDIR says.
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temporary.path()));
    BrowserPane pane;
    RenderResult page;
    page.ok = true;
    page.html = "<html><body><p>" + std::string(2500000, 'x') + "</p><p>END-OF-PAGE</p></body></html>";
    QSignalSpy rendered(&pane, &BrowserPane::rendered);
    pane.showPage(m_store / "roads.shp.xml", page, m_store.path());
    if (tmpdir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmpdir);
    ASSERT_TRUE(rendered.wait(60000));
    EXPECT_FALSE(rendered.takeFirst().at(0).toBool()) << "the page was not shown, and said so";
    QString text;
    pane.view()->page()->toPlainText([&](const QString& shown) { text = shown; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }, 60000));
    EXPECT_TRUE(text.startsWith(QStringLiteral("The page is too large to be shown directly and could not be written "
                                               "to a temporary file in ")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(": the disk is full."))) << text.toStdString();
    EXPECT_EQ(testutil::entries(temporary.path()).size(), 1u) << "only the pane's own folder";
}

} // namespace
