// One table of search cases, answered by both back ends: the store's own
// index (SQLite) and the team's index on the catalogue server (MariaDB,
// the test script's server), each filled the way it is in use: the local
// index by its update of the store, the server's by atlasdesk-sync's run.
// Both must give the same data sets in the same order.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlQuery>

#include <chrono>
#include <memory>
#include <thread>
#include <optional>

#include "catalogue/ServerSearch.h"
#include "catalogue/TeamSearch.h"
#include "model/LocalSearch.h"
#include "sync/CatalogueSync.h"
#include "SearchTestSupport.h"
#include "PrivateServer.h"
#include "TestDatabase.h"

using namespace searchtest;

namespace {

struct Case {
    const char* what;
    const char* words;
    std::optional<GeoBox> extent;
    QStringList expected;
    bool ordered = false;     // else compared as sets
    QList<int> categories = {catVector, catRaster, catTable, catDocument};
    int limit = 1000;
    bool more = false;
};

Doc titled(const char* title, const char* abstract = "", const char* places = "", const char* keywords = "reference")
{
    Doc d{title, abstract, places};
    d.box = false;
    d.keywords = keywords;
    return d;
}

Doc placed(const char* title, double w, double e, double s, double n)
{
    Doc d{title, "", ""};
    d.west = w;
    d.east = e;
    d.south = s;
    d.north = n;
    return d;
}

// The store: words in several fields and scripts, titles that rank, boxes
// of several sizes and across the antimeridian, and a data set without
// metadata. Below a first folder numbered under 80, which the catalogue
// lists (the team's search covers the others too: see
// SearchBackendsElsewhereTest).
class SearchBackendsTest : public StoreFixture {
protected:
    // The folder below the store's root that holds every data set.
    virtual std::string folder() const { return "10_cases/"; }

