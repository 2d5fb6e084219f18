// The catalogue on a 3-node Galera cluster that loses a node: a sync goes
// on through another node and writes every data set exactly once; a
// search keeps being answered by the team's index.
//
// The cluster is the one scripts/test.sh starts (scripts/galera-cluster.sh)
// and announces in ATLASDESK_GALERA_*. The tests create their catalogue
// through the last node, kill the first (SIGKILL, the way a node dies) and
// start it again afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

#include <QCoreApplication>
#include <QProcess>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "SyncFixture.h"
#include "catalogue/ServerSearch.h"
#include "catalogue/TeamSearch.h"
#include "model/AtlasdeskOps.h"

namespace {

using namespace std::chrono_literals;

// The cluster of the environment: its nodes' accounts, in order, and the
// folder of their data and process ids.
struct Cluster {
    std::vector<cattest::ServerAccount> nodes;
    std::string dir;

    pid_t pidOf(size_t node) const
    {
        std::ifstream in(dir + "/node" + std::to_string(node + 1) + "/mysqld.pid");
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }
    bool alive(size_t node) const
    {
        const pid_t pid = pidOf(node);
        return pid > 0 && ::kill(pid, 0) == 0;
    }
    // Kills the node's server and waits until it is gone.
    bool kill(size_t node) const
    {
        const pid_t pid = pidOf(node);
        if (pid <= 0 || ::kill(pid, SIGKILL) != 0)
            return false;
        for (int i = 0; i < 600 && ::kill(pid, 0) == 0; ++i)
            std::this_thread::sleep_for(50ms);
        return ::kill(pid, 0) != 0;
    }
    // Starts the node again; it joins the others. Empty, or why it failed.
    std::string restart(size_t node) const
    {
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start("bash", {QStringLiteral(ATLASDESK_SOURCE_DIR "/scripts/galera-cluster.sh"), QStringLiteral("restart"),
                              QString::fromStdString(dir), QString::number(node + 1)});
        if (!script.waitForFinished(300000) || script.exitCode() != 0)
            return "node " + std::to_string(node + 1) + " did not start again: " +
                   script.readAll().toStdString();
        return {};
    }
    std::string where(size_t node) const { return nodes[node].host + ":" + std::to_string(nodes[node].port); }
};

std::optional<Cluster> clusterFromEnvironment()
{
    if (!qEnvironmentVariableIsSet("ATLASDESK_GALERA_HOSTS"))
        return std::nullopt;
    Cluster cluster;
    cluster.dir = qEnvironmentVariable("ATLASDESK_GALERA_DIR").toStdString();
    for (const QString& host : qEnvironmentVariable("ATLASDESK_GALERA_HOSTS").split(',')) {
        cattest::ServerAccount node;
        node.host = host.section(':', 0, 0).toStdString();
        node.port = host.section(':', 1, 1).toInt();
        node.user = qEnvironmentVariable("ATLASDESK_GALERA_USER").toStdString();
        node.password = qEnvironmentVariable("ATLASDESK_GALERA_PASSWORD").toStdString();
        cluster.nodes.push_back(node);
    }
    if (cluster.nodes.size() < 3 || cluster.dir.empty())
        return std::nullopt;
    return cluster;
}

class ClusterTest : public synctest::SyncFixture {
protected:
    void SetUp() override
    {
        cattest::CatalogueFixture::SetUp();
        std::optional<Cluster> cluster = clusterFromEnvironment();
        if (!cluster) {
            const std::string why = qEnvironmentVariableIsSet("ATLASDESK_GALERA_UNAVAILABLE")
                                        ? qEnvironmentVariable("ATLASDESK_GALERA_UNAVAILABLE").toStdString()
                                        : "ATLASDESK_GALERA_* name no cluster (run scripts/test.sh)";
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "CI is set but there is no Galera cluster: " << why;
            GTEST_SKIP() << "no Galera cluster: " << why;
        }
        m_cluster = *cluster;
        for (size_t node = 0; node < m_cluster.nodes.size(); ++node)
            ASSERT_TRUE(m_cluster.alive(node)) << "node " << node + 1 << " is not running";
        // The catalogue is made, and looked at, through the last node, which stays.
        useServer(m_cluster.nodes.back());
        // Its reads wait until it has applied what the cluster committed
        // before them (through any node).
        if (m_db)
            m_db->exec("SET SESSION wsrep_sync_wait=1");
    }
    void TearDown() override
    {
        for (size_t node = 0; node < m_cluster.nodes.size(); ++node) {
            if (!m_cluster.alive(node)) {
                EXPECT_EQ(m_cluster.restart(node), "");
            }
        }
        SyncFixture::TearDown();
    }

