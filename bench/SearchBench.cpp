// Finding data sets: building the search index against the bare reading
// and parsing of the same metadata, queries on indexes of generated stores
// of 10,000 and 100,000 data sets (built by indexing their files), the
// incremental update against a bare walk, and the index's size.
#include <sys/resource.h>
#include <sys/time.h>

#include <libxml/parser.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "support/FileOps.h"
#include "model/SearchService.h"
#include "model/StoreIndexer.h"
#include "app/dlgAtlasdeskU.h"

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

// The generated document of `serial`, its geographic box moved so that the
// boxes of a store spread over the whole world and an extent selects a part.
std::string searchDocument(unsigned serial)
{
    std::string document = metadataDocument(description(serial));
    const double west = -170.0 + (serial * 37 % 3400) * 0.1;
    const double south = -80.0 + (serial * 53 % 1600) * 0.1;
    const std::string open = "<spdom><bounding>", close = "</bounding></spdom>";
    const size_t from = document.find(open), to = document.find(close);
    if (from == std::string::npos || to == std::string::npos)
        throw std::runtime_error("the generated document has no bounding box");
    std::ostringstream box;
    box << std::fixed << std::setprecision(4) << "<westbc>" << west << "</westbc><eastbc>" << west + 0.35
        << "</eastbc><northbc>" << south + 0.21 << "</northbc><southbc>" << south << "</southbc>";
    return document.replace(from + open.size(), to - from - open.size(), box.str());
}

// `count` data sets in folders of 1,000; returns their metadata files.
std::vector<std::string> writeStore(const std::string& root, unsigned count)
{
    std::vector<std::string> metadata;
    metadata.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::string dir = root + "folder" + std::to_string(i / 1000) + "/";
        if (i % 1000 == 0)
            makeDirectories(dir);
        const std::string name = datasetName(i);
        writeFile(dir + name + ".shp", std::string(100, '\0'));
        writeFile(dir + name + ".shp.xml", searchDocument(i));
        metadata.push_back(dir + name + ".shp.xml");
    }
    return metadata;
}

void removeIndex(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

// The processor time of the whole process so far (every thread), in seconds.
double processorSeconds()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Builds the index of a store from nothing; the seconds it took.
double buildIndex(const IndexSettings& settings, unsigned expected)
{
    removeIndex(settings.indexFile);
    IndexReport report;
    const double seconds = timed([&] { report = updateStoreIndex(settings, {}, {}); });
    if (!report.error.isEmpty() || report.read != int(expected) || !report.unreadable.isEmpty())
        throw std::runtime_error("indexing read " + std::to_string(report.read) + " of " + std::to_string(expected) +
                                 ": " + report.error.toStdString());
    return seconds;
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

// The window's own first build of the index of `store` after connecting:
// how long its event loop stalls at most meanwhile.
void measureWindowWhileIndexing(ResultTable& table, BenchWindow& bw, const std::string& store, unsigned count)
{
    const std::string figure = "Search: longest event-loop stall while indexing";
    const std::string input = formatCount(count) + " data sets, the window's own first build";
    try {
        std::cerr << "search: the window indexing " << formatCount(count) << " data sets\n";
        ScratchDir windowCache("search-window-cache");
        TdlgAtlasdesk& w = bw.window();
        w.searchIndexFolder = QString::fromStdString(windowCache.path());
        // The other figures' windows leave the index alone; this one builds it.
        w.indexOnConnect = true;
        auto* indexer = w.findChild<StoreIndexer*>();
        if (!indexer)
            throw std::runtime_error("the window has no indexer");
        IndexReport report;
        bool finished = false;
        const auto connection = QObject::connect(indexer, &StoreIndexer::finished, [&](const IndexReport& r) {
            report = r;
            finished = true;
        });
        QElapsedTimer clock;
        clock.start();
        // The update starts once the window has learnt that the root is a
        // folder, asked off its thread.
        w.ConnectToServer(store);
        const double stall = longestStall([&] { return !finished && clock.elapsed() < 120000; });
        QObject::disconnect(connection);
        w.indexOnConnect = false;
        if (!finished)
            throw std::runtime_error("the window's index update did not end");
        if (!report.error.isEmpty() || report.read != int(count))
            throw std::runtime_error("the window's update read " + std::to_string(report.read) + ": " +
                                     report.error.toStdString());
        table.addJudged(figure, input, formatDuration(stall) + " (indexing took " + formatDuration(clock.elapsed() / 1e3) + ")",
                        stall, 0.050, "s");
    } catch (const std::exception& e) {
        table.addFailure(figure, input, e.what());
    }
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
        double bareCpu = 0, realCpu = 0;
        const auto bare = [&] {
            const double cpu = processorSeconds();
            const double t = timed([&] {
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
            bareCpu += processorSeconds() - cpu;
            return t;
        };
        const auto real = [&] {
            const double cpu = processorSeconds();
            const double t = buildIndex(settings, kCount);
            realCpu += processorSeconds() - cpu;
            return t;
        };
        const PairedMedians m = measurePaired(11, bare, real);
        table.addJudged("Search: indexing vs read+parse", formatCount(kCount) + " data sets",
                        formatDuration(m.real) + " vs " + formatDuration(m.bare) + " (" +
                            formatCount(size_t(kCount / m.real)) + "/s)",
                        m.real / m.bare, 1.5, "x");
        // Indexing reads on several threads: what it costs the machine in
        // all, over every run (warm-ups included on both sides).
        table.add({"Search: indexing processor time vs read+parse", formatCount(kCount) + " data sets, all threads",
                   formatDuration(realCpu) + " vs " + formatDuration(bareCpu), formatRatio(realCpu / bareCpu),
                   "reported", true, true});
    }

    // ---- Generated stores of 10,000 and 100,000, indexed; queries ----------
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
    ScratchDir smallStore("search-10k");
    ScratchDir largeStore("search-100k");
    std::vector<std::string> largeMetadata;
    for (int k = 0; k < 2; ++k) {
        std::cerr << "search: writing and indexing a store of " << formatCount(sizes[k]) << " data sets\n";
        const ScratchDir& store = k == 0 ? smallStore : largeStore;
        std::vector<std::string> metadata = writeStore(store.path(), sizes[k]);
        const double built = buildIndex(IndexSettings::fromConfiguration(store.path(), indexFile), sizes[k]);
        table.add({"Search: first build of the index", formatCount(sizes[k]) + " data sets", formatDuration(built),
                   formatCount(size_t(sizes[k] / built)) + "/s", "reported", true, true});
        wordTimes[k] = querySeconds(indexFile, words, wordHits[k]);
        extentTimes[k] = querySeconds(indexFile, extent, extentHits[k]);
        if (k == 0)
            measureWindowWhileIndexing(table, bw, store.path(), sizes[k]);
        if (k == 1)
            largeMetadata = std::move(metadata);
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
        const IndexSettings settings = IndexSettings::fromConfiguration(largeStore.path(), indexFile);
        unsigned round = 0;
        IndexReport report;
        const auto bare = [&] { return timed([&] { walkTree(largeStore.path()); }); };
        const auto real = [&] {
            ++round;
            for (unsigned i = 0; i < kChanged; ++i) {
                const unsigned serial = (round * 7919 + i * 997) % kCount;
                writeFile(largeMetadata[serial], searchDocument(serial + kCount * round));
                touch(largeMetadata[serial], 1500000000 + long(round));
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
