// The search index on real SQLite files: words, extents, incremental
// updates, damaged files and a search while an update runs.
#include <QLockFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <filesystem>
#include <future>
#include <utility>

#include "model/SearchService.h"
#include "SearchTestSupport.h"

using namespace searchtest;

namespace {

class SearchIndexTest : public StoreFixture {};

// One statement on a connection of its own to the SQLite file `file`.
void execute(const std::string& file, const char* sql)
{
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(QString::fromStdString(file));
        ASSERT_TRUE(db.open());
        EXPECT_TRUE(QSqlQuery(db).exec(QString::fromUtf8(sql))) << sql;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
}

TEST_F(SearchIndexTest, SqliteHasFullTextAndRTree)
{
    // The driver links the system's SQLite: both modules must be there.
    SearchIndex index(indexFile());
    EXPECT_EQ(index.rebuilt(), SearchIndex::Rebuilt::No);
    EXPECT_EQ(index.datasetCount(), 0);
    EXPECT_FALSE(index.isComplete());
}

TEST_F(SearchIndexTest, WordsIgnoreCaseAndAccentsAndMatchPrefixes)
{
    dataset("hydro/rivieres.shp", {"La Rivière Bleue", "Cours d'eau de Bretagne", "Quimper"});
    dataset("roads.shp", {"ROUTES nationales", "Réseau routier, forêts exclues", "Genève"});
    dataset("docs/notice.pdf", {"Notice", "", ""});
    const IndexReport r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.total, 3);
    EXPECT_EQ(r.read, 3);

    const struct {
        const char* words;
        QStringList expected;
    } cases[] = {
        {"riviere", {"hydro/rivieres.shp"}},          // accent left out in the query
        {"RIVIÈRE", {"hydro/rivieres.shp"}},          // accent and upper case in the query
        {"rivi", {"hydro/rivieres.shp"}},             // a word prefix
        {"ivi", {}},                                  // not the middle of a word
        {"forets", {"roads.shp"}},                    // the abstract
        {"geneve", {"roads.shp"}},                    // a place name
        {"planning", {"docs/notice.pdf", "hydro/rivieres.shp", "roads.shp"}}, // purpose, every one
        {"surveys", {"docs/notice.pdf", "hydro/rivieres.shp", "roads.shp"}},  // originator
        {"notice.pdf", {"docs/notice.pdf"}},          // the file name
        {"bleue routes", {}},                          // every word must match
        {"bleue riv", {"hydro/rivieres.shp"}},
        {"  ,;  ", {}},                                // no word at all
        {"\"bleue", {"hydro/rivieres.shp"}},           // quotes cannot break the expression
    };
    for (const auto& c : cases) {
        QStringList found = find(QString::fromUtf8(c.words));
        found.sort();
        EXPECT_EQ(found, c.expected) << c.words;
    }
    // Greyed categories are left out: documents only.
    EXPECT_EQ(find(QStringLiteral("planning"), {catDocument}), QStringList{QStringLiteral("docs/notice.pdf")});
}

TEST_F(SearchIndexTest, TitleMatchesComeFirst)
{
    // The abstract of the first says "lake" many times; only the second's title does.
    dataset("a_many.shp", {"Shores", "lake lake lake lake lake lakes of the lake district", ""});
    dataset("b_title.shp", {"Lake Geneva depths", "Soundings", ""});
    dataset("c_none.shp", {"Rivers", "No water bodies", ""});
    dataset("d_title.shp", {"Lakeside paths", "lake", ""});
    update();
    const QStringList found = find(QStringLiteral("lake"));
    ASSERT_EQ(found.size(), 3);
    EXPECT_TRUE(QStringList({found[0], found[1]}).contains(QStringLiteral("b_title.shp")));
    EXPECT_TRUE(QStringList({found[0], found[1]}).contains(QStringLiteral("d_title.shp")));
    EXPECT_EQ(found[2], QStringLiteral("a_many.shp"));
}

