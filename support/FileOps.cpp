#include "support/FileOps.h"

#include "support/Errors.h"
#include "support/PathOps.h"

#include <QTimer>

#include "support/Background.h"
#include "support/SaveFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#ifndef ATLASDESK_VERSION_MAJOR
#define ATLASDESK_VERSION_MAJOR 0
#endif
#ifndef ATLASDESK_VERSION_MINOR
#define ATLASDESK_VERSION_MINOR 0
#endif
#ifndef ATLASDESK_VERSION_PATCH
#define ATLASDESK_VERSION_PATCH 0
#endif
#ifndef ATLASDESK_VERSION_TWEAK
#define ATLASDESK_VERSION_TWEAK 0
#endif

namespace {

class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_dir(dir) {}
    ~DirCloser()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_dir;
};

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// The file search of the original platform knows only '*' and '?' as
// wildcards; '[' is an ordinary character in file names there and here.
bool wildcardMatch(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

int64_t sizeOfEntry(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

} // namespace

int WriteAll(int fd, std::string_view bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteWholeFile(const std::string& path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

bool CopyFileOver(const std::string& source, const std::string& target)
{
    struct stat sourceStat {};
    if (::stat(source.c_str(), &sourceStat) != 0 || S_ISDIR(sourceStat.st_mode))
        return true;
    // Copying a file onto itself (also through a link) would be pointless
    // at best.
    struct stat targetStat {};
    if (::stat(target.c_str(), &targetStat) == 0 && targetStat.st_dev == sourceStat.st_dev
        && targetStat.st_ino == sourceStat.st_ino)
        return true;
    std::string bytes;
    if (!ReadRegularFile(source, bytes))
        return true;
    // A target that holds these bytes already is left alone: saving it anew
    // (to the disk, synced) would cost far more than reading it.
    std::string current;
    if (S_ISREG(targetStat.st_mode) && static_cast<std::size_t>(targetStat.st_size) == bytes.size()
        && ReadRegularFile(target, current) && current == bytes)
        return true;
    // Saved whole or not at all, so a failed copy leaves the old target
    // whole instead of a truncated one; its failure is not reported.
    try {
        SaveFileWhole(target, bytes);
    } catch (const std::exception&) {
    }
    return true;
}

VersionNumbers GetVersionNumbers()
{
    VersionNumbers v;
    v.major = ATLASDESK_VERSION_MAJOR;
    v.minor = ATLASDESK_VERSION_MINOR;
    v.release = ATLASDESK_VERSION_PATCH;
    v.build = ATLASDESK_VERSION_TWEAK;
    return v;
}

std::string VersionString(uint8_t n)
{
    const VersionNumbers v = GetVersionNumbers();
    const uint16_t parts[] = {v.minor, v.release, v.build};
    std::string result = std::to_string(v.major);
    // There are only four numbers; larger counts stop after the build number.
    for (int i = 0; i + 1 < n && i < 3; ++i)
        result += "." + std::to_string(parts[i]);
    return result;
}

int OpenRegularFile(const std::string& path)
{
    // Opened without blocking so that a named pipe cannot hang the open; it
    // is refused below like every other file that is not a regular one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::size_t limit)
{
    bytes.clear();
    const int fd = OpenRegularFile(path);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = true;
    if (::fstat(fd, &info) == 0)
        bytes.reserve(std::min(limit, static_cast<std::size_t>(info.st_size)));
    char buffer[65536];
    while (ok && bytes.size() < limit) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ok;
}

int64_t FileSize64(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    if (name.find_first_of("*?") == std::string::npos)
        return sizeOfEntry(path);

    // A name that exists literally is taken as it is: on this platform '*'
    // and '?' are legal in file names.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return sizeOfEntry(path);

    const std::string folder = ExtractFilePath(path);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return -1;
    DirCloser closer(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (isDotOrDotDot(entry->d_name))
            continue;
        if (wildcardMatch(name, entry->d_name))
            return sizeOfEntry(folder + entry->d_name);
    }
    return -1;
}

int64_t DirectorySize(const std::string& path, bool recurse)
{
    const std::string folder = IncludeTrailingPathDelimiter(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    DirCloser closer(dir);
    int64_t total = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string full = folder + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            // A link to a file stands for that file on a file server; its own
            // size (the length of the link text) means nothing to the user.
            struct stat target {};
            if (::stat(full.c_str(), &target) == 0 && !S_ISDIR(target.st_mode))
                total += static_cast<int64_t>(target.st_size);
            // Linked directories are never descended into: links can form loops.
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            // Directory entries count 0, whatever block size the file system
            // reports for them (4096 on Linux): the total is meant to be the
            // sum of the files, as it is where directories report 0.
            if (recurse && name[0] != '.')
                total += DirectorySize(full, true);
            continue;
        }
        total += static_cast<int64_t>(st.st_size);
    }
    return total;
}

namespace {

const char* const kLaunchFailure = "Couldn't launch external application, error code:";

// Starts the desktop's opener on `file`; throws when it cannot be started.
pid_t startOpener(const std::string& file, const std::string& parameters,
                  const std::string& directory)
{
    // The desktop's opener finds the associated program, as the shell's
    // "open" verb does elsewhere.
    std::string opener = "xdg-open";
    std::string fileArg = file;
    std::string paramArg = parameters;
    std::vector<char*> argv{opener.data(), fileArg.data()};
    if (!parameters.empty())
        argv.push_back(paramArg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = 0;
    // posix_spawnp hands the byte strings to the program unchanged, so names
    // that are no valid UTF-8 still reach it.
    const int spawnError = ::posix_spawnp(&pid, opener.c_str(), &actions, nullptr,
                                          argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        throw Exception(kLaunchFailure + std::to_string(spawnError));
    return pid;
}

// The error of an opener that ended with `status`; empty when it succeeded.
std::string openerFailure(int status)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return kLaunchFailure + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return kLaunchFailure + std::to_string(128 + WTERMSIG(status));
    return {};
}

} // namespace

bool LaunchFile(const std::string& file, const std::string& parameters,
                const std::string& directory)
{
    if (!FileExists(file))
        throw EInOutError("File '" + file + "' not found.");
    const pid_t pid = startOpener(file, parameters, directory);

    // xdg-open normally hands the file to the program and exits at once; its
    // exit status tells whether it found one. Give it a few seconds.
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (const std::string failure = openerFailure(status); !failure.empty())
                throw Exception(failure);
            return true;
        }
        if (done < 0 && errno != EINTR)
            return true; // Reaped elsewhere (a SIGCHLD handler): nothing to report.
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(10ms);
    }

    // Still running: some openers stay until the program they started ends.
    // That counts as launched; a waiter in the background reaps it when it
    // exits so no zombie is left behind. (Never destroyed: a waiter may
    // wait as long as the program runs.)
    static WorkerPool* waiters = new WorkerPool(QStringLiteral("opener waiters"), 64, 0);
    waiters->run<void>([pid](QPromise<void>&) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    });
    return true;
}

void LaunchFileAsync(const std::string& path, QObject* context,
                     std::function<void(const std::string& error)> onFailure)
{
    if (!FileExists(path) && !IsDirectory(path))
        throw EInOutError("File '" + path + "' not found.");
    const pid_t pid = startOpener(path, {}, {});

    // The opener's end is looked for on the caller's thread a few times a
    // second, without ever waiting for it; the check goes with `context`.
    auto* poll = new QTimer(context);
    poll->setObjectName(QStringLiteral("openerWatch"));
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, pid, onFailure = std::move(onFailure)] {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == 0 || (done < 0 && errno == EINTR))
            return; // still running
        poll->stop();
        poll->setObjectName(QString());
        poll->deleteLater();
        if (done == pid)
            if (const std::string failure = openerFailure(status); !failure.empty() && onFailure)
                onFailure(failure);
    });
    poll->start();
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListSubdirectories(const std::string& path)
{
    std::vector<std::string> result;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return result;
    DirCloser closer(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (isDotOrDotDot(entry->d_name))
            continue;
        const std::string full = path + entry->d_name;
        bool isDir = entry->d_type == DT_DIR;
        // Some file systems do not fill in the type, and a link to a folder
        // is a folder to the user of a file server: ask stat, which follows it.
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            isDir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            result.push_back(full);
    }
    return result;
}
