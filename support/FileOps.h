#pragma once
// File-system, version and process helpers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QObject;

// Writes all of `bytes` to the descriptor `fd`, again after interruptions;
// 0, or the errno of the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Copies `source` over `target`, unless the target holds the same bytes
// already. Always true: callers that care test the target.
bool CopyFileOver(const std::string& source, const std::string& target);

// Writes `bytes` to `path` (created, or emptied first) and closes it; 0, or
// the system's error number of what failed: opening, a write, or the close
// (where a full disk or a network file system may show first). A part of
// the file may remain after a failure.
int WriteWholeFile(const std::string& path, std::string_view bytes);

struct VersionNumbers {
    uint16_t major = 0, minor = 0, release = 0, build = 0;
};
// The program's own file version, compiled in from the build (1.2.0.48).
VersionNumbers GetVersionNumbers();
// The first n numbers joined by "." (n = 0 and 1 give the major number alone).
std::string VersionString(uint8_t n);

// A descriptor for reading `path`, opened without waiting; -1 when it cannot
// be opened or is not a regular file (a named pipe or a device would block
// or never end). The caller closes it.
int OpenRegularFile(const std::string& path);
// The bytes of `path` (at most its first `limit`) into `bytes`, replacing
// them. Only a regular file is read: false for anything else (a named pipe
// or a device would block or never end) and for a read error.
bool ReadRegularFile(const std::string& path, std::string& bytes,
                     std::size_t limit = static_cast<std::size_t>(-1));
// Size in bytes of the file `path`; -1 when it is missing or a directory.
int64_t FileSize64(const std::string& path);
// Sum of the sizes of the entries of `path` ("." and ".." included);
// with `recurse`, also of subdirectories whose name does not begin with ".".
// 0 for a path that cannot be listed.
int64_t DirectorySize(const std::string& path, bool recurse);
// Opens `file` with the desktop's associated program. Throws EInOutError
// "File '<file>' not found." when it does not exist, and Exception
// "Couldn't launch external application, error code:<n>" when the opener fails.
bool LaunchFile(const std::string& file, const std::string& parameters = {},
                const std::string& directory = {});
// Starts the desktop's opener on the file or directory `path` and returns at
// once, never waiting for the opener. Throws EInOutError "File '<path>' not
// found." when `path` does not exist and Exception "Couldn't launch external
// application, error code:<n>" when the opener cannot be started. When the
// opener later ends with a failure, `onFailure` gets that message on the
// thread of `context` (which must have an event loop); nothing is reported
// once `context` is gone. While the opener runs, `context` has a child
// named "openerWatch".
void LaunchFileAsync(const std::string& path, QObject* context,
                     std::function<void(const std::string& error)> onFailure);
// True when `path` exists and is a directory (false for missing paths).
bool IsDirectory(const std::string& path);
// Subdirectories of `path` (given with its trailing separator), each as
// `path` + name, in listing order; "." and ".." left out; empty when unreadable.
std::vector<std::string> ListSubdirectories(const std::string& path);
