#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QLocale>
#include <algorithm>
#include <atomic>
#include <tuple>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "model/DirectoryListing.h"
#include "ModelFixture.h"
#include "TestUtil.h"
#include "model/XMLFile.h"

using testutil::makeDir;
using testutil::TempDir;
using testutil::writeFile;

namespace {

class DirectoryListingTest : public ModelFixture {
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        // The tree's order is the locale's; the window's tests use this one.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
        ModelFixture::TearDown();
    }
    static QStringList texts(const DirectoryListing& listing)
    {
        QStringList out;
        for (const ListedEntry& e : listing.entries)
            out << e.text;
        return out;
    }
    static const ListedEntry* find(const DirectoryListing& listing, const QString& text)
    {
        for (const ListedEntry& e : listing.entries)
            if (e.text == text)
                return &e;
        return nullptr;
    }
};

TEST_F(DirectoryListingTest, ListsWithTheTreeRulesInDisplayOrder)
{
    const std::string d = m_tree.path();
    makeDir(d + "info");
    makeDir(d + "INFO");
    makeDir(d + "dem");
    writeFile(d + "dem.aux", "aux");
    makeDir(d + "empty");
    makeDir(d + "lakes.shp");
    writeFile(d + "roads.shp", "shp");
    writeFile(d + "roads.shp.xml", "<metadata/>");
    writeFile(d + "roads.dbf", "dbf");
    writeFile(d + "stations.dbf", "dbf");
    writeFile(d + "README", "no dot");
    writeFile(d + "trailing.", "dot");
    writeFile(d + "Zones.shp", "shp");

    const DirectoryListing listing = listDirectory(d.substr(0, d.size() - 1));
    EXPECT_EQ(listing.dir, d) << "the trailing separator is added";
    EXPECT_TRUE(listing.error.isEmpty());
    EXPECT_FALSE(listing.cancelled);
    EXPECT_EQ(texts(listing), (QStringList{"dem", "empty", "INFO", "lakes.shp", "lakes.shp/", "roads.shp",
                                           "stations.dbf", "Zones.shp"}));
    struct stat st {};
    ASSERT_EQ(::stat(d.c_str(), &st), 0);
    EXPECT_EQ(listing.inode, static_cast<uint64_t>(st.st_ino));

    // Each entry carries what the tree's data object would derive itself.
    for (const ListedEntry& e : listing.entries) {
        SCOPED_TRACE(e.text.toStdString());
        EXPECT_NE(e.category, catUnknown);
        const auto item = makeListedItem(listing, e);
        const tXMLFile classified(e.path);
        EXPECT_EQ(item->Name, classified.Name);
        EXPECT_EQ(item->Dir, classified.Dir);
        EXPECT_EQ(item->Ext, classified.Ext);
        EXPECT_EQ(item->XMLPath, classified.XMLPath);
        EXPECT_EQ(item->Category, classified.Category);
    }
    const ListedEntry* empty = find(listing, "empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->subdirectory);
    EXPECT_EQ(empty->path, d + "empty/");
    EXPECT_EQ(empty->name, "empty");
    const ListedEntry* lakesLeaf = find(listing, "lakes.shp/");
    ASSERT_NE(lakesLeaf, nullptr);
    EXPECT_FALSE(lakesLeaf->subdirectory) << "the second appearance is a leaf";
    EXPECT_EQ(lakesLeaf->category, catDirectory);
    EXPECT_TRUE(find(listing, "roads.shp")->hasMetadata);
    EXPECT_FALSE(find(listing, "Zones.shp")->hasMetadata);
    EXPECT_EQ(find(listing, "dem")->xmlPath, d + "dem/metadata.xml");

    // A walk that shows nothing gets the same entries, in the order read,
    // without their texts.
    const DirectoryListing walked = listDirectory(d, {}, ListingOrder::AsRead);
    auto keys = [](const DirectoryListing& l) {
        std::vector<std::tuple<std::string, std::string, int, std::string, bool, bool>> out;
        for (const ListedEntry& e : l.entries)
            out.emplace_back(e.path, e.name, e.category, e.xmlPath, e.hasMetadata, e.subdirectory);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(keys(walked), keys(listing));
    for (const ListedEntry& e : walked.entries)
        EXPECT_TRUE(e.text.isEmpty()) << e.path;

    // The folder's own description is told from the names read: the exact
    // name only, as it is opened by that name.
    EXPECT_FALSE(listing.hasFolderMetadata);
    writeFile(d + "Metadata.xml", "<metadata/>");
    EXPECT_FALSE(listDirectory(d, {}, ListingOrder::AsRead).hasFolderMetadata);
    writeFile(d + "metadata.xml", "<metadata/>");
    EXPECT_TRUE(listDirectory(d, {}, ListingOrder::AsRead).hasFolderMetadata);
}

// Siblings match without regard to letter case (stores copied from Windows
// servers); the configured categories stay as they are.
TEST_F(DirectoryListingTest, SiblingRulesIgnoreLetterCase)
{
    const struct Case {
        const char* label;
        std::vector<std::string> files, dirs;
        QStringList shown;
        const char* gridText;    // the .aux entry that stands for a grid folder, if any
        const char* gridFolder;  // its folder's name as on disk
    } cases[] = {
        {"dbf beside shp, both upper", {"ROADS.SHP", "ROADS.DBF"}, {}, {"ROADS.SHP"}, nullptr, nullptr},
        {"dbf lower beside SHP", {"ROADS.SHP", "roads.dbf"}, {}, {"ROADS.SHP"}, nullptr, nullptr},
        {"Dbf beside shp mixed", {"Roads.shp", "rOADS.Dbf"}, {}, {"Roads.shp"}, nullptr, nullptr},
        {"dbf without shp stays a table", {"ROADS.DBF", "ROADS.SHX"}, {}, {"ROADS.DBF"}, nullptr, nullptr},
        {"AUX beside TIF", {"IMAGE.TIF", "IMAGE.AUX"}, {}, {"IMAGE.TIF"}, nullptr, nullptr},
        {"aux beside Tif", {"Image.Tif", "image.aux"}, {}, {"Image.Tif"}, nullptr, nullptr},
        // aux is itself a raster extension here: any .aux stands beside one.
        {"lone AUX beside itself", {"LONE.AUX"}, {}, {}, nullptr, nullptr},
        {"grid DEM beside DEM.AUX", {"DEM.AUX"}, {"DEM"}, {"DEM"}, "DEM", "DEM"},
        {"grid dem beside DEM.AUX", {"DEM.AUX"}, {"dem"}, {"DEM"}, "DEM", "dem"},
        {"grid DEM beside dem.aux", {"dem.aux"}, {"DEM"}, {"dem"}, "dem", "DEM"},
        {"exact case still works", {"dem.aux", "a.shp", "a.dbf"}, {"dem"}, {"a.shp", "dem"}, "dem", "dem"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        for (const std::string& f : c.files)
            writeFile(dir / f, "x");
        for (const std::string& sub : c.dirs)
            makeDir(dir / sub);
        const DirectoryListing listing = listDirectory(dir.path());
        EXPECT_EQ(texts(listing), c.shown);
        if (c.gridText) {
            const ListedEntry* grid = find(listing, QString::fromLatin1(c.gridText));
            ASSERT_NE(grid, nullptr);
            EXPECT_FALSE(grid->subdirectory);
            EXPECT_EQ(grid->category, catRaster) << "the configured category of .aux";
            EXPECT_EQ(grid->xmlPath, dir / (std::string(c.gridFolder) + "/metadata.xml"));
            EXPECT_EQ(makeListedItem(listing, *grid)->Name, c.gridText);
        }
        for (const ListedEntry& e : listing.entries) {
            if (e.name == "ROADS.DBF") {
                EXPECT_EQ(e.category, catTable);
            }
        }
    }
}

TEST_F(DirectoryListingTest, FailuresAndCancellationAreReported)
{
    const DirectoryListing missing = listDirectory(m_tree / "gone");
    EXPECT_TRUE(missing.entries.empty());
    EXPECT_TRUE(missing.error.contains("gone")) << missing.error.toStdString();
    EXPECT_FALSE(missing.cancelled);

    const std::string file = m_tree / "file.pdf";
    writeFile(file, "x");
    EXPECT_FALSE(listDirectory(file).error.isEmpty()) << "a file is no folder";

    for (int i = 0; i < 50; ++i)
        writeFile(m_tree / ("f" + std::to_string(i) + ".pdf"), "x");
    std::atomic<int> asked{0};
    const DirectoryListing stopped = listDirectory(m_tree.path(), [&] { return ++asked > 10; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(stopped.error.isEmpty());
    EXPECT_EQ(asked.load(), 11) << "asked between entries, stopped at the first yes";
    const DirectoryListing whole = listDirectory(m_tree.path(), [] { return false; });
    EXPECT_FALSE(whole.cancelled);
    EXPECT_EQ(whole.entries.size(), 51u);

    if (::geteuid() != 0) {
        makeDir(m_tree / "secret");
        ::chmod((m_tree / "secret").c_str(), 0);
        EXPECT_FALSE(listDirectory(m_tree / "secret").error.isEmpty());
        ::chmod((m_tree / "secret").c_str(), 0755);
    }
}

} // namespace
