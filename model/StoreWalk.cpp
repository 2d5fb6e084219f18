#include "model/StoreWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "model/DirectoryListing.h"
#include "support/OrderedWork.h"
#include "support/FileOps.h"
#include "support/PathOps.h"

namespace {

// Folders read at once. On a file server every folder and every metadata
// file asked about costs a round trip: several in flight hide most of the
// waiting. On a local disk it spreads the work over the cores.
constexpr size_t kReaders = 4;

int64_t nanoseconds(const struct timespec& t)
{
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Size and time of the metadata file `relative` to the open folder `dirFd`
// (no path resolution from the root for each of thousands of files), or to
// the current folder for AT_FDCWD; none when it is not a regular file.
void statMetadata(int dirFd, const char* relative, WalkedDataset& d)
{
    struct stat st;
    if (::fstatat(dirFd, relative, &st, 0) == 0) {
        if (S_ISREG(st.st_mode)) {
            d.size = st.st_size;
            d.mtime = nanoseconds(st.st_mtim);
        }
    } else if (errno != ENOENT && errno != ENOTDIR) {
        d.metadataUnreadable = true;
    }
}

// Size and time of the data of `d` (a file, or the folder of a grid, sized
// as the catalogue sizes it) at `relative` to `dirFd`.
void statData(int dirFd, const char* relative, const std::string& path, WalkedDataset& d)
{
    if (d.category == catDirectory) {
        d.dataSize = d.dataMtime = 0;
        return;
    }
    struct stat st;
    if (::fstatat(dirFd, relative, &st, 0) != 0)
        return;
    d.dataMtime = nanoseconds(st.st_mtim);
    d.dataSize = S_ISDIR(st.st_mode) ? DirectorySize(path, false) : st.st_size;
}

// What reading one folder gives the walk.
struct FolderResult {
    bool listed = false; // false: unreadable (skipped) or stopped
    QString error;       // why it could not be read
    uint64_t device = 0, inode = 0;
    std::vector<WalkedDataset> datasets; // the folder's own first, when it has one
    std::vector<std::string> subdirectories;
};

FolderResult readFolder(const std::string& dir, const std::function<bool()>& stop, bool withData)
{
    FolderResult result;
    DirectoryListing listing = listDirectory(dir, stop, ListingOrder::AsRead);
    result.error = listing.error;
    if (listing.cancelled || !listing.error.isEmpty())
        return result;
    result.listed = true;
    result.device = listing.device;
    result.inode = listing.inode;
    // Without the folder open (no descriptor left), paths are taken whole.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    auto inFolder = [&](const std::string& path) {
        return dirFd >= 0 && path.compare(0, dir.size(), dir) == 0;
    };
    auto statIn = [&](WalkedDataset& d) {
        if (inFolder(d.xmlPath))
            statMetadata(dirFd, d.xmlPath.c_str() + dir.size(), d);
        else
            statMetadata(AT_FDCWD, d.xmlPath.c_str(), d);
    };
    // The folder's own description is not one of its entries; the names
    // read tell whether it is there.
    if (listing.hasFolderMetadata) {
        WalkedDataset folder{dir, dir + "metadata.xml", catDirectory};
        statIn(folder);
        if (folder.size >= 0 || folder.metadataUnreadable) {
            if (withData)
                folder.dataSize = folder.dataMtime = 0;
            result.datasets.push_back(std::move(folder));
        }
    }
    result.datasets.reserve(result.datasets.size() + listing.entries.size());
    // The entries' paths move on into the data sets: thousands of them in
    // a large folder, none copied.
    for (ListedEntry& e : listing.entries) {
        if (e.subdirectory) {
            result.subdirectories.push_back(std::move(e.path));
            continue;
        }
        // A folder whose name carries a configured extension is also listed
        // as a data set: it is the folder itself, found when it is read.
        if (e.category == catDirectory)
            continue;
        // The names read tell whether F.xml exists; a grid's document lies
        // in its folder and is looked at.
        const bool grid = !(e.xmlPath.size() == e.path.size() + 4 && e.xmlPath.starts_with(e.path) &&
                            e.xmlPath.ends_with(".xml"));
        // A grid's data is its folder, named as the .aux without its extension.
        const std::string gridData = grid ? e.path.substr(0, e.path.size() - ExtractFileExt(e.name).size()) : std::string();
        WalkedDataset item{std::move(e.path), std::move(e.xmlPath), e.category};
        if (e.hasMetadata || grid)
            statIn(item);
        if (withData) {
            const std::string& data = grid ? gridData : item.path;
            if (inFolder(data))
                statData(dirFd, data.c_str() + dir.size(), data, item);
            else
                statData(AT_FDCWD, data.c_str(), data, item);
        }
        result.datasets.push_back(std::move(item));
    }
    if (dirFd >= 0)
        ::close(dirFd);
    return result;
}

} // namespace

bool walkStore(const std::string& root, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found, const WalkOptions& options)
{
    const auto unreadable = [&](const std::string& dir, const QString& reason) {
        if (options.unreadable)
            options.unreadable(dir, reason);
    };
    const QString noAnswer =
        QStringLiteral("no answer within %1 s").arg(double(options.folderTimeout.count()) / 1000.0);
    std::vector<std::string> folders{IncludeTrailingPathDelimiter(root)};
    std::set<std::pair<uint64_t, uint64_t>> visited;
    // Level by level, each level's folders handed on in the order they were
    // found: which path of a folder reached twice (through a link) is kept
    // does not depend on which thread was quicker.
    while (!folders.empty()) {
        const auto level = std::make_shared<const std::vector<std::string>>(std::move(folders));
        folders.clear();
        const bool withData = options.statData;
        OrderedWork<FolderResult> reading(level->size(), kReaders,
                                          [level, withData](size_t i, const std::function<bool()>& stop) {
                                              return readFolder((*level)[i], stop, withData);
                                          });
        FolderResult result;
        size_t given = 0;        // folders of the level handed out so far
        size_t givenUpInARow = 0;
        for (;;) {
            const auto taken = reading.takeWithin(result, options.folderTimeout, cancelled);
            if (taken == OrderedWork<FolderResult>::Taken::Done)
                break;
            if (taken == OrderedWork<FolderResult>::Taken::Stopped)
                return false; // cancelled while waiting for a folder
            const std::string& dir = (*level)[given++];
            if (taken == OrderedWork<FolderResult>::Taken::TimedOut) {
                unreadable(dir, noAnswer);
                if (++givenUpInARow < kReaders)
                    continue;
                // Every reader may be held up by the store: nothing more is
                // waited for, and whatever was not read is said so.
                reading.stop();
                const QString stopped = QStringLiteral("not read: the store stopped answering");
                for (; given < level->size(); ++given)
                    unreadable((*level)[given], stopped);
                for (const std::string& below : folders)
                    unreadable(below, stopped);
                return true;
            }
            givenUpInARow = 0;
            if (!result.listed) {
                unreadable(dir, result.error);
                continue;
            }
            if ((result.device || result.inode) && !visited.insert({result.device, result.inode}).second)
                continue; // a link back to a folder already walked
            for (WalkedDataset& d : result.datasets) {
                if (cancelled && cancelled())
                    return false;
                found(std::move(d));
            }
            for (std::string& sub : result.subdirectories)
                if (!options.enter || options.enter(sub))
                    folders.push_back(std::move(sub));
        }
    }
    return true;
}
