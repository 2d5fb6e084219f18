// The catalogue commands as the window runs them: the log set up under the
// Logs folder and shown in the log pane, the Chartroom page's grid and its
// two buttons.
#include <QHeaderView>
#include <QLabel>
#include <QSqlQueryModel>
#include <QTableView>
#include <QToolButton>

#include <atomic>

#include "AppFixture.h"
#include "TestDatabase.h"

namespace {

class ChartroomWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_db = std::make_unique<cattest::TestDatabase>(*account);
        testutil::writeFile(m_tree / "10_world/roads.shp", "shp");
        testutil::writeFile(m_tree / "10_world/roads.shp.xml",
                            "<metadata><idinfo><citation><citeinfo><title>Roads</title>"
                            "</citeinfo></citation></idinfo></metadata>");
        testutil::writeFile(m_tree / "10_world/rails.shp", "shp");
    }
    std::unique_ptr<cattest::TestDatabase> m_db;
};

TEST_F(ChartroomWindowTest, UploadLogsIntoTheLogPaneAndTheGridShowsTheRows)
{
    TdlgAtlasdesk& w = window();
    m_dataModule->setConnectionSettings(m_db->settings());
    w.ConnectToServer(ExcludeTrailingPathDelimiter(m_tree.path()));
    w.mnuSelectChildrenClick();
    waitForListings();
    ASSERT_EQ(w.tvXMLTree->selectionCount(), 4) << "root, 10_world and two shapefiles";

    w.mnuAddToChartroom->trigger();
    ASSERT_TRUE(waitForCatalogueTask());
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w.lblTask->text(), "Ready");
    const std::string log = testutil::readFile(w.Log.LogFile);
    EXPECT_EQ(w.Log.LogFile.rfind(LogsDir, 0), 0u) << "under the configured Logs folder";
    EXPECT_NE(log.find("- File ignored (no XML found): " + m_tree.path() + "10_world/rails.shp.xml<BR>"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("- Data added to Chartroom: 1 records added on "), std::string::npos) << log;
    EXPECT_EQ(w.wbOutput->lastPath().toStdString(), w.Log.LogFile) << "the log pane shows the log";
    EXPECT_FALSE(m_dataModule->isOpen()) << "the run leaves the connection closed";

    // The Chartroom page: Connect shows table Main with its 37 fields.
    w.btConnectToChartroom->click();
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(w.btConnectToChartroom->isChecked());
    EXPECT_FALSE(w.btDisconnect->isChecked());
    QAbstractItemModel* grid = w.dbgChartroom->model();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->columnCount(), 37);
    EXPECT_EQ(grid->headerData(0, Qt::Horizontal).toString(), "FileName");
    EXPECT_EQ(grid->headerData(36, Qt::Horizontal).toString(), "Source");
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->index(0, 0).data().toString(), "roads.shp");
    EXPECT_EQ(grid->index(0, 3).data().toString(), "\\10_world\\");
    EXPECT_EQ(grid->index(0, 4).data().toString(), "Roads");

    w.btDisconnect->click();
    EXPECT_TRUE(w.btDisconnect->isChecked());
    EXPECT_EQ(w.dbgChartroom->model()->rowCount(), 0) << "Disconnect empties the grid";
    EXPECT_FALSE(m_dataModule->isOpen());
}

TEST_F(ChartroomWindowTest, IgnoreCommandFlagsTheSelectedDataSets)
{
    TdlgAtlasdesk& w = window();
    m_dataModule->setConnectionSettings(m_db->settings());
    w.ConnectToServer(m_tree.path());
    expand(w.tvXMLTree->rootNode());
    waitForListings();
    QModelIndex world = child(w.tvXMLTree->rootNode(), "10_world");
    expand(world);
    waitForListings();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(world, "rails.shp"));
    w.mnuIgnoreInChartroom->trigger();
    ASSERT_TRUE(waitForCatalogueTask());
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w.lblTask->text(), "Ready:");
    tXMLDocument flagged(m_tree / "10_world/rails.shp.xml");
    EXPECT_EQ(flagged.GetNodeText("metadata/metainfo/atlasdesk/ignore"), "Yes");
    const std::string log = testutil::readFile(w.Log.LogFile);
    EXPECT_NE(log.find("- XML file created: " + m_tree.path() + "10_world/rails.shp.xml<BR>"),
              std::string::npos);
    EXPECT_NE(log.find(" will not be exported to chartroom.<BR>"), std::string::npos);
}

// A run of six data sets below 10_world, all selected; the case acts from
// the run's thread just before the third data set, through the window's
// thread, and the run must neither see nor mind what happens to the tree.
class ChartroomRunTest : public ChartroomWindowTest {
protected:
    static constexpr const char* kNames[] = {"a.shp", "b.shp", "c.shp", "d.shp", "e.shp", "f.shp"};
    static constexpr size_t kActAt = 2;

    void SetUp() override
    {
        ChartroomWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        window(); // and with it the data module
        m_dataModule->setConnectionSettings(m_db->settings());
        ASSERT_NO_FATAL_FAILURE(selectNewDataSets("10_world", {std::begin(kNames), std::end(kNames)}));
    }

