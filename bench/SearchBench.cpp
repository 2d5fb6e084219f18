// Finding data sets: building the search index against the bare reading
// and parsing of the same metadata, the first builds of generated stores of
// 10,000 and 100,000 data sets, queries on indexes of 100,000 and 1,000,000
// data sets (filled directly with what indexing their documents gives), the
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
#include "GeneratedSearch.h"
#include "support/FileOps.h"
#include "model/LocalSearch.h"
#include "model/SearchService.h"
#include "model/PathOrder.h"
#include "model/SearchIndex.h"
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

void removeIndex(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

} // namespace

SearchFields searchFields(unsigned serial)
{
    const DatasetDescription d = description(serial);
    SearchFields f;
    f.title = QString::fromStdString(d.name + " - " + d.theme + " of " + d.place);
    f.abstract = QString::fromStdString(d.theme + " of " + d.place +
                                        " digitised from the national base maps at 1:25 000 and checked against "
                                        "the 2007 orthophotos. Each feature carries its survey date, its source "
                                        "and the accuracy class of its geometry.");
    f.purpose = QStringLiteral("Reference layer for planning and for the maps of the cantonal atlas.");
    f.keywords = QString::fromStdString(d.theme + " base map reference");
    f.places = QString::fromStdString(d.place + " Europe");
    f.originator = QString::fromStdString(organisationOf(serial));
    f.date = QStringLiteral("2008-%1-15").arg(serial % 12 + 1, 2, 10, QLatin1Char('0'));
    // The values as the document writes them.
    auto written = [](double v) {
        std::ostringstream s;
        s << std::fixed << std::setprecision(4) << v;
        return QString::fromStdString(s.str());
    };
    const double west = -170.0 + (serial * 37 % 3400) * 0.1;
    const double south = -80.0 + (serial * 53 % 1600) * 0.1;
    GeoBox box;
    f.boxReading = readBox(written(west), written(west + 0.35), written(south), written(south + 0.21), box);
    f.box = box;
    return f;
}

std::string storePath(unsigned serial)
{
    return "folder" + std::to_string(serial / 1000) + "/" + datasetName(serial) + ".shp";
}

double fillIndex(const QString& file, const std::string& root, unsigned count)
{
    removeIndex(file);
    return timed([&] {
        SearchIndex index(file);
        std::vector<std::string> keys;
        keys.reserve(count);
        for (unsigned i = 0; i < count; ++i)
            keys.push_back(storePath(i));
        const std::vector<int64_t> ids = pathorder::place({}, {}, keys).ids;
        index.begin();
        for (unsigned i = 0; i < count; ++i) {
            const SearchFields fields = searchFields(i);
            index.put(ids[i], false, root + keys[i], root + keys[i] + ".xml", QString::fromStdString(keys[i]),
                      catVector, 3500, 1500000000000000000LL + i, &fields);
            if (i % 20000 == 19999) {
                index.commit();
                index.begin();
            }
        }
        index.setComplete(true);
        index.commit();
    });
}

