// The team's search on the catalogue server: the search tables of one
// server filled with 100,000 and then 1,000,000 generated data sets (the
// rows the row builder makes for them, sent many to a statement), then the
// word query, the 10 x 10 degree extent query and both together, as a
// window asks them (ServerSearch, the ranked list up to 1,000 and the rows
// of its first page), each the median of 21. At 100,000 the server's ranked
// lists are checked against the store's own index filled with the same
// data sets: the same first 1,000, in the same order.
#include <QString>

#include <iostream>
#include <stdexcept>

#include "BenchDatabase.h"
#include "Benchmarks.h"
#include "GeneratedSearch.h"
#include "catalogue/SearchRows.h"
#include "catalogue/ServerSearch.h"
#include "model/AtlasdeskOps.h"
#include "model/LocalSearch.h"
#include "model/SearchService.h"
#include "support/PathOps.h"

namespace bench {

namespace {

const std::string kRoot = "/srv/geodata/";

// Data sets [from, to) written into the search tables: their statements as
// the row builder makes them, their values sent `kPerStatement` to a
// statement, committed every 20,000.
double fillServer(BenchDatabase& db, unsigned from, unsigned to)
{
    constexpr unsigned kPerStatement = 500;
    Connection& c = db.control();
    c.exec("USE " + db.settings().database);
    return timed([&] {
        std::string dataSets, boxes, dataSetHead, boxHead;
        const auto flush = [&] {
            if (!dataSets.empty())
                c.exec(dataSetHead + dataSets);
            if (!boxes.empty())
                c.exec(boxHead + boxes);
            dataSets.clear();
            boxes.clear();
        };
        // "HEAD VALUES(...)" -> HEAD VALUES, and the values appended to `to`.
        const auto split = [](const std::string& statement, std::string& head, std::string& values) {
            const size_t at = statement.find(" VALUES");
            const size_t open = statement.find('(', at);
            if (at == std::string::npos || open == std::string::npos)
                throw std::runtime_error("not a row statement: " + statement.substr(0, 120));
            if (head.empty())
                head = statement.substr(0, open);
            values += values.empty() ? "" : ",";
            values.append(statement, open, std::string::npos);
        };
        c.exec("START TRANSACTION");
        for (unsigned i = from; i < to; ++i) {
            CatalogueItem item;
            const std::string path = kRoot + storePath(i);
            item.Dir = ExtractFilePath(path);
            item.Name = ExtractFileName(path);
            item.Ext = ExtractFileExt(item.Name);
            item.Category = catVector;
            SearchRows rows = BuildSearchRows(searchFields(i), item, kRoot, path + ".xml", 1500000000000000000LL + i);
            SetSearchRecordNumber(rows, int64_t(i) + 1);
            split(rows.dataSetRow, dataSetHead, dataSets);
            if (!rows.boxRow.empty())
                split(rows.boxRow, boxHead, boxes);
            if ((i + 1 - from) % kPerStatement == 0)
                flush();
            if ((i + 1 - from) % 20000 == 0) {
                c.exec("COMMIT");
                c.exec("START TRANSACTION");
            }
        }
        flush();
        c.exec("COMMIT");
    });
}

std::vector<std::string> hitPaths(const SearchAnswer& answer)
{
    std::vector<std::string> paths;
    for (const SearchHit& h : answer.hits)
        paths.push_back(h.relPath.toStdString());
    return paths;
}

struct Asked {
    std::string name;
    SearchQuery query;
};

} // namespace

void runTeamSearch(ResultTable& table)
{
    const std::optional<ChartroomSettings> server = serverFromEnvironment();
    if (!server) {
        table.addFailure("Team search", "", "no catalogue server (scripts/bench.sh starts one)");
        return;
    }
    try {
        BenchDatabase db(*server);
        const ServerSearch search(db.settings(), kRoot);

        SearchQuery words;
        words.words = QStringLiteral("hydrology genev");
        words.categories = {1, 2, 3, 4, 9};
        SearchQuery extent;
        extent.extent = GeoBox{0, 10, 40, 50};
        extent.categories = words.categories;
        SearchQuery both = words;
        both.extent = extent.extent;
        std::vector<Asked> asked = {{"word query", words}, {"extent query", extent}, {"word and extent query", both}};
        // What the window waits for (see SearchService): the ranked list up
        // to the limit (1,000), the rows of its first page.
        for (Asked& a : asked)
            a.query.count = SearchService::kFirstPage;

        const unsigned counts[2] = {100000, 1000000};
        double medians[2][3] = {};
        unsigned filled = 0;
        for (int k = 0; k < 2; ++k) {
            std::cerr << "teamsearch: filling the search tables up to " << formatCount(counts[k]) << " data sets\n";
            const double seconds = fillServer(db, filled, counts[k]);
            filled = counts[k];
            table.add({"Team search: tables filled", formatCount(counts[k] - (k ? counts[0] : 0)) + " more data sets, " +
                                                         formatCount(counts[k]) + " in all",
                       formatDuration(seconds), formatCount(size_t((counts[k] - (k ? counts[0] : 0)) / seconds)) + "/s",
                       "reported", true, true});
            if (k == 0) {
                // The same data sets in the store's own index: the server's
                // ranked lists must be its lists, whole (up to 1,000).
                ScratchDir cache("teamsearch-cache");
                const QString file = QString::fromStdString(cache.path() + "index.sqlite");
                fillIndex(file, kRoot, counts[k]);
                for (const Asked& a : asked) {
                    SearchQuery whole = a.query;
                    whole.count = whole.limit;
                    const SearchAnswer server = search.answer(whole);
                    const SearchAnswer local = runIndexSearch(file, whole);
                    if (!server.error.isEmpty())
                        throw std::runtime_error(a.name + ": " + server.error.toStdString());
                    if (server.hits.empty())
                        throw std::runtime_error(a.name + " found nothing");
                    if (hitPaths(server) != hitPaths(local) || server.found != local.found || server.more != local.more)
                        throw std::runtime_error(a.name + ": the server's ranked list is not the own index's");
                }
            }
            for (size_t q = 0; q < asked.size(); ++q) {
                SearchAnswer answer;
                medians[k][q] = measureMedian(21, 3, [&] {
                    const double t = timed([&] { answer = search.answer(asked[q].query); });
                    if (!answer.error.isEmpty())
                        throw std::runtime_error(asked[q].name + ": " + answer.error.toStdString());
                    return t;
                });
                if (answer.hits.empty())
                    throw std::runtime_error(asked[q].name + " found nothing");
                table.addJudged("Team search: " + asked[q].name + " (median)",
                                formatCount(counts[k]) + " data sets, " + formatCount(size_t(answer.found)) +
                                    (answer.more ? " ranked (the first 1,000), " : " ranked, ") +
                                    std::to_string(answer.hits.size()) + " rows read",
                                formatDuration(medians[k][q]), medians[k][q], 0.050, "s");
            }
        }
        for (size_t q = 0; q < asked.size(); ++q)
            table.add({"Team search: " + asked[q].name + " growth", "100,000 -> 1,000,000",
                       formatDuration(medians[0][q]) + " -> " + formatDuration(medians[1][q]),
                       formatRatio(medians[1][q] / medians[0][q]), "reported", true, true});
    } catch (const std::exception& e) {
        table.addFailure("Team search", "", e.what());
    }
}

} // namespace bench
