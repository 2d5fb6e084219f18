#pragma once
// The walk of a whole store for the search index: every data set the tree
// would show, with the path, size and modification time of its metadata.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "StringOps.h"

// The configuration's category lists, copied on the window thread so that
// a worker never reads the global tables while they may change.
struct WalkRules {
    std::array<std::string, 10> categoryExtensions;
    tVectorOfString rasterExtensions;
    static WalkRules fromConfiguration();
};

struct WalkedDataset {
    std::string path;     // the item's path; a directory's ends with '/'
    std::string xmlPath;  // its metadata document
    uint8_t category = 0; // never catUnknown
    int64_t size = -1;    // of the metadata file; -1 when there is none
    int64_t mtime = -1;   // of the metadata file, nanoseconds since the epoch; -1 when none
};

// Lists `root` (with its trailing '/') and every directory below it with
// the tree's rules (no "info" folders, grids shown through their .aux file,
// no .aux beside a raster, no .dbf beside a shapefile) and calls `found`
// for each data file and for each directory that holds a metadata.xml.
// Unreadable directories are skipped. Checks `cancelled` between entries;
// returns false when it stopped early. Any thread.
bool walkStore(const std::string& root, const WalkRules& rules, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found);
