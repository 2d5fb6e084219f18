#pragma once
// Helpers of the catalogue tests: a configuration with a full field map, a
// recording status host, metadata documents and the log file.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "TestUtil.h"
#include "catalogue/UploadRun.h"

namespace cattest {

// A field map covering every field; CreatorName reads the second <origin>.
inline std::string configText(const std::vector<std::string>& themes, const std::string& chartroom = {})
{
    std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<atlasdesk>
  <MetadataDOM>
    <PathFile><XML_Path>Esri/DataProperties/itemProps/itemLocation/linkage</XML_Path><Offset>0</Offset></PathFile>
    <ProdName><XML_Path>idinfo/citation/citeinfo/title</XML_Path><Offset>0</Offset></ProdName>
    <ProdEdition><XML_Path>idinfo/citation/citeinfo/edition</XML_Path><Offset>0</Offset></ProdEdition>
    <ProdDesc><XML_Path>idinfo/descript/abstract</XML_Path><Offset>0</Offset></ProdDesc>
    <ProdURL><XML_Path>idinfo/citation/citeinfo/onlink</XML_Path><Offset>0</Offset></ProdURL>
    <CreatorURL><XML_Path>idinfo/ptcontac/cntinfo/cntemail</XML_Path><Offset>0</Offset></CreatorURL>
    <CreatorName><XML_Path>idinfo/citation/citeinfo/origin</XML_Path><Offset>1</Offset></CreatorName>
    <CreatorNameLong><XML_Path>idinfo/ptcontac/cntinfo/cntperp/cntorg</XML_Path><Offset>0</Offset></CreatorNameLong>
    <CreationDate><XML_Path>idinfo/citation/citeinfo/pubdate</XML_Path><Offset>0</Offset></CreationDate>
    <ModifDate><XML_Path>metainfo/metd</XML_Path><Offset>0</Offset></ModifDate>
    <Remarks><XML_Path>idinfo/descript/supplinf</XML_Path><Offset>0</Offset></Remarks>
    <Rights><XML_Path>idinfo/useconst</XML_Path><Offset>0</Offset></Rights>
    <RightURL><XML_Path>distinfo/stdorder/ordering</XML_Path><Offset>0</Offset></RightURL>
    <RightID><XML_Path>idinfo/secinfo/secclass</XML_Path><Offset>0</Offset></RightID>
    <Scale><XML_Path>srcinfo/srcscale</XML_Path><Offset>0</Offset></Scale>
    <Unit><XML_Path>spref/horizsys/planar/planci/plandu</XML_Path><Offset>0</Offset></Unit>
    <ProviderName><XML_Path>distinfo/distrib/cntinfo/cntorgp/cntorg</XML_Path><Offset>0</Offset></ProviderName>
    <ProviderNameLong><XML_Path>distinfo/distrib/cntinfo/cntorgp/cntper</XML_Path><Offset>0</Offset></ProviderNameLong>
    <ProviderURL><XML_Path>distinfo/stdorder/networkr</XML_Path><Offset>0</Offset></ProviderURL>
    <ASITVD><XML_Path>idinfo/citation/citeinfo/serinfo/issue</XML_Path><Offset>0</Offset></ASITVD>
    <Theme><XML_Path>idinfo/keywords/theme/themekey</XML_Path><Offset>0</Offset></Theme>
    <Location><XML_Path>idinfo/keywords/place/placekey</XML_Path><Offset>0</Offset></Location>
    <Left><XML_Path>spdom/lbounding/leftbc</XML_Path></Left>
    <Right><XML_Path>spdom/lbounding/rightbc</XML_Path></Right>
    <Bottom><XML_Path>spdom/lbounding/bottombc</XML_Path></Bottom>
    <Top><XML_Path>spdom/lbounding/topbc</XML_Path></Top>
    <West><XML_Path>idinfo/spdom/bounding/westbc</XML_Path></West>
    <East><XML_Path>idinfo/spdom/bounding/eastbc</XML_Path></East>
    <North><XML_Path>idinfo/spdom/bounding/northbc</XML_Path></North>
    <South><XML_Path>idinfo/spdom/bounding/southbc</XML_Path></South>
    <Thumbnail><XML_Path>idinfo/browse/browsen</XML_Path></Thumbnail>
    <EsriThumbnail><XML_Path>Binary/Thumbnail/Data</XML_Path></EsriThumbnail>
    <Ignore><XML_Path>metadata/metainfo/atlasdesk/ignore</XML_Path></Ignore>
    <Size><XML_Path>distinfo/stdorder/digform/digtinfo/transize</XML_Path></Size>
  </MetadataDOM>
  <filetypes>
    <vector><ext>shp</ext></vector>
    <raster><ext>tif</ext></raster>
    <table><ext>dbf</ext></table>
    <document><ext>pdf</ext></document>
  </filetypes>
)";
    text += chartroom;
    text += "  <keywords><themes>\n";
    for (const std::string& theme : themes)
        text += "    <data>" + theme + "</data>\n";
    text += "  </themes></keywords>\n</atlasdesk>\n";
    return text;
}

// A metadata document: `idinfo` and `rest` are the inner XML of <idinfo>
// and of the rest of <metadata>.
inline std::string metadataText(const std::string& idinfo, const std::string& rest = {})
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metadata><idinfo>" + idinfo + "</idinfo>" + rest +
           "</metadata>\n";
}

// The program folder with its configuration, and the current directory
// set there for the test's life, so every reader finds this configuration.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override { writeConfig({"transport", "hydrology", "geology"}); }
    void TearDown() override
    {
        m_cwd.reset();
        ClearConfiguration();
        SetProgramFolder({});
    }

    void writeConfig(const std::vector<std::string>& themes, const std::string& chartroom = {})
    {
        m_cwd.reset();
        SetProgramFolder(m_program.path());
        testutil::writeFile(m_program / ConfigFileName, configText(themes, chartroom));
        m_cwd.emplace(m_program.path());
        LoadConfiguration();
        UserName = "tester";
    }

    // A new, empty log file.
    tHTMLLog newLog()
    {
        tHTMLLog log;
        log.LogFile = m_program / "log.html";
        testutil::writeFile(log.LogFile, "");
        return log;
    }

    // The log's lines, without their CR LF.
    static std::vector<std::string> logLines(const tHTMLLog& log)
    {
        std::vector<std::string> lines;
        const std::string text = testutil::readFile(log.LogFile);
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    testutil::TempDir m_program;
    testutil::TempDir m_tree;
    std::optional<testutil::ChangeDir> m_cwd;
};

// Makes `control` cancel its run while data set `index` is handled: the
// run stops before the next one.
inline void cancelDuring(RunControl& control, size_t index)
{
    control.beforeDataSet = [&control, index](size_t i) {
        if (i == index)
            control.cancelled = true;
    };
}

// Records every call of the commands on the status display.
class RecordingHost : public CatalogueHost {
public:
    std::vector<std::string> events;

    void StartTask(const std::string& caption, int max) override
    {
        events.push_back("StartTask " + caption + " " + std::to_string(max));
    }
    void ShowProgress(int pos) override { events.push_back("ShowProgress " + std::to_string(pos)); }
    void ShowReady() override { events.push_back("ShowReady"); }
    void setTaskCaption(const std::string& text) override { events.push_back("caption " + text); }
    void setProgress(int pos) override { events.push_back("progress " + std::to_string(pos)); }
    void setProgressMaximum(int max) override { events.push_back("maximum " + std::to_string(max)); }
    void busyCursor(bool busy) override { events.push_back(busy ? "busy" : "normal"); }
};

} // namespace cattest
