#pragma once
// A configuration and a store of metadata documents in temporary folders,
// for the search index tests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <QString>
#include <QStringList>
#include <string>

#include "model/AtlasdeskOps.h"
#include "model/SearchIndex.h"
#include "model/StoreIndexer.h"
#include "TestUtil.h"

namespace searchtest {

inline const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<atlasdesk>
  <MetadataDOM>
    <ProdName><XML_Path>idinfo/citation/citeinfo/title</XML_Path></ProdName>
    <ProdDesc><XML_Path>idinfo/descript/abstract</XML_Path></ProdDesc>
    <CreatorName><XML_Path>idinfo/citation/citeinfo/origin</XML_Path></CreatorName>
    <Theme><XML_Path>idinfo/keywords/theme/themekey</XML_Path></Theme>
    <Location><XML_Path>idinfo/keywords/place/placekey</XML_Path></Location>
    <West><XML_Path>idinfo/spdom/bounding/westbc</XML_Path></West>
    <East><XML_Path>idinfo/spdom/bounding/eastbc</XML_Path></East>
    <North><XML_Path>idinfo/spdom/bounding/northbc</XML_Path></North>
    <South><XML_Path>idinfo/spdom/bounding/southbc</XML_Path></South>
  </MetadataDOM>
  <filetypes>
    <vector><ext>shp</ext></vector>
    <raster><ext>tif</ext><ext>aux</ext></raster>
    <table><ext>dbf</ext></table>
    <document><ext>pdf</ext></document>
  </filetypes>
</atlasdesk>
)";

struct Doc {
    std::string title, abstract, places;
    double west = 0, east = 0, south = 0, north = 0;
    bool box = true;
    std::string keywords = "reference";
};

inline std::string metadata(const Doc& d)
{
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metadata><idinfo><citation><citeinfo><title>" +
                    d.title + "</title><origin>Office of Surveys</origin></citeinfo></citation><descript><abstract>" +
                    d.abstract + "</abstract><purpose>Planning</purpose></descript>";
    if (d.box)
        x += "<spdom><bounding><westbc>" + std::to_string(d.west) + "</westbc><eastbc>" + std::to_string(d.east) +
             "</eastbc><northbc>" + std::to_string(d.north) + "</northbc><southbc>" + std::to_string(d.south) +
             "</southbc></bounding></spdom>";
    x += "<keywords><theme><themekey>" + d.keywords + "</themekey></theme><place><placekey>" + d.places +
         "</placekey></place></keywords></idinfo></metadata>\n";
    return x;
}

// Sets a file's modification time `seconds` after the epoch (a changed
// file must look changed even within the file system's time resolution).
inline void touch(const std::string& path, long seconds)
{
    struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimes(path.c_str(), times);
}

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramFolder(m_program.path());
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", kConfig);
        m_cwd = std::make_unique<testutil::ChangeDir>(m_program.path());
        LoadConfiguration();
    }
    void TearDown() override
    {
        m_cwd.reset();
        ClearConfiguration();
        SetProgramFolder({});
    }
    // A data file `rel` with its metadata document.
    void dataset(const std::string& rel, const Doc& d)
    {
        testutil::writeFile(m_store / rel, "data");
        testutil::writeFile(m_store / (rel + ".xml"), metadata(d));
    }
    // A data file `rel` with the metadata document `xml`.
    void document(const std::string& rel, const std::string& xml)
    {
        testutil::writeFile(m_store / rel, "data");
        testutil::writeFile(m_store / (rel + ".xml"), xml);
    }
    IndexSettings settings() const
    {
        return IndexSettings::fromConfiguration(m_store.path(), indexFile());
    }
    QString indexFile() const { return QString::fromStdString(m_cache / "index.sqlite"); }
    IndexReport update() { return updateStoreIndex(settings(), {}, {}); }
    // Relative paths of the hits, in order.
    QStringList find(const QString& words, const QList<int>& categories = {2, 3, 5, 6})
    {
        SearchQuery q;
        q.words = words;
        q.categories = categories;
        return paths(q);
    }
    QStringList paths(const SearchQuery& q)
    {
        SearchIndex index(indexFile());
        QStringList list;
        for (const SearchHit& h : index.search(q))
            list << h.relPath;
        return list;
    }
    // The data sets whose box meets the extent, in rank order.
    QStringList within(const GeoBox& extent, const QList<int>& categories = {2, 3, 5, 6})
    {
        SearchQuery q;
        q.extent = extent;
        q.categories = categories;
        return paths(q);
    }

    testutil::TempDir m_program, m_store, m_cache;
    std::unique_ptr<testutil::ChangeDir> m_cwd;
};

} // namespace searchtest
