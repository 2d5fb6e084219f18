#include "support/SaveFile.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/Errors.h"
#include "support/FileOps.h"

namespace {

[[noreturn]] void fail(const std::string& fileName, const std::string& reason)
{
    throw EInOutError("Cannot save " + fileName + ": " + reason);
}

[[noreturn]] void failWith(const std::string& fileName, int error)
{
    fail(fileName, std::strerror(error));
}

// Saving through a symbolic link replaces the file it points at, not the
// link itself.
std::string followLinks(const std::string& fileName)
{
    std::string current = fileName;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string target(256, '\0');
        for (;;) {
            const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
            if (length < 0)
                failWith(fileName, errno);
            if (static_cast<std::size_t>(length) < target.size()) {
                target.resize(static_cast<std::size_t>(length));
                break;
            }
            target.resize(target.size() * 2);
        }
        const std::size_t slash = current.rfind('/');
        if (!target.empty() && target[0] != '/' && slash != std::string::npos)
            target = current.substr(0, slash + 1) + target;
        current = target;
    }
    failWith(fileName, ELOOP);
}

// Rewrites the existing file `target` with `bytes` where no file can be made
// beside it. The whole room the new content needs is reserved first, so that
// a full disk or a size limit stops the save before the old content is
// touched; only then is it overwritten from the start, cut to its new length
// and flushed. (On a file system that cannot reserve room, a write that
// fails part-way would leave a mixture of old and new, never a short file.)
void rewriteInPlace(const std::string& fileName, const std::string& target, std::string_view bytes)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        failWith(fileName, errno);
    const auto closeAndFail = [&](int error) {
        ::close(fd);
        failWith(fileName, error);
    };
    struct stat info;
    if (::fstat(fd, &info) != 0)
        closeAndFail(errno);
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        fail(fileName, "not a regular file");
    }
    if (static_cast<off_t>(bytes.size()) > info.st_size) {
        const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
            closeAndFail(reserved);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0)
        closeAndFail(errno);
    if (const int error = WriteAll(fd, bytes))
        closeAndFail(error);
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0)
        closeAndFail(errno);
    if (::close(fd) != 0)
        failWith(fileName, errno);
}

// The directory of `path` (with its trailing '/'; "" for the current one)
// and its last component.
std::pair<std::string, std::string> splitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace

void SaveFileWhole(const std::string& fileName, std::string_view bytes)
{
    const std::string target = followLinks(fileName);
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        failWith(fileName, EISDIR);
    // Renaming over a device or a pipe would replace it with a plain file.
    if (exists && !S_ISREG(existing.st_mode))
        fail(fileName, "not a regular file");
    // A file the user may not write (read-only, or on a read-only file
    // system) is not replaced behind its back; the system says why.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        failWith(fileName, errno);

    const auto [directory, name] = splitPath(target);
    const int directoryFd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0)
        failWith(fileName, errno);
    struct DirectoryCloser {
        int fd;
        ~DirectoryCloser() { ::close(fd); }
    } closer{directoryFd};

    // Qt spells file names as UTF-8 text: a name that is not (a Latin-1 name
    // of an old server) is saved under a stand-in name in its folder, reached
    // through the folder's descriptor, and renamed to its own bytes at the
    // end, which replaces the old file just as atomically.
    const QString spelled = QFile::decodeName(QByteArray::fromStdString(target));
    const bool qtSpellsIt = QFile::encodeName(spelled).toStdString() == target;
    const std::string standIn = ".atlasdesk-save-" + std::to_string(::getpid()) + "-" + std::to_string(directoryFd);
    QSaveFile file(qtSpellsIt ? spelled
                              : QStringLiteral("/proc/self/fd/%1/").arg(directoryFd) + QString::fromStdString(standIn));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        // A folder whose permissions forbid new entries may still hold a
        // file its owner lets others write: then that file is rewritten.
        if (errno == EACCES && exists)
            return rewriteInPlace(fileName, target, bytes);
        fail(fileName, file.errorString().toStdString());
    }
    // Written by the descriptor, not through the file's buffer: a write cut
    // short (a size limit) must fail the save, never commit a short file.
    const int fd = file.handle();
    if (const int error = WriteAll(fd, bytes)) {
        file.cancelWriting();
        failWith(fileName, error);
    }
    if (exists && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Only a privileged user may hand a file to someone else; the
        // content matters more than the owner.
    }
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        const int error = errno;
        file.cancelWriting();
        failWith(fileName, error);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        file.cancelWriting();
        failWith(fileName, error);
    }
    if (!file.commit())
        fail(fileName, file.errorString().toStdString());
    if (!qtSpellsIt && ::renameat(directoryFd, standIn.c_str(), directoryFd, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(directoryFd, standIn.c_str(), 0);
        failWith(fileName, error);
    }
    ::fsync(directoryFd);
}
