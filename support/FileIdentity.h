#pragma once
// What tells that a file is still the one read before: its device, inode,
// size, and modification and change times to the nanosecond. A file written
// anew, replaced by a rename or touched gets another identity. Any thread.
#include <sys/types.h>

#include <string>

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedSeconds = 0, modifiedNanoseconds = 0;
    long long changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at `path`; false when there is none
// (no such file, not a regular file, or it cannot be looked at).
bool identify(const std::string& path, FileIdentity& identity);
