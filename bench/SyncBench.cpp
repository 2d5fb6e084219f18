// The catalogue sync (atlasdesk-sync's run, linked in) into the local
// MariaDB: the first sync of 20,000 data sets against reading and parsing
// their metadata in a bare loop plus executing, in a bare loop, the very
// statements the sync sent; and the sync after 100 changes in a store of
// 100,000 data sets against a bare readdir+stat walk of the store plus the
// statements that write those 100 data sets.
#include <libxml/parser.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "BenchDatabase.h"
#include "Benchmarks.h"
#include "model/AtlasdeskOps.h"
#include "support/FileOps.h"
#include "support/HTMLlogOps.h"
#include "sync/CatalogueSync.h"

namespace bench {

namespace {

constexpr unsigned kFirstSync = 20000;
constexpr unsigned kLargeStore = 100000;
constexpr unsigned kChanged = 100;
constexpr unsigned kPerFolder = 1000;

const std::array<const char*, 4> kThemes = {"transport", "hydrology", "geology", "landuse"};

// The shipped configuration, read from a program folder of its own as the
// command reads it; the previous state is restored afterwards.
class ShippedConfiguration {
public:
    ShippedConfiguration() : m_program("sync-program")
    {
        copyFile(sourceDir() + "data/AtlasdeskView.ini.xml", m_program.path() + "AtlasdeskView.ini.xml");
        SetProgramFolder(m_program.path());
        SetConfigFilePath(m_program.path() + "AtlasdeskView.ini.xml");
        LoadConfiguration();
    }
    ~ShippedConfiguration()
    {
        ClearConfiguration();
        SetConfigFilePath({});
        SetProgramFolder({});
    }
    ShippedConfiguration(const ShippedConfiguration&) = delete;
    ShippedConfiguration& operator=(const ShippedConfiguration&) = delete;

