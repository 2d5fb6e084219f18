// The search index on real SQLite files: words, extents, incremental
// updates, damaged files and a search while an update runs.
#include <QLockFile>
#include <QSignalSpy>
#include <set>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <filesystem>
#include <future>
#include <utility>

#include "model/LocalSearch.h"
#include "model/SearchService.h"
#include "IsoDocuments.h"
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
        q.extent = GeoBox{c.w, c.e, c.s, c.n};
        q.categories = {catVector};
        QStringList found = paths(q);
        found.sort();
        EXPECT_EQ(found, c.expected) << c.what;
    }
    // Words and extent combine.
    SearchQuery q;
    q.words = QStringLiteral("swiss");
    q.extent = GeoBox{100, 120, 0, 10};
    q.categories = {catVector};
    EXPECT_TRUE(paths(q).isEmpty());
    q.extent = GeoBox{0, 20, 40, 50};
    EXPECT_EQ(paths(q), QStringList{QStringLiteral("swiss.shp")});
    // The hit carries its box for the map.
    SearchIndex index(indexFile());
    const auto hits = index.search(q);
    ASSERT_EQ(hits.size(), 1u);
    ASSERT_TRUE(hits[0].box);
    EXPECT_NEAR(hits[0].box->west, 5.9, 1e-4);
    EXPECT_NEAR(hits[0].box->north, 47.8, 1e-4);
}

TEST_F(SearchIndexTest, TheFirstPageIsInRankOrder)
{
    // Where the words are found ranks, then whole words above beginnings,
    // then the shorter field, then the path. Written in no particular order.
    dataset("z/abstract_prefix.shp", {"Fish counts", "Lakes of the Geneva basin", ""});
    dataset("y/keywords.shp", {"Shore erosion", "", "", 0, 0, 0, 0, false, "lake geneva"});
    dataset("x/title_long.shp", {"Lake Geneva depth soundings of 1990", "", ""});
    dataset("w/abstract.shp", {"Water quality", "Samples of lake Geneva", ""});
    dataset("v/title_prefix.shp", {"Lakeside paths of Geneva", "", ""});
    dataset("u/title_short.shp", {"Lake Geneva", "", ""});
    dataset("t/place.shp", {"Ferry lines", "", "Lake Geneva"});
    dataset("b/same.shp", {"Geneva lake", "", ""});
    dataset("a/same.shp", {"Geneva lake", "", ""});
    dataset("s/unrelated.shp", {"Lake Constance", "Bodensee", ""});
    ASSERT_TRUE(update().error.isEmpty());
    EXPECT_EQ(find(QStringLiteral("lake geneva")),
              (QStringList{"a/same.shp", "b/same.shp", "u/title_short.shp", "x/title_long.shp", "v/title_prefix.shp",
                           "t/place.shp", "y/keywords.shp", "w/abstract.shp", "z/abstract_prefix.shp"}));
    // The cut at the limit keeps the order, and says that there is more.
    SearchQuery q;
    q.words = QStringLiteral("geneva lake");
    q.categories = {catVector};
    q.limit = 3;
    const SearchAnswer a = runIndexSearch(indexFile(), q);
    QStringList first;
    for (const SearchHit& h : a.hits)
        first << h.relPath;
    EXPECT_EQ(first, (QStringList{"a/same.shp", "b/same.shp", "u/title_short.shp"}));
    EXPECT_TRUE(a.more);
}

TEST_F(SearchIndexTest, EveryScriptIsFound)
{
    dataset("yoshinoya.shp", {"𠮷野家 本店", "", ""});
    dataset("kichi.shp", {"吉野家 支店", "", ""});
    dataset("boston.shp", {"Boston harbour", "", ""});
    dataset("tokyo.shp", {"東京都の地図", "", ""});
    dataset("kyoto.shp", {"京都市の寺院", "", ""});
    dataset("seoul.shp", {"서울특별시 도로망", "", ""});
    dataset("data.shp", {"ﾃﾞｰﾀ一覧", "", ""});
    dataset("moscow.shp", {"Карта Москвы", "Улицы и площади", ""});
    ASSERT_TRUE(update().error.isEmpty());
    const struct {
        const char* words;
        QStringList expected;
    } cases[] = {
        {"𠮷野家", {"yoshinoya.shp"}},              // not "野家" alone
        {"野家", {"kichi.shp", "yoshinoya.shp"}},
        {"𝐁𝐨𝐬𝐭𝐨𝐧", {"boston.shp"}},
        {"ＢＯＳＴ", {"boston.shp"}},
        {"京都", {"kyoto.shp", "tokyo.shp"}},         // any part of a run
        {"東京", {"tokyo.shp"}},
        {"地図", {"tokyo.shp"}},
        {"京", {"kyoto.shp", "tokyo.shp"}},           // one character
        {"特별", {}},                                // not a pair of the run
        {"특별", {"seoul.shp"}},
        {"데이터", {}},
        {"データ", {"data.shp"}},                     // half-width kana as written
        {"москв", {"moscow.shp"}},
        {"улицы", {"moscow.shp"}},
    };
    for (const auto& c : cases) {
        QStringList found = find(QString::fromUtf8(c.words));
        found.sort();
        EXPECT_EQ(found, c.expected) << c.words;
    }
}

