#include <gtest/gtest.h>

#include <QDate>

#include "model/AtlasdeskOps.h"
#include "CatalogueTestUtil.h"
#include "support/Errors.h"
#include "catalogue/UploadRun.h"
#include "model/XMLFile.h"
#include "xml/XMLOps.h"

using cattest::CatalogueFixture;
using cattest::RecordingHost;
using testutil::writeFile;

namespace {

const std::string kFlag = "metadata/metainfo/atlasdesk/ignore";

class IgnoreFlagsTest : public CatalogueFixture {
protected:
    // A data file (and, unless `metadata` is empty, its metadata file).
    std::string dataSet(const std::string& name, const std::string& metadata)
    {
        const std::string path = m_tree / ("10_world/" + name);
        writeFile(path, "data");
        if (!metadata.empty())
            writeFile(path + ".xml", metadata);
        return path;
    }

    static tVectorOfString flags(const std::string& xmlPath)
    {
        const tXMLDocument doc(xmlPath);
        tVectorOfString texts;
        for (tXMLNode node : doc.FindNodes(kFlag))
            texts.push_back(tXMLDocument::CollectTexts({node}).empty() ? "" : tXMLDocument::CollectTexts({node})[0]);
        return texts;
    }

    static std::string stampDate(const std::string& xmlPath)
    {
        return tXMLDocument(xmlPath).GetNodeText("metadata/metainfo/atlasdesk/modifdate");
    }

    static std::string today() { return QDate::currentDate().toString("yyyyMMdd").toStdString(); }
};

TEST_F(IgnoreFlagsTest, IgnoringADataSetWithoutMetadataCreatesIt)
{
    tXMLFile dataset(dataSet("roads.shp", ""));
    ASSERT_FALSE(testutil::exists(dataset.XMLPath));
    tHTMLLog log = newLog();
    RecordingHost host;

    SetIgnoreFlags(true, {&dataset}, log, host);

    EXPECT_EQ(flags(dataset.XMLPath), tVectorOfString{"Yes"});
    EXPECT_EQ(stampDate(dataset.XMLPath), today());
    EXPECT_FALSE(dataset.Doc) << "the document is released";
    EXPECT_EQ(logLines(log), (std::vector<std::string>{
                                 "- XML file created: " + dataset.XMLPath + "<BR>",
                                 "- " + dataset.XMLPath + " will not be exported to chartroom.<BR>"}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "caption Ignoring:", "progress 0", "maximum 0",
                                                     "progress 0", "normal", "caption Ready:"}));
}

TEST_F(IgnoreFlagsTest, IgnoringTwiceLeavesOneFlag)
{
    tXMLFile dataset(dataSet("roads.shp", cattest::metadataText("<citation/>")));
    tHTMLLog log = newLog();
    RecordingHost host;
    SetIgnoreFlags(true, {&dataset}, log, host);
    SetIgnoreFlags(true, {&dataset}, log, host);
    EXPECT_EQ(flags(dataset.XMLPath), tVectorOfString{"Yes"});
    EXPECT_EQ(logLines(log).size(), 2u) << "an existing file is not created again";
}

TEST_F(IgnoreFlagsTest, UnignoringRemovesAnyFlagAndStillStamps)
{
    const struct {
        std::string what, metadata;
    } cases[] = {
        {"flag set by the command", ""},
        {"flag written by hand as no", cattest::metadataText("", "<metainfo><atlasdesk><ignore>no</ignore></atlasdesk></metainfo>")},
        {"no flag at all", cattest::metadataText("<citation/>")},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tXMLFile dataset(dataSet("set" + std::to_string(++n) + ".shp", c.metadata));
        tHTMLLog log = newLog();
        RecordingHost host;
        if (c.metadata.empty())
            SetIgnoreFlags(true, {&dataset}, log, host);
        log = newLog();

        SetIgnoreFlags(false, {&dataset}, log, host);

        EXPECT_TRUE(flags(dataset.XMLPath).empty());
        EXPECT_EQ(stampDate(dataset.XMLPath), today());
        EXPECT_EQ(logLines(log),
                  std::vector<std::string>{"- " + dataset.XMLPath + " will be exported to chartroom.<BR>"});
    }
}

TEST_F(IgnoreFlagsTest, GaugeFollowsTheSelection)
{
    tXMLFile first(dataSet("a.shp", cattest::metadataText("")));
    tXMLFile second(dataSet("b.shp", ""));
    tHTMLLog log = newLog();
    RecordingHost host;
    SetIgnoreFlags(true, {&first, &second}, log, host);
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "caption Ignoring:", "progress 0", "maximum 1",
                                                     "progress 0", "progress 1", "normal", "caption Ready:"}));
    EXPECT_EQ(logLines(log), (std::vector<std::string>{
                                 "- " + first.XMLPath + " will not be exported to chartroom.<BR>",
                                 "- XML file created: " + second.XMLPath + "<BR>",
                                 "- " + second.XMLPath + " will not be exported to chartroom.<BR>"}));
}

TEST_F(IgnoreFlagsTest, EmptySelectionTouchesNothing)
{
    tHTMLLog log = newLog();
    RecordingHost host;
    EXPECT_NO_THROW(SetIgnoreFlags(true, {}, log, host));
    EXPECT_TRUE(logLines(log).empty());
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "caption Ignoring:", "progress 0", "maximum 0",
                                                     "normal", "caption Ready:"}));
}

