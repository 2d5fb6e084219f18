// The sync writes the rows the window writes: one store uploaded through
// the window's "&Add to chartroom" into one catalogue and synced into a
// second, then the two compared column by column (the record number, the
// time of writing, aside), the search tables' rows too.
#include <gtest/gtest.h>

#include <QProcess>

#include "AppFixture.h"
#include "SyncFixture.h"

namespace {

using synctest::Rows;

class WindowRowsTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_account = *account;
        try {
            m_byWindow.emplace(*account);
            m_bySync.emplace(*account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
    void TearDown() override
    {
        AppFixture::TearDown();
        m_byWindow.reset();
        m_bySync.reset();
    }

    // Every column of the catalogue's tables but the record number, in an
    // order that does not depend on the order of writing.
    // The rows of the data sets Main lists (the sync writes search rows for
    // the store's other data sets too).
    static std::vector<Rows> content(const cattest::TestDatabase& db)
    {
        std::string columns;
        for (const ChartroomField& field : TdmAtlasdesk::Fields)
            columns += std::string(columns.empty() ? "" : ",") + field.name;
        return {db.rows("SELECT " + columns + ",DatasetSizeMB,HEX(DataSetKey) FROM Main ORDER BY PathFile,FileName"),
                db.rows("SELECT Location,BelongTo FROM Locations ORDER BY Location"),
                db.rows("SELECT Data FROM Themes ORDER BY Data"), db.rows("SELECT Data FROM Sources ORDER BY Data"),
                db.rows("SELECT HEX(DataSetKey),HEX(ItemPath),HEX(XmlPath),Category,Title,Date,MetadataTime,West,East,"
                        "South,North,Abstract,Purpose,Keywords,Places,Originator,TitleWords,LabelWords,TextWords,"
                        "TitleLength,LabelLength,TextLength FROM SearchDataSets WHERE DataSetKey IN (SELECT DataSetKey FROM Main) "
                        "ORDER BY ItemPath"),
                db.rows("SELECT HEX(DataSetKey),Part,Category,ST_AsText(Box) FROM SearchBoxes WHERE DataSetKey IN "
                        "(SELECT DataSetKey FROM Main) ORDER BY DataSetKey,Part")};
    }

    cattest::ServerAccount m_account;
    std::optional<cattest::TestDatabase> m_byWindow, m_bySync;
};

TEST_F(WindowRowsTest, TheSyncWritesTheRowsOfTheWindowsUpload)
{
    const std::string root = ExcludeTrailingPathDelimiter(m_tree.path());
    synctest::writeVariedStore(root);
    // Both read one configuration: the window from its program folder, the
    // command from the file it is given, which names its own catalogue.
    const std::vector<std::string> themes = {"transport", "hydrology", "geology"};
    testutil::writeFile(m_program / ConfigFileName, synctest::configWith(themes, {}));
    const std::string syncConfig = m_program / "sync.ini.xml";
    testutil::writeFile(syncConfig,
                        synctest::configWith(
                            themes, "<chartroom><host>" + m_account.host + "</host><port>" +
                                        std::to_string(m_account.port) + "</port><database>" + m_bySync->name() +
                                        "</database><user>" + m_account.user + "</user></chartroom>"));

    TdlgAtlasdesk& w = window();
    m_dataModule->setConnectionSettings(m_byWindow->settings());
    w.ConnectToServer(m_tree.path());
    w.mnuSelectChildrenClick();
    waitForListings();
    w.mnuAddToChartroomClick();
    ASSERT_TRUE(waitForCatalogueTask());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    QProcess sync;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ATLASDESK_CHARTROOM_PASSWORD", QString::fromStdString(m_account.password));
    sync.setProcessEnvironment(env);
    sync.start(ATLASDESK_SYNC_BIN, {"--config", QString::fromStdString(syncConfig), "--log",
                                    QString::fromStdString(m_work / "sync.html"), QString::fromStdString(root)});
    ASSERT_TRUE(sync.waitForFinished(120000));
    EXPECT_EQ(sync.exitCode(), 0) << sync.readAllStandardError().toStdString();

    const std::vector<Rows> window = content(*m_byWindow);
    const std::vector<Rows> synced = content(*m_bySync);
    ASSERT_EQ(window[0].size(), 15u) << "the window's upload";
    ASSERT_EQ(synced[0].size(), window[0].size());
    for (size_t row = 0; row < window[0].size(); ++row)
        for (size_t column = 0; column < window[0][row].size(); ++column)
            EXPECT_EQ(synced[0][row][column], window[0][row][column])
                << "row of " << window[0][row][3] << window[0][row][0] << ", column " << column;
    EXPECT_EQ(synced[1], window[1]) << "Locations";
    EXPECT_EQ(synced[2], window[2]) << "Themes";
    EXPECT_EQ(synced[3], window[3]) << "Sources";
    ASSERT_EQ(window[4].size(), window[0].size()) << "a search row for every Main row";
    EXPECT_EQ(synced[4], window[4]) << "SearchDataSets";
    EXPECT_FALSE(window[5].empty());
    EXPECT_EQ(synced[5], window[5]) << "SearchBoxes";
    EXPECT_EQ(m_bySync->scalar("SELECT COUNT(*) FROM SearchDataSets"), "20")
        << "and the sync's team index covers the store's other data sets";
}

} // namespace
