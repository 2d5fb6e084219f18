// The server tree at scale: listing a directory on expansion, "&Expand all",
// "&Select children" and the category-filter click.
#include <QCheckBox>

#include <array>
#include <iostream>
#include <span>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"
#include "app/dlgAtlasdeskU.h"

namespace bench {

namespace {

// One data file per category of the shipped configuration; a .dbf without
// its .shp is a table of its own.
constexpr std::array<const char*, 6> kMixedExtensions = {".shp", ".tif", ".mxd", ".dbf", ".pdf", ".py"};
// The categories shown at start: every one of these nodes can be selected.
constexpr std::array<const char*, 3> kShownExtensions = {".shp", ".tif", ".mxd"};

const std::array<const char*, 8> kThemes = {"administrative", "climate", "geology", "hydrology",
                                            "imagery", "landuse", "topography", "transport"};
const std::array<const char*, 6> kPlaces = {"Vaud", "Geneve", "Valais", "Bretagne", "Provence", "Bern"};

// Writes `count` data sets into `dir`, numbered from `*serial` on.
void fillDirectory(const std::string& dir, size_t count, std::span<const char* const> extensions,
                   unsigned* serial)
{
    makeDirectories(dir);
    for (size_t i = 0; i < count; ++i, ++*serial) {
        const unsigned s = *serial;
        const std::string name = datasetName(s);
        writeDataset(dir, name, extensions[s % extensions.size()],
                     {name, kThemes[s % kThemes.size()], kPlaces[s % kPlaces.size()], s});
    }
}

void requireNoErrors(BenchWindow& bw, const char* what)
{
    const QStringList errors = bw.takeErrors();
    if (!errors.isEmpty())
        throw std::runtime_error(std::string(what) + " reported: " + errors.join("; ").toStdString());
}

// ---- Listing ---------------------------------------------------------------

struct ListingTimes {
    size_t datasets;
    double bare;
    double real;
};

ListingTimes measureListing(BenchWindow& bw, size_t datasets, int repetitions)
{
    std::cerr << "listing: " << formatCount(datasets) << " data sets\n";
    ScratchDir store("listing");
    unsigned serial = 0;
    fillDirectory(store.path(), datasets, kMixedExtensions, &serial);
    TdlgAtlasdesk& w = bw.window();
    const size_t entries = 2 * datasets + 2; // data files, metadata files, "." and ".."

    const auto bare = [&] {
        size_t listed = 0;
        const double t = timed([&] { listed = readdirAndStat(store.path()); });
        if (listed != entries)
            throw std::runtime_error("the bare listing saw " + std::to_string(listed) + " entries");
        return t;
    };
    const auto real = [&] {
        w.ConnectToServer(store.path());
        settle();
        const QModelIndex root = w.tvXMLTree->rootNode();
        const double t = timed([&] {
            w.tvXMLTree->expand(root); // the user's click: listing, sorting, showing
            bw.waitForListings();
        });
        requireNoErrors(bw, "expanding");
        if (static_cast<size_t>(w.storeTree()->rowCount(root)) != datasets)
            throw std::runtime_error("the expansion listed " + std::to_string(w.storeTree()->rowCount(root)) + " data sets");
        return t;
    };
    const PairedMedians m = measurePaired(repetitions, bare, real);
    w.ClearTree();
    settle();
    return {datasets, m.bare, m.real};
}

// ---- Expand all ---------------------------------------------------------------

// A store of 10 regions x 10 themes x `sources` folders, each source folder
// holding `perFolder` data sets. Returns the number of tree nodes it makes.
size_t buildStore(const std::string& root, int sources, size_t perFolder,
                  std::span<const char* const> extensions)
{
    unsigned serial = 0;
    size_t nodes = 1;
    for (int r = 0; r < 10; ++r) {
        const std::string region = root + std::to_string(20 + r) + "_" + kPlaces[static_cast<size_t>(r) % kPlaces.size()] + "/";
        ++nodes;
        for (int t = 0; t < 10; ++t) {
            const std::string theme = region + kThemes[static_cast<size_t>(t) % kThemes.size()] + std::to_string(t) + "/";
            ++nodes;
            for (int s = 0; s < sources; ++s) {
                fillDirectory(theme + "source" + std::to_string(s) + "/", perFolder, extensions, &serial);
                nodes += 1 + perFolder;
            }
        }
    }
    return nodes;
}

struct ExpandAllTimes {
    size_t nodes;
    double bare;
    double real;
};

ExpandAllTimes measureExpandAll(BenchWindow& bw, int sources, int repetitions)
{
    ScratchDir store("expandall");
    const size_t nodes = buildStore(store.path(), sources, 99, kMixedExtensions);
    std::cerr << "expand all: " << formatCount(nodes) << " nodes\n";
    TdlgAtlasdesk& w = bw.window();

    const auto bare = [&] { return timed([&] { walkTree(store.path()); }); };
    const auto real = [&] {
        w.ConnectToServer(store.path()); // selects the root
        settle();
        const double t = timed([&] {
            w.mnuXMLExpandAllClick();
            bw.waitForListings();
        });
        requireNoErrors(bw, "expand all");
        if (static_cast<size_t>(w.storeTree()->nodeCount()) != nodes)
            throw std::runtime_error("expand all made " + std::to_string(w.storeTree()->nodeCount()) + " nodes");
        return t;
    };
    const PairedMedians m = measurePaired(repetitions, bare, real);
    w.ClearTree();
    settle();
    return {nodes, m.bare, m.real};
}

// ---- Select children and the filter click ---------------------------------------

struct SelectionTimes {
    size_t nodes;     // selected by "&Select children"
    double select;    // "&Select children" on the root
    double filter;    // unchecking "&Vector" with all of them selected
};

SelectionTimes measureSelection(BenchWindow& bw, size_t datasets, int repetitions)
{
    std::cerr << "selection: " << formatCount(datasets) << " data sets\n";
    ScratchDir store("selection");
    constexpr int kFolders = 20;
    unsigned serial = 0;
    size_t vectors = 0;
    for (int f = 0; f < kFolders; ++f) {
        const unsigned first = serial;
        fillDirectory(store.path() + "folder" + std::to_string(f) + "/", datasets / kFolders, kShownExtensions, &serial);
        for (unsigned s = first; s < serial; ++s)
            vectors += s % kShownExtensions.size() == 0;
    }
    const size_t nodes = 1 + kFolders + datasets;
    TdlgAtlasdesk& w = bw.window();
    w.ConnectToServer(store.path());
    w.mnuXMLExpandAllClick(); // the listing is not part of these figures
    bw.waitForListings();
    requireNoErrors(bw, "expand all");
    const QModelIndex root = w.tvXMLTree->rootNode();

    std::vector<double> selectTimes, filterTimes;
    for (int i = 0; i < repetitions + 1; ++i) {
        w.tvXMLTree->clearSelection();
        w.tvXMLTree->setCurrentIndex(root);
        settle();
        const double select = timed([&] {
            w.mnuSelectChildrenClick();
            bw.waitForListings();
        });
        requireNoErrors(bw, "select children");
        if (static_cast<size_t>(w.tvXMLTree->selectionCount()) != nodes)
            throw std::runtime_error("select children selected " + std::to_string(w.tvXMLTree->selectionCount()) +
                                     " nodes instead of " + std::to_string(nodes));
        const double filter = timed([&] {
            w.ckVector->click();
            settle();
        });
        requireNoErrors(bw, "the filter click");
        if (static_cast<size_t>(w.tvXMLTree->selectionCount()) != nodes - vectors)
            throw std::runtime_error("the filter click left " + std::to_string(w.tvXMLTree->selectionCount()) +
                                     " nodes selected instead of " + std::to_string(nodes - vectors));
        w.ckVector->click(); // shown again for the next round
        settle();
        if (i > 0) { // the first round warms up
            selectTimes.push_back(select);
            filterTimes.push_back(filter);
        }
    }
    w.ClearTree();
    settle();
    return {nodes, median(selectTimes), median(filterTimes)};
}

std::string perUnit(double seconds, size_t count, const char* unit)
{
    return formatDuration(seconds / static_cast<double>(count)) + "/" + unit;
}

} // namespace

void runListing(ResultTable& table)
{
    BenchWindow bw;
    std::vector<ListingTimes> results;
    for (const auto& [datasets, repetitions] : {std::pair<size_t, int>{1000, 15}, {10000, 7}, {50000, 5}}) {
        const std::string input = formatCount(datasets) + " data sets";
        try {
            const ListingTimes t = measureListing(bw, datasets, repetitions);
            results.push_back(t);
            table.addJudged("Listing: expand vs readdir+stat", input,
                            formatDuration(t.real) + " vs " + formatDuration(t.bare), t.real / t.bare, 5.0, "x");
        } catch (const std::exception& e) {
            table.addFailure("Listing: expand vs readdir+stat", input, e.what());
        }
    }
    if (results.size() == 3 && results.front().datasets == 1000 && results.back().datasets == 50000) {
        const double small = results.front().real / 1000, large = results.back().real / 50000;
        table.addJudged("Listing: cost per entry", "50,000 vs 1,000 data sets",
                        formatDuration(large) + " vs " + formatDuration(small) + " per data set", large / small, 1.2, "x");
    } else {
        table.addFailure("Listing: cost per entry", "50,000 vs 1,000 data sets", "a listing figure is missing");
    }
}

void runExpandAll(ResultTable& table)
{
    BenchWindow bw;
    try {
        const ExpandAllTimes small = measureExpandAll(bw, 1, 5);
        const ExpandAllTimes large = measureExpandAll(bw, 10, 3);
        table.addJudged("Expand all vs bare walk", formatCount(large.nodes) + " nodes",
                        formatDuration(large.real) + " vs " + formatDuration(large.bare), large.real / large.bare, 5.0,
                        "x");
        const double perSmall = small.real / static_cast<double>(small.nodes);
        const double perLarge = large.real / static_cast<double>(large.nodes);
        table.addJudged("Expand all: cost per node", formatCount(large.nodes) + " vs " + formatCount(small.nodes) + " nodes",
                        formatDuration(perLarge) + " vs " + formatDuration(perSmall) + " per node",
                        perLarge / perSmall, 1.2, "x");
    } catch (const std::exception& e) {
        table.addFailure("Expand all", "100,000 nodes", e.what());
    }
}

void runSelection(ResultTable& table)
{
    BenchWindow bw;
    try {
        const SelectionTimes small = measureSelection(bw, 2000, 5);
        const SelectionTimes large = measureSelection(bw, 20000, 5);
        const auto per = [](double t, size_t n) { return t / static_cast<double>(n); };
        table.addJudged("Select children: cost per node", "20,000 vs 2,000 data sets",
                        perUnit(large.select, large.nodes, "node") + " vs " + perUnit(small.select, small.nodes, "node") +
                            " (" + formatDuration(large.select) + " in all)",
                        per(large.select, large.nodes) / per(small.select, small.nodes), 1.3, "x");
        table.addJudged("Filter click: cost per node", "20,000 vs 2,000 selected",
                        perUnit(large.filter, large.nodes, "node") + " vs " + perUnit(small.filter, small.nodes, "node") +
                            " (" + formatDuration(large.filter) + " in all)",
                        per(large.filter, large.nodes) / per(small.filter, small.nodes), 1.3, "x");
    } catch (const std::exception& e) {
        table.addFailure("Select children / filter click", "20,000 data sets", e.what());
    }
}

} // namespace bench
