#pragma once
// Faults the operating system is made to produce on purpose, for the fault
// tests: a full or read-only file system, a limit on file sizes, a directory
// nothing can be created in, permission bits that hold for root too; and the
// peak memory of an operation.
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>

namespace faults {

inline std::string errorText(int error)
{
    return std::strerror(error);
}

// A tmpfs mounted on an existing directory for the object's life. Mounting
// needs CAP_SYS_ADMIN; ok() tells whether it worked.
class TmpfsMount {
public:
    TmpfsMount(const std::string& dir, std::size_t bytes) : m_dir(dir)
    {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        if (!m_mounted)
            m_error = errorText(errno);
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool ok() const { return m_mounted; }
    const std::string& error() const { return m_error; }

    bool setReadOnly(bool readOnly)
    {
        return ::mount(nullptr, m_dir.c_str(), nullptr, MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

    // Writes `file` until the file system has no room left; true when it
    // ended with ENOSPC.
    static bool fillWith(const std::string& file)
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const std::string block(4096, 'x');
        int error = 0;
        for (;;) {
            if (::write(fd, block.data(), block.size()) < 0) {
                error = errno;
                break;
            }
        }
        ::close(fd);
        return error == ENOSPC;
    }

private:
    std::string m_dir;
    bool m_mounted = false;
    std::string m_error;
};

// Writes that would make any file larger than `bytes` fail with EFBIG
// (RLIMIT_FSIZE, with SIGXFSZ ignored), for the object's life. The limit is
// the process's, so it is kept around single commands.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_ok = false;
};

// The immutable attribute (chattr +i) on a directory: no entry can be
// created, renamed or removed in it, not even by root. Needs
// CAP_LINUX_IMMUTABLE and a file system that has the attribute (ext4, xfs,
// btrfs); ok() tells whether it was set.
class ImmutableDirectory {
public:
    explicit ImmutableDirectory(const std::string& dir)
    {
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &m_flags) != 0) {
            m_error = errorText(errno);
            return;
        }
        int flags = m_flags | FS_IMMUTABLE_FL;
        m_ok = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (!m_ok)
            m_error = errorText(errno);
    }
    ~ImmutableDirectory() { lift(); }
    ImmutableDirectory(const ImmutableDirectory&) = delete;
    ImmutableDirectory& operator=(const ImmutableDirectory&) = delete;

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    void lift()
    {
        if (m_ok)
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &m_flags);
        m_ok = false;
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    int m_flags = 0;
    bool m_ok = false;
    std::string m_error;
};

// Root reads any directory whatever its permission bits: CAP_DAC_OVERRIDE
// and CAP_DAC_READ_SEARCH let it. Capabilities belong to a thread, so this
// drops both from the calling thread's effective set for the object's life,
// and the bits of a chmod 000 directory then stop this thread as they stop
// any user. Without those capabilities (not root) nothing changes.
class PermissionBitsHold {
public:
    PermissionBitsHold()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        m_changed = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionBitsHold()
    {
        if (m_changed)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionBitsHold(const PermissionBitsHold&) = delete;
    PermissionBitsHold& operator=(const PermissionBitsHold&) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_changed = false;
};

// The peak resident memory of the process since reset(), in kilobytes.
// Linux resets the peak when "5" is written to /proc/self/clear_refs.
class PeakMemory {
public:
    bool reset()
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        return static_cast<bool>(clear);
    }
    static long peakKb() { return statusValue("VmHWM:"); }
    static long currentKb() { return statusValue("VmRSS:"); }

private:
    static long statusValue(const char* key)
    {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(key, 0) == 0)
                return std::stol(line.substr(std::strlen(key)));
        return -1;
    }
};

} // namespace faults