    // The configuration naming the nodes in the order `nodes`.
    void writeClusterConfig(const std::string& file, const std::vector<size_t>& nodes)
    {
        std::string hosts;
        for (size_t node : nodes)
            hosts += "<host>" + m_cluster.where(node) + "</host>";
        testutil::writeFile(file, synctest::configWith({"transport", "hydrology", "geology"},
                                                      "  <chartroom>" + hosts + "<database>" + m_db->name() +
                                                          "</database><user>" + m_user +
                                                          "</user><timeout>30</timeout></chartroom>\n"));
    }

    // A sync with the configuration `config` instead of the test's own.
    synctest::Outcome syncWith(const std::string& config, const std::vector<std::string>& extra = {})
    {
        const std::string own = m_config;
        m_config = config;
        synctest::Outcome run = sync(extra);
        m_config = own;
        return run;
    }

    Cluster m_cluster;
};

// A sync writing through the first node, which dies in the middle of the
// run (the sync held still meanwhile, so that the node surely dies while it
// has more to write): it goes on through the next node, says so, and the
// catalogue ends with every data set exactly once, its rows and its state
// in step (the next run, through another node, finds nothing to do). While
// it runs, its lock holds on every node: a second sync is refused. The
// shipped sync account's rights suffice.
TEST_F(ClusterTest, ASyncWhoseNodeDiesGoesOnThroughAnotherAndWritesEveryDataSetOnce)
{
    constexpr int kDataSets = 3000;
    for (int f = 0; f < 6; ++f)
        dataSets("10_world/f" + std::to_string(f), kDataSets / 6);
    // The shipped account of the sync, with only its rights: the cluster's lock is among them.
    m_user = "sync_" + m_db->name().substr(m_db->name().rfind('_') + 1);
    m_password = "sync-test-secret";
    const cattest::ScriptedAccount account(*m_db, ATLASDESK_SOURCE_DIR "/data/chartroom-sync-account.sql",
                                           "atlasdesk_sync", m_user, m_password);
    writeClusterConfig(m_config, {0, 1, 2});

    auto process = start({m_store});
    const auto deadline = std::chrono::steady_clock::now() + 180s;
    while (count("SyncState") == 0 && process->state() == QProcess::Running &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(process->state(), QProcess::Running) << finish(*process);
    ASSERT_EQ(::kill(static_cast<pid_t>(process->processId()), SIGSTOP), 0);
    const long long before = count("SyncState");
    EXPECT_LT(before, kDataSets) << "the sync was held before its end";

    const std::string second = m_program / "second.ini.xml";
    writeClusterConfig(second, {2, 1, 0});
    const synctest::Outcome refused = syncWith(second);
    EXPECT_EQ(refused.exitCode, 2) << refused;
    EXPECT_NE(refused.err.find("Another sync of the catalogue " + m_db->name() + " at " + m_cluster.where(2) +
                               " is running ("),
              std::string::npos)
        << refused;

    ASSERT_TRUE(m_cluster.kill(0));
    ASSERT_EQ(::kill(static_cast<pid_t>(process->processId()), SIGCONT), 0);
    const synctest::Outcome run = finish(*process);
    EXPECT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(counts(run), std::to_string(kDataSets) + " added, 0 updated, 0 removed, 0 unchanged, 0 unreadable, 0 ignored")
        << run;
    EXPECT_NE(run.out.find(" at " + m_cluster.where(1) + ": "), std::string::npos)
        << "the summary names the node it went on with\n" << run;
    EXPECT_NE(run.err.find(m_cluster.where(0)), std::string::npos) << "it says which node went away\n" << run;
    EXPECT_NE(testutil::readFile(logFile()).find("went away; the sync went on with " + m_cluster.where(1)),
              std::string::npos);

    const std::string n = std::to_string(kDataSets);
    EXPECT_EQ(rows("SELECT COUNT(*),COUNT(DISTINCT DataSetKey) FROM Main"), (synctest::Rows{{n, n}}));
    EXPECT_EQ(rows("SELECT COUNT(*),COUNT(DISTINCT PathFile,FileName) FROM Main"), (synctest::Rows{{n, n}}));
    EXPECT_EQ(rows("SELECT COUNT(*),COUNT(DISTINCT DataSetKey) FROM SyncState"), (synctest::Rows{{n, n}}));
    EXPECT_EQ(rows("SELECT COUNT(*),COUNT(DISTINCT ItemPath) FROM SearchDataSets"), (synctest::Rows{{n, n}}));
    EXPECT_EQ(count("SyncLock"), 0) << "the lock was given back";

    const synctest::Outcome again = syncWith(second);
    EXPECT_EQ(again.exitCode, 0) << again;
    EXPECT_EQ(counts(again), "0 added, 0 updated, 0 removed, " + n + " unchanged, 0 unreadable, 0 ignored") << again;
}

// A search that asks the team's index through the first node, over and
// over, while that node dies: every answer comes from the team's index
// (the store's own index is never asked), with every hit, and once the
// node is gone the answers name the node that took over.
TEST_F(ClusterTest, ASearchKeepsBeingAnsweredByTheTeamIndexWhileANodeDies)
{
    dataSets("10_world/hydrology", 12);
    const synctest::Outcome filled = sync();
    ASSERT_EQ(filled.exitCode, 0) << filled;

    ChartroomSettings settings;
    settings.host = m_cluster.nodes[0].host;
    settings.port = m_cluster.nodes[0].port;
    for (size_t node = 1; node < m_cluster.nodes.size(); ++node)
        settings.otherHosts.push_back({m_cluster.nodes[node].host, m_cluster.nodes[node].port});
    settings.database = m_db->name();
    settings.user = m_user;
    settings.password = m_password;
    settings.timeoutSeconds = 3;
    settings.connectTimeoutSeconds = 3;

    struct Local : SearchBackend {
        mutable std::atomic<int> asked{0};
        SearchAnswer answer(const SearchQuery& q) const override
        {
            ++asked;
            SearchAnswer a;
            a.query = q;
            return a;
        }
    };
    auto local = std::make_shared<Local>();
    const TeamSearch search(std::make_shared<ServerSearch>(settings, m_store), local,
                            std::make_shared<TeamSearch::Health>());
    SearchQuery query;
    query.words = QStringLiteral("hydrol");
    query.categories = {catVector};

    std::mutex mutex;
    std::vector<SearchAnswer> answers;
    std::atomic<bool> stop{false};
    std::thread asking([&] {
        while (!stop) {
            SearchAnswer a = search.answer(query);
            const std::lock_guard lock(mutex);
            answers.push_back(std::move(a));
        }
    });
    const auto answered = [&] {
        const std::lock_guard lock(mutex);
        return answers.size();
    };
    const auto waitFor = [&](size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (answered() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    };
    waitFor(20);
    const size_t beforeKill = answered();
    const bool killed = m_cluster.kill(0);
    waitFor(beforeKill + 40);
    stop = true;
    asking.join();
    ASSERT_TRUE(killed);

    ASSERT_GE(answers.size(), beforeKill + 40) << "the answers went on";
    EXPECT_EQ(local->asked.load(), 0) << "the team's index answered every search";
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_TRUE(answers[i].error.isEmpty()) << i << ": " << answers[i].error.toStdString();
        EXPECT_EQ(answers[i].hits.size(), 12u) << i << ": " << answers[i].source.toStdString();
    }
    EXPECT_TRUE(answers.front().source.startsWith(QString::fromStdString("Team index on " + m_cluster.where(0))))
        << answers.front().source.toStdString();
    EXPECT_TRUE(answers.back().source.startsWith(QString::fromStdString("Team index on " + m_cluster.where(1))))
        << answers.back().source.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    // Qt SQL and the child processes need an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
