// What the search takes as a word in every script, how a box fits another,
// and the ids that keep data sets in path order.
#include <gtest/gtest.h>

#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "model/GeoBox.h"
#include "model/PathOrder.h"
#include "model/SearchFields.h"
#include "model/SearchSnippet.h"
#include "model/SearchText.h"
#include "model/SearchWords.h"

namespace {

QStringList words(const QString& text)
{
    QStringList list;
    for (const searchtext::Piece& p : searchtext::pieces(text))
        list << p.folded;
    return list;
}

QStringList indexWords(const QString& text)
{
    QString out;
    searchtext::appendIndexWords(text, out);
    return out.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList terms(const QString& text)
{
    QStringList list;
    for (const searchtext::Term& t : searchtext::queryTerms(text))
        list << t.word + (t.prefix ? QStringLiteral("*") : QString());
    return list;
}

TEST(SearchText, WordsAreFoldedAlikeInEveryScript)
{
    const struct {
        const char* text;
        QStringList expected;
    } cases[] = {
        {"La Rivière, RIVIERE et riviere", {"la", "riviere", "riviere", "et", "riviere"}},
        {"e\xCC\x81te\xCC\x81", {"ete"}},                     // accents written apart from their letters
        {"Straße ẞ Łódź Ærø Œuvre", {"strasse", "ss", "lodz", "aero", "oeuvre"}},
        {"𝐁𝐨𝐬𝐭𝐨𝐧", {"boston"}},                           // mathematical letters, outside the basic plane
        {"Ｂｏｓｔｏｎ ２０２４", {"boston", "2024"}},             // full-width forms
        {"ﬁeld ①", {"field", "1"}},                        // a ligature, a circled digit
        {"Ελλάδα Москва ёлка", {"ελλαδα", "москва", "елка"}}, // Greek and Cyrillic accents
        {"d'eau, 1:25 000; roads_osm.shp", {"d", "eau", "1", "25", "000", "roads", "osm", "shp"}},
        {"が か", {"が", "か"}},                             // voicing marks make other syllables
        {"עִבְרִית हिन्दी", {"עִבְרִית", "हिन्दी"}},                    // marks of other scripts stay in their word
    };
    for (const auto& c : cases)
        EXPECT_EQ(words(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(SearchText, RunsOfChineseJapaneseAndKoreanAreKeptAsPairs)
{
    const struct {
        const char* text;
        QStringList index;
        QStringList query;
    } cases[] = {
        {"东京都", {"东京", "京都", "都"}, {"东京", "京都"}},
        {"京", {"京"}, {"京*"}},
        {"𠮷野家", {"𠮷野", "野家", "家"}, {"𠮷野", "野家"}}, // a letter outside the basic plane leads the run
        {"データ", {"デー", "ータ", "タ"}, {"デー", "ータ"}},    // the long-vowel mark belongs to the run
        {"서울특별시 지도", {"서울", "울특", "특별", "별시", "시", "지도", "도"}, {"서울", "울특", "특별", "별시", "지도"}},
        {"GIS数据 2010年", {"gis", "数据", "据", "2010", "年"}, {"gis*", "数据", "2010*", "年*"}},
        {"ﾃﾞｰﾀ", {"デー", "ータ", "タ"}, {"デー", "ータ"}},       // half-width katakana
    };
    for (const auto& c : cases) {
        EXPECT_EQ(indexWords(QString::fromUtf8(c.text)), c.index) << c.text;
        EXPECT_EQ(terms(QString::fromUtf8(c.text)), c.query) << c.text;
    }
    EXPECT_EQ(terms(QStringLiteral("hydro  Hydro, genev")), (QStringList{"hydro*", "genev*"})) << "each term once";
    EXPECT_TRUE(terms(QStringLiteral(" ,;- \"")).isEmpty());
}

// ASCII is cut a run at a time: the words and their places must be those
// of a plain reading (runs of letters and digits, lower case, cut at 64
// characters but spanning the whole run), also next to other scripts.
TEST(SearchText, AsciiRunsAreWordsWithTheirPlaces)
{
    const QString longRun = QString(70, QLatin1Char('A')) + QStringLiteral("b");
    const struct {
        QString text;
        QStringList words;
        std::vector<std::pair<qsizetype, qsizetype>> places;
    } cases[] = {
        {QStringLiteral("Lake-GENEVA 2024x"), {"lake", "geneva", "2024x"}, {{0, 4}, {5, 11}, {12, 17}}},
        {QStringLiteral("  Café123Über."), {"cafe123uber"}, {{2, 13}}},
        {QStringLiteral("abc東京def"), {"abc", "東", "京", "def"}, {{0, 3}, {3, 4}, {4, 5}, {5, 8}}},
        {QStringLiteral("e\u0301t\u00e9 x"), {"ete", "x"}, {{0, 4}, {5, 6}}},
        {longRun + QStringLiteral(" z"), {QString(64, QLatin1Char('a')), "z"}, {{0, 71}, {72, 73}}},
        {QString(60, QLatin1Char('x')) + QStringLiteral("é") + QString(10, QLatin1Char('Y')),
         {QString(61, QLatin1Char('x')).replace(60, 1, QStringLiteral("e")) + QStringLiteral("yyy")}, {{0, 71}}},
        {QStringLiteral("𝐁oston_MA"), {"boston", "ma"}, {{0, 7}, {8, 10}}},
    };
    for (const auto& c : cases) {
        const std::vector<searchtext::Piece> ps = searchtext::pieces(c.text);
        QStringList got;
        std::vector<std::pair<qsizetype, qsizetype>> places;
        for (const searchtext::Piece& p : ps) {
            got << p.folded;
            places.emplace_back(p.from, p.to);
        }
        EXPECT_EQ(got, c.words) << c.text.toStdString();
        EXPECT_EQ(places, c.places) << c.text.toStdString();
    }
}

// The rows of a data set as a plain reading makes them: every word once,
// in the order of the fields, each row holding the one before it.
searchwords::WordRows plainWordRows(const QString& fileName, const SearchFields& f)
{
    searchwords::WordRows w;
    QSet<QString> seen;
    int words = 0;
    QString row;
    const std::vector<std::vector<const QString*>> rows = {
        {&f.title}, {&fileName, &f.keywords, &f.places}, {&f.abstract, &f.purpose, &f.originator}};
    for (int r = 0; r < searchwords::kRows; ++r) {
        for (const QString* text : rows[size_t(r)]) {
            QString all;
            words += searchtext::appendIndexWords(*text, all);
            for (const QString& word : all.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (!seen.contains(word)) {
                    seen.insert(word);
                    row += QLatin1Char(' ') + word;
                }
        }
        w.text[r] = row;
        w.count[r] = words;
    }
    w.wordsLength = row.size();
    return w;
}

TEST(SearchWords, RowsHoldEveryWordOnceInFieldOrder)
{
    SearchFields f;
    f.title = QStringLiteral("Lakes of Vaud - lakes, LAKES");
    f.keywords = QStringLiteral("hydrology lakes 東京都");
    f.places = QStringLiteral("Vaud Genève");
    f.abstract = QStringLiteral("The lakes of Vaud and Geneve 京都");
    const searchwords::WordRows w = searchwords::wordRows(QStringLiteral("lakes_vaud.shp"), f);
    EXPECT_EQ(w.text[0], QStringLiteral(" lakes of vaud"));
    EXPECT_EQ(w.text[1], QStringLiteral(" lakes of vaud shp hydrology 東京 京都 都 geneve"));
    EXPECT_EQ(w.text[2], w.text[1] + QStringLiteral(" the and"));
    EXPECT_EQ(w.count[0], 5);
    EXPECT_EQ(w.count[1], 5 + 3 + 5 + 2);
    EXPECT_EQ(w.count[2], 15 + 8);
    EXPECT_EQ(w.words(), QStringView(w.text[2]));

    // Texts of many scripts and many repeated words (more than a data set's
    // first room for them): the same rows as the plain reading.
    const QStringList pieces = {
        QStringLiteral("river"), QStringLiteral("River"), QStringLiteral("RIVIÈRE"), QStringLiteral("東京都"),
        QStringLiteral("𠮷野家"), QStringLiteral("e\u0301te\u0301"), QStringLiteral("ﬁeld"), QStringLiteral("서울"),
        QStringLiteral("2024"), QStringLiteral("Москва"), QString(80, QLatin1Char('q')), QStringLiteral("ﾃﾞｰﾀ"),
        QStringLiteral(", "), QStringLiteral("-"), QStringLiteral(" "), QStringLiteral("a"), QStringLiteral("Ω")};
    std::mt19937 random(25);
    auto text = [&](int parts) {
        QString t;
        for (int i = 0; i < parts; ++i) {
            t += pieces[int(random() % pieces.size())];
            if (random() % 3 == 0)
                t += QString::number(random() % 5000);
        }
        return t;
    };
    for (int round = 0; round < 60; ++round) {
        SearchFields g;
        g.title = text(3);
        g.keywords = text(5);
        g.places = text(2);
        g.abstract = text(round * 40);
        g.purpose = text(4);
        g.originator = text(1);
        const QString name = text(2);
        const searchwords::WordRows fast = searchwords::wordRows(name, g);
        const searchwords::WordRows plain = plainWordRows(name, g);
        for (int r = 0; r < searchwords::kRows; ++r) {
            EXPECT_EQ(fast.text[r], plain.text[r]) << "round " << round << ", row " << r;
            EXPECT_EQ(fast.count[r], plain.count[r]) << "round " << round << ", row " << r;
        }
        EXPECT_EQ(fast.words(), plain.words()) << "round " << round;
    }
}

TEST(SearchFieldsTest, DatesAreWrittenAlike)
{
    const struct {
        const char* written;
        const char* expected;
    } cases[] = {
        {"20080315", "2008-03-15"}, {"2008", "2008"}, {"200803", "2008-03"}, {"2008-03", "2008-03"},
        {" 2008-03-15\n", "2008-03-15"}, {"2008-03-15T10:00:00", "2008-03-15"}, {"2008-03-15 10:00", "2008-03-15"},
        {"20081301", "20081301"}, {"2008-00", "2008-00"}, {"2008-03-32", "2008-03-32"}, {"2008-3-15", "2008-3-15"},
        {"2008/03/15", "2008/03/15"}, {"2008-0315", "2008-0315"}, {"12345", "12345"}, {"unknown", "unknown"},
        {"", ""}, {"2008-03-15X", "2008-03-15X"}, {"２００８", "２００８"},
        {"spring of the year two thousand and eight, roughly", "spring of the year two thousand and eigh"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalizedDate(QString::fromUtf8(c.written)).toStdString(), c.expected) << c.written;
}

TEST(SearchText, MatchedSpansMarkWholeWordsPrefixesAndPairs)
{
    const QString text = QStringLiteral("Lakes of Léman, the lake; 東京都の地図");
    auto marked = [&](const char* query) {
        QStringList list;
        for (const searchtext::Span& s : searchtext::matchedSpans(text, searchtext::queryTerms(QString::fromUtf8(query))))
            list << text.mid(s.from, s.to - s.from);
        return list;
    };
    EXPECT_EQ(marked("lake leman"), (QStringList{"Lakes", "Léman", "lake"}));
    EXPECT_EQ(marked("京都"), QStringList{"京都"});
    EXPECT_EQ(marked("京都 地図"), (QStringList{"京都", "地図"}));
    EXPECT_EQ(marked("京"), QStringList{"京"});
    EXPECT_EQ(marked("akes"), QStringList{}) << "not the middle of a word";
}

// The snippet with its marks written in brackets.
QString marked(const Snippet& s)
{
    QString out = s.text;
    for (auto it = s.marks.rbegin(); it != s.marks.rend(); ++it)
        out.insert(it->to, QLatin1Char(']')).insert(it->from, QLatin1Char('['));
    return out;
}

TEST(SearchSnippet, ThePassageAroundTheMatchWithItsWordsMarked)
{
    const QString longText =
        QStringLiteral("Gauging stations of the canton, read every ten minutes since 1974. The series were checked "
                       "against the manual readings of the observers and corrected for the drift of the sensors; the "
                       "Rhône at Porte du Scex and the Broye at Payerne are the longest series of the network, and "
                       "the tributaries of the lake follow.");
    const struct {
        const char* what;
        SearchHit hit;
        const char* words;
        QString expected;
    } cases[] = {
        {"a short abstract whole", [] { SearchHit h; h.abstract = QStringLiteral("Rivers and\n  lakes"); return h; }(),
         "lake", QStringLiteral("Rivers and [lakes]")},
        {"cut around the first match, at word boundaries",
         [&] { SearchHit h; h.abstract = longText; return h; }(), "rhone payern",
         QStringLiteral("\u2026for the drift of the sensors; the [Rhône] at Porte du Scex and the Broye at [Payerne] are the "
                        "longest series of the network, and the tributaries of the lake\u2026")},
        {"the field where most words matched",
         [] { SearchHit h; h.abstract = QStringLiteral("Lakes of the region"); h.keywords = QStringLiteral("lakes rivers");
              return h; }(), "lakes rivers", QStringLiteral("[lakes] [rivers]")},
        {"words only in the title: the start of the abstract",
         [&] { SearchHit h; h.title = QStringLiteral("Gauges"); h.abstract = longText; return h; }(), "gauges",
         QStringLiteral("Gauging stations of the canton, read every ten minutes since 1974. The series were checked "
                        "against the manual readings of the observers and corrected for the\u2026")},
        {"letters outside the basic plane are not split",
         [] { SearchHit h; h.abstract = QStringLiteral("本店は𠮷野家です"); return h; }(), "𠮷野家",
         QStringLiteral("本店は[𠮷野家]です")},
        {"nothing to show", SearchHit{}, "x", QString()},
    };
    for (const auto& c : cases) {
        const Snippet s = makeSnippet(c.hit, searchtext::queryTerms(QString::fromUtf8(c.words)));
        EXPECT_EQ(marked(s).toStdString(), c.expected.toStdString()) << c.what;
        EXPECT_LE(s.text.size(), 162) << c.what;
    }
}

TEST(GeoBoxTest, PartsIntersectionAndFit)
{
    const GeoBox fiji{177, -178, -19, -16};
    ASSERT_EQ(fiji.parts().size(), 2u);
    EXPECT_EQ(fiji.parts()[0].west, 177);
    EXPECT_EQ(fiji.parts()[0].east, 180);
    EXPECT_EQ(fiji.parts()[1].west, -180);
    EXPECT_EQ(fiji.parts()[1].east, -178);
    EXPECT_NEAR(fiji.area(), 5 * 3, 1e-9);
    EXPECT_FALSE(fiji.intersects(GeoBox{-70, -57, -23, -9})) << "Bolivia";
    EXPECT_TRUE(fiji.intersects(GeoBox{-179, -170, -20, -10}));
    EXPECT_TRUE(fiji.intersects(GeoBox{170, -170, -20, -10}));

    const GeoBox swiss{5.9, 10.5, 45.8, 47.8};
    EXPECT_DOUBLE_EQ(swiss.fit(swiss), 1.0);
    const GeoBox geneva{5.95, 6.3, 46.1, 46.4}, europe{-10, 30, 35, 70}, world{-180, 180, -90, 90};
    EXPECT_GT(geneva.fit(swiss), europe.fit(swiss));
    EXPECT_GT(europe.fit(swiss), world.fit(swiss));
    EXPECT_EQ(GeoBox({20, 30, 0, 10}).fit(swiss), 0.0);
    // Never above the ratio of the areas, which the search's reading by bands relies on.
    for (const GeoBox& b : {geneva, europe, world, fiji, GeoBox{6, 6, 46, 46}})
        EXPECT_LE(b.fit(swiss), std::min(b.area(), swiss.area()) / std::max(b.area(), swiss.area()) + 1e-12);
    EXPECT_GT(GeoBox({6, 6, 46, 46}).fit(swiss), 0.0) << "a point has a place";

    // Ranked, boxes of one size fit alike wherever they lie; their exact
    // fits differ by the binary rounding of their decimal degrees.
    const GeoBox asked{100, 110, -50, -40};
    const GeoBox sameSize[] = {{101.4, 101.75, -43.8, -43.59}, {105.1, 105.45, -48.2, -47.99}, {100, 100.35, -50, -49.79}};
    EXPECT_NE(sameSize[0].fit(asked), sameSize[1].fit(asked)) << "the rounding this is about";
    for (const GeoBox& b : sameSize)
        EXPECT_EQ(b.rankedFit(asked), sameSize[0].rankedFit(asked)) << b.west << " " << b.south;
    // Fits that differ in their first digits still rank apart, in order.
    EXPECT_GT(GeoBox({101, 101.36, -45, -44.79}).rankedFit(asked), sameSize[0].rankedFit(asked));
    EXPECT_GT(swiss.rankedFit(swiss), geneva.rankedFit(swiss));
    EXPECT_EQ(swiss.rankedFit(swiss), 1.0);
    EXPECT_EQ(GeoBox({20, 30, 0, 10}).rankedFit(swiss), 0.0);
    const double step = std::ldexp(1.0, -GeoBox::kRankBits);
    for (const double fit : {1e-12, 3e-7, 0.0125, 0.5, 0.999999999})
        EXPECT_NEAR(GeoBox::rankOf(fit), fit, fit * step);
    EXPECT_EQ(GeoBox::rankOf(0.75), 0.75);
    EXPECT_EQ(GeoBox::rankOf(std::nextafter(1.0, 0.0)), 1.0) << "rounded up into the next power of two";
    EXPECT_EQ(GeoBox::rankOf(0.0), 0.0);
    for (double fit = 1e-9; fit < 1; fit *= 1.37) {
        EXPECT_LE(GeoBox::rankOf(fit), GeoBox::rankOf(fit * (1 + step / 4))) << "a larger fit never ranks lower";
        EXPECT_LT(GeoBox::rankOf(fit), GeoBox::rankOf(fit * (1 + 4 * step))) << "fits apart rank apart";
    }
}

// The store's index keeps boxes widened to single precision and ranks from
// them where every box they may stand for ranks alike: never otherwise
// than from the box as written.
TEST(GeoBoxTest, ARankFromAWidenedCopyIsTheRankOfTheBoxAsWritten)
{
    const auto down = [](double v) {
        const float f = float(v);
        return double(f) > v ? double(std::nextafter(f, -INFINITY)) : double(f);
    };
    const auto up = [](double v) {
        const float f = float(v);
        return double(f) < v ? double(std::nextafter(f, INFINITY)) : double(f);
    };
    const auto narrowed = [](double v, double sign) {
        return v + sign * (v == 0 ? 1e-30 : std::ldexp(1.0, std::ilogb(v) - 21));
    };
    std::mt19937 random(24);
    std::uniform_int_distribution<int> tenths(-1795, 1795), heights(-895, 895), size(1, 4000);
    const GeoBox asks[] = {{0, 10, 40, 50}, {5.9, 10.5, 45.8, 47.8}, {175, -175, -20, -15}, {-180, 180, -90, 90}};
    int decided = 0, asked = 0;
    for (int i = 0; i < 20000; ++i) {
        // Decimal degrees as metadata writes them, in tenths and thousandths.
        const double west = tenths(random) / 10.0, south = heights(random) / 10.0;
        const GeoBox box{west, std::min(180.0, west + size(random) / 1000.0), south,
                         std::min(90.0, south + size(random) / 2000.0)};
        const GeoBox outer{down(box.west), up(box.east), down(box.south), up(box.north)};
        const GeoBox inner{narrowed(outer.west, 1), narrowed(outer.east, -1), narrowed(outer.south, 1),
                           narrowed(outer.north, -1)};
        for (const GeoBox& a : asks) {
            bool meets = false;
            double rank = -1;
            ++asked;
            if (!GeoBox::rankedFitBetween(inner, outer, a, meets, rank))
                continue;
            ++decided;
            ASSERT_EQ(meets, box.intersects(a)) << box.west << " " << box.east << " " << box.south << " " << box.north;
            if (meets)
                ASSERT_EQ(rank, box.rankedFit(a)) << box.west << " " << box.east << " " << box.south << " " << box.north;
        }
    }
    EXPECT_GT(decided, asked / 2) << "most boxes need not be read as written";
    // Not decided: a box that may or may not touch, a box narrower than the
    // rounding, a copy that does not hold the narrowed one.
    bool meets = false;
    double rank = 0;
    EXPECT_FALSE(GeoBox::rankedFitBetween({10.0000001, 11, 40, 41}, {9.9999999, 11, 40, 41}, asks[0], meets, rank));
    EXPECT_FALSE(GeoBox::rankedFitBetween({5, 5.00001, 40, 41}, {4.99999, 5.00002, 40, 41}, asks[0], meets, rank));
    EXPECT_FALSE(GeoBox::rankedFitBetween({4, 6, 40, 41}, {5, 6, 40, 41}, asks[0], meets, rank));
}

TEST(GeoBoxTest, BoundingValuesAreDegreesOrNot)
{
    const struct {
        const char *w, *e, *s, *n;
        BoxReading expected;
    } cases[] = {
        {"5.9", "10.5", "45.8", "47.8", BoxReading::Box},
        {"5,9", "10,5", "45,8", "47,8", BoxReading::Box},
        {"170", "-64", "18", "72", BoxReading::Box},
        {"485000.5", "834000.5", "75000", "296000", BoxReading::NotInDegrees},
        {"-180.5", "10", "0", "10", BoxReading::NotInDegrees},
        {"0", "10", "10", "0", BoxReading::Inverted},
        {"", "10", "0", "10", BoxReading::None},
        {"west", "10", "0", "10", BoxReading::None},
        {"nan", "10", "0", "10", BoxReading::None},
        {"inf", "10", "0", "10", BoxReading::None},
    };
    for (const auto& c : cases) {
        GeoBox box;
        EXPECT_EQ(readBox(QString::fromUtf8(c.w), QString::fromUtf8(c.e), QString::fromUtf8(c.s),
                          QString::fromUtf8(c.n), box),
                  c.expected)
            << c.w << " " << c.e << " " << c.s << " " << c.n;
    }
    // Every way of writing a value gives the double the general conversion gives.
    std::mt19937 random(7);
    QStringList values = {"+5.5", "-0", "0.1", "  -71.062500 ", "7", "1.", ".5", "1e1", "0x10", "--1", "-"};
    for (int i = 0; i < 2000; ++i) {
        const int digits = int(random() % 17);
        QString v = QString::number(int(random() % 361) - 180);
        if (digits > 0)
            v += QLatin1Char(random() % 2 ? '.' : ',') + QString::number(random() % 100000000).rightJustified(digits, '0').left(digits);
        values << v;
    }
    for (const QString& v : values) {
        bool ok = false;
        const double expected = QString(v).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
        GeoBox box;
        const BoxReading r = readBox(v, QStringLiteral("180"), QStringLiteral("-90"), QStringLiteral("90"), box);
        if (!ok || std::abs(expected) > 180) {
            EXPECT_NE(r, BoxReading::Box) << v.toStdString();
            continue;
        }
        ASSERT_EQ(r, BoxReading::Box) << v.toStdString();
        EXPECT_EQ(box.west, expected) << v.toStdString();
    }
}

// Runs the plan on a map id -> path, as the index moves its rows: each move
// must find its target free and keep the ids in path order at every step.
void apply(std::map<int64_t, std::string>& rows, const pathorder::Plan& plan, const std::vector<std::string>& added)
{
    auto inOrder = [&] {
        return std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    };
    for (const auto& [from, to] : plan.moves) {
        ASSERT_EQ(rows.count(to), 0u) << "moved onto a row";
        ASSERT_EQ(rows.count(from), 1u);
        rows[to] = rows[from];
        rows.erase(from);
        ASSERT_TRUE(inOrder()) << "a move passed another row";
    }
    for (size_t i = 0; i < added.size(); ++i) {
        ASSERT_GT(plan.ids[i], 0);
        ASSERT_LT(plan.ids[i], pathorder::kEnd);
        ASSERT_EQ(rows.count(plan.ids[i]), 0u);
        rows[plan.ids[i]] = added[i];
    }
    ASSERT_TRUE(inOrder());
}

TEST(PathOrderTest, NewPathsTakeIdsInPathOrderAndCrowdedGapsAreSpreadOut)
{
    std::map<int64_t, std::string> rows;
    auto place = [&](const std::vector<std::string>& added) {
        std::vector<int64_t> ids;
        for (const auto& [id, path] : rows)
            ids.push_back(id);
        int asked = 0;
        const pathorder::Plan plan = pathorder::place(ids, [&](int64_t id) {
            ++asked;
            return rows.at(id);
        }, added);
        apply(rows, plan, added);
        return std::make_pair(plan.moves.size(), asked);
    };
    // A first build, then paths added at the same place again and again
    // (files of each day appended to one folder): the gap there runs out
    // and a few neighbours move.
    std::vector<std::string> first;
    for (int i = 0; i < 1000; ++i)
        first.push_back("folder" + std::to_string(i % 10) + "/" + std::to_string(100000 + i));
    EXPECT_EQ(place(first).first, 0u);
    size_t moves = 0;
    for (int day = 0; day < 200; ++day) {
        const auto [moved, asked] = place({"folder4/zz" + std::to_string(10000 + day)});
        moves += moved;
        EXPECT_LE(asked, 20) << "a new path is placed by a binary search";
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_GT(moves, 0u) << "the gap ran out";
    EXPECT_LT(moves, 2000u) << "only neighbours moved, not everything every time";
    // Random batches anywhere.
    size_t total = rows.size();
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        std::vector<std::string> added;
        for (int i = 0; i < 50; ++i) {
            std::string path = "r" + std::to_string(random() % 1000000);
            bool exists = std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return r.second == path; }) ||
                          std::find(added.begin(), added.end(), path) != added.end();
            if (!exists)
                added.push_back(path);
        }
        place(added);
        ASSERT_FALSE(HasFatalFailure());
        total += added.size();
    }
    EXPECT_EQ(rows.size(), total);
}

TEST(PathOrderTest, AFullRangeIsSpreadWhole)
{
    // Ids packed one after the other (as nothing else leaves them): a new
    // path in the middle makes all of them move.
    std::map<int64_t, std::string> rows;
    for (int i = 1; i <= 6; ++i)
        rows[i] = "p" + std::to_string(i * 10);
    std::vector<int64_t> ids{1, 2, 3, 4, 5, 6};
    const std::vector<std::string> added{"p35", "p05", "p99"};
    const pathorder::Plan plan = pathorder::place(ids, [&](int64_t id) { return rows.at(id); }, added);
    EXPECT_FALSE(plan.moves.empty());
    apply(rows, plan, added);
    ASSERT_FALSE(HasFatalFailure());
    std::vector<std::string> order;
    for (const auto& [id, path] : rows)
        order.push_back(path);
    EXPECT_EQ(order, (std::vector<std::string>{"p05", "p10", "p20", "p30", "p35", "p40", "p50", "p60", "p99"}));
}

} // namespace
