// The catalogue server drops the upload's connection in the middle of
// "&Add to chartroom": the end steps still run (status "Ready", normal
// pointer, the log line counting what was written, the connection closed),
// the rows written before the drop stay in the catalogue, the error is
// shown once, and the next upload from the same window works.
//
// The drop is a KILL of the upload's own connection, sent from a second
// connection when the progress bar reaches the data set named by the case;
// it needs the test server that scripts/test.sh starts.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>

#include "TestDatabase.h"
#include "WindowFaultFixture.h"

namespace {

using testutil::writeFile;
using Rows = std::vector<std::vector<std::string>>;

const char* const kNames[] = {"a.shp", "b.shp", "c.shp", "d.shp", "e.shp"};

class UploadFaultTest : public WindowFaultFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        WindowFaultFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_account = *account;
        try {
            m_db.emplace(*account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
    void TearDown() override
    {
        WindowFaultFixture::TearDown();  // the window and its data module first
        m_db.reset();
    }

    // The rows of Main read through a connection of its own, opened now.
    Rows freshRows(const std::string& select)
    {
        Rows rows;
        const QString name = QStringLiteral("upload-fault-check");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", name);
            db.setHostName(QString::fromStdString(m_account.host));
            db.setPort(m_account.port);
            db.setUserName(QString::fromStdString(m_account.user));
            db.setPassword(QString::fromStdString(m_account.password));
            db.setDatabaseName(QString::fromStdString(m_db->name()));
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery query(db);
            EXPECT_TRUE(query.exec(QString::fromStdString(select))) << query.lastError().text().toStdString();
            while (query.next())
                rows.push_back({query.value(0).toString().toStdString()});
            query.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        const std::string text = testutil::readFile(window().Log.LogFile);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    cattest::ServerAccount m_account;
    std::optional<cattest::TestDatabase> m_db;
};

TEST_P(UploadFaultTest, ServerDropsTheConnectionMidway)
{
    const int dropAt = GetParam();
    for (const char* name : kNames) {
        writeFile(m_tree / "10_world/" + name, "shp");
        writeFile(m_tree / "10_world/" + name + ".xml",
                  std::string("<metadata><idinfo><citation><citeinfo><title>") + name +
                      "</title></citeinfo></citation></idinfo></metadata>");
    }
    TdlgAtlasdesk& w = window();
    m_dataModule->setConnectionSettings(m_db->settings());
    TreeNode* folder = child(connectAndExpand(), "10_world");
    ASSERT_NE(folder, nullptr);
    folder->setExpanded(true);
    waitForListings();
    w.tvXMLTree->clearSelection();
    for (const char* name : kNames)
        w.tvXMLTree->addToSelection(child(folder, name));

    // The progress bar moves to i just before data set i is written.
    bool dropped = false;
    std::string killError;
    const auto connection = QObject::connect(w.ggTask, &QProgressBar::valueChanged, [&](int value) {
        if (value != dropAt || dropped)
            return;
        dropped = true;
        QSqlQuery own(m_dataModule->conChartroom);
        if (!own.exec("SELECT CONNECTION_ID()") || !own.next()) {
            killError = own.lastError().text().toStdString();
            return;
        }
        const std::string id = own.value(0).toString().toStdString();
        own.finish();
        try {
            m_db->exec("KILL " + id);
        } catch (const std::exception& e) {
            killError = e.what();
        }
    });
    w.mnuAddToChartroomClick();
    QObject::disconnect(connection);
    ASSERT_TRUE(dropped);
    ASSERT_EQ(killError, "");

    // The error, once: the statement that met the dropped connection.
    ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors[0].contains("server has gone away", Qt::CaseInsensitive) ||
                m_errors[0].contains("lost connection", Qt::CaseInsensitive))
        << m_errors[0].toStdString();
    // The end steps ran.
    EXPECT_EQ(w.lblTask->text(), "Ready");
    EXPECT_EQ(w.ggTask->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(m_dataModule->isOpen());
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    const std::string counted = "- Data added to Chartroom: " + std::to_string(dropAt) + " records added on ";
    EXPECT_EQ(lines.back().rfind(counted, 0), 0u) << lines.back();
    // What was written before the drop stays, seen from a new connection.
    Rows written;
    for (int i = 0; i < dropAt; ++i)
        written.push_back({kNames[i]});
    EXPECT_EQ(freshRows("SELECT FileName FROM Main ORDER BY RecordNumber"), written);

    // The same window uploads again.
    m_errors.clear();
    w.mnuAddToChartroomClick();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(logLines().back().rfind("- Data added to Chartroom: 5 records added on ", 0), 0u) << logLines().back();
    Rows all = written;
    for (const char* name : kNames)
        all.push_back({name});
    EXPECT_EQ(freshRows("SELECT FileName FROM Main ORDER BY RecordNumber"), all);
    EXPECT_EQ(m_db->scalar("SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA='" +
                           m_db->name() + "' AND TABLE_NAME='Main'")
                  .rfind("Data added by Atlasdesk ", 0),
              0u);
    EXPECT_FALSE(m_dataModule->isOpen());
}

// At the third of five data sets, and at the last one.
INSTANTIATE_TEST_SUITE_P(Drop, UploadFaultTest, ::testing::Values(2, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "AtDataSet" + std::to_string(info.param + 1);
                         });

} // namespace
