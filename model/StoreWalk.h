#pragma once
// The walk of a whole store for the search index: every data set the tree
// would show, with the path, size and modification time of its metadata.
#include <cstdint>
#include <functional>
#include <string>

struct WalkedDataset {
    std::string path;     // the item's path; a directory's ends with '/'
    std::string xmlPath;  // its metadata document
    uint8_t category = 0; // never catUnknown
    int64_t size = -1;    // of the metadata file; -1 when there is none
    int64_t mtime = -1;   // of the metadata file, nanoseconds since the epoch; -1 when none
};

// Lists `root` (with its trailing '/') and every directory below it with
// the tree's own listing (listDirectory) and calls `found` for each data
// set and for each directory that holds a metadata.xml. Several folders are
// read at once on threads of the walk's own; `found` is called on the
// calling thread only, level by level and within a level in the order the
// folders were found. Unreadable directories are skipped; a directory
// reached again through a symbolic link is listed once, under the path met
// first in that order. Checks `cancelled` between data sets and at least
// every 50 ms while waiting; returns false when it stopped early, without
// waiting for a folder that does not answer. Any thread, while the
// configuration stays loaded.
bool walkStore(const std::string& root, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found);