TEST_F(SearchIndexTest, ExtentsThatCrossAndThatDoNot)
{
    // A data set over Switzerland, one over the Pacific's date line (west > east), one without box.
    dataset("swiss.shp", {"Swiss", "", "", 5.9, 10.5, 45.8, 47.8});
    dataset("pacific.shp", {"Fiji", "", "", 177.0, -178.0, -19.0, -16.0});
    dataset("nobox.shp", {"Nowhere", "", "", 0, 0, 0, 0, false});
    update();
    const struct {
        const char* what;
        double w, e, s, n;
        QStringList expected;
    } cases[] = {
        {"inside", 7.0, 8.0, 46.0, 47.0, {"swiss.shp"}},
        {"overlapping a corner", 10.0, 12.0, 47.0, 49.0, {"swiss.shp"}},
        {"touching an edge", 10.5, 12.0, 46.0, 47.0, {"swiss.shp"}},
        {"around it", -10.0, 30.0, 30.0, 60.0, {"swiss.shp"}},
        {"north of it", 5.0, 11.0, 48.0, 50.0, {}},
        {"east of it", 11.0, 20.0, 45.0, 48.0, {}},
        {"over the date line", 170.0, -170.0, -20.0, -10.0, {"pacific.shp"}},
        {"west of the date line, crossing box widened", -179.0, -175.0, -20.0, -10.0, {"pacific.shp"}},
        {"the whole world", -180.0, 180.0, -90.0, 90.0, {"pacific.shp", "swiss.shp"}},
    };
    for (const auto& c : cases) {
        SearchQuery q;
        q.hasExtent = true;
        q.west = c.w, q.east = c.e, q.south = c.s, q.north = c.n;
        q.categories = {catVector};
        QStringList found = paths(q);
        found.sort();
        EXPECT_EQ(found, c.expected) << c.what;
    }
    // Words and extent combine.
    SearchQuery q;
    q.words = QStringLiteral("swiss");
    q.hasExtent = true;
    q.west = 100, q.east = 120, q.south = 0, q.north = 10;
    q.categories = {catVector};
    EXPECT_TRUE(paths(q).isEmpty());
    q.west = 0, q.east = 20, q.south = 40, q.north = 50;
    EXPECT_EQ(paths(q), QStringList{QStringLiteral("swiss.shp")});
    // The hit carries its box for the map.
    SearchIndex index(indexFile());
    const auto hits = index.search(q);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_TRUE(hits[0].hasExtent);
    EXPECT_NEAR(hits[0].west, 5.9, 1e-4);
    EXPECT_NEAR(hits[0].north, 47.8, 1e-4);
}

TEST_F(SearchIndexTest, ChangedAddedAndRemovedFilesArePickedUpIncrementally)
{
    dataset("keep.shp", {"Keep", "", ""});
    dataset("change.shp", {"Before", "", ""});
    dataset("remove.shp", {"Gone", "", ""});
    touch(m_store / "change.shp.xml", 1000000);
    IndexReport r = update();
    EXPECT_EQ(r.read, 3);
    EXPECT_EQ(find(QStringLiteral("before")), QStringList{QStringLiteral("change.shp")});

    r = update();
    EXPECT_EQ(r.read, 0) << "nothing changed, nothing is read";
    EXPECT_EQ(r.unchanged, 3);

    dataset("change.shp", {"After", "", ""});
    touch(m_store / "change.shp.xml", 2000000);
    dataset("new/added.shp", {"Added", "", ""});
    std::filesystem::remove(m_store / "remove.shp");
    std::filesystem::remove(m_store / "remove.shp.xml");
    r = update();
    EXPECT_EQ(r.total, 3);
    EXPECT_EQ(r.read, 2);
    EXPECT_EQ(r.unchanged, 1);
    EXPECT_EQ(r.removed, 1);
    EXPECT_TRUE(find(QStringLiteral("before")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("after")), QStringList{QStringLiteral("change.shp")});
    EXPECT_EQ(find(QStringLiteral("added")), QStringList{QStringLiteral("new/added.shp")});
    EXPECT_TRUE(find(QStringLiteral("gone")).isEmpty());
    EXPECT_TRUE(find(QStringLiteral("remove")).isEmpty());
    SearchIndex index(indexFile());
    EXPECT_EQ(index.datasetCount(), 3);
    EXPECT_TRUE(index.isComplete());
}

