// The catalogue server drops the upload's connection in the middle of
// "&Add to chartroom": the end steps still run (status "Ready", normal
// pointer, the log line counting what was written, the connection closed),
// the rows written before the drop stay in the catalogue, the error is
// shown once, and the next upload from the same window works.
//
// The drop is a KILL of the upload's own connection, sent from a second
// connection just before the run handles the data set named by the case;
// it needs the test server that scripts/test.sh starts. A second case
// stops a server of its own with SIGSTOP in the middle of the run.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>

#include "PrivateServer.h"
#include "TestDatabase.h"
#include "WindowFaultFixture.h"

namespace {

using testutil::writeFile;
using Rows = std::vector<std::vector<std::string>>;

const char* const kNames[] = {"a.shp", "b.shp", "c.shp", "d.shp", "e.shp"};

class UploadFaultFixture : public WindowFaultFixture {
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

    // Five data sets a.shp to e.shp with metadata below 10_world, selected
    // in that order, and the catalogue settings of `m_db`.
    void selectFiveDataSets()
    {
        window(); // and with it the data module
        m_dataModule->setConnectionSettings(m_db->settings());
        selectNewDataSets("10_world", {std::begin(kNames), std::end(kNames)});
    }

    // Runs `use` on a connection of its own to the test database, opened
    // now on the calling thread and closed after; "" or the error met.
    std::string withOwnConnection(const std::function<std::string(QSqlQuery&)>& use)
    {
        static std::atomic<int> serial{0};
        const QString name = QStringLiteral("upload-fault-check-%1").arg(++serial);
        std::string error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", name);
            db.setHostName(QString::fromStdString(m_account.host));
            db.setPort(m_account.port);
            db.setUserName(QString::fromStdString(m_account.user));
            db.setPassword(QString::fromStdString(m_account.password));
            db.setDatabaseName(QString::fromStdString(m_db->name()));
            if (db.open()) {
                QSqlQuery query(db);
                error = use(query);
                query.finish();
                db.close();
            } else {
                error = db.lastError().text().toStdString();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }

    // The rows of Main read through a connection of its own, opened now.
    Rows freshRows(const std::string& select)
    {
        Rows rows;
        const std::string error = withOwnConnection([&](QSqlQuery& query) -> std::string {
            if (!query.exec(QString::fromStdString(select)))
                return query.lastError().text().toStdString();
            while (query.next())
                rows.push_back({query.value(0).toString().toStdString()});
            return {};
        });
        EXPECT_EQ(error, "");
        return rows;
    }

    // Kills the one other connection to the test database besides
    // `exceptId` (the upload's own); "" or the error met.
    std::string killUploadConnection(const std::string& exceptId)
    {
        return withOwnConnection([&](QSqlQuery& query) -> std::string {
            if (!query.exec(QString::fromStdString("SELECT ID FROM information_schema.PROCESSLIST WHERE DB='" +
                                                   m_db->name() + "' AND ID<>CONNECTION_ID() AND ID<>" + exceptId)))
                return query.lastError().text().toStdString();
            std::vector<std::string> ids;
            while (query.next())
                ids.push_back(query.value(0).toString().toStdString());
            if (ids.size() != 1)
                return std::to_string(ids.size()) + " connections to kill instead of one";
            if (!query.exec(QString::fromStdString("KILL " + ids[0])))
                return query.lastError().text().toStdString();
            return {};
        });
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

class UploadFaultTest : public UploadFaultFixture, public ::testing::WithParamInterface<int> {};

TEST_P(UploadFaultTest, ServerDropsTheConnectionMidway)
{
    const int dropAt = GetParam();
    ASSERT_NO_FATAL_FAILURE(selectFiveDataSets());
    TdlgAtlasdesk& w = window();

    // Just before data set i is written, from the run's own thread, its
    // connection is killed through a second connection.
    bool dropped = false;
    std::string killError;
    const std::string verifyId = m_db->scalar("SELECT CONNECTION_ID()");
    w.catalogueStepHook = [&](size_t index) {
        if (static_cast<int>(index) != dropAt || dropped)
            return;
        dropped = true;
        killError = killUploadConnection(verifyId);
    };
    w.mnuAddToChartroomClick();
    ASSERT_TRUE(waitForCatalogueTask());
    w.catalogueStepHook = nullptr;
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
    ASSERT_TRUE(waitForCatalogueTask());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(logLines().back().rfind("- Data added to Chartroom: 5 records added on ", 0), 0u) << logLines().back();
    // Main holds one row per data set: the rows written before the drop are
    // replaced by the new upload's, which carry the newer record numbers.
    Rows all;
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

// The catalogue server stops answering in the middle of an upload (the
// process is stopped, its connections stay open): the run ends after the
// connection's timeout instead of holding on, the window answers meanwhile,
// the error names the server and the rows written, and those rows stay.
class StoppedServerTest : public UploadFaultFixture {
protected:
    static constexpr int kTimeoutSeconds = 2;

    void SetUp() override
    {
        WindowFaultFixture::SetUp();
        // The private server is started with the test server's script, so
        // the case runs where the catalogue tests run.
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_server = std::make_unique<cattest::PrivateServer>();
        ASSERT_EQ(m_server->error(), "");
        m_account = m_server->account();
        try {
            m_db.emplace(m_account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
    void TearDown() override
    {
        if (m_server)
            m_server->resume();
        UploadFaultFixture::TearDown();
        m_server.reset();
    }

    std::unique_ptr<cattest::PrivateServer> m_server;
};

TEST_F(StoppedServerTest, UploadEndsAfterTheTimeoutWithTheRowsWrittenSoFar)
{
    ASSERT_NO_FATAL_FAILURE(selectFiveDataSets());
    TdlgAtlasdesk& w = window();
    ChartroomSettings settings = m_db->settings();
    settings.timeoutSeconds = kTimeoutSeconds;
    m_dataModule->setConnectionSettings(settings);

    constexpr size_t kStopAt = 2;
    std::atomic<bool> stopped{false};
    std::atomic<bool> windowAnswered{false};
    w.catalogueStepHook = [&](size_t index) {
        if (index != kStopAt || stopped)
            return;
        stopped = m_server->stop();
        // Handled by the window's thread while the run waits for the
        // stopped server.
        QMetaObject::invokeMethod(&w, [&] { windowAnswered = w.isCatalogueTaskRunning(); }, Qt::QueuedConnection);
    };
    w.mnuAddToChartroomClick();
    ASSERT_TRUE(waitForCatalogueTask());
    w.catalogueStepHook = nullptr;
    ASSERT_TRUE(stopped);
    m_server->resume();
    EXPECT_TRUE(windowAnswered) << "the window handled its events while the run waited for the server";

    ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
    const QString where = QStringLiteral("%1:%2").arg(QString::fromStdString(m_account.host)).arg(m_account.port);
    EXPECT_TRUE(m_errors[0].contains(where)) << m_errors[0].toStdString();
    EXPECT_TRUE(m_errors[0].contains("2 rows were written")) << m_errors[0].toStdString();
    EXPECT_EQ(w.lblTask->text(), "Ready");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(m_dataModule->isOpen());
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("- Data added to Chartroom: 2 records added on ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find("(the run broke off at data set 3 of 5)"), std::string::npos) << lines.back();
    // The two rows the server confirmed stay. The third data set's statement
    // was on its way when the server stopped: the server may still carry it
    // out when it resumes, after the client gave up on the answer.
    Rows rows = freshRows("SELECT FileName FROM Main ORDER BY RecordNumber");
    const Rows confirmed{{"a.shp"}, {"b.shp"}}, withInFlight{{"a.shp"}, {"b.shp"}, {"c.shp"}};
    EXPECT_TRUE(rows == confirmed || rows == withInFlight) << rows.size() << " rows";
}

} // namespace
