// A read-only pass-through file system that is slow on purpose, for tests
// and benchmarks of listings on shares that are slow or stop answering:
//   atlasdesk-slowfs SOURCE MOUNTPOINT DELAY_US HANG_FLAG HANG_PREFIX
// shows SOURCE at MOUNTPOINT; every readdir entry and every getattr waits
// DELAY_US microseconds. While the file HANG_FLAG exists, opening or
// reading the folder HANG_PREFIX (relative to the mount, e.g. "/hung") and
// every operation below it block; removing the file releases them. Runs in the foreground
// until unmounted or sent SIGTERM.
#define FUSE_USE_VERSION 31
#include <fuse3/fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string g_source;
long g_delayUs = 0;
std::string g_hangFlag;
std::string g_hangPrefix;

std::string real(const char* path)
{
    return g_source + path;
}

void pause(long microseconds)
{
    if (microseconds > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

// Blocks while the hang flag exists, for the paths it concerns. The folder
// itself hangs when it is opened or read; looking it up by name in its
// parent does not hang (the kernel may hold the parent for that, which
// would hang its siblings too), entries below it do.
void hangIfAsked(const char* path, bool itself = true)
{
    const std::string prefix = itself ? g_hangPrefix : g_hangPrefix + "/";
    if (g_hangPrefix.empty() || std::strncmp(path, prefix.c_str(), prefix.size()) != 0)
        return;
    struct stat st;
    while (::stat(g_hangFlag.c_str(), &st) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

int slowGetattr(const char* path, struct stat* st, fuse_file_info*)
{
    hangIfAsked(path, false);
    pause(g_delayUs);
    return ::lstat(real(path).c_str(), st) == 0 ? 0 : -errno;
}

int slowReadlink(const char* path, char* buffer, size_t size)
{
    hangIfAsked(path, false);
    const ssize_t n = ::readlink(real(path).c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int slowReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                fuse_readdir_flags)
{
    hangIfAsked(path);
    DIR* d = ::opendir(real(path).c_str());
    if (!d)
        return -errno;
    while (const dirent* e = ::readdir(d)) {
        pause(g_delayUs);
        struct stat st {};
        st.st_ino = e->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
        if (fill(buffer, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)))
            break;
    }
    ::closedir(d);
    return 0;
}

int slowOpendir(const char* path, fuse_file_info*)
{
    hangIfAsked(path);
    DIR* d = ::opendir(real(path).c_str());
    if (!d)
        return -errno;
    ::closedir(d);
    return 0;
}

int slowOpen(const char* path, fuse_file_info* fi)
{
    hangIfAsked(path);
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = ::open(real(path).c_str(), fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int slowRead(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    hangIfAsked(path);
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int slowRelease(const char*, fuse_file_info* fi)
{
    ::close(static_cast<int>(fi->fh));
    return 0;
}

void* slowInit(fuse_conn_info* conn, fuse_config* config)
{
    // Lookups in one folder run side by side, as on a real share: one
    // hung entry must not hold its siblings.
    if (conn->capable & FUSE_CAP_PARALLEL_DIROPS)
        conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    // No caching: every listing and stat reaches this process and its delays.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s SOURCE MOUNTPOINT DELAY_US HANG_FLAG HANG_PREFIX\n", argv[0]);
        return 2;
    }
    g_source = argv[1];
    while (g_source.size() > 1 && g_source.back() == '/')
        g_source.pop_back();
    g_delayUs = std::strtol(argv[3], nullptr, 10);
    g_hangFlag = argv[4];
    g_hangPrefix = argv[5];

    fuse_operations ops {};
    ops.getattr = slowGetattr;
    ops.readlink = slowReadlink;
    ops.opendir = slowOpendir;
    ops.readdir = slowReaddir;
    ops.open = slowOpen;
    ops.read = slowRead;
    ops.release = slowRelease;
    ops.init = slowInit;
    char foreground[] = "-f";
    char options[] = "-o";
    char fsname[] = "fsname=atlasdesk-slowfs,ro";
    char* fuseArgv[] = {argv[0], argv[2], foreground, options, fsname, nullptr};
    return fuse_main(5, fuseArgv, &ops, nullptr);
}