TEST_F(SearchIndexTest, AnExtentAloneRanksByHowWellTheBoxesFit)
{
    dataset("a_world.shp", {"World", "", "", -180, 180, -90, 90});
    dataset("b_europe.shp", {"Europe", "", "", -10, 30, 35, 70});
    dataset("c_geneva.shp", {"Geneva", "", "", 5.95, 6.3, 46.1, 46.4});
    dataset("d_swiss.shp", {"Switzerland", "", "", 5.9, 10.5, 45.8, 47.8});
    dataset("e_swiss_too.shp", {"Switzerland again", "", "", 5.9, 10.5, 45.8, 47.8});
    dataset("f_point.shp", {"A station", "", "", 7.44, 7.44, 46.95, 46.95});
    dataset("g_japan.shp", {"Japan", "", "", 129, 146, 30, 46});
    ASSERT_TRUE(update().error.isEmpty());
    EXPECT_EQ(within({5.9, 10.5, 45.8, 47.8}), (QStringList{"d_swiss.shp", "e_swiss_too.shp", "c_geneva.shp",
                                                            "b_europe.shp", "a_world.shp", "f_point.shp"}));
    // Asked about a wider Europe, the world fits better than Switzerland.
    EXPECT_EQ(within({-20, 40, 30, 75}), (QStringList{"b_europe.shp", "a_world.shp", "d_swiss.shp",
                                                      "e_swiss_too.shp", "c_geneva.shp", "f_point.shp"}));
    // Many boxes of other sizes do not hide the best ones: the first page
    // holds the best fits, ties in path order.
    for (int i = 0; i < 40; ++i)
        dataset("h/small" + std::to_string(100 + i) + ".shp", {"Small", "", "", 6 + i * 0.01, 6.005 + i * 0.01, 46, 46.005});
    ASSERT_TRUE(update().error.isEmpty());
    SearchQuery q;
    q.extent = GeoBox{5.9, 10.5, 45.8, 47.8};
    q.categories = {catVector};
    q.limit = 3;
    EXPECT_EQ(paths(q), (QStringList{"d_swiss.shp", "e_swiss_too.shp", "c_geneva.shp"}));
    q.limit = 1000;
    // The small boxes are all of one size: they tie, in path order (their
    // fits differ only by the binary rounding of their decimal degrees).
    QStringList all{"d_swiss.shp", "e_swiss_too.shp", "c_geneva.shp", "b_europe.shp", "a_world.shp"};
    for (int i = 0; i < 40; ++i)
        all << QStringLiteral("h/small%1.shp").arg(100 + i);
    all << QStringLiteral("f_point.shp");
    EXPECT_EQ(paths(q), all);
}