TEST_F(SearchIndexTest, DeletedOrJunkOrForeignIndexIsRebuilt)
{
    dataset("a.shp", {"Alpha", "", ""});
    dataset("b.shp", {"Beta", "", ""});
    ASSERT_EQ(update().read, 2);

    const struct {
        const char* what;
        std::function<void(const std::string&)> spoil;
        bool noticed;
    } cases[] = {
        {"deleted", [](const std::string& f) { std::filesystem::remove(f); }, false},
        {"junk", [](const std::string& f) { testutil::writeFile(f, std::string(5000, 'x')); }, true},
        {"empty", [](const std::string& f) { testutil::writeFile(f, ""); }, false},
        {"damaged pages",
         [](const std::string& f) {
             // The header stays, every page after the first is overwritten.
             std::string bytes = testutil::readFile(f);
             for (size_t i = 4096; i < bytes.size(); ++i)
                 bytes[i] = char(i * 7);
             testutil::writeFile(f, bytes);
         },
         true},
        {"another format",
         [](const std::string& f) { execute(f, "UPDATE meta SET value = 'atlasdesk-search-0' WHERE key = 'format'"); },
         true},
        {"a database of someone else",
         [](const std::string& f) {
             std::filesystem::remove(f);
             execute(f, "CREATE TABLE t(x)");
         },
         true},
    };
    for (const auto& c : cases) {
        for (const char* suffix : {"-wal", "-shm"})
            std::filesystem::remove(indexFile().toStdString() + suffix);
        c.spoil(indexFile().toStdString());
        const IndexReport r = update();
        EXPECT_TRUE(r.error.isEmpty()) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(!r.notice.isEmpty(), c.noticed) << c.what << ": " << r.notice.toStdString();
        EXPECT_EQ(r.read, 2) << c.what << ": everything is read again";
        EXPECT_EQ(find(QStringLiteral("alpha")), QStringList{QStringLiteral("a.shp")}) << c.what;
    }
}

