#pragma once
// Mounts the slow pass-through file system (SlowFs.cpp) for one test or
// benchmark and takes it down again. Needs /dev/fuse and the helper built
// with libfuse3.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

class SlowMount {
public:
    // Why the slow file system cannot be used here; empty when it can.
    static std::string unavailable(const std::string& helper)
    {
        if (helper.empty())
            return "built without libfuse3 (install fuse3 and libfuse3-dev)";
        if (::access(helper.c_str(), X_OK) != 0)
            return "the helper " + helper + " is missing";
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return "/dev/fuse cannot be opened";
        return {};
    }

    // Shows `source` at `mountPoint` (created by the caller); every entry
    // read and every stat waits `delayUs`. Operations below `hangPrefix`
    // (e.g. "/hung") block while hang() is in force.
    SlowMount(const std::string& helper, const std::string& source, const std::string& mountPoint, long delayUs,
              const std::string& hangPrefix = "/nothing-hangs")
        : m_mountPoint(mountPoint), m_hangFlag(mountPoint + ".hang")
    {
        while (m_mountPoint.size() > 1 && m_mountPoint.back() == '/')
            m_mountPoint.pop_back();
        m_hangFlag = m_mountPoint + ".hang";
        struct stat before {};
        ::stat(m_mountPoint.c_str(), &before);
        const std::string delay = std::to_string(delayUs);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(helper.c_str(), helper.c_str(), source.c_str(), m_mountPoint.c_str(), delay.c_str(),
                    m_hangFlag.c_str(), hangPrefix.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Mounted when the mount point turns into another device.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            struct stat now {};
            if (::stat(m_mountPoint.c_str(), &now) == 0 && now.st_dev != before.st_dev) {
                m_mounted = true;
                break;
            }
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SlowMount()
    {
        release();
        if (m_mounted)
            ::umount2(m_mountPoint.c_str(), MNT_DETACH);
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    SlowMount(const SlowMount&) = delete;
    SlowMount& operator=(const SlowMount&) = delete;

    bool mounted() const { return m_mounted; }
    // The mount point with its trailing '/'.
    std::string path() const { return m_mountPoint + "/"; }
    // From now on, operations below the hang prefix block until release().
    void hang()
    {
        if (FILE* f = std::fopen(m_hangFlag.c_str(), "w"))
            std::fclose(f);
    }
    void release() { ::unlink(m_hangFlag.c_str()); }

private:
    std::string m_mountPoint;
    std::string m_hangFlag;
    pid_t m_pid = -1;
    bool m_mounted = false;
};
