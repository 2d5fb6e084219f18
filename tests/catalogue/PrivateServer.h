#pragma once
// A MariaDB server of a test's own, which the test may freeze (SIGSTOP)
// without disturbing the other tests on the shared test server.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestDatabase.h"
#include "TestUtil.h"

namespace cattest {

// A loopback port nobody listens on (it was free a moment ago): a
// connection to it is refused at once. 0 when none could be had.
inline int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// A MariaDB server of the test's own (scripts/test-db.sh on a free loopback
// port), which a case may stop with SIGSTOP. It is always resumed before it
// is shut down, also when the case fails.
class PrivateServer {
public:
    PrivateServer()
    {
        const int port = closedPort();
        if (port <= 0) {
            m_error = "no free loopback port";
            return;
        }
        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ATLASDESK_TEST_DB_PORT"), QString::number(port));
        start.setProcessEnvironment(env);
        start.start(QStringLiteral("bash"), {QStringLiteral(ATLASDESK_SOURCE_DIR "/scripts/test-db.sh"),
                                             QStringLiteral("start"), QString::fromStdString(m_dir.path())});
        if (!start.waitForFinished(180000) || start.exitCode() != 0) {
            m_error = "the private server did not start: " + start.readAllStandardError().toStdString();
            return;
        }
        m_pid = std::atoi(testutil::readFile(m_dir / "mysqld.pid").c_str());
        if (m_pid <= 0) {
            m_error = "the private server wrote no process id";
            return;
        }
        m_account = {"127.0.0.1", port, "chartroom", "chartroom-test"};
    }
    ~PrivateServer()
    {
        resume();
        QProcess stop;
        stop.start(QStringLiteral("bash"), {QStringLiteral(ATLASDESK_SOURCE_DIR "/scripts/test-db.sh"),
                                            QStringLiteral("stop"), QString::fromStdString(m_dir.path())});
        stop.waitForFinished(60000);
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // "" once the server answers; else why not.
    const std::string& error() const { return m_error; }
    const ServerAccount& account() const { return m_account; }

    // SIGSTOP: the server keeps its connections but answers nothing. Returns
    // once every thread of the server has stopped: kill() returns before
    // that (one thread takes the signal and only then stops the others), and
    // meanwhile a thread waiting on a connection would still answer a
    // statement sent at once. Any thread.
    bool stop()
    {
        m_stopped = ::kill(m_pid, SIGSTOP) == 0;
        if (!m_stopped)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!allThreadsStopped()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // SIGCONT, when it was stopped. Any thread.
    void resume()
    {
        if (m_stopped.exchange(false))
            ::kill(m_pid, SIGCONT);
    }

private:
    // Whether every thread of the server is in the stopped state ('T' in
    // the proc file system, after the name in parentheses).
    bool allThreadsStopped() const
    {
        const std::string tasks = "/proc/" + std::to_string(m_pid) + "/task";
        DIR* dir = ::opendir(tasks.c_str());
        if (!dir)
            return false;
        bool stopped = true;
        int threads = 0;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            ++threads;
            const std::string stat = testutil::readFile(tasks + "/" + e->d_name + "/stat");
            const size_t end = stat.rfind(')');
            if (end == std::string::npos || end + 2 >= stat.size() || stat[end + 2] != 'T') {
                stopped = false;
                break;
            }
        }
        ::closedir(dir);
        return stopped && threads > 0;
    }

    testutil::TempDir m_dir;
    ServerAccount m_account;
    pid_t m_pid = 0;
    std::atomic<bool> m_stopped{false};
    std::string m_error;
};

} // namespace cattest