TEST_F(SearchIndexTest, ConfiguredFieldPathsAndEncodingsAreRead)
{
    // The title comes from wherever the configuration says.
    testutil::writeFile(m_program / "AtlasdeskView.ini.xml",
                        std::string(kConfig).replace(std::string(kConfig).find("idinfo/citation/citeinfo/title"),
                                                     30, "custom/name"));
    LoadConfiguration();
    testutil::writeFile(m_store / "custom.shp", "x");
    testutil::writeFile(m_store / "custom.shp.xml",
                        "<metadata><custom><name>Zebra crossings</name></custom></metadata>");
    // UTF-16 with a byte-order mark.
    const std::u16string utf16 = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><metadata><idinfo><descript>"
                                 u"<abstract>Lac Léman</abstract></descript></idinfo></metadata>";
    testutil::writeFile(m_store / "wide.shp", "x");
    testutil::writeFile(m_store / "wide.shp.xml",
                        std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
    // Declared ISO-8859-1 but written in windows-1252 (0x96 is an en dash there).
    testutil::writeFile(m_store / "latin.shp", "x");
    testutil::writeFile(m_store / "latin.shp.xml",
                        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><metadata><idinfo><descript>"
                        "<abstract>Ch\xE2teau \x96 for\xEAt</abstract></descript></idinfo></metadata>");
    // A windows-1252 file name.
    testutil::writeFile(m_store / "r\xE9seau.shp", "x");
    // Malformed metadata: counted and listed, the data set stays findable by name.
    testutil::writeFile(m_store / "broken.shp", "x");
    testutil::writeFile(m_store / "broken.shp.xml", "<metadata><idinfo>");
    const IndexReport r = update();
    EXPECT_EQ(r.total, 5);
    EXPECT_EQ(r.unreadable.size(), 1);
    EXPECT_TRUE(r.unreadable.value(0).startsWith(QStringLiteral("broken.shp: "))) << r.unreadable.value(0).toStdString();
    EXPECT_EQ(find(QStringLiteral("zebra")), QStringList{QStringLiteral("custom.shp")});
    EXPECT_EQ(find(QStringLiteral("leman")), QStringList{QStringLiteral("wide.shp")});
    EXPECT_EQ(find(QStringLiteral("foret chateau")), QStringList{QStringLiteral("latin.shp")});
    EXPECT_EQ(find(QStringLiteral("reseau")), QStringList{QStringLiteral("réseau.shp")});
    EXPECT_EQ(find(QStringLiteral("broken")), QStringList{QStringLiteral("broken.shp")});
}

// With the shipped field map, a document of the newer format (dataIdInfo)
// is found by its title, purpose and extent like one of the older profile;
// a document with both is titled by the older section, as the catalogue and
// the pages title it.
TEST_F(SearchIndexTest, ShippedFieldMapFindsOlderAndNewerFormats)
{
    std::filesystem::copy_file(ATLASDESK_SOURCE_DIR "/data/AtlasdeskView.ini.xml",
                               m_program / "AtlasdeskView.ini.xml",
                               std::filesystem::copy_options::overwrite_existing);
    LoadConfiguration();
    const std::string older = "<idinfo><citation><citeinfo><title>Older rivers</title></citeinfo></citation>"
                              "<descript><purpose>Flood planning</purpose></descript><spdom><bounding>"
                              "<westbc>6.0</westbc><eastbc>7.0</eastbc><northbc>47.0</northbc><southbc>46.0</southbc>"
                              "</bounding></spdom></idinfo>";
    const std::string newer = "<dataIdInfo><idCitation><resTitle>Newer lakes</resTitle></idCitation>"
                              "<idPurp>Shoreline survey</idPurp><dataExt><geoEle><GeoBndBox><westBL>-71.5</westBL>"
                              "<eastBL>-70.5</eastBL><northBL>43.0</northBL><southBL>42.0</southBL></GeoBndBox>"
                              "</geoEle></dataExt></dataIdInfo>";
    for (const auto& [name, body] : {std::pair<std::string, std::string>{"older.shp", older},
                                     {"newer.shp", newer},
                                     {"both.shp", older + newer}}) {
        testutil::writeFile(m_store / name, "x");
        testutil::writeFile(m_store / (name + ".xml"), "<metadata>" + body + "</metadata>");
    }
    const IndexReport r = update();
    ASSERT_EQ(r.total, 3);
    EXPECT_TRUE(r.unreadable.isEmpty());
    EXPECT_EQ(find(QStringLiteral("lakes")), QStringList{QStringLiteral("newer.shp")})
        << "both.shp is titled by its older section, and its newer title is not a field it is read by";
    EXPECT_EQ(find(QStringLiteral("shoreline")), QStringList{QStringLiteral("newer.shp")});
    QStringList rivers = find(QStringLiteral("rivers"));
    rivers.sort();
    EXPECT_EQ(rivers, (QStringList{QStringLiteral("both.shp"), QStringLiteral("older.shp")}));

    SearchQuery nearBoston;
    nearBoston.hasExtent = true;
    nearBoston.west = -72, nearBoston.east = -70, nearBoston.south = 41, nearBoston.north = 44;
    nearBoston.categories = {2};
    EXPECT_EQ(paths(nearBoston), QStringList{QStringLiteral("newer.shp")});
}

TEST_F(SearchIndexTest, TheTreesRulesDecideWhatIsADataSet)
{
    dataset("a.shp", {"Shape", "", ""});
    dataset("a.dbf", {"Shape table", "", ""});         // part of the shapefile
    dataset("alone.dbf", {"Lone table", "", ""});
    dataset("info/x.shp", {"Coverage info", "", ""}); // "info" folders are not shown
    testutil::writeFile(m_store / "grid/metadata.xml", metadata({"Grid of heights", "", ""}));
    testutil::writeFile(m_store / "grid.aux", "x");    // the grid is shown through its .aux
    testutil::writeFile(m_store / "folder/metadata.xml", metadata({"Folder notes", "", ""}));
    dataset("image.tif", {"Image", "", ""});
    testutil::writeFile(m_store / "image.aux", "x");   // accompanies the raster
    dataset("noext", {"No extension", "", ""});
    update();
    EXPECT_EQ(find(QStringLiteral("shape")), QStringList{QStringLiteral("a.shp")});
    EXPECT_EQ(find(QStringLiteral("lone")), QStringList{QStringLiteral("alone.dbf")});
    EXPECT_TRUE(find(QStringLiteral("coverage")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("heights")), QStringList{QStringLiteral("grid.aux")});
    EXPECT_EQ(find(QStringLiteral("folder"), {catDirectory}), QStringList{QStringLiteral("folder/")});
    EXPECT_EQ(find(QStringLiteral("image")), QStringList{QStringLiteral("image.tif")});
    EXPECT_TRUE(find(QStringLiteral("extension")).isEmpty());
}

TEST_F(SearchIndexTest, TheAnswerSaysWhenItsListIsCut)
{
    for (int i = 0; i < 6; ++i)
        dataset("s" + std::to_string(i) + ".shp", {"Marsh " + std::to_string(i), "", ""});
    update();
    SearchQuery q;
    q.words = QStringLiteral("marsh");
    q.categories = {catVector};
    for (const int limit : {5, 6, 7}) {
        SCOPED_TRACE(limit);
        q.limit = limit;
        const SearchAnswer a = runIndexSearch(indexFile(), q);
        ASSERT_TRUE(a.error.isEmpty()) << a.error.toStdString();
        EXPECT_EQ(a.hits.size(), size_t(std::min(limit, 6)));
        EXPECT_EQ(a.more, limit < 6);
    }
}

TEST_F(SearchIndexTest, LinkedFoldersAreWalkedOnceUnderThePathMetFirst)
{
    dataset("real/roads.shp", {"Roads", "", ""});
    std::filesystem::create_directories(m_store / "deep/deeper");
    // Met again two levels deeper, and a way back to the root.
    std::filesystem::create_directory_symlink(m_store / "real", m_store / "deep/deeper/link");
    std::filesystem::create_directory_symlink(m_store.path(), m_store / "real/loop");
    for (int run = 0; run < 3; ++run) {
        SearchIndex::discard(indexFile());
        const IndexReport r = update();
        ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(r.total, 1);
        EXPECT_EQ(find(QStringLiteral("roads")), QStringList{QStringLiteral("real/roads.shp")});
    }
}

TEST_F(SearchIndexTest, ManyDataSetsAreReadTogetherAndEachKeepsItsOwnFields)
{
    // More than a few hand-overs between the reading threads and the
    // writer, with unreadable documents among them: every data set must
    // get its own document's words.
    constexpr int kCount = 150;
    auto name = [](int i) { return "f" + std::to_string(i % 4) + "/set" + std::to_string(i) + ".shp"; };
    auto word = [](int i, const char* round) { return std::string(round) + std::to_string(i) + "x"; };
    for (int i = 0; i < kCount; ++i) {
        if (i % 7 == 3) {
            testutil::writeFile(m_store / name(i), "data");
            testutil::writeFile(m_store / (name(i) + ".xml"), "<metadata><unclosed>");
        } else {
            dataset(name(i), {word(i, "first"), "", ""});
        }
    }
    IndexReport r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.read, kCount);
    EXPECT_EQ(r.unreadable.size(), (kCount + 3) / 7);
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(name(i));
        if (i % 7 != 3)
            EXPECT_EQ(find(QString::fromStdString(word(i, "first"))), QStringList{QString::fromStdString(name(i))});
        else
            EXPECT_TRUE(std::any_of(r.unreadable.begin(), r.unreadable.end(), [&](const QString& u) {
                return u.startsWith(QString::fromStdString(name(i)) + QStringLiteral(": "));
            }));
    }

    // Every third one changes: only those are read again.
    int changed = 0;
    for (int i = 0; i < kCount; i += 3) {
        dataset(name(i), {word(i, "second"), "", ""});
        touch(m_store / (name(i) + ".xml"), 3000000 + i);
        ++changed;
    }
    r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.read, changed);
    EXPECT_EQ(r.unchanged, kCount - changed);
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(name(i));
        const bool second = i % 3 == 0;
        const bool readable = second || i % 7 != 3;
        EXPECT_EQ(find(QString::fromStdString(word(i, second ? "second" : "first"))),
                  readable ? QStringList{QString::fromStdString(name(i))} : QStringList{});
    }
}