    void SetUp() override
    {
        StoreFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        try {
            m_db.emplace(*account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        const std::string c = folder();
        dataset(c + "hydro/rivieres.shp", titled("La Rivière Bleue", "Cours d'eau de Bretagne", "Quimper"));
        dataset(c + "roads.shp", titled("ROUTES nationales", "Réseau routier, forêts exclues", "Genève"));
        dataset(c + "docs/notice.pdf", titled("Notice"));
        dataset(c + "rank/z/abstract_prefix.shp", titled("Fish counts", "Lakes of the Geneva basin"));
        dataset(c + "rank/y/keywords.shp", titled("Shore erosion", "", "", "lake geneva"));
        dataset(c + "rank/x/title_long.shp", titled("Lake Geneva depth soundings of 1990"));
        dataset(c + "rank/w/abstract.shp", titled("Water quality", "Samples of lake Geneva"));
        dataset(c + "rank/v/title_prefix.shp", titled("Lakeside paths of Geneva"));
        dataset(c + "rank/u/title_short.shp", titled("Lake Geneva"));
        dataset(c + "rank/t/place.shp", titled("Ferry lines", "", "Lake Geneva"));
        dataset(c + "rank/b/same.shp", titled("Geneva lake"));
        dataset(c + "rank/a/same.shp", titled("Geneva lake"));
        dataset(c + "rank/s/unrelated.shp", titled("Lake Constance", "Bodensee"));
        for (int i = 0; i < 6; ++i)
            dataset(c + "marsh/s" + std::to_string(i) + ".shp", titled(("Marsh " + std::to_string(i)).c_str()));
        dataset(c + "script/yoshinoya.shp", titled("𠮷野家 本店"));
        dataset(c + "script/kichi.shp", titled("吉野家 支店"));
        dataset(c + "script/boston.shp", titled("Boston harbour"));
        dataset(c + "script/tokyo.shp", titled("東京都の地図"));
        dataset(c + "script/kyoto.shp", titled("京都市の寺院"));
        dataset(c + "script/seoul.shp", titled("서울특별시 도로망"));
        dataset(c + "script/moscow.shp", titled("Карта Москвы", "Улицы и площади"));
        dataset(c + "place/a_world.shp", placed("World", -180, 180, -90, 90));
        dataset(c + "place/b_europe.shp", placed("Europe", -10, 30, 35, 70));
        dataset(c + "place/c_geneva.shp", placed("Geneva town", 5.95, 6.3, 46.1, 46.4));
        dataset(c + "place/d_swiss.shp", placed("Switzerland", 5.9, 10.5, 45.8, 47.8));
        dataset(c + "place/e_swiss_too.shp", placed("Switzerland again", 5.9, 10.5, 45.8, 47.8));
        dataset(c + "place/f_point.shp", placed("A station", 7.44, 7.44, 46.95, 46.95));
        dataset(c + "place/g_usa.shp", placed("United States", 170, -64, 18, 72));
        dataset(c + "place/h_fiji.shp", placed("Fiji", 177, -178, -19, -16));
        // Boxes of one size, 0.35 by 0.21 degrees, written with decimals
        // that binary rounds each its own way: inside one extent they fit
        // alike (their fits differ in the last places of a double, and by
        // far more in single precision) and come in path order.
        for (int i = 0; i < 8; ++i) {
            const double west = 100 + (i * 37 % 97) * 0.1, south = -50 + (i * 53 % 97) * 0.1;
            dataset(c + "tie/" + char('a' + i) + ".shp", placed("Sounding", west, west + 0.35, south, south + 0.21));
        }
        testutil::writeFile(m_store / (c + "bare/nometadata.shp"), "data");

        const IndexReport local = update();
        ASSERT_TRUE(local.error.isEmpty()) << local.error.toStdString();
        SyncRequest request;
        request.stores = {m_store.path()};
        request.login = m_db->settings();
        SilentSyncProgress quiet;
        const SyncReport synced = RunSync(request, quiet, {});
        ASSERT_EQ(synced.counts.added + synced.counts.searchOnly, local.total)
            << "the sync wrote search rows for every data set indexed";
        const bool listed = folder() == "10_cases/";
        EXPECT_EQ(synced.counts.added, listed ? local.total - 1 : 0) << "Main lists what it listed before, no more";
        EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM SearchDataSets"), std::to_string(local.total));
        m_backends = {{"local index", std::make_shared<LocalSearch>(indexFile())},
                      {"catalogue server", std::make_shared<ServerSearch>(m_db->settings(), m_store.path())}};
    }
    void TearDown() override
    {
        m_backends.clear();
        m_db.reset();
        StoreFixture::TearDown();
    }

    std::optional<cattest::TestDatabase> m_db;
    std::vector<std::pair<const char*, std::shared_ptr<SearchBackend>>> m_backends;

    // The table of cases, on both back ends.
    void answerEveryCaseAlike();
};

// The same store elsewhere: outside any numbered folder, at the root of the
// store, below an archive folder (80 and over). The catalogue lists none of
// these data sets; the team's search still answers as the store's own index.
class SearchBackendsElsewhereTest : public SearchBackendsTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string folder() const override { return GetParam(); }
};

QStringList prefixed(const std::string& folder, const QStringList& paths)
{
    QStringList full;
    for (const QString& p : paths)
        full << QString::fromStdString(folder) + p;
    return full;
}

void SearchBackendsTest::answerEveryCaseAlike()
{
    const QList<int> documents = {catDocument};
    const Case cases[] = {
        // Accents and case.
        {"accent left out", "riviere", {}, {"hydro/rivieres.shp"}},
        {"accent and upper case", "RIVIÈRE", {}, {"hydro/rivieres.shp"}},
        {"accents in the abstract", "forets", {}, {"roads.shp"}},
        {"a place name", "geneve", {}, {"roads.shp"}},
        // Prefixes.
        {"a word's beginning", "rivi", {}, {"hydro/rivieres.shp"}},
        {"not a word's middle", "ivi", {}, {}},
        {"the file name", "notice.pdf", {}, {"docs/notice.pdf"}},
        {"a data set without metadata, by its file name", "nometadata", {}, {"bare/nometadata.shp"}},
        // Every word must match.
        {"two words of two data sets", "bleue routes", {}, {}},
        {"a word and a beginning", "bleue riv", {}, {"hydro/rivieres.shp"}},
        {"a quote", "\"bleue", {}, {"hydro/rivieres.shp"}},
        {"no word at all", "  ,;  ", {}, {}},
        // Every script.
        {"a letter outside the basic plane", "𠮷野家", {}, {"script/yoshinoya.shp"}},
        {"part of a run", "野家", {}, {"script/kichi.shp", "script/yoshinoya.shp"}},
        {"mathematical letters", "𝐁𝐨𝐬𝐭𝐨𝐧", {}, {"script/boston.shp"}},
        {"any part of a run", "京都", {}, {"script/kyoto.shp", "script/tokyo.shp"}},
        {"one character", "京", {}, {"script/kyoto.shp", "script/tokyo.shp"}},
        {"not a pair of the run", "特별", {}, {}},
        {"Cyrillic beginning", "москв", {}, {"script/moscow.shp"}},
        // Title first, whole words before beginnings, shorter before longer, then the path.
        {"rank", "lake geneva", {},
         {"rank/a/same.shp", "rank/b/same.shp", "rank/u/title_short.shp", "rank/x/title_long.shp",
          "rank/v/title_prefix.shp", "rank/t/place.shp", "rank/y/keywords.shp", "rank/w/abstract.shp",
          "rank/z/abstract_prefix.shp"},
         true},
        {"the cut keeps the order", "geneva lake", {}, {"rank/a/same.shp", "rank/b/same.shp", "rank/u/title_short.shp"},
         true, {catVector}, 3, true},
        {"the cut at exactly as many", "marsh", {}, {"marsh/s0.shp", "marsh/s1.shp", "marsh/s2.shp", "marsh/s3.shp",
         "marsh/s4.shp", "marsh/s5.shp"}, true, {catVector}, 6, false},
        {"the cut at one less", "marsh", {}, {"marsh/s0.shp", "marsh/s1.shp", "marsh/s2.shp", "marsh/s3.shp",
         "marsh/s4.shp"}, true, {catVector}, 5, true},
        // Greyed categories.
        {"documents only", "planning", {}, {"docs/notice.pdf"}, false, documents},
        {"no category", "planning", {}, {}, false, {}},
        {"an extent, documents only", "", GeoBox{5.9, 10.5, 45.8, 47.8}, {}, false, documents},
        // Extents: the best fit first, ties in path order.
        {"Switzerland", "", GeoBox{5.9, 10.5, 45.8, 47.8},
         {"place/d_swiss.shp", "place/e_swiss_too.shp", "place/c_geneva.shp", "place/b_europe.shp",
          "place/a_world.shp", "place/f_point.shp"},
         true},
        {"a wider Europe", "", GeoBox{-20, 40, 30, 75},
         {"place/b_europe.shp", "place/a_world.shp", "place/d_swiss.shp", "place/e_swiss_too.shp",
          "place/c_geneva.shp", "place/f_point.shp"},
         true},
        {"the extent's cut", "", GeoBox{5.9, 10.5, 45.8, 47.8},
         {"place/d_swiss.shp", "place/e_swiss_too.shp", "place/c_geneva.shp"}, true, {catVector}, 3, true},
        {"touching an edge", "", GeoBox{10.5, 12, 46, 47},
         {"place/a_world.shp", "place/b_europe.shp", "place/d_swiss.shp", "place/e_swiss_too.shp"}},
        {"north of Switzerland", "", GeoBox{5, 11, 48, 50}, {"place/a_world.shp", "place/b_europe.shp"}},
        {"Hawaii, in the eastern half of a box across the antimeridian", "", GeoBox{-160, -154, 18, 23},
         {"place/a_world.shp", "place/g_usa.shp"}},
        {"Bolivia, under that half", "", GeoBox{-70, -57, -23, -9}, {"place/a_world.shp"}},
        {"an extent across the antimeridian", "", GeoBox{175, -175, -20, -15},
         {"place/a_world.shp", "place/h_fiji.shp"}},
        {"west of it only", "", GeoBox{170, 176, -20, -15}, {"place/a_world.shp"}},
        {"boxes of one size tie, in path order", "", GeoBox{100, 110, -50, -40},
         {"place/a_world.shp", "tie/a.shp", "tie/b.shp", "tie/c.shp", "tie/d.shp", "tie/e.shp", "tie/f.shp",
          "tie/g.shp", "tie/h.shp"},
         true},
        {"the cut among ties", "", GeoBox{100, 110, -50, -40}, {"place/a_world.shp", "tie/a.shp", "tie/b.shp"}, true,
         {catVector}, 3, true},
        // Words and extent together.
        {"words and an extent", "switzerland", GeoBox{0, 20, 40, 50},
         {"place/d_swiss.shp", "place/e_swiss_too.shp"}, true},
        {"words and an extent elsewhere", "switzerland", GeoBox{100, 120, 0, 10}, {}},
        {"words and an extent across the antimeridian", "fiji", GeoBox{179, -179, -20, -10}, {"place/h_fiji.shp"}},
    };
    for (const auto& [name, backend] : m_backends) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.what);
            SearchQuery q;
            q.words = QString::fromUtf8(c.words);
            q.extent = c.extent;
            q.categories = c.categories;
            q.limit = c.limit;
            const SearchAnswer a = backend->answer(q);
            ASSERT_TRUE(a.error.isEmpty()) << a.error.toStdString();
            QStringList found;
            for (const SearchHit& h : a.hits)
                found << h.relPath;
            QStringList expected = prefixed(folder(), c.expected);
            if (!c.ordered) {
                found.sort();
                expected.sort();
            }
            EXPECT_EQ(found, expected);
            EXPECT_EQ(a.more, c.more);
            EXPECT_EQ(a.found, int(c.expected.size()));
        }
    }
}