    const std::string& folder() const { return m_program.path(); }

private:
    ScratchDir m_program;
};

DatasetDescription description(unsigned serial)
{
    return {datasetName(serial), kThemes[serial / kPerFolder % kThemes.size()], "Vaud", serial};
}

// `count` data sets below 10_world/21_switzerland/31_vaud/<theme>/<source>/,
// 1,000 to a folder; returns their metadata files, by serial.
std::vector<std::string> writeStore(const std::string& root, unsigned count)
{
    std::vector<std::string> metadata;
    metadata.reserve(count);
    std::string dir;
    for (unsigned serial = 0; serial < count; ++serial) {
        const DatasetDescription d = description(serial);
        if (serial % kPerFolder == 0) {
            dir = root + "10_world/21_switzerland/31_vaud/" + d.theme + "/source" +
                  std::to_string(serial / kPerFolder) + "/";
            makeDirectories(dir);
        }
        writeDataset(dir, d.name, ".shp", d);
        metadata.push_back(dir + d.name + ".shp.xml");
    }
    return metadata;
}

// One sync of `store` into `db`, as the command runs it (with its log).
SyncReport syncOnce(const BenchDatabase& db, const std::string& store, const std::string& logFile)
{
    SyncRequest request;
    request.stores = {store};
    request.login = db.settings();
    tHTMLLog log;
    log.LogFile = logFile;
    request.log = log;
    SilentSyncProgress progress;
    SyncReport report = RunSync(request, progress, {});
    if (!report.logError.empty())
        throw std::runtime_error("the sync could not write its log: " + report.logError);
    return report;
}

void expectCounts(const SyncReport& report, const std::string& expected)
{
    const std::string counts = SummaryCounts(report.counts);
    if (counts.rfind(expected, 0) != 0 || report.exitCode() != 0)
        throw std::runtime_error("the sync did " + counts + " (exit code " + std::to_string(report.exitCode()) +
                                 "), not " + expected);
}

// The bare reading and parsing of every metadata file, as one loop.
void readAndParse(const std::vector<std::string>& metadata)
{
    std::string bytes;
    for (const std::string& path : metadata) {
        if (!ReadRegularFile(path, bytes))
            throw std::runtime_error("cannot read " + path);
        xmlDocPtr doc = xmlReadMemory(bytes.data(), int(bytes.size()), path.c_str(), nullptr, XML_PARSE_NONET);
        if (!doc)
            throw std::runtime_error("cannot parse " + path);
        xmlFreeDoc(doc);
    }
}

// Executes `statements` on a fresh connection of the benchmark's own.
void executeAll(const BenchDatabase& db, const std::vector<QString>& statements)
{
    Connection connection(db.settings(), "bench-sync-bare");
    connection.open();
    for (const QString& statement : statements)
        connection.exec(statement);
    connection.close();
}

std::string rate(double count, double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f data sets/s", count / seconds);
    return text;
}

void measureFirstSync(ResultTable& table, BenchDatabase& db, const std::string& logFile)
{
    const std::string figure = "Sync: first sync vs parse + statement loops";
    const std::string input = formatCount(kFirstSync) + " data sets";
    try {
        std::cerr << "sync: the first sync of " << input << "\n";
        ScratchDir store("sync-20k");
        const std::vector<std::string> metadata = writeStore(store.path(), kFirstSync);
        const std::string expected = std::to_string(kFirstSync) + " added, 0 updated, 0 removed, 0 unchanged";
        const auto real = [&] {
            db.empty();
            SyncReport report;
            const double t = timed([&] { report = syncOnce(db, store.path(), logFile); });
            expectCounts(report, expected);
            return t;
        };
        const std::vector<QString> statements = captureStatements(db, [&] { real(); });
        const auto bare = [&] {
            db.empty();
            const double t = timed([&] {
                readAndParse(metadata);
                executeAll(db, statements);
            });
            if (db.mainRows() != kFirstSync)
                throw std::runtime_error("the bare loop wrote " + std::to_string(db.mainRows()) + " rows");
            return t;
        };
        const PairedMedians m = measurePaired(5, bare, real);
        table.addJudged(figure, input + ", " + formatCount(statements.size()) + " statements",
                        formatDuration(m.real) + " (" + rate(kFirstSync, m.real) + ") vs " + formatDuration(m.bare),
                        m.real / m.bare, 1.5, "x");
    } catch (const std::exception& e) {
        table.addFailure(figure, input, e.what());
    }
}

void measureIncrementalSync(ResultTable& table, BenchDatabase& db, const std::string& logFile)
{
    const std::string figure = "Sync: after 100 changes vs walk + statements";
    const std::string input = formatCount(kLargeStore) + " data sets, " + std::to_string(kChanged) + " changed";
    try {
        std::cerr << "sync: writing a store of " << formatCount(kLargeStore) << " data sets\n";
        ScratchDir store("sync-100k");
        const std::vector<std::string> metadata = writeStore(store.path(), kLargeStore);
        std::cerr << "sync: its first sync\n";
        db.empty();
        SyncReport first;
        const double firstSeconds = timed([&] { first = syncOnce(db, store.path(), logFile); });
        expectCounts(first, std::to_string(kLargeStore) + " added");
        table.add({"Sync: first sync", formatCount(kLargeStore) + " data sets", formatDuration(firstSeconds),
                   rate(kLargeStore, firstSeconds), "reported", true, true});

        std::cerr << "sync: incremental syncs of " << formatCount(kLargeStore) << " data sets\n";
        unsigned round = 0;
        const std::string expected = "0 added, " + std::to_string(kChanged) + " updated, 0 removed, " +
                                     std::to_string(kLargeStore - kChanged) + " unchanged";
        const auto real = [&] {
            ++round;
            // Another 100 documents each round, rewritten with new content.
            for (unsigned i = 0; i < kChanged; ++i) {
                const unsigned serial = (round * 7919 + i * 997) % kLargeStore;
                DatasetDescription d = description(serial);
                d.serial += kLargeStore * round;
                writeFile(metadata[serial], metadataDocument(d));
            }
            SyncReport report;
            const double t = timed([&] { report = syncOnce(db, store.path(), logFile); });
            expectCounts(report, expected);
            return t;
        };
        // The statements that write the changed data sets (their rows, their
        // place, their state, the transaction, the table's comment); what
        // the sync reads to find the changes is its own cost.
        std::vector<QString> writes;
        for (const QString& statement : captureStatements(db, [&] { real(); }))
            if (!statement.startsWith(QLatin1String("SELECT ")) && !statement.startsWith(QLatin1String("SET ")))
                writes.push_back(statement);
        const auto bare = [&] {
            return timed([&] {
                walkTree(store.path());
                executeAll(db, writes);
            });
        };
        const PairedMedians m = measurePaired(5, bare, real);
        table.addJudged(figure, input + ", " + std::to_string(writes.size()) + " statements",
                        formatDuration(m.real) + " vs " + formatDuration(m.bare), m.real / m.bare, 2.0, "x");
    } catch (const std::exception& e) {
        table.addFailure(figure, input, e.what());
    }
}

} // namespace

void runSync(ResultTable& table)
{
    const std::optional<ChartroomSettings> server = serverFromEnvironment();
    if (!server) {
        table.addFailure("Sync", "-", "no database server (ATLASDESK_TEST_DB_* unset; scripts/bench.sh starts one)");
        return;
    }
    ShippedConfiguration configuration;
    BenchDatabase db(*server);
    const std::string logFile = configuration.folder() + "sync-log.html";
    createLogFile(logFile);
    measureFirstSync(table, db, logFile);
    measureIncrementalSync(table, db, logFile);
}

} // namespace bench