TEST_F(SearchIndexTest, ACancelledUpdateKeepsWhatItWroteAndTheNextOneFinishes)
{
    constexpr int kCount = 400;
    for (int i = 0; i < kCount; ++i)
        dataset("many/set" + std::to_string(i) + ".shp", {"Gravel " + std::to_string(i), "", ""});
    // Told once, at whichever point it asks first, a walk stops.
    bool told = false;
    EXPECT_FALSE(walkStore(m_store.path(), [&] { return !std::exchange(told, true); }, [](WalkedDataset&&) {}));

    IndexSettings s = settings();
    s.commitEvery = 20;
    int asked = 0;
    bool walked = false;
    IndexReport r = updateStoreIndex(s, [&] { return walked && ++asked > kCount / 2; },
                                     [&](int, int total) { walked = walked || total > 0; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const int kept = int(find(QStringLiteral("gravel")).size());
    EXPECT_GT(kept, 0) << "what was committed stays";
    EXPECT_LT(kept, kCount);
    EXPECT_FALSE(SearchIndex(indexFile()).isComplete());

    r = update();
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.read, kCount - kept) << "only what the cancelled run left is read";
    EXPECT_EQ(find(QStringLiteral("gravel")).size(), kCount);
    EXPECT_TRUE(SearchIndex(indexFile()).isComplete());
}

TEST_F(SearchIndexTest, OneUpdateOfAnIndexRunsAtATime)
{
    constexpr int kCount = 300;
    for (int i = 0; i < kCount; ++i)
        dataset("d" + std::to_string(i % 3) + "/heath" + std::to_string(i) + ".shp", {"Heath " + std::to_string(i), "", ""});
    {
        // Another program holds the index.
        QLockFile other(indexFile() + QStringLiteral(".lock"));
        ASSERT_TRUE(other.tryLock(0));
        const IndexReport r = update();
        EXPECT_TRUE(r.busy);
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(r.read, 0);
        EXPECT_TRUE(find(QStringLiteral("heath")).isEmpty());
    }
    // Two at once (two windows on one server) on a new index: neither fails
    // the other.
    SearchIndex::discard(indexFile());
    auto first = std::async(std::launch::async, [this] { return update(); });
    const IndexReport second = update();
    const IndexReport other = first.get();
    for (const IndexReport& r : {second, other}) {
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_TRUE(r.notice.isEmpty()) << r.notice.toStdString();
    }
    EXPECT_EQ(second.read + other.read, kCount) << "each document is read by one of them";
    EXPECT_EQ(find(QStringLiteral("heath")).size(), kCount);
    EXPECT_EQ(SearchIndex(indexFile()).datasetCount(), kCount);
}

TEST_F(SearchIndexTest, SearchWhileIndexingSeesWhatIsCommittedSoFar)
{
    constexpr int kCount = 300;
    for (int i = 0; i < kCount; ++i)
        dataset("many/set" + std::to_string(i) + ".shp", {"Common title " + std::to_string(i), "", ""});
    IndexSettings s = settings();
    s.commitEvery = 10;
    int calls = 0;
    bool walked = false;
    SearchAnswer during;
    // Between two data sets, half-way through, another connection searches.
    const IndexReport r = updateStoreIndex(s, [&] {
        if (walked && ++calls == kCount / 2) {
            SearchQuery q;
            q.words = QStringLiteral("common");
            q.categories = {catVector};
            during = runIndexSearch(indexFile(), q);
        }
        return false;
    }, [&](int, int total) { walked = walked || total > 0; });
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_TRUE(during.error.isEmpty()) << during.error.toStdString();
    EXPECT_FALSE(during.complete) << "the answer says the index is still being built";
    EXPECT_GT(during.hits.size(), 0u);
    EXPECT_LT(during.hits.size(), size_t(kCount));
    EXPECT_EQ(during.indexed, int(during.hits.size()));
    EXPECT_EQ(find(QStringLiteral("common")).size(), kCount);
}

TEST_F(SearchIndexTest, BackgroundIndexerAndSearchServiceAnswerOnTheirOwnThreads)
{
    for (int i = 0; i < 200; ++i)
        dataset("d" + std::to_string(i / 50) + "/set" + std::to_string(i) + ".shp", {"Quarry " + std::to_string(i), "", ""});
    StoreIndexer indexer;
    SearchService service;
    QSignalSpy finished(&indexer, &StoreIndexer::finished);
    QSignalSpy answered(&service, &SearchService::answered);
    indexer.start(settings());
    EXPECT_TRUE(indexer.isRunning());
    SearchQuery q;
    q.words = QStringLiteral("quarry");
    q.categories = {catVector};
    // A search while the indexer runs is answered, whatever it finds so far.
    service.request(indexFile(), q);
    ASSERT_TRUE(answered.wait(30000));
    EXPECT_TRUE(answered.takeFirst().at(0).value<SearchAnswer>().error.isEmpty());
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    const IndexReport report = finished.takeFirst().at(0).value<IndexReport>();
    EXPECT_EQ(report.total, 200);
    EXPECT_FALSE(indexer.isRunning());
    service.request(indexFile(), q);
    ASSERT_TRUE(answered.wait(30000));
    const SearchAnswer a = answered.takeFirst().at(0).value<SearchAnswer>();
    EXPECT_EQ(a.hits.size(), 200u);
    EXPECT_TRUE(a.complete);

    // A second start cancels the first: only the last run reports.
    indexer.start(settings());
    indexer.start(settings());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(finished.takeFirst().at(0).value<IndexReport>().cancelled);
    EXPECT_TRUE(finished.isEmpty());
}

} // namespace

