// The catalogue server drops the upload's connection in the middle of
// "&Add to chartroom": the end steps still run (status "Ready", normal
// pointer, the log line counting what was written, the connection closed),
// the rows written before the drop stay in the catalogue, the error is
// shown once, and the next upload from the same window works.
//
// The drop is a KILL of the upload's own connection, sent from a second
// connection just before the run handles the data set named by the case;
// it needs the test server that scripts/test.sh starts. Other cases stop a
// server of their own with SIGSTOP in the middle of the run, hold a row of
// Main locked from another session (SELECT ... FOR UPDATE), and cut the
// connection between a COMMIT and its answer (a relay of the test's own).
// What the run reports is what the server has: the cases count the rows.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

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

    // Uploads the selected data sets through a relay on `port` (see
    // QueryRelay), `timeoutSeconds` the connection's timeout (0: the test
    // database's); `armed` is set just before the run handles the third data
    // set. True once the run has ended.
    bool uploadThroughRelay(int port, int timeoutSeconds, std::atomic<bool>& armed)
    {
        ChartroomSettings settings = m_db->settings();
        settings.port = port;
        if (timeoutSeconds > 0)
            settings.timeoutSeconds = timeoutSeconds;
        m_dataModule->setConnectionSettings(settings);
        TdlgAtlasdesk& w = window();
        w.catalogueStepHook = [&armed](size_t index) {
            if (index == 2)
                armed = true;
        };
        w.mnuAddToChartroomClick();
        const bool ended = waitForCatalogueTask();
        w.catalogueStepHook = nullptr;
        return ended;
    }

    // A connection named `name` to the test database, opened (or with the
    // reason in its lastError()); the caller closes and removes it.
    QSqlDatabase ownConnection(const QString& name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", name);
        db.setHostName(QString::fromStdString(m_account.host));
        db.setPort(m_account.port);
        db.setUserName(QString::fromStdString(m_account.user));
        db.setPassword(QString::fromStdString(m_account.password));
        db.setDatabaseName(QString::fromStdString(m_db->name()));
        db.open();
        return db;
    }

    // Runs `use` on a connection of its own to the test database, opened
    // now on the calling thread and closed after; "" or the error met.
    std::string withOwnConnection(const std::function<std::string(QSqlQuery&)>& use)
    {
        static std::atomic<int> serial{0};
        const QString name = QStringLiteral("upload-fault-check-%1").arg(++serial);
        std::string error;
        {
            QSqlDatabase db = ownConnection(name);
            if (db.isOpen()) {
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

    // Waits until the test database has no session left that matches
    // `condition`, besides the checker's, the test database's own and
    // `alsoExcept` (an upload's session that the client gave up on ends on
    // the server only when the server sees it gone); "" or what is left.
    std::string waitUntilNoSession(const std::string& condition = "TRUE", const std::string& alsoExcept = "0",
                                   int timeoutMs = 60000)
    {
        const std::string own = m_db->scalar("SELECT CONNECTION_ID()");
        std::string left;
        const bool ended = QTest::qWaitFor(
            [&] {
                left = withOwnConnection([&](QSqlQuery& query) -> std::string {
                    if (!query.exec(QString::fromStdString(
                            "SELECT GROUP_CONCAT(CONCAT(COMMAND, ': ', COALESCE(INFO, ''))) FROM "
                            "information_schema.PROCESSLIST WHERE DB='" + m_db->name() +
                            "' AND ID NOT IN (CONNECTION_ID(), " + own + ", " + alsoExcept + ") AND " + condition)) ||
                        !query.next())
                        return query.lastError().text().toStdString();
                    return query.value(0).toString().toStdString();
                });
                return left.empty();
            },
            timeoutMs);
        return ended ? std::string() : left;
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


// A relay on loopback between an upload and a server, which shows the test
// every statement the client sends (the text of each COM_QUERY packet) on
// the relay's own thread before passing it on. The test may then have the
// relay cut that connection once the server has had a moment to carry the
// statement out, without passing its answer back: the client cannot tell
// whether the statement went through.
class QueryRelay {
public:
    enum class Then { Pass, CutAfterIt };
    using Watch = std::function<Then(const std::string& statement)>;

    QueryRelay(int serverPort, Watch watch) : m_serverPort(serverPort), m_watch(std::move(watch))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 8) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { relay(); });
    }
    ~QueryRelay()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (const Pair& p : m_pairs) {
            ::close(p.client);
            ::close(p.server);
        }
        if (m_listener >= 0)
            ::close(m_listener);
    }
    QueryRelay(const QueryRelay&) = delete;
    QueryRelay& operator=(const QueryRelay&) = delete;

    int port() const { return m_port; }
    // A connection was cut after a statement.
    bool cut() const { return m_cut; }

private:
    struct Pair {
        int client, server;
        std::optional<std::chrono::steady_clock::time_point> cutAt;
    };

    static int connectTo(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    static bool readSome(int from, std::string& bytes)
    {
        char buffer[65536];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        bytes.assign(buffer, size_t(n));
        return true;
    }
    static bool writeAll(int to, const std::string& bytes)
    {
        return ::write(to, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }

    void relay()
    {
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            for (const Pair& p : m_pairs) {
                fds.push_back({p.client, POLLIN, 0});
                // After a statement to cut after, the server's answer stays where it is.
                fds.push_back({p.server, short(p.cutAt ? 0 : POLLIN), 0});
            }
            ::poll(fds.data(), fds.size(), 20);
            const size_t polled = m_pairs.size();
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                const int server = client >= 0 ? connectTo(m_serverPort) : -1;
                if (server >= 0)
                    m_pairs.push_back({client, server, std::nullopt});
                else if (client >= 0)
                    ::close(client);
            }
            std::vector<Pair> kept;
            for (size_t i = 0; i < m_pairs.size(); ++i) {
                Pair p = m_pairs[i];
                // A pair accepted just now is polled from the next round on.
                const short fromClient = i < polled ? fds[1 + 2 * i].revents : 0;
                const short fromServer = i < polled ? fds[2 + 2 * i].revents : 0;
                bool open = true;
                std::string bytes;
                if (fromClient & (POLLIN | POLLHUP | POLLERR)) {
                    open = readSome(p.client, bytes);
                    // A COM_QUERY packet: a 4-byte header, command byte 3, the text.
                    if (open && bytes.size() > 5 && bytes[4] == '\x03' &&
                        m_watch(bytes.substr(5)) == Then::CutAfterIt)
                        p.cutAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
                    open = open && writeAll(p.server, bytes);
                }
                if (open && (fromServer & (POLLIN | POLLHUP | POLLERR)))
                    open = readSome(p.server, bytes) && writeAll(p.client, bytes);
                if (open && p.cutAt && std::chrono::steady_clock::now() >= *p.cutAt) {
                    open = false;
                    m_cut = true;
                }
                if (open) {
                    kept.push_back(p);
                } else {
                    ::close(p.client);
                    ::close(p.server);
                }
            }
            m_pairs = std::move(kept);
        }
    }

    int m_serverPort;
    Watch m_watch;
    int m_listener = -1;
    int m_port = 0;
    std::vector<Pair> m_pairs; // the relay's thread only
    std::atomic<bool> m_cut{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

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
    // The two rows the server confirmed stay, and only they: the statement
    // that was on its way when the server stopped is read by the server when
    // it resumes, after the client gave up on it, and must not land then.
    EXPECT_EQ(waitUntilNoSession(), "");
    EXPECT_EQ(freshRows("SELECT FileName FROM Main ORDER BY RecordNumber"), (Rows{{"a.shp"}, {"b.shp"}}));
}

// The same, with the server stopped just as the third data set's row
// statement reaches it: that statement is read and carried out when the
// server resumes, after the client gave up on it, and must not land then.
TEST_F(StoppedServerTest, TheRowStatementOnItsWayWhenTheServerStoppedDoesNotLandLater)
{
    ASSERT_NO_FATAL_FAILURE(selectFiveDataSets());
    std::atomic<bool> armed{false};
    std::atomic<bool> stopped{false};
    QueryRelay relay(m_account.port, [&](const std::string& statement) {
        if (statement.rfind("REPLACE INTO Main", 0) == 0 && armed.exchange(false))
            stopped = m_server->stop();
        return QueryRelay::Then::Pass;
    });
    ASSERT_GT(relay.port(), 0);
    ASSERT_TRUE(uploadThroughRelay(relay.port(), kTimeoutSeconds, armed));
    ASSERT_TRUE(stopped);
    m_server->resume();

    ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors[0].contains("2 rows were written")) << m_errors[0].toStdString();
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("- Data added to Chartroom: 2 records added on ", 0), 0u) << lines.back();
    EXPECT_EQ(waitUntilNoSession(), "");
    EXPECT_EQ(freshRows("SELECT FileName FROM Main ORDER BY RecordNumber"), (Rows{{"a.shp"}, {"b.shp"}}));
}