TEST_F(SearchIndexTest, BoxesAcrossTheAntimeridianAreTwoBoxes)
{
    dataset("usa.shp", {"United States", "", "", 170, -64, 18, 72});
    dataset("fiji.shp", {"Fiji", "", "", 177, -178, -19, -16});
    ASSERT_TRUE(update().error.isEmpty());
    const struct {
        const char* what;
        GeoBox extent;
        QStringList expected;
    } cases[] = {
        {"Europe", {-10, 30, 35, 70}, {}},
        {"Bolivia", {-70, -57, -23, -9}, {}},
        {"Hawaii", {-160, -154, 18, 23}, {"usa.shp"}},
        {"the Aleutians", {172, 179, 50, 55}, {"usa.shp"}},
        {"Kansas", {-102, -94, 37, 40}, {"usa.shp"}},
        {"across the date line", {175, -175, -20, -15}, {"fiji.shp"}},
        {"west of the date line only", {170, 176, -20, -15}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(within(c.extent), c.expected) << c.what;
    SearchIndex index(indexFile());
    SearchQuery q;
    q.words = QStringLiteral("fiji");
    q.categories = {catVector};
    const auto hits = index.search(q);
    ASSERT_EQ(hits.size(), 1u);
    ASSERT_TRUE(hits[0].box);
    EXPECT_EQ(hits[0].box->west, 177) << "the hit keeps its box as written";
    EXPECT_EQ(hits[0].box->east, -178);
}

TEST_F(SearchIndexTest, IsoDocumentsAreReadForSearch)
{
    document("camargue.shp", isodocs::iso19139());
    document("glaciers.shp", isodocs::iso19115part3());
    // A catalogue's answer holding an ISO document.
    std::string wrapped = isodocs::iso19139("Salt marsh birds");
    wrapped = "<csw:GetRecordByIdResponse xmlns:csw=\"http://www.opengis.net/cat/csw/2.0.2\">" +
              wrapped.substr(wrapped.find("<gmd:MD_Metadata")) + "</csw:GetRecordByIdResponse>";
    document("birds.shp", wrapped);
    const IndexReport r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_TRUE(r.notRead.isEmpty()) << r.notRead.join(' ').toStdString();
    const struct {
        const char* words;
        QStringList expected;
    } cases[] = {
        {"camargue wetlands", {"camargue.shp"}}, // title
        {"lagoons", {"birds.shp", "camargue.shp"}}, // abstract
        {"conservation", {"birds.shp", "camargue.shp"}}, // purpose
        {"flamingos salt", {"birds.shp", "camargue.shp"}}, // keywords
        {"provence rhone", {"birds.shp", "camargue.shp"}}, // places: a keyword and the extent's description
        {"valat", {"birds.shp", "camargue.shp"}},      // originator
        {"regional", {}},                              // a point of contact is not the originator
        {"glaciers bernese", {"glaciers.shp"}},
        {"satellite", {"glaciers.shp"}},
        {"moraines jungfrau", {"glaciers.shp"}},
        {"monitoring", {"glaciers.shp"}},               // purpose, and the originator's name
        {"birds", {"birds.shp"}},
    };
    for (const auto& c : cases) {
        QStringList found = find(QString::fromUtf8(c.words));
        found.sort();
        EXPECT_EQ(found, c.expected) << c.words;
    }
    EXPECT_EQ(within({4, 5, 43, 44}), (QStringList{"birds.shp", "camargue.shp"}));
    EXPECT_EQ(within({8, 9, 46, 47}), QStringList{"glaciers.shp"});
    SearchIndex index(indexFile());
    SearchQuery q;
    q.words = QStringLiteral("glaciers");
    q.categories = {catVector};
    const auto hits = index.search(q);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].title, QStringLiteral("Glaciers of the Bernese Oberland"));
    EXPECT_EQ(hits[0].date, QStringLiteral("2019-09-30")) << "the publication date";
    q.words = QStringLiteral("wetlands");
    const auto camargue = index.search(q);
    ASSERT_EQ(camargue.size(), 1u);
    EXPECT_EQ(camargue[0].date, QStringLiteral("2014-03-02"));
    EXPECT_EQ(camargue[0].originator, QStringLiteral("Tour du Valat"));
}

TEST_F(SearchIndexTest, WhatTheIndexCannotTakeInIsCountedNeverTakenAsRead)
{
    dataset("projected.shp", {"Swiss grid", "", "", 485000.5, 834000.5, 75000, 296000});
    document("foreign.shp", "<record><name>Parcels</name><bbox>1 2 3 4</bbox></record>");
    document("empty.shp", "<metadata/>");
    document("broken.shp", "<metadata><idinfo>");
    dataset("fine.shp", {"Fine", "", "", 6, 7, 46, 47});
    const IndexReport r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.notInDegrees, QStringList{"projected.shp"});
    EXPECT_EQ(r.notRead, (QStringList{"empty.shp", "foreign.shp"}));
    ASSERT_EQ(r.unreadable.size(), 1);
    EXPECT_TRUE(r.unreadable[0].startsWith(QStringLiteral("broken.shp: ")));
    EXPECT_EQ(find(QStringLiteral("swiss")), QStringList{"projected.shp"}) << "its words are kept";
    EXPECT_TRUE(within({-180, 180, -90, 90}).contains(QStringLiteral("fine.shp")));
    EXPECT_FALSE(within({-180, 180, -90, 90}).contains(QStringLiteral("projected.shp"))) << "no box is kept";
    EXPECT_EQ(find(QStringLiteral("foreign")), QStringList{"foreign.shp"}) << "found by its file name";
    // Counted again by a later update that reads nothing.
    const IndexReport again = update();
    EXPECT_EQ(again.read, 0);
    EXPECT_EQ(again.notInDegrees, r.notInDegrees);
    EXPECT_EQ(again.notRead, r.notRead);
}

TEST_F(SearchIndexTest, AWordBeginningManyWordsIsStillFoundWhole)
{
    // More words begin with "kx" than are gathered one by one.
    for (int i = 0; i < 80; ++i)
        dataset("k/" + std::to_string(100 + i) + ".shp", {"kx" + std::to_string(1000 + i) + " survey", "", ""});
    dataset("k/plain.shp", {"kx survey", "", ""});
    ASSERT_TRUE(update().error.isEmpty());
    const QStringList all = find(QStringLiteral("kx"));
    ASSERT_EQ(all.size(), 81);
    EXPECT_EQ(all.front(), QStringLiteral("k/plain.shp")) << "the whole word first";
    EXPECT_EQ(find(QStringLiteral("kx1042")), QStringList{"k/142.shp"});
    EXPECT_EQ(find(QStringLiteral("kx104 surv")).size(), 10);
}

