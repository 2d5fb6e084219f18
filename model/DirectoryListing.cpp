#include "model/DirectoryListing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QCollator>
#include <QCollatorSortKey>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "model/AtlasdeskOps.h"
#include "support/PathOps.h"
#include "model/XMLFile.h"

namespace {

// The extension pre-filter: an entry passes when its extension occurs
// anywhere in AllExtensions. An entry's extension holds exactly one dot, at
// its start, so the texts that can pass are those that run in AllExtensions
// from a dot up to the next dot or the end. They are collected once per
// configuration (under a lock: listings run on several threads) instead of
// searching the long text for every entry.
std::shared_ptr<const std::unordered_set<std::string>> acceptedExtensions()
{
    static std::mutex mutex;
    static std::string source;
    static std::shared_ptr<const std::unordered_set<std::string>> accepted;
    const std::lock_guard lock(mutex);
    if (!accepted || source != AllExtensions) {
        source = AllExtensions;
        auto set = std::make_shared<std::unordered_set<std::string>>();
        for (size_t start = source.find('.'); start != std::string::npos; start = source.find('.', start + 1)) {
            const size_t end = std::min(source.find('.', start + 1), source.size());
            for (size_t length = 1; start + length <= end; ++length)
                set->insert(source.substr(start, length));
        }
        accepted = std::move(set);
    }
    return accepted;
}

struct RawEntry {
    std::string name;
    bool isDirectory = false; // links followed
};

QString failure(const char* what, const std::string& dir, int error)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QString::fromLatin1(what), DecodeFileName(dir), QString::fromLocal8Bit(std::strerror(error)));
}

// Reads the names of `dir` with their kinds. False with `listing.error` or
// `listing.cancelled` set when it could not finish.
bool readEntries(DirectoryListing& listing, std::vector<RawEntry>& raw, const std::function<bool()>& isCancelled)
{
    DIR* d = ::opendir(listing.dir.c_str());
    if (!d) {
        listing.error = failure("Cannot read the folder", listing.dir, errno);
        return false;
    }
    struct stat self {};
    if (::fstat(::dirfd(d), &self) == 0) {
        listing.device = static_cast<uint64_t>(self.st_dev);
        listing.inode = static_cast<uint64_t>(self.st_ino);
    }
    bool ok = true;
    for (;;) {
        if (isCancelled && isCancelled()) {
            listing.cancelled = true;
            ok = false;
            break;
        }
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e) {
            if (errno != 0) {
                listing.error = failure("Cannot read the folder", listing.dir, errno);
                ok = false;
            }
            break;
        }
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        RawEntry entry{n, e->d_type == DT_DIR};
        // Some file systems leave the type open, and a link to a folder is a
        // folder to the users of a file server: ask stat, which follows it.
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            entry.isDirectory = ::fstatat(::dirfd(d), n, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        raw.push_back(std::move(entry));
    }
    ::closedir(d);
    return ok;
}

} // namespace

