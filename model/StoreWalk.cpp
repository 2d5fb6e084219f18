#include "model/StoreWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "model/DirectoryListing.h"
#include "support/OrderedWork.h"
#include "support/PathOps.h"

namespace {

// Folders read at once. On a file server every folder and every metadata
// file asked about costs a round trip: several in flight hide most of the
// waiting. On a local disk it spreads the work over the cores.
constexpr size_t kReaders = 4;

// Size and time of the metadata file `relative` to the open folder `dirFd`
// (no path resolution from the root for each of thousands of files), or to
// the current folder for AT_FDCWD; none when it is not a regular file.
void statMetadata(int dirFd, const std::string& relative, WalkedDataset& d)
{
    struct stat st;
    if (::fstatat(dirFd, relative.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
        d.size = st.st_size;
        d.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
}

// What reading one folder gives the walk.
struct FolderResult {
    bool listed = false; // false: unreadable (skipped) or stopped
    uint64_t device = 0, inode = 0;
    std::vector<WalkedDataset> datasets; // the folder's own first, when it has one
    std::vector<std::string> subdirectories;
};

FolderResult readFolder(const std::string& dir, const std::function<bool()>& stop)
{
    FolderResult result;
    const DirectoryListing listing = listDirectory(dir, stop, ListingOrder::AsRead);
    if (listing.cancelled || !listing.error.isEmpty())
        return result;
    result.listed = true;
    result.device = listing.device;
    result.inode = listing.inode;
    // Without the folder open (no descriptor left), paths are taken whole.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    auto statIn = [&](WalkedDataset& d) {
        if (dirFd >= 0 && d.xmlPath.compare(0, dir.size(), dir) == 0)
            statMetadata(dirFd, d.xmlPath.substr(dir.size()), d);
        else
            statMetadata(AT_FDCWD, d.xmlPath, d);
    };
    // The folder's own description is not one of its entries; the names
    // read tell whether it is there.
    if (listing.hasFolderMetadata) {
        WalkedDataset folder{dir, dir + "metadata.xml", catDirectory};
        statIn(folder);
        if (folder.size >= 0)
            result.datasets.push_back(std::move(folder));
    }
    for (const ListedEntry& e : listing.entries) {
        if (e.subdirectory) {
            result.subdirectories.push_back(e.path);
            continue;
        }
        // A folder whose name carries a configured extension is also listed
        // as a data set: it is the folder itself, found when it is read.
        if (e.category == catDirectory)
            continue;
        WalkedDataset item{e.path, e.xmlPath, e.category};
        // The names read tell whether F.xml exists; a grid's document lies
        // in its folder and is looked at.
        if (e.hasMetadata || e.xmlPath != e.path + ".xml")
            statIn(item);
        result.datasets.push_back(std::move(item));
    }
    if (dirFd >= 0)
        ::close(dirFd);
    return result;
}

} // namespace

bool walkStore(const std::string& root, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found)
{
    std::vector<std::string> folders{IncludeTrailingPathDelimiter(root)};
    std::set<std::pair<uint64_t, uint64_t>> visited;
    // Level by level, each level's folders handed on in the order they were
    // found: which path of a folder reached twice (through a link) is kept
    // does not depend on which thread was quicker.
    while (!folders.empty()) {
        const auto level = std::make_shared<const std::vector<std::string>>(std::move(folders));
        folders.clear();
        OrderedWork<FolderResult> reading(level->size(), kReaders,
                                          [level](size_t i, const std::function<bool()>& stop) {
                                              return readFolder((*level)[i], stop);
                                          });
        FolderResult result;
        while (reading.take(result, cancelled)) {
            if (!result.listed)
                continue; // unreadable: skipped
            if ((result.device || result.inode) && !visited.insert({result.device, result.inode}).second)
                continue; // a link back to a folder already walked
            for (WalkedDataset& d : result.datasets) {
                if (cancelled && cancelled())
                    return false;
                found(std::move(d));
            }
            folders.insert(folders.end(), std::make_move_iterator(result.subdirectories.begin()),
                           std::make_move_iterator(result.subdirectories.end()));
        }
        if (!reading.allTaken())
            return false; // cancelled while waiting for a folder
    }
    return true;
}
