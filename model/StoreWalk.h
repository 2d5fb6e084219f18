#pragma once
// The walk of a whole store for the search index and the catalogue sync:
// every data set the tree would show, with the path, size and modification
// time of its metadata (and, when asked, of its data).
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct WalkedDataset {
    std::string path;     // the item's path; a directory's ends with '/'
    std::string xmlPath;  // its metadata document
    uint8_t category = 0; // never catUnknown
    int64_t size = -1;    // of the metadata file; -1 when there is none
    int64_t mtime = -1;   // of the metadata file, nanoseconds since the epoch; -1 when none
    // The metadata file is there but could not be looked at (its size and
    // time are then -1): it has not vanished.
    bool metadataUnreadable = false;
    // With WalkOptions::statData: the size and time of the data itself (a
    // grid's: the folder's time and the sum of its entries' sizes, as the
    // catalogue sizes it; a directory data set's: 0 and 0); -1 when it
    // cannot be looked at.
    int64_t dataSize = -1;
    int64_t dataMtime = -1;
};

// What a walk is asked besides the data sets.
struct WalkOptions {
    // Also look at each data set's own data (WalkedDataset::dataSize).
    bool statData = false;
    // A folder that has not been read after this long is given up and
    // reported to `unreadable`; 0: the walk waits for it.
    std::chrono::milliseconds folderTimeout{0};
    // Told, on the calling thread, of each folder that could not be read or
    // was given up, with the reason; nothing below it is walked. When as
    // many folders as the walk reads at once are given up in a row, the
    // store is taken to have stopped answering: every folder not read yet
    // is reported so, and the walk ends.
    std::function<void(const std::string& dir, const QString& reason)> unreadable;
    // Subfolders for which it answers false are not entered.
    std::function<bool(const std::string& dir)> enter;
};

// Lists `root` (with its trailing '/') and every directory below it with
// the tree's own listing (listDirectory) and calls `found` for each data
// set and for each directory that holds a metadata.xml. Several folders are
// read at once on threads of the walk's own; `found` is called on the
// calling thread only, level by level and within a level in the order the
// folders were found. Unreadable directories are skipped (and reported to
// options.unreadable); a directory reached again through a symbolic link is
// listed once, under the path met first in that order. Checks `cancelled`
// between data sets and at least every 50 ms while waiting; returns false
// when it stopped early, without waiting for a folder that does not answer.
// Any thread, while the configuration stays loaded.
bool walkStore(const std::string& root, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found, const WalkOptions& options = {});
