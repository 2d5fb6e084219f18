#include "support/PathOps.h"
#include "SupportTestUtil.h"

#include <gtest/gtest.h>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PathCase {
    std::string path, folder, name, ext;
};

TEST(PathOps, ExtractParts)
{
    const PathCase cases[] = {
        {"/data/roads.shp.xml", "/data/", "roads.shp.xml", ".xml"},
        {"/data/roads", "/data/", "roads", ""},
        {"/data.v2/roads", "/data.v2/", "roads", ""},
        {"/data/", "/data/", "", ""},
        {"roads.shp", "", "roads.shp", ".shp"},
        {"/", "/", "", ""},
        {"", "", "", ""},
        {"/data/.cache", "/data/", ".cache", ".cache"},
        {"/data/a.", "/data/", "a.", "."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
        EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
        EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    }
}

TEST(PathOps, ChangeFileExt)
{
    const struct {
        std::string path, ext, expected;
    } cases[] = {
        {"/data/roads.shp.xml", "", "/data/roads.shp"},
        {"/data/roads.shp", ".xml", "/data/roads.xml"},
        {"/data/roads", ".xml", "/data/roads.xml"},
        {"/data.v2/roads", ".xml", "/data.v2/roads.xml"},
        {"/data/metadata.xml", "", "/data/metadata"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChangeFileExt(c.path, c.ext), c.expected) << c.path;
}

TEST(PathOps, TrailingDelimiter)
{
    const struct {
        std::string path, included, excluded;
    } cases[] = {
        {"/data", "/data/", "/data"},
        {"/data/", "/data/", "/data"},
        {"/", "/", "/"},
        {"", "/", ""},
        {"a/b", "a/b/", "a/b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IncludeTrailingPathDelimiter(c.path), c.included) << c.path;
        EXPECT_EQ(ExcludeTrailingPathDelimiter(c.path), c.excluded) << c.path;
    }
}

TEST(PathOps, CatalogueSeparators)
{
    EXPECT_EQ(CatalogueSeparators("/srv/geo/21_country/roads.shp"), "\\srv\\geo\\21_country\\roads.shp");
    EXPECT_EQ(CatalogueSeparators("no separators"), "no separators");
    EXPECT_EQ(CatalogueSeparators("a\\b/"), "a\\b\\");
}

TEST(PathOps, FileExists)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.path() + "file.txt";
    const std::string sub = dir.path() + "sub";
    const std::string linkToFile = dir.path() + "link";
    const std::string dangling = dir.path() + "dangling";
    writeFile(file, "x");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(file.c_str(), linkToFile.c_str()), 0);
    ASSERT_EQ(::symlink((dir.path() + "gone").c_str(), dangling.c_str()), 0);

    const struct {
        std::string path;
        bool expected;
    } cases[] = {
        {file, true}, {linkToFile, true}, {sub, false}, {dir.path(), false},
        {dangling, false}, {dir.path() + "missing", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.path), c.expected) << c.path;
}

} // namespace

// Names are decoded one component at a time: a UTF-8 folder holding a
// windows-1252 file name keeps both letters right, with no U+FFFD.
TEST(PathOps, DecodeFileNameComponentByComponent)
{
    struct Case {
        const char* bytes;
        const char* utf8;
    } cases[] = {
        {"/srv/roads.shp", "/srv/roads.shp"},
        {"/srv/Gew\xc3\xa4sser/r\xe9seau.shp", "/srv/Gew\xc3\xa4sser/r\xc3\xa9seau.shp"},
        {"/srv/r\xe9seau/Gew\xc3\xa4sser/", "/srv/r\xc3\xa9seau/Gew\xc3\xa4sser/"},
        {"/srv/\x96 dash\x80/", "/srv/\xe2\x80\x93 dash\xe2\x82\xac/"}, // windows-1252 en dash and euro
        {"", ""},
        {"/", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(DecodeFileName(c.bytes).toStdString(), c.utf8);
        EXPECT_EQ(DecodeFileNameUtf8(c.bytes), c.utf8);
        EXPECT_FALSE(DecodeFileName(c.bytes).contains(QChar::ReplacementCharacter));
    }
}
