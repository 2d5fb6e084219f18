#include "StoreWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "AtlasdeskOps.h"
#include "PathOps.h"

WalkRules WalkRules::fromConfiguration()
{
    return WalkRules{CategoryExtensions, RasterExtensions};
}

namespace {

// The same rule as CategoryOfExtension, on the copied lists.
uint8_t categoryOf(const WalkRules& rules, const std::string& ext)
{
    uint8_t category = catUnknown;
    for (uint8_t c = 0; c < rules.categoryExtensions.size(); ++c)
        if (rules.categoryExtensions[c].find(ext) != std::string::npos)
            category = c;
    return category;
}

void statMetadata(WalkedDataset& d)
{
    struct stat st;
    if (::stat(d.xmlPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        d.size = st.st_size;
        d.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
}

struct Entry {
    std::string name;
    bool directory;
};

} // namespace

bool walkStore(const std::string& root, const WalkRules& rules, const std::function<bool()>& cancelled,
               const std::function<void(WalkedDataset&&)>& found)
{
    std::vector<std::string> pending{IncludeTrailingPathDelimiter(root)};
    // A folder reached again through a symbolic link is listed once: a link
    // to a parent would otherwise make the walk endless.
    std::set<std::pair<dev_t, ino_t>> visited;
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        struct stat self;
        if (::stat(dir.c_str(), &self) != 0 || !visited.insert({self.st_dev, self.st_ino}).second)
            continue;
        std::vector<Entry> entries;
        std::unordered_set<std::string> names;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..")
                    continue;
                bool isDir = e->d_type == DT_DIR;
                if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                    struct stat st;
                    isDir = ::stat((dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
                }
                entries.push_back({name, isDir});
                names.insert(name);
            }
            ::closedir(d);
        }
        if (cancelled && cancelled())
            return false;
        std::unordered_set<std::string> directories;
        for (const Entry& e : entries)
            if (e.directory)
                directories.insert(e.name);

        if (names.count("metadata.xml")) {
            WalkedDataset folder{dir, dir + "metadata.xml", catDirectory};
            statMetadata(folder);
            found(std::move(folder));
        }
        for (const Entry& e : entries) {
            if (cancelled && cancelled())
                return false;
            if (e.directory) {
                // A grid directory is shown through its .aux file.
                if (e.name != "info" && !(names.count(e.name + ".aux") && !directories.count(e.name + ".aux")))
                    pending.push_back(dir + e.name + "/");
                continue;
            }
            const size_t dot = e.name.rfind('.');
            if (dot == std::string::npos || dot + 1 == e.name.size())
                continue;
            const std::string ext = LowerAscii(e.name.substr(dot));
            WalkedDataset item{dir + e.name, dir + e.name + ".xml", categoryOf(rules, ext)};
            const std::string base = e.name.substr(0, dot);
            if (ext == ".aux") {
                if (directories.count(base)) {
                    item.xmlPath = dir + base + "/metadata.xml";
                } else {
                    for (const std::string& raster : rules.rasterExtensions)
                        if (names.count(base + "." + raster))
                            item.category = catUnknown; // it accompanies a raster file
                }
            }
            if (ext == ".dbf" && names.count(base + ".shp"))
                item.category = catUnknown; // part of a shapefile
            if (item.category == catUnknown)
                continue;
            if (names.count(e.name + ".xml") || ext == ".aux")
                statMetadata(item);
            found(std::move(item));
        }
    }
    return true;
}
