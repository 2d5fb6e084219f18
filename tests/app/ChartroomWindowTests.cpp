// The catalogue commands as the window runs them: the log set up under the
// Logs folder and shown in the log pane, the Chartroom page's grid and its
// two buttons.
#include <QHeaderView>
#include <QLabel>
#include <QSqlQueryModel>
#include <QTableView>
#include <QToolButton>

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
    w.tvXMLTree->rootNode()->setExpanded(true);
    waitForListings();
    TreeNode* world = child(w.tvXMLTree->rootNode(), "10_world");
    world->setExpanded(true);
    waitForListings();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(world, "rails.shp"));
    w.mnuIgnoreInChartroom->trigger();
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w.lblTask->text(), "Ready:");
    tXMLDocument flagged(m_tree / "10_world/rails.shp.xml");
    EXPECT_EQ(flagged.GetNodeText("metadata/metainfo/atlasdesk/ignore"), "Yes");
    const std::string log = testutil::readFile(w.Log.LogFile);
    EXPECT_NE(log.find("- XML file created: " + m_tree.path() + "10_world/rails.shp.xml<BR>"),
              std::string::npos);
    EXPECT_NE(log.find(" will not be exported to chartroom.<BR>"), std::string::npos);
}

} // namespace