// The command works on its snapshot (the data sets may be gone), and a
// cancel stops it before the next data set: the first keeps its new flag,
// the second is not touched, the end steps run and nothing is thrown.
TEST_F(IgnoreFlagsTest, CancelStopsBeforeTheNextDataSet)
{
    std::vector<DataSetEntry> snapshot;
    {
        tXMLFile first(dataSet("a.shp", ""));
        tXMLFile second(dataSet("b.shp", ""));
        snapshot = SnapshotOf({&first, &second});
    }
    RunControl control;
    cattest::cancelDuring(control, 0);
    tHTMLLog log = newLog();
    RecordingHost host;
    EXPECT_NO_THROW(SetIgnoreFlagsOn(true, snapshot, log, host, &control));
    EXPECT_EQ(flags(snapshot[0].xmlPath), tVectorOfString{"Yes"});
    EXPECT_FALSE(testutil::exists(snapshot[1].xmlPath)) << "the second data set was not touched";
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "caption Ignoring:", "progress 0", "maximum 1",
                                                     "progress 0", "normal", "caption Ready:"}));
    EXPECT_EQ(logLines(log), (std::vector<std::string>{"- XML file created: " + snapshot[0].xmlPath + "<BR>",
                                                       "- " + snapshot[0].xmlPath +
                                                           " will not be exported to chartroom.<BR>"}));
}

TEST_F(IgnoreFlagsTest, AnUnreadableDocumentStopsTheCommandThere)
{
    tXMLFile first(dataSet("a.shp", cattest::metadataText("")));
    tXMLFile broken(dataSet("b.shp", "<metadata><idinfo></metadata>"));
    tXMLFile third(dataSet("c.shp", ""));
    tHTMLLog log = newLog();
    RecordingHost host;

    EXPECT_THROW(SetIgnoreFlags(true, {&first, &broken, &third}, log, host), Exception);

    EXPECT_EQ(flags(first.XMLPath), tVectorOfString{"Yes"});
    EXPECT_EQ(testutil::readFile(broken.XMLPath), "<metadata><idinfo></metadata>") << "left as it was";
    EXPECT_FALSE(testutil::exists(third.XMLPath)) << "data sets after the error are not touched";
    EXPECT_FALSE(broken.Doc);
    EXPECT_EQ(logLines(log),
              std::vector<std::string>{"- " + first.XMLPath + " will not be exported to chartroom.<BR>"});
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[host.events.size() - 2], "normal");
    EXPECT_EQ(host.events.back(), "caption Ready:");
}

TEST_F(IgnoreFlagsTest, AFlagPathTheDocumentCannotTakeBreaksTheCommandOff)
{
    // The flag path starts at a root named metadata, which this document lacks.
    const std::string odd = "<?xml version=\"1.0\"?>\n<other><x>1</x></other>\n";
    tXMLFile dataset(dataSet("odd.shp", odd));
    tHTMLLog log = newLog();
    RecordingHost host;
    EXPECT_THROW(SetIgnoreFlags(true, {&dataset}, log, host), EInvalidXMLOp);
    EXPECT_FALSE(dataset.Doc);
    EXPECT_EQ(testutil::readFile(dataset.XMLPath), odd);
    EXPECT_TRUE(logLines(log).empty());
    EXPECT_EQ(host.events.back(), "caption Ready:");
}

TEST_F(IgnoreFlagsTest, AFlagPathThatCannotBeUsedStillStampsTheDocument)
{
    const std::string configured = "<Ignore><XML_Path>metadata/metainfo/atlasdesk/ignore</XML_Path></Ignore>";
    const struct {
        std::string what, ignorePath;
        bool stamped;
    } cases[] = {
        // The flag cannot be set or cleared; the stamp and save still run.
        {"a path that is no element name", "metadata/metainfo/atlasdesk/bad name", true},
        // Nothing names the flag: refused before any file is touched.
        {"no path configured", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string config = cattest::configText({"transport"});
        const size_t at = config.find(configured);
        ASSERT_NE(at, std::string::npos);
        config.replace(at, configured.size(), "<Ignore><XML_Path>" + c.ignorePath + "</XML_Path></Ignore>");
        writeFile(m_program / ConfigFileName, config);
        LoadConfiguration();
        ASSERT_EQ(FieldMap[fiIgnore].XML_Path, c.ignorePath);

        for (const bool ignore : {true, false}) {
            const std::string original = cattest::metadataText("<citation/>");
            tXMLFile dataset(dataSet(std::string(ignore ? "set" : "clear") + (c.stamped ? "1" : "2") + ".shp", original));
            tXMLFile missing(dataSet(std::string(ignore ? "new" : "none") + (c.stamped ? "1" : "2") + ".shp", ""));
            tHTMLLog log = newLog();
            RecordingHost host;
            EXPECT_THROW(SetIgnoreFlags(ignore, {&dataset, &missing}, log, host), Exception);
            EXPECT_FALSE(dataset.Doc);
            if (c.stamped)
                EXPECT_EQ(stampDate(dataset.XMLPath), today());
            else
                EXPECT_EQ(testutil::readFile(dataset.XMLPath), original);
            EXPECT_FALSE(testutil::exists(missing.XMLPath));
            EXPECT_TRUE(logLines(log).empty());
            EXPECT_EQ(host.events.back(), "caption Ready:");
        }
    }
}

} // namespace
