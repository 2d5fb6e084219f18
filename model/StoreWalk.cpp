#include "StoreWalk.h"

#include <sys/stat.h>

#include <set>
#include <utility>
#include <vector>

#include "AtlasdeskOps.h"
#include "DirectoryListing.h"
#include "PathOps.h"

namespace {

// Size and time of the metadata file; none when it is not a regular file.
void statMetadata(WalkedDataset& d)
{
    struct stat st;
    if (::stat(d.xmlPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        d.size = st.st_size;
        d.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
}

} // namespace

bool walkStore(const std::string& root, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found)
{
    std::vector<std::string> pending{IncludeTrailingPathDelimiter(root)};
    std::set<std::pair<uint64_t, uint64_t>> visited;
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        const DirectoryListing listing = listDirectory(dir, cancelled);
        if (listing.cancelled)
            return false;
        if ((listing.device || listing.inode) && !visited.insert({listing.device, listing.inode}).second)
            continue; // a link back to a folder already walked
        // The folder's own description is not one of its entries.
        WalkedDataset folder{dir, dir + "metadata.xml", catDirectory};
        statMetadata(folder);
        if (folder.size >= 0)
            found(std::move(folder));
        for (const ListedEntry& e : listing.entries) {
            if (cancelled && cancelled())
                return false;
            if (e.subdirectory) {
                pending.push_back(e.path);
                continue;
            }
            // A folder whose name carries a configured extension is also
            // listed as a data set: it is the folder itself, found above.
            if (e.category == catDirectory)
                continue;
            WalkedDataset item{e.path, e.xmlPath, e.category};
            // The names read tell whether F.xml exists; a grid's document
            // lies in its folder and is looked at.
            if (e.hasMetadata || e.xmlPath != e.path + ".xml")
                statMetadata(item);
            found(std::move(item));
        }
    }
    return true;
}