    // Runs "&Add to chartroom"; `act` runs on the window's thread while the
    // run waits before data set kActAt. True when the run ended.
    bool uploadActingMidway(const std::function<void()>& act)
    {
        TdlgAtlasdesk& w = window();
        std::atomic<bool> acted{false};
        w.catalogueStepHook = [&](size_t index) {
            if (index != kActAt)
                return;
            QMetaObject::invokeMethod(&w, act, Qt::BlockingQueuedConnection);
            acted = true;
        };
        w.mnuAddToChartroom->trigger();
        EXPECT_TRUE(w.isCatalogueTaskRunning()) << "the command returns while its run works";
        const bool ended = waitForCatalogueTask();
        w.catalogueStepHook = nullptr;
        EXPECT_TRUE(acted);
        return ended;
    }

    std::vector<std::string> mainRows()
    {
        std::vector<std::string> names;
        for (const auto& row : m_db->rows("SELECT FileName FROM Main ORDER BY RecordNumber"))
            names.push_back(row[0]);
        return names;
    }
};

// "&Refresh" lists 10_world again while the run works: every node the run
// was started from is deleted. The run works on its snapshot and writes the
// same six rows as without the refresh (under the sanitizer build this also
// shows that nothing of the deleted nodes is read).
TEST_F(ChartroomRunTest, RefreshDuringTheUploadDeletesTheNodesTheRunStartedFrom)
{
    TdlgAtlasdesk& w = window();
    ASSERT_EQ(w.tvXMLTree->selectionCount(), 6);
    bool deleted = false;
    ASSERT_TRUE(uploadActingMidway([&] {
        w.mnuRefreshClick();
        // The selected nodes were deleted with the old listing (a deleted
        // node leaves the selection); 10_world is listed anew (on the
        // listing worker), with the fixture's two shapefiles beside the six.
        deleted = w.tvXMLTree->selectionCount() == 0;
    }));
    EXPECT_TRUE(deleted) << "the refresh replaced the selected nodes while the run worked";
    waitForListings();
    EXPECT_EQ(rowCount(child(w.tvXMLTree->rootNode(), "10_world")), 8);
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(mainRows(), (std::vector<std::string>{"a.shp", "b.shp", "c.shp", "d.shp", "e.shp", "f.shp"}));
    const std::string log = testutil::readFile(w.Log.LogFile);
    EXPECT_NE(log.find("- Data added to Chartroom: 6 records added on "), std::string::npos) << log;
    EXPECT_EQ(log.find("broke off"), std::string::npos) << log;
    EXPECT_EQ(w.lblTask->text(), "Ready");
    EXPECT_FALSE(w.btCancelTask->isEnabled());
}

// Cancel beside the gauge stops the run before its next data set: the rows
// written stay, the log line counts the rows
// and says that the run was cancelled, and no error is shown.
TEST_F(ChartroomRunTest, CancelStopsBetweenDataSetsAndSaysWhatWasWritten)
{
    TdlgAtlasdesk& w = window();
    bool enabled = false;
    ASSERT_TRUE(uploadActingMidway([&] {
        enabled = w.btCancelTask->isEnabled();
        w.btCancelTask->click();
    }));
    EXPECT_TRUE(enabled) << "Cancel can be pressed while the run works";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(mainRows(), (std::vector<std::string>{"a.shp", "b.shp", "c.shp"}))
        << "the data set under way when Cancel came is finished";
    const std::string log = testutil::readFile(w.Log.LogFile);
    const size_t line = log.find("- Data added to Chartroom: 3 records added on ");
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_NE(log.find(" (cancelled by the user before data set 4 of 6)<BR>", line), std::string::npos) << log;
    EXPECT_EQ(w.lblTask->text(), "Ready");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(w.btCancelTask->isEnabled());
    EXPECT_FALSE(m_dataModule->isOpen());

    // The same window uploads again, all six: the three rows written are
    // replaced (one row per data set) and three are added.
    w.mnuAddToChartroom->trigger();
    ASSERT_TRUE(waitForCatalogueTask());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(mainRows(), (std::vector<std::string>{"a.shp", "b.shp", "c.shp", "d.shp", "e.shp", "f.shp"}));
}

// A second command while a run works is refused with a message; the run
// goes on undisturbed.
TEST_F(ChartroomRunTest, SecondCommandWhileARunWorksIsRefused)
{
    TdlgAtlasdesk& w = window();
    ASSERT_TRUE(uploadActingMidway([&] {
        w.mnuAddToChartroom->trigger();
        w.mnuIgnoreInChartroom->trigger();
    }));
    ASSERT_EQ(m_errors.size(), 2) << m_errors.join('\n').toStdString();
    for (const QString& error : m_errors)
        EXPECT_TRUE(error.contains("still running")) << error.toStdString();
    EXPECT_EQ(mainRows().size(), 6u);
    EXPECT_EQ(testutil::readFile(m_tree / "10_world/a.shp.xml").find("ignore"), std::string::npos)
        << "the refused ignore command touched no file";
}

} // namespace