TEST_F(SearchIndexTest, NewDataSetsBetweenCrowdedNeighboursMoveThemApart)
{
    dataset("a.shp", {"Alpha", "", ""});
    dataset("c.shp", {"Gamma", "", ""});
    ASSERT_TRUE(update().error.isEmpty());
    // Pressed together: no id is left between them, as many earlier
    // additions at one place would leave it.
    {
        SearchIndex index(indexFile());
        auto files = index.indexedFiles();
        const int64_t a = files.at(m_store / "a.shp").id, c = files.at(m_store / "c.shp").id;
        ASSERT_LT(a, c);
        index.begin();
        index.move(a, 1);
        index.move(c, 2);
        index.commit();
    }
    dataset("b.shp", {"Beta", "", ""});
    dataset("0.shp", {"Zero", "", ""});
    // Moved and changed in one update: its words are taken out where the
    // move put them, in the same batch.
    dataset("c.shp", {"Epsilon", "", ""});
    touch(m_store / "c.shp.xml", 3000000);
    const IndexReport r = update();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.read, 3);
    EXPECT_EQ(find(QStringLiteral("shp")), (QStringList{"0.shp", "a.shp", "b.shp", "c.shp"}));
    EXPECT_EQ(find(QStringLiteral("alpha")), QStringList{"a.shp"});
    EXPECT_TRUE(find(QStringLiteral("gamma")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("epsilon")), QStringList{"c.shp"});
    // The word tables' own check finds them sound.
    EXPECT_EQ(SearchIndex(indexFile(), SearchIndex::Access::Write, true).rebuilt(), SearchIndex::Rebuilt::No);
    // Moved rows are changed and removed like any other.
    std::filesystem::remove(m_store / "a.shp");
    dataset("c.shp", {"Delta", "", ""});
    touch(m_store / "c.shp.xml", 4000000);
    const IndexReport later = update();
    EXPECT_EQ(later.removed, 1);
    EXPECT_EQ(later.read, 1);
    EXPECT_EQ(find(QStringLiteral("shp")), (QStringList{"0.shp", "b.shp", "c.shp"}));
    EXPECT_TRUE(find(QStringLiteral("gamma")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("delta")), QStringList{"c.shp"});
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
    EXPECT_TRUE(r.notice.isEmpty()) << r.notice.toStdString();
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
         [](const std::string& f) { execute(f, "UPDATE meta SET value = 'atlasdesk-search-1' WHERE key = 'format'"); },
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
    nearBoston.extent = GeoBox{-72, -70, 41, 44};
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
    // A request's answers: the first page, then the rest when there is more.
    const auto answers = [&] {
        std::vector<SearchAnswer> got;
        while (got.empty() || got.back().restFollows) {
            if (answered.isEmpty() && !answered.wait(30000))
                break;
            got.push_back(answered.takeFirst().at(0).value<SearchAnswer>());
        }
        return got;
    };
    // A search while the indexer runs is answered, whatever it finds so far.
    service.request(std::make_shared<LocalSearch>(indexFile()), q);
    const std::vector<SearchAnswer> during = answers();
    ASSERT_FALSE(during.empty());
    EXPECT_TRUE(during.front().error.isEmpty());
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    const IndexReport report = finished.takeFirst().at(0).value<IndexReport>();
    EXPECT_EQ(report.total, 200);
    EXPECT_FALSE(indexer.isRunning());
    service.request(std::make_shared<LocalSearch>(indexFile()), q);
    const std::vector<SearchAnswer> after = answers();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].hits.size(), size_t(SearchService::kFirstPage));
    EXPECT_EQ(after[0].found, 200);
    EXPECT_TRUE(after[0].complete);
    EXPECT_EQ(after[1].query.from, SearchService::kFirstPage);
    EXPECT_EQ(after[1].found, 200);
    std::set<std::string> paths;
    for (const SearchAnswer& a : after)
        for (const SearchHit& h : a.hits)
            paths.insert(h.path);
    EXPECT_EQ(paths.size(), 200u);

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
    vaud.extent = GeoBox{6.5, 7.0, 46.3, 46.6};
    vaud.categories = all;
    const QStringList there = paths(vaud);
    EXPECT_TRUE(there.contains(QStringLiteral("10_world/21_switzerland/31_vaud/hydrology/sesa/lacs.shp"))) << there.join(' ').toStdString();
    EXPECT_FALSE(there.contains(QStringLiteral("10_world/21_france/31_bretagne/hydrology/sandre/rivieres.shp")));
}

} // namespace