namespace {

// The direct fill must be what indexing the documents gives: the fields of
// a sample of the written documents are compared.
void checkGeneratedFields(const std::vector<std::string>& metadata, const IndexSettings& settings)
{
    const SearchFieldReader reader(settings.fields);
    for (unsigned serial = 0; serial < metadata.size(); serial += 97) {
        SearchFields read;
        QString error;
        if (!reader.read(metadata[serial], read, error))
            throw std::runtime_error("cannot read " + metadata[serial] + ": " + error.toStdString());
        const SearchFields made = searchFields(serial);
        const bool same = read.title == made.title && read.abstract == made.abstract &&
                          read.purpose == made.purpose && read.keywords == made.keywords &&
                          read.places == made.places && read.originator == made.originator && read.date == made.date &&
                          read.box && made.box && read.box->west == made.box->west && read.box->east == made.box->east &&
                          read.box->south == made.box->south && read.box->north == made.box->north;
        if (!same)
            throw std::runtime_error("the generated fields of data set " + std::to_string(serial) +
                                     " differ from what its document gives");
    }
}

// `count` data sets in folders of 1,000; returns their metadata files.
std::vector<std::string> writeStore(const std::string& root, unsigned count)
{
    std::vector<std::string> metadata;
    metadata.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        if (i % 1000 == 0)
            makeDirectories(root + "folder" + std::to_string(i / 1000) + "/");
        const std::string path = root + storePath(i);
        writeFile(path, std::string(100, '\0'));
        writeFile(path + ".xml", searchDocument(i));
        metadata.push_back(path + ".xml");
    }
    return metadata;
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

// The median of 21 searches as the window runs them (a connection of its own each).
double querySeconds(const QString& file, const SearchQuery& query, SearchAnswer& answer)
{
    return measureMedian(21, 3, [&] {
        const double t = timed([&] { answer = runIndexSearch(file, query); });
        if (!answer.error.isEmpty())
            throw std::runtime_error("search failed: " + answer.error.toStdString());
        return t;
    });
}

std::vector<std::string> hitPaths(const SearchAnswer& answer)
{
    std::vector<std::string> paths;
    for (const SearchHit& h : answer.hits)
        paths.push_back(h.relPath.toStdString());
    return paths;
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

    // ---- Generated stores of 10,000 and 100,000: the first builds ----------
    SearchQuery words;
    words.words = QStringLiteral("hydrology genev");
    words.categories = {1, 2, 3, 4, 9};
    SearchQuery extent;
    extent.extent = GeoBox{0, 10, 40, 50};
    extent.categories = words.categories;
    const unsigned sizes[2] = {10000, 100000};
    ScratchDir smallStore("search-10k");
    ScratchDir largeStore("search-100k");
    std::vector<std::string> largeMetadata;
    for (int k = 0; k < 2; ++k) {
        std::cerr << "search: writing and indexing a store of " << formatCount(sizes[k]) << " data sets\n";
        const ScratchDir& store = k == 0 ? smallStore : largeStore;
        std::vector<std::string> metadata = writeStore(store.path(), sizes[k]);
        const IndexSettings settings = IndexSettings::fromConfiguration(store.path(), indexFile);
        const double built = buildIndex(settings, sizes[k]);
        table.add({"Search: first build of the index", formatCount(sizes[k]) + " data sets", formatDuration(built),
                   formatCount(size_t(sizes[k] / built)) + "/s", "reported", true, true});
        if (k == 0) {
            // The directly filled index answers as the built one does.
            checkGeneratedFields(metadata, settings);
            const QString filled = QString::fromStdString(cache.path() + "filled.sqlite");
            fillIndex(filled, store.path(), sizes[k]);
            for (const SearchQuery& q : {words, extent})
                if (hitPaths(runIndexSearch(filled, q)) != hitPaths(runIndexSearch(indexFile, q)))
                    throw std::runtime_error("the directly filled index answers otherwise than the built one");
            removeIndex(filled);
            measureWindowWhileIndexing(table, bw, store.path(), sizes[k]);
        }
        if (k == 1)
            largeMetadata = std::move(metadata);
    }
    table.add({"Search: index size per data set", "100,000 data sets",
               formatCount(size_t(QFileInfo(indexFile).size())) + " bytes",
               formatCount(size_t(QFileInfo(indexFile).size() / sizes[1])) + " bytes", "reported", true, true});

    // ---- Queries on 100,000 and 1,000,000 data sets --------------------------
    {
        const unsigned counts[2] = {100000, 1000000};
        double wordTimes[2] = {}, extentTimes[2] = {}, wholeTimes[2] = {};
        size_t wholeRows[2] = {};
        SearchAnswer wordAnswer[2], extentAnswer[2], wholeAnswer;
        // What the window waits for: the first answer (see SearchService).
        SearchQuery firstWords = words, firstExtent = extent;
        firstWords.count = firstExtent.count = SearchService::kFirstPage;
        for (int k = 0; k < 2; ++k) {
            std::cerr << "search: filling an index of " << formatCount(counts[k]) << " data sets\n";
            const QString file = QString::fromStdString(cache.path() + "queries.sqlite");
            const double filled = fillIndex(file, "/srv/geodata/", counts[k]);
            table.add({"Search: index filled directly", formatCount(counts[k]) + " data sets", formatDuration(filled),
                       formatCount(size_t(QFileInfo(file).size() / counts[k])) + " bytes per data set", "reported",
                       true, true});
            wordTimes[k] = querySeconds(file, firstWords, wordAnswer[k]);
            extentTimes[k] = querySeconds(file, firstExtent, extentAnswer[k]);
            // The whole list up to the limit, every row read, as the second
            // answer brings it.
            wholeTimes[k] = querySeconds(file, extent, wholeAnswer);
            wholeRows[k] = wholeAnswer.hits.size();
            removeIndex(file);
            for (const SearchAnswer* a : {&wordAnswer[k], &extentAnswer[k]})
                if (a->hits.empty())
                    throw std::runtime_error("a query found nothing");
        }
        const double limits[2] = {0.020, 0.050};
        for (int k = 0; k < 2; ++k) {
            const auto hits = [](const SearchAnswer& a) {
                return formatCount(a.hits.size()) + " rows of " + formatCount(size_t(a.found)) + (a.more ? "+" : "") +
                       " hits";
            };
            table.addJudged("Search: word query (median)",
                            "\"hydrology genev\", " + formatCount(counts[k]) + " data sets", hits(wordAnswer[k]),
                            wordTimes[k], limits[k], "s");
            table.addJudged("Search: extent query (median)", "10 x 10 degrees, " + formatCount(counts[k]) + " data sets",
                            hits(extentAnswer[k]), extentTimes[k], limits[k], "s");
            table.add({"Search: extent query, whole list (median)",
                       "10 x 10 degrees, " + formatCount(counts[k]) + " data sets, every row read",
                       formatDuration(wholeTimes[k]), formatCount(wholeRows[k]) + " rows", "reported", true, true});
        }
        table.addJudged("Search: word query growth", "100,000 -> 1,000,000",
                        formatDuration(wordTimes[0]) + " -> " + formatDuration(wordTimes[1]),
                        wordTimes[1] / wordTimes[0], 3.0, "x");
        table.addJudged("Search: extent query growth", "100,000 -> 1,000,000",
                        formatDuration(extentTimes[0]) + " -> " + formatDuration(extentTimes[1]),
                        extentTimes[1] / extentTimes[0], 3.0, "x");
    }

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
