#include "support/Errors.h"
#include "support/StringOps.h"
#include "SupportTestUtil.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

struct SplitCase {
    std::string text;
    char sep;
    tVectorOfString expected;
};

TEST(StringOps, SplitString)
{
    const SplitCase cases[] = {
        {"", '\\', {""}},
        {"\\", '\\', {"", ""}},
        {"a\\b\\c", '\\', {"a", "b", "c"}},
        {"a\\\\c", '\\', {"a", "", "c"}},
        {"a\\", '\\', {"a", ""}},
        {"\\a", '\\', {"", "a"}},
        {"abc", '\\', {"abc"}},
        {"x/y", '\\', {"x/y"}},
        {std::string("a\0b", 3), '\0', {"a", "b"}},
        {"\xff;\xfe", ';', {"\xff", "\xfe"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitString(c.text, c.sep), c.expected) << "text: " << c.text;
}

struct ReplaceCase {
    std::string text, search, repl, all, first;
};

TEST(StringOps, ReplaceAllAndFirst)
{
    const ReplaceCase cases[] = {
        {"a\\b\\c", "\\", "\\\\", "a\\\\b\\\\c", "a\\\\b\\c"},
        {"abcabc", "bc", "X", "aXaX", "aXabc"},
        {"aaa", "aa", "b", "ba", "ba"},
        {"aa", "a", "aa", "aaaa", "aaa"},
        {"abc", "", "X", "abc", "abc"},
        {"abc", "x", "Y", "abc", "abc"},
        {"", "a", "b", "", ""},
        {"it's 'q'", "'", "''", "it''s ''q''", "it''s 'q'"},
        {"Abc abc", "abc", "-", "Abc -", "Abc -"},
        {"abc", "abc", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplaceAll(c.text, c.search, c.repl), c.all)
            << c.text << " / " << c.search << " / " << c.repl;
        EXPECT_EQ(ReplaceFirst(c.text, c.search, c.repl), c.first)
            << c.text << " / " << c.search << " / " << c.repl;
    }
}

TEST(StringOps, DropFirstAndLastChars)
{
    const struct {
        std::string text;
        int n;
        std::string expected;
    } dropFirst[] = {
        {"21_country", 3, "country"}, {"ab", 5, ""},  {"ab", 2, ""},    {"ab", 1, "b"},
        {"ab", 0, "ab"},              {"ab", -3, "ab"}, {"", 0, ""},    {"", 2, ""},
    };
    for (const auto& c : dropFirst)
        EXPECT_EQ(DropFirstChars(c.text, c.n), c.expected) << c.text << " " << c.n;

    const struct {
        std::string text, expected;
    } dropLast[] = {{"", ""}, {"a", ""}, {"abc\\", "abc"}, {"ab", "a"}};
    for (const auto& c : dropLast)
        EXPECT_EQ(DropLastChar(c.text), c.expected) << c.text;
}

TEST(StringOps, TrimAndLowerAscii)
{
    const struct {
        std::string text, expected;
    } trims[] = {{"", ""}, {"   ", ""}, {" \t a b \r\n", "a b"}, {"\x01x\x1f", "x"}, {"ab", "ab"}};
    for (const auto& c : trims)
        EXPECT_EQ(Trim(c.text), c.expected) << c.text;

    EXPECT_EQ(LowerAscii("AbC.SHP"), "abc.shp");
    EXPECT_EQ(LowerAscii("\xC3\x89Z@["), "\xC3\x89z@[");
}

TEST(StringOps, IsValidUtf8)
{
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ASCII text longer than one word", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x97\xBA", true},       // 2, 3 and 4 bytes
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", true},                     // U+FFFF, U+10FFFF
        {"caf\xE9", false},                                        // Latin-1
        {"\xC0\xAF", false}, {"\xE0\x80\xAF", false},                // overlong
        {"\xED\xA0\x80", false},                                   // surrogate
        {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false},   // past U+10FFFF
        {"abcdefgh\xE2\x82", false},                               // cut after an ASCII word
        {"\x80", false},
        {std::string("a\0b", 3), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << QByteArray::fromStdString(c.text).toHex().toStdString();
}

TEST(StringOps, SortStringsUsesByteOrderAndKeepsDuplicates)
{
    const struct {
        tVectorOfString input, expected;
    } cases[] = {
        {{}, {}},
        {{"x"}, {"x"}},
        {{"alpha", "Zeta"}, {"Zeta", "alpha"}},
        {{"b", "a", "b"}, {"a", "b", "b"}},
        {{"\xC3\xA9", "z", "A"}, {"A", "z", "\xC3\xA9"}},
        {{"ab", "a", "", "abc"}, {"", "a", "ab", "abc"}},
    };
    for (const auto& c : cases) {
        tVectorOfString v = c.input;
        SortStrings(v);
        EXPECT_EQ(v, c.expected);
    }
}

tVectorOfString randomStrings(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    tVectorOfString result;
    for (int i = 0; i < count; ++i) {
        std::string s(random.bounded(0, 5), ' ');
        // A small alphabet, high bytes included, gives many duplicates.
        for (char& ch : s)
            ch = "aAzZ\x80\xff"[random.bounded(6)];
        result.push_back(s);
    }
    return result;
}

TEST(StringOps, SortStringsAgreesWithByteComparison)
{
    for (int count : {2, 3, 17, 500}) {
        tVectorOfString v = randomStrings(count, static_cast<quint32>(count));
        tVectorOfString expected = v;
        std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(),
                [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
        });
        SortStrings(v);
        EXPECT_EQ(v, expected) << count << " elements";
    }
}

TEST(StringOps, FindSorted)
{
    const tVectorOfString abc{"a", "b", "c"};
    const struct {
        tVectorOfString vector;
        std::string key;
        int expected;
    } cases[] = {
        {abc, "b", 1}, {abc, "a", 0}, {abc, "c", 2}, {abc, "bb", -1},
        {abc, "0", -1}, {abc, "d", -1}, {abc, "B", -1}, {{}, "a", -1}, {{"a"}, "a", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindSorted(c.vector, c.key), c.expected) << c.key;
}

TEST(StringOps, FindSortedFindsEveryElementOfASortedVector)
{
    tVectorOfString v = randomStrings(300, 7);
    SortStrings(v);
    for (const auto& key : v) {
        const int at = FindSorted(v, key);
        ASSERT_GE(at, 0) << key;
        EXPECT_EQ(v[static_cast<std::size_t>(at)], key);
    }
    EXPECT_EQ(FindSorted(v, "not there"), -1);
}

TEST(StringOps, DecodeBase64)
{
    const struct {
        std::string text, expected;
    } cases[] = {
        {"", ""},
        {"TWFu", "Man"},
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TWE", "Ma"},
        {"TQ", "M"},
        {"T", ""},
        {"TWFuT", "Man"},
        {"TW\r\nFu\n", "Man"},
        {" T!W@F#u ", "Man"},
        {"====", ""},
        {"//8A", std::string("\xff\xff\x00", 3)},
        {"+/+/", "\xfb\xff\xbf"},
        // Groups of four split by a line break or a stray character.
        {"TWFuTW\nFuTWFu", "ManManMan"},
        {"TWFu!TWFuTWFu", "ManManMan"},
        {"TWFuT=WFuTWFu", "ManManMan"},
        {"TWFuTWFuTWE", "ManManMa"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeBase64(c.text), c.expected) << c.text;
}

TEST(StringOps, DecodeBase64ReversesEncoding)
{
    QRandomGenerator random(42);
    for (int size : {0, 1, 2, 3, 4, 5, 100, 65537}) {
        QByteArray bytes(size, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random.bounded(256));
        const std::string encoded = bytes.toBase64().toStdString();
        // Metadata files carry the picture broken into lines.
        std::string broken, misaligned;
        for (std::size_t i = 0; i < encoded.size(); i += 76)
            broken += encoded.substr(i, 76) + "\r\n";
        // Lines whose length is no multiple of four split the groups.
        for (std::size_t i = 0; i < encoded.size(); i += 75)
            misaligned += encoded.substr(i, 75) + "\n";
        const std::string original(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        EXPECT_EQ(DecodeBase64(encoded), original) << size;
        EXPECT_EQ(DecodeBase64(broken), original) << size;
        EXPECT_EQ(DecodeBase64(misaligned), original) << size;
    }
}

TEST(StringOps, WriteBase64FileWritesTheDecodedBytes)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string oneLine = "SGVsbG8sIHRodW1ibmFpbCB3b3JsZCE=";
    const std::string broken = "SGVsbG8sIHRo\r\ndW1ibmFpbCB3\r\nb3JsZCE=\r\n";

    const std::string a = dir.path() + "a.bmp";
    const std::string b = dir.path() + "b.bmp";
    WriteBase64File(oneLine, a);
    writeFile(b, std::string(1000, 'x'));   // replaced, not appended to
    WriteBase64File(broken, b);
    EXPECT_EQ(readFile(a), "Hello, thumbnail world!");
    EXPECT_EQ(readFile(b), readFile(a));

    const std::string five = dir.path() + "five.bin";
    WriteBase64File("TWFuT", five);
    EXPECT_EQ(readFile(five).size(), 3u);
}

TEST(StringOps, WriteBase64FileReportsAnUncreatableFile)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string inMissingFolder = dir.path() + "no such folder/thumb.bmp";
    const std::string onAFolder = dir.path() + "folder";
    ASSERT_EQ(::mkdir(onAFolder.c_str(), 0755), 0);
    for (const std::string& target : {inMissingFolder, onAFolder}) {
        try {
            WriteBase64File("TWFu", target);
            ADD_FAILURE() << "no error for " << target;
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
        }
    }
}

} // namespace