// Another session holds the row of the third data set (SELECT ... FOR
// UPDATE in an open transaction): the upload's statement waits for it until
// the timeout, then ends on the server too, the run reports the two rows
// before it, and when the lock goes the statement does not land after all.
TEST_F(UploadFaultFixture, ARowLockedByAnotherSessionTimesOutOnTheServerToo)
{
    ASSERT_NO_FATAL_FAILURE(selectFiveDataSets());
    TdlgAtlasdesk& w = window();
    ChartroomSettings settings = m_db->settings();
    settings.timeoutSeconds = 2;
    m_dataModule->setConnectionSettings(settings);
    w.mnuAddToChartroomClick();
    ASSERT_TRUE(waitForCatalogueTask());
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    const std::string firstRun = m_db->scalar("SELECT MAX(RecordNumber) FROM Main");

    const QString lockName = QStringLiteral("upload-fault-lock");
    {
        QSqlDatabase other = ownConnection(lockName);
        ASSERT_TRUE(other.isOpen()) << other.lastError().text().toStdString();
        QSqlQuery hold(other);
        ASSERT_TRUE(hold.exec("START TRANSACTION"));
        // By its key, so that no other row is locked with it.
        const std::string c = m_db->scalar("SELECT RecordNumber FROM Main WHERE FileName = 'c.shp'");
        ASSERT_TRUE(hold.exec(QString::fromStdString("SELECT RecordNumber FROM Main WHERE RecordNumber = " + c +
                                                     " FOR UPDATE")) &&
                    hold.next());

        m_errors.clear();
        w.mnuAddToChartroomClick();
        ASSERT_TRUE(waitForCatalogueTask());
        ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
        const std::vector<std::string> lines = logLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("- Data added to Chartroom: 2 records added on ", 0), 0u) << lines.back();
        EXPECT_NE(lines.back().find("(the run broke off at data set 3 of 5)"), std::string::npos) << lines.back();

        // While the lock still holds, the statement the client gave up on
        // no longer runs on the server either.
        ASSERT_TRUE(hold.exec("SELECT CONNECTION_ID()") && hold.next());
        EXPECT_EQ(waitUntilNoSession("COMMAND = 'Query'", hold.value(0).toString().toStdString(), 10000), "");

        ASSERT_TRUE(hold.exec("ROLLBACK")); // the lock goes
        hold.finish();
        other.close();
    }
    QSqlDatabase::removeDatabase(lockName);
    EXPECT_EQ(waitUntilNoSession(), "");
    EXPECT_EQ(freshRows("SELECT FileName FROM Main WHERE RecordNumber > " + firstRun + " ORDER BY RecordNumber"),
              (Rows{{"a.shp"}, {"b.shp"}}));
    EXPECT_EQ(freshRows("SELECT COUNT(*) FROM Main"), (Rows{{"5"}}));
}

// The connection breaks between the COMMIT of the third data set's row and
// its answer, after the server carried the COMMIT out: the run asks the
// server on a new connection whether that row is there before it counts,
// and so reports the three rows the catalogue holds.
TEST_F(UploadFaultFixture, ACommitWhoseAnswerIsLostIsCheckedOnTheServer)
{
    ASSERT_NO_FATAL_FAILURE(selectFiveDataSets());
    std::atomic<bool> armed{false};
    QueryRelay relay(m_account.port, [&](const std::string& statement) {
        return statement == "COMMIT" && armed.exchange(false) ? QueryRelay::Then::CutAfterIt : QueryRelay::Then::Pass;
    });
    ASSERT_GT(relay.port(), 0);
    ASSERT_TRUE(uploadThroughRelay(relay.port(), 0, armed));
    ASSERT_TRUE(relay.cut());

    ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors[0].contains("3 rows were written before the upload broke off")) << m_errors[0].toStdString();
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("- Data added to Chartroom: 3 records added on ", 0), 0u) << lines.back();
    EXPECT_EQ(freshRows("SELECT FileName FROM Main ORDER BY RecordNumber"), (Rows{{"a.shp"}, {"b.shp"}, {"c.shp"}}));
}

} // namespace