TEST_F(SearchBackendsTest, BothBackEndsAnswerEveryCaseAlike)
{
    answerEveryCaseAlike();
}

TEST_P(SearchBackendsElsewhereTest, BothBackEndsAnswerEveryCaseAlike)
{
    EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM Main"), "0");
    answerEveryCaseAlike();
}

INSTANTIATE_TEST_SUITE_P(Stores, SearchBackendsElsewhereTest, ::testing::Values("cases/", "", "85_archive/"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "UnnumberedFolder"
                                                : info.index == 1 ? "StoreRoot"
                                                                  : "ArchiveFolder");
                         });

TEST_F(SearchBackendsTest, BothBackEndsGiveTheSameHits)
{
    // What a result row shows, and where the data set lies on this machine.
    SearchQuery q;
    q.words = QStringLiteral("fiji");
    q.categories = {catVector};
    std::vector<SearchHit> hits[2];
    for (size_t i = 0; i < m_backends.size(); ++i) {
        const SearchAnswer a = m_backends[i].second->answer(q);
        ASSERT_TRUE(a.error.isEmpty()) << a.error.toStdString();
        ASSERT_EQ(a.hits.size(), 1u) << m_backends[i].first;
        hits[i].push_back(a.hits[0]);
    }
    const SearchHit& local = hits[0][0];
    const SearchHit& server = hits[1][0];
    EXPECT_EQ(server.path, local.path);
    EXPECT_EQ(server.xmlPath, local.xmlPath);
    EXPECT_EQ(server.relPath, local.relPath);
    EXPECT_EQ(server.category, local.category);
    EXPECT_EQ(server.title, local.title);
    EXPECT_EQ(server.date, local.date);
    EXPECT_EQ(server.mtime, local.mtime);
    EXPECT_EQ(server.abstract, local.abstract);
    EXPECT_EQ(server.purpose, local.purpose);
    EXPECT_EQ(server.keywords, local.keywords);
    EXPECT_EQ(server.places, local.places);
    EXPECT_EQ(server.originator, local.originator);
    ASSERT_TRUE(server.box && local.box);
    EXPECT_EQ(server.box->west, 177) << "the hit keeps its box as written";
    EXPECT_EQ(server.box->east, -178);
    EXPECT_EQ(server.box->west, local.box->west);
}

