// "&Add to chartroom" into the local MariaDB, against a bare loop that
// executes the very statements the run sent, captured by the server's
// general query log.
#include <QEventLoop>

#include <iostream>
#include <optional>
#include <stdexcept>

#include "BenchDatabase.h"
#include "BenchWindow.h"
#include "Benchmarks.h"
#include "app/ServerTree.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

namespace bench {

namespace {

constexpr size_t kDatasets = 2000;

// 10_world/21_switzerland/31_vaud/<theme>/<source>/: four folders of 500
// data sets, every one of them uploaded.
void buildStore(const std::string& root)
{
    const std::string region = root + "10_world/21_switzerland/31_vaud/";
    unsigned serial = 0;
    for (const char* theme : {"transport", "hydrology"}) {
        for (const char* source : {"swisstopo", "cantonal"}) {
            const std::string dir = region + theme + "/" + source + "/";
            makeDirectories(dir);
            for (size_t i = 0; i < kDatasets / 4; ++i, ++serial) {
                const std::string name = datasetName(serial);
                writeDataset(dir, name, serial % 3 ? ".shp" : ".tif", {name, theme, "Vaud", serial});
            }
        }
    }
}

} // namespace

void runUpload(ResultTable& table)
{
    const std::string figure = "Upload vs bare statement loop";
    const std::string input = formatCount(kDatasets) + " data sets";
    std::cerr << "upload\n";
    try {
        const std::optional<ChartroomSettings> server = serverFromEnvironment();
        if (!server)
            throw std::runtime_error("no database server (ATLASDESK_TEST_DB_* unset; scripts/bench.sh starts one)");
        BenchDatabase db(*server);
        ScratchDir store("upload");
        buildStore(store.path());

        TdmAtlasdesk dataModule;
        dataModule.setConnectionSettings(db.settings());
        BenchWindow bw({}, &dataModule);
        TdlgAtlasdesk& w = bw.window();
        w.ConnectToServer(store.path());
        w.mnuSelectChildrenClick();
        bw.waitForListings();
        const size_t selected = static_cast<size_t>(w.tvXMLTree->selectionCount());
        if (selected < kDatasets)
            throw std::runtime_error("only " + std::to_string(selected) + " nodes are selected");
        bw.takeErrors();

        const auto upload = [&] {
            db.empty();
            // Timed until the run's end has reached the window.
            const double t = timed([&] {
                QEventLoop loop;
                QObject::connect(&w, &TdlgAtlasdesk::catalogueTaskFinished, &loop, &QEventLoop::quit);
                w.mnuAddToChartroomClick();
                if (w.isCatalogueTaskRunning())
                    loop.exec();
            });
            const QStringList errors = bw.takeErrors();
            if (!errors.isEmpty())
                throw std::runtime_error("the upload reported: " + errors.join("; ").toStdString());
            if (db.mainRows() != static_cast<long long>(kDatasets))
                throw std::runtime_error("the upload wrote " + std::to_string(db.mainRows()) + " rows");
            settle();
            return t;
        };
        const std::vector<QString> statements = captureStatements(db, [&] { upload(); });

        Connection bareConnection(db.settings(), "bench-bare");
        const auto bare = [&] {
            db.empty();
            const double t = timed([&] {
                bareConnection.open();
                for (const QString& statement : statements)
                    bareConnection.exec(statement);
                bareConnection.close();
            });
            if (db.mainRows() != static_cast<long long>(kDatasets))
                throw std::runtime_error("the bare loop wrote " + std::to_string(db.mainRows()) + " rows");
            return t;
        };
        const PairedMedians m = measurePaired(7, bare, upload);
        char rate[64];
        std::snprintf(rate, sizeof rate, "%.0f data sets/s", static_cast<double>(kDatasets) / m.real);
        table.addJudged(figure, input + ", " + std::to_string(statements.size()) + " statements",
                        formatDuration(m.real) + " (" + rate + ") vs " + formatDuration(m.bare), m.real / m.bare, 1.5,
                        "x");
    } catch (const std::exception& e) {
        table.addFailure(figure, input, e.what());
    }
}

} // namespace bench
