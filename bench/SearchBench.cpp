// Finding data sets: building the search index against the bare reading
// and parsing of the same metadata, queries on indexes of 10,000 and
// 100,000 data sets, the incremental update against a bare walk, and the
// index's size.
#include <sys/time.h>

#include <libxml/parser.h>

#include <QFile>
#include <QFileInfo>

#include <array>
#include <iostream>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "FileOps.h"
#include "SearchService.h"
#include "StoreIndexer.h"

namespace bench {

namespace {

const std::array<const char*, 8> kThemes = {"administrative", "climate", "geology", "hydrology",
                                            "imagery", "landuse", "topography", "transport"};
const std::array<const char*, 6> kPlaces = {"Vaud", "Geneve", "Valais", "Bretagne", "Provence", "Bern"};

DatasetDescription description(unsigned serial)
{
    const std::string name = datasetName(serial);
    return {name, kThemes[serial % kThemes.size()], kPlaces[serial % kPlaces.size()], serial};
}

// `count` data sets in folders of 1,000, numbered from `first`.
std::vector<std::string> writeStore(const std::string& root, unsigned count, unsigned first = 0)
{
    std::vector<std::string> metadata;
    for (unsigned i = first; i < first + count; ++i) {
        const std::string dir = root + "folder" + std::to_string(i / 1000) + "/";
        if (i % 1000 == 0 || i == first)
            makeDirectories(dir);
        const DatasetDescription d = description(i);
        writeDataset(dir, d.name, ".shp", d);
        metadata.push_back(dir + d.name + ".shp.xml");
    }
    return metadata;
}

void removeIndex(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

// The fields a generated metadata document holds, without the document:
// queries depend on what the index holds, not on how it was filled.
SearchFields fieldsOf(unsigned serial)
{
    const DatasetDescription d = description(serial);
    SearchFields f;
    f.title = QString::fromStdString(d.name + " - " + d.theme + " of " + d.place);
    f.abstract = QString::fromStdString(d.theme + " of " + d.place) +
                 QStringLiteral(" digitised from the national base maps at 1:25 000 and checked against the 2007 "
                                "orthophotos. Each feature carries its survey date, its source and the accuracy "
                                "class of its geometry.");
    f.purpose = QStringLiteral("Reference layer for planning and for the maps of the cantonal atlas.");
    f.keywords = QString::fromStdString(d.theme + " base map reference");
    f.places = QString::fromStdString(d.place + " Europe");
    f.originator = QStringLiteral("Federal Office of Topography");
    // Spread over the whole world, so that an extent selects a part.
    f.hasExtent = true;
    f.west = -170.0 + (serial * 37 % 3400) * 0.1;
    f.east = f.west + 0.35;
    f.south = -80.0 + (serial * 53 % 1600) * 0.1;
    f.north = f.south + 0.21;
    return f;
}

void fillIndex(const QString& file, unsigned count)
{
    removeIndex(file);
    SearchIndex index(file);
    index.begin();
    for (unsigned i = 0; i < count; ++i) {
        const SearchFields f = fieldsOf(i);
        const std::string path = "/store/folder" + std::to_string(i / 1000) + "/" + datasetName(i) + ".shp";
        index.put(0, path, path + ".xml", QString::fromStdString(path.substr(7)), 2, 3500, i, &f);
        if (i % 10000 == 9999) {
            index.commit();
            index.begin();
        }
    }
    index.setComplete(true);
    index.commit();
}

double querySeconds(const QString& file, const SearchQuery& query, size_t& hits)
{
    return measureMedian(21, 3, [&] {
        SearchAnswer a;
        const double t = timed([&] { a = runIndexSearch(file, query); });
        if (!a.error.isEmpty())
            throw std::runtime_error("search failed: " + a.error.toStdString());
        hits = a.hits.size();
        return t;
    });
}

void touch(const std::string& path, long seconds)
{
    struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimes(path.c_str(), times);
}

} // namespace

void runSearch(ResultTable& table)
{
    // The window loads the shipped configuration: its field map is the one read.
    BenchWindow bw;
    ScratchDir cache("search-cache");
    const QString indexFile = QString::fromStdString(cache.path() + "index.sqlite");

    // ---- Building the index against reading and parsing ------------------
    {
        constexpr unsigned kCount = 5000;
        std::cerr << "search: indexing " << formatCount(kCount) << " data sets\n";
        ScratchDir store("search-store");
        const std::vector<std::string> metadata = writeStore(store.path(), kCount);
        const IndexSettings settings = IndexSettings::fromConfiguration(store.path(), indexFile);
        const auto bare = [&] {
            return timed([&] {
                std::string bytes;
                for (const std::string& path : metadata) {
                    if (!ReadRegularFile(path, bytes))
                        throw std::runtime_error("cannot read " + path);
                    xmlDocPtr doc = xmlReadMemory(bytes.data(), int(bytes.size()), path.c_str(), nullptr,
                                                  XML_PARSE_NONET | XML_PARSE_NOBLANKS);
                    if (!doc)
                        throw std::runtime_error("cannot parse " + path);
                    xmlFreeDoc(doc);
                }
            });
        };
        IndexReport report;
        const auto real = [&] {
            removeIndex(indexFile);
            return timed([&] { report = updateStoreIndex(settings, {}, {}); });
        };
        const PairedMedians m = measurePaired(3, bare, real);
        if (!report.error.isEmpty() || report.read != int(kCount))
            throw std::runtime_error("indexing failed: " + report.error.toStdString());
        table.addJudged("Search: indexing vs read+parse", formatCount(kCount) + " data sets",
                        formatDuration(m.real) + " vs " + formatDuration(m.bare) + " (" +
                            formatCount(size_t(kCount / m.real)) + "/s)",
                        m.real / m.bare, 1.5, "x");
    }

    // ---- Queries at 10,000 and 100,000 -------------------------------------
    SearchQuery words;
    words.words = QStringLiteral("hydrology genev");
    words.categories = {1, 2, 3, 4, 9};
    SearchQuery extent;
    extent.hasExtent = true;
    extent.west = 0, extent.east = 10, extent.south = 40, extent.north = 50;
    extent.categories = words.categories;
    double wordTimes[2] = {}, extentTimes[2] = {};
    size_t wordHits[2] = {}, extentHits[2] = {};
    const unsigned sizes[2] = {10000, 100000};
    for (int k = 0; k < 2; ++k) {
        std::cerr << "search: queries on " << formatCount(sizes[k]) << " data sets\n";
        fillIndex(indexFile, sizes[k]);
        wordTimes[k] = querySeconds(indexFile, words, wordHits[k]);
        extentTimes[k] = querySeconds(indexFile, extent, extentHits[k]);
    }
    const double size = double(QFileInfo(indexFile).size());
    table.addJudged("Search: word query (median)", "\"hydrology genev\", 100,000 data sets",
                    formatCount(wordHits[1]) + " hits", wordTimes[1], 0.050, "s");
    table.add({"Search: word query growth", "10,000 -> 100,000",
               formatDuration(wordTimes[0]) + " -> " + formatDuration(wordTimes[1]),
               formatRatio(wordTimes[1] / wordTimes[0]), "reported", true, true});
    table.addJudged("Search: extent query (median)", "10 x 10 degrees, 100,000 data sets",
                    formatCount(extentHits[1]) + " hits", extentTimes[1], 0.050, "s");
    table.add({"Search: extent query growth", "10,000 -> 100,000",
               formatDuration(extentTimes[0]) + " -> " + formatDuration(extentTimes[1]),
               formatRatio(extentTimes[1] / extentTimes[0]), "reported", true, true});
    table.add({"Search: index size per data set", "100,000 data sets", formatCount(size_t(size)) + " bytes",
               formatCount(size_t(size / sizes[1])) + " bytes", "reported", true, true});

    // ---- Incremental update against a bare walk -----------------------------
    {
        constexpr unsigned kCount = 100000;
        constexpr unsigned kChanged = 100;
        std::cerr << "search: incremental update of " << formatCount(kCount) << " data sets\n";
        ScratchDir store("search-walk");
        const std::vector<std::string> metadata = writeStore(store.path(), kCount);
        IndexSettings settings = IndexSettings::fromConfiguration(store.path(), indexFile);
        removeIndex(indexFile);
        {
            // What a first build records (paths, sizes, times), without
            // reading 100,000 documents first.
            SearchIndex index(indexFile);
            index.begin();
            unsigned serial = 0;
            walkStore(settings.root, {}, [&](WalkedDataset&& d) {
                const SearchFields f = fieldsOf(serial++);
                index.put(0, d.path, d.xmlPath, QString::fromStdString(d.path.substr(settings.root.size())),
                          d.category, d.size, d.mtime, &f);
            });
            index.setComplete(true);
            index.commit();
        }
        unsigned round = 0;
        IndexReport report;
        const auto bare = [&] { return timed([&] { walkTree(store.path()); }); };
        const auto real = [&] {
            ++round;
            for (unsigned i = 0; i < kChanged; ++i) {
                const unsigned serial = (round * 7919 + i * 997) % kCount;
                writeFile(metadata[serial], metadataDocument(description(serial + kCount * round)));
                touch(metadata[serial], 1500000000 + long(round));
            }
            return timed([&] { report = updateStoreIndex(settings, {}, {}); });
        };
        const PairedMedians m = measurePaired(3, bare, real);
        if (!report.error.isEmpty() || report.read != int(kChanged) || report.total != int(kCount))
            throw std::runtime_error("the update read " + std::to_string(report.read) + " of " +
                                     std::to_string(report.total) + ": " + report.error.toStdString());
        table.addJudged("Search: update after 100 changes vs bare walk", "100,000 data sets",
                        formatDuration(m.real) + " vs " + formatDuration(m.bare), m.real / m.bare, 2.0, "x");
    }
}

} // namespace bench