// The answer says which index answered and how fresh it is.
TEST_F(SearchBackendsTest, TheServersAnswerSaysWhereAndHowFresh)
{
    SearchQuery q;
    q.words = QStringLiteral("fiji");
    q.categories = {catVector};
    EXPECT_TRUE(m_backends[0].second->answer(q).source.isEmpty()) << "the store's own index";
    const QString source = m_backends[1].second->answer(q).source;
    // The sync of SetUp ended moments ago: today, at a time of day.
    const QDateTime ended = QDateTime::fromString(
        QString::fromStdString(m_db->scalar("SELECT Value FROM SearchInfo WHERE Name='synced'")), Qt::ISODate);
    ASSERT_TRUE(ended.isValid());
    EXPECT_LE(std::abs(ended.secsTo(QDateTime::currentDateTimeUtc())), 120);
    // (Its date too if midnight passed meanwhile.)
    const QString at = ended.toLocalTime().toString(ended.toLocalTime().date() == QDate::currentDate()
                                                        ? QStringLiteral("HH:mm")
                                                        : QStringLiteral("yyyy-MM-dd HH:mm"));
    EXPECT_EQ(source, QStringLiteral("Team index on %1, synced %2").arg(QString::fromStdString(m_db->settings().host), at))
        << source.toStdString();

    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime today(now.date(), QTime(2, 10));
    EXPECT_EQ(TeamIndexSource("db1", today.toUTC(), now), QStringLiteral("Team index on db1, synced 02:10"));
    EXPECT_EQ(TeamIndexSource("db1", today.addDays(-1).toUTC(), now),
              QStringLiteral("Team index on db1, synced %1 02:10").arg(now.date().addDays(-1).toString(Qt::ISODate)));
    EXPECT_EQ(TeamIndexSource("db1", {}, now), QStringLiteral("Team index on db1, not synced yet"));
}

