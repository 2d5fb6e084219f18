#pragma once
// One directory of the store read with the tree's rules, as plain values:
// which subdirectories and data sets it shows, their categories, metadata
// paths and display order. No widgets and no tree nodes: the tree, the
// search index and the catalogue share it, on any thread.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class tXMLFile;

struct ListedEntry {
    std::string path;        // the item's path, bytes as the file system has them; a directory's ends with '/'
    std::string name;        // the last component's bytes (no trailing '/')
    QString text;            // the name shown to people (DecodeFileName)
    uint8_t category = 0;    // catDirectory, catVector, ... (AtlasdeskOps.h); never catUnknown
    std::string xmlPath;     // the path of its metadata document (D/metadata.xml, F.xml, grid dir's metadata.xml for an .aux)
    bool hasMetadata = false;// files: answered from the names read (no extra stat); directories: false (unknown here)
    // A subdirectory to descend into (a directory node of the tree). False
    // for data sets, also for a directory listed as a data set because its
    // name carries a configured extension (it then appears twice).
    bool subdirectory = false;
};

struct DirectoryListing {
    std::string dir;                  // the directory listed, with its trailing '/'
    std::vector<ListedEntry> entries; // in the tree's display order (subdirectories and files sorted as the tree sorts), see ListingOrder
    QString error;                    // empty on success; a readable message otherwise
    bool cancelled = false;           // true when isCancelled() said stop; entries are then incomplete
    // The directory's identity (device, inode), 0 when unknown: lets a walk
    // notice a symbolic link back to one of its ancestors.
    uint64_t device = 0;
    uint64_t inode = 0;
    // Whether a file named exactly "metadata.xml" (the folder's own
    // description) is among the names read.
    bool hasFolderMetadata = false;
};

// How a listing is handed back.
enum class ListingOrder {
    ByText, // the tree's display order, with every entry's text
    AsRead, // the order the file system gave, texts left empty: for walks
            // that visit everything and show nothing (much cheaper on
            // folders of many thousand entries)
};

// Reads one directory with the tree's rules; checks isCancelled between entries.
// Sibling rules (a .dbf beside its .shp, an .aux beside a raster or beside a
// grid directory) ignore letter case and are answered from the names read.
// Thread-safe as long as the configuration is not reloaded meanwhile.
DirectoryListing listDirectory(const std::string& dir, const std::function<bool()>& isCancelled = {},
                               ListingOrder order = ListingOrder::ByText);

// The tree's data object for one entry of `listing`, built from the values
// read (no file-system access). The caller owns it.
std::unique_ptr<tXMLFile> makeListedItem(const DirectoryListing& listing, const ListedEntry& entry);