DirectoryListing listDirectory(const std::string& dirPath, const std::function<bool()>& isCancelled,
                               ListingOrder order)
{
    const bool byText = order == ListingOrder::ByText;
    DirectoryListing listing;
    listing.dir = IncludeTrailingPathDelimiter(dirPath);
    std::vector<RawEntry> raw;
    if (!readEntries(listing, raw, isCancelled))
        return listing;

    // Sibling questions are answered from the names read, without regard to
    // letter case: stores copied from Windows servers mix ROADS.SHP and
    // roads.dbf. Exact names answer the metadata question (F.xml).
    // In folders of many thousand entries these sets are large: the lowered
    // names share one buffer and the sets hold views of them and of the
    // names read, so that no name is copied on its own.
    std::string lowered;
    for (const RawEntry& r : raw)
        lowered += r.name;
    lowered = LowerAscii(lowered);
    std::vector<std::string_view> lowerNames; // lowerNames[i]: raw[i].name lowered
    lowerNames.reserve(raw.size());
    std::unordered_set<std::string_view> foldedFiles;                  // lower-cased names of non-directories
    std::unordered_map<std::string_view, const RawEntry*> foldedDirs; // lower-cased name -> first such folder
    std::unordered_set<std::string_view> exact;
    foldedFiles.reserve(raw.size());
    exact.reserve(raw.size());
    size_t at = 0;
    for (const RawEntry& r : raw) {
        const std::string_view lower(lowered.data() + at, r.name.size());
        at += r.name.size();
        lowerNames.push_back(lower);
        if (r.isDirectory)
            foldedDirs.emplace(lower, &r);
        else
            foldedFiles.insert(lower);
        exact.insert(r.name);
    }
    listing.hasFolderMetadata = exact.count("metadata.xml") > 0;
    std::string probe; // the name asked after, made in one reused buffer
    auto fileBeside = [&](std::string_view lowerBase, std::string_view lowerSuffix) {
        probe.assign(lowerBase).append(lowerSuffix);
        return foldedFiles.count(probe) > 0;
    };
    auto exists = [&](std::string_view name, std::string_view suffix) {
        probe.assign(name).append(suffix);
        return exact.count(probe) > 0;
    };
    auto directoryBeside = [&](std::string_view lowerName) -> const RawEntry* {
        auto it = foldedDirs.find(lowerName);
        return it != foldedDirs.end() ? it->second : nullptr;
    };

    // Subdirectories, with the directory rule, then data sets, each in the
    // order read.
    std::vector<ListedEntry> all;
    for (size_t i = 0; i < raw.size(); ++i) {
        const RawEntry& r = raw[i];
        if (isCancelled && isCancelled()) {
            listing.cancelled = true;
            return listing;
        }
        if (!r.isDirectory || r.name == "info")
            continue;
        if (fileBeside(lowerNames[i], ".aux"))
            continue; // shown through its .aux file instead
        ListedEntry e;
        e.path = listing.dir + r.name + PathDelim;
        e.name = r.name;
        if (byText)
            e.text = DecodeFileName(r.name);
        e.category = catDirectory;
        e.xmlPath = e.path + "metadata.xml";
        e.subdirectory = true;
        all.push_back(std::move(e));
    }

    // Data sets: every entry whose extension occurs in the configured lists.
    const auto accepted = acceptedExtensions();
    for (size_t i = 0; i < raw.size(); ++i) {
        const RawEntry& r = raw[i];
        const size_t dot = r.name.rfind('.');
        if (dot == std::string::npos || dot + 1 == r.name.size())
            continue; // no extension, or just "."
        const std::string ext(lowerNames[i].substr(dot));
        if (!accepted->count(ext))
            continue;
        ListedEntry e;
        e.name = r.name;
        e.path = listing.dir + r.name;
        if (r.isDirectory) {
            // A folder named like a data set: listed once more, as a leaf.
            e.path += PathDelim;
            if (byText)
                e.text = DecodeFileName(r.name + PathDelim);
            e.category = catDirectory;
            e.xmlPath = e.path + "metadata.xml";
            all.push_back(std::move(e));
            continue;
        }
        e.category = CategoryOfExtension(ext);
        if (byText)
            e.text = DecodeFileName(r.name);
        const std::string_view lowerBase = lowerNames[i].substr(0, dot);
        if (ext == ".aux") {
            if (const RawEntry* grid = directoryBeside(lowerBase)) {
                // An ESRI grid: the folder of the same name holds its metadata.
                e.xmlPath = listing.dir + grid->name + PathDelim + "metadata.xml";
                if (byText)
                    e.text = DecodeFileName(r.name.substr(0, dot));
            } else {
                bool besideRaster = false;
                for (const std::string& raster : RasterExtensions)
                    if (fileBeside(lowerBase, "." + LowerAscii(raster))) {
                        besideRaster = true;
                        break;
                    }
                if (besideRaster)
                    continue; // accompanies a raster: not a data set of its own
                e.xmlPath = e.path + ".xml";
                e.hasMetadata = exists(r.name, ".xml");
            }
        } else {
            e.xmlPath = e.path + ".xml";
            e.hasMetadata = exists(r.name, ".xml");
        }
        if (ext == ".dbf" && fileBeside(lowerBase, ".shp"))
            continue; // the table of a shapefile
        if (e.category == catUnknown)
            continue;
        all.push_back(std::move(e));
    }

    // Sorted by text with the locale's case-sensitive order (stable, so
    // equal texts keep the order above). Sort keys keep this fast for
    // directories of many thousand entries.
    if (!byText) {
        listing.entries = std::move(all);
        return listing;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<std::pair<QCollatorSortKey, size_t>> keyed;
    keyed.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i)
        keyed.emplace_back(collator.sortKey(all[i].text), i);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    listing.entries.reserve(all.size());
    for (auto& k : keyed)
        listing.entries.push_back(std::move(all[k.second]));
    return listing;
}

std::unique_ptr<tXMLFile> makeListedItem(const DirectoryListing& listing, const ListedEntry& entry)
{
    std::string name = entry.name;
    std::string ext;
    if (entry.category == catDirectory) {
        name += PathDelim;
    } else {
        ext = LowerAscii(ExtractFileExt(entry.name));
        if (ext == ".aux" && entry.xmlPath != entry.path + ".xml")
            name = name.substr(0, name.size() - ext.size()); // a grid: named after its folder
    }
    return std::make_unique<tXMLFile>(tXMLFile::Fields{entry.xmlPath, entry.category, name, listing.dir, ext});
}