// The shipped searching account reads the search tables and nothing else,
// and is enough for every search.
TEST_F(SearchBackendsTest, TheShippedSearchAccountReadsTheSearchTablesOnly)
{
    const std::string user = "search_" + m_db->name().substr(m_db->name().rfind('_') + 1);
    const cattest::ScriptedAccount account(*m_db, ATLASDESK_SOURCE_DIR "/data/chartroom-search-account.sql",
                                           "atlasdesk_search", user, "search-secret");

    ChartroomSettings reader = m_db->settings();
    reader.user = user;
    reader.password = "search-secret";
    const ServerSearch search(reader, m_store.path());
    for (const auto& [words, extent] : std::vector<std::pair<const char*, std::optional<GeoBox>>>{
             {"lake geneva", std::nullopt}, {"", GeoBox{5.9, 10.5, 45.8, 47.8}}, {"switzerland", GeoBox{0, 20, 40, 50}}}) {
        SearchQuery q;
        q.words = QString::fromUtf8(words);
        q.extent = extent;
        q.categories = {catVector};
        const SearchAnswer a = search.answer(q);
        EXPECT_TRUE(a.error.isEmpty()) << words << ": " << a.error.toStdString();
        EXPECT_FALSE(a.hits.empty()) << words;
    }

    ChartroomConnection connection(reader);
    connection.open();
    for (const char* table : {"Main", "SyncState", "Locations"})
        EXPECT_THROW(connection.query(std::string("SELECT COUNT(*) FROM ") + table, [](const QSqlQuery&) {}), Exception)
            << table << " is not the searching account's to read";
    for (const char* statement : {"DELETE FROM SearchDataSets", "DELETE FROM SearchBoxes",
                                  "REPLACE INTO SearchInfo VALUES('synced','now')"})
        EXPECT_THROW(connection.execute(statement), Exception) << statement;
}

// The team's server stopped or frozen (SIGSTOP): the store's own index
// answers within the search's short timeout, and the answer says so; while
// the server stays away the own index answers at once; once it is back,
// the team's index answers again.
TEST(TeamSearchTest, TheLocalIndexAnswersWhenTheServerIsFrozenOrStopped)
{
    auto server = std::make_unique<cattest::PrivateServer>();
    ASSERT_TRUE(server->error().empty()) << server->error();
    ChartroomSettings settings;
    settings.host = server->account().host;
    settings.port = server->account().port;
    settings.user = server->account().user;
    settings.password = server->account().password;
    cattest::TestDatabase db(server->account());
    settings.database = db.name();
    settings.timeoutSeconds = 2;
    settings.connectTimeoutSeconds = 2;

    struct Local : SearchBackend {
        SearchAnswer answer(const SearchQuery& q) const override
        {
            SearchAnswer a;
            a.query = q;
            a.hits.push_back({});
            a.hits.back().relPath = QStringLiteral("local.shp");
            return a;
        }
    };
    auto health = std::make_shared<TeamSearch::Health>();
    const TeamSearch search(std::make_shared<ServerSearch>(settings, "/srv/store"), std::make_shared<Local>(), health,
                            std::chrono::seconds(3));
    SearchQuery q;
    q.words = QStringLiteral("anything");
    q.categories = {catVector};
    const auto timed = [&](SearchAnswer& a) {
        const auto start = std::chrono::steady_clock::now();
        a = search.answer(q);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    SearchAnswer a;
    timed(a);
    ASSERT_TRUE(a.error.isEmpty()) << a.error.toStdString();
    EXPECT_TRUE(a.source.startsWith(QStringLiteral("Team index on "))) << a.source.toStdString();
    EXPECT_TRUE(a.hits.empty()) << "the team's index is empty";

    ASSERT_TRUE(server->stop());
    const double frozen = timed(a);
    EXPECT_LT(frozen, 10.0) << "within the timeout (the client may try a read again)";
    EXPECT_TRUE(a.error.isEmpty());
    ASSERT_EQ(a.hits.size(), 1u);
    EXPECT_TRUE(a.source.startsWith(QStringLiteral("Local index: the team index on %1 did not answer")
                                        .arg(QString::fromStdString(settings.host))))
        << a.source.toStdString();
    EXPECT_LT(timed(a), 0.5) << "while it stays away the own index answers at once";
    EXPECT_EQ(a.hits.size(), 1u);

    server->resume();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    timed(a);
    EXPECT_TRUE(a.source.startsWith(QStringLiteral("Team index on "))) << a.source.toStdString();

    // Shut down: the connection is refused at once.
    server.reset();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double stopped = timed(a);
    EXPECT_LT(stopped, 5.0);
    ASSERT_EQ(a.hits.size(), 1u);
    EXPECT_TRUE(a.source.startsWith(QStringLiteral("Local index: "))) << a.source.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    // Qt SQL needs an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
