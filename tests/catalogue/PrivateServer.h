#pragma once
// A MariaDB server of a test's own, which the test may freeze (SIGSTOP)
// without disturbing the other tests on the shared test server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <atomic>
#include <cstdlib>
#include <string>

#include "TestDatabase.h"
#include "TestUtil.h"

namespace cattest {

// A MariaDB server of the test's own (scripts/test-db.sh on a free loopback
// port), which a case may stop with SIGSTOP. It is always resumed before it
// is shut down, also when the case fails.
class PrivateServer {
public:
    PrivateServer()
    {
        const int port = freePort();
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

    // SIGSTOP: the server keeps its connections but answers nothing. Any thread.
    bool stop()
    {
        m_stopped = ::kill(m_pid, SIGSTOP) == 0;
        return m_stopped;
    }
    // SIGCONT, when it was stopped. Any thread.
    void resume()
    {
        if (m_stopped.exchange(false))
            ::kill(m_pid, SIGCONT);
    }

private:
    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return -1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = -1;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    testutil::TempDir m_dir;
    ServerAccount m_account;
    pid_t m_pid = 0;
    std::atomic<bool> m_stopped{false};
    std::string m_error;
};

} // namespace cattest