namespace {

TEST_F(SearchIndexTest, TheDemoServerIsFoundByWordsAndByPlace)
{
    // The shipped configuration and demo server, as the program reads them.
    testutil::writeFile(m_program / "AtlasdeskView.ini.xml",
                        testutil::readFile(ATLASDESK_SOURCE_DIR "/data/AtlasdeskView.ini.xml"));
    LoadConfiguration();
    const IndexReport r =
        updateStoreIndex(IndexSettings::fromConfiguration(ATLASDESK_SOURCE_DIR "/data/demo-server/", indexFile()), {}, {});
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_GE(r.total, 20);
    // The demo holds one malformed document on purpose (a bare "&"): listed, not fatal.
    ASSERT_EQ(r.unreadable.size(), 1) << r.unreadable.join('\n').toStdString();
    EXPECT_TRUE(r.unreadable[0].startsWith(QStringLiteral("10_world/21_france/31_bretagne/landuse/region/occupation_sol.shp: ")));
    const QList<int> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const QStringList carthage = find(QStringLiteral("carthage"), all);
    EXPECT_TRUE(carthage.contains(QStringLiteral("10_world/21_france/31_bretagne/hydrology/sandre/rivieres.shp")))
        << carthage.join(' ').toStdString();
    SearchQuery vaud;
    vaud.hasExtent = true;
    vaud.west = 6.5, vaud.east = 7.0, vaud.south = 46.3, vaud.north = 46.6;
    vaud.categories = all;
    const QStringList there = paths(vaud);
    EXPECT_TRUE(there.contains(QStringLiteral("10_world/21_switzerland/31_vaud/hydrology/sesa/lacs.shp"))) << there.join(' ').toStdString();
    EXPECT_FALSE(there.contains(QStringLiteral("10_world/21_france/31_bretagne/hydrology/sandre/rivieres.shp")));
}

} // namespace
