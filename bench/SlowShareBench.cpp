// The window on a slow share (the FUSE pass-through file system of the
// tests, 1 ms per entry read): how long the event loop stalls at most while
// a 10,000-entry directory is listed, and how long Esc takes to stop an
// "&Expand all".
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"
#include "SlowMount.h"
#include "app/dlgAtlasdeskU.h"

namespace bench {

namespace {

constexpr long kDelayUs = 1000; // per entry read and per stat

std::unique_ptr<SlowMount> mountSlow(const ScratchDir& source, const ScratchDir& work)
{
    const std::string why = SlowMount::unavailable(ATLASDESK_SLOWFS);
    if (!why.empty())
        throw std::runtime_error("needs FUSE: " + why);
    makeDirectories(work.path() + "mnt");
    auto mount = std::make_unique<SlowMount>(ATLASDESK_SLOWFS, source.path(), work.path() + "mnt", kDelayUs);
    if (!mount->mounted())
        throw std::runtime_error("the slow file system did not come up");
    return mount;
}

} // namespace

void runSlowShare(ResultTable& table)
{
    // Event-loop stall during a 10,000-entry listing.
    try {
        ScratchDir source("slowshare");
        ScratchDir work("slowshare-mnt");
        const size_t entries = 10000;
        makeDirectories(source.path() + "big");
        for (size_t i = 0; i < entries; ++i)
            writeFile(source.path() + "big/" + datasetName(static_cast<unsigned>(i)) + ".shp", "shp");
        const auto mount = mountSlow(source, work);
        BenchWindow bw;
        TdlgAtlasdesk& w = bw.window();
        std::vector<double> stalls;
        for (int round = 0; round < 3; ++round) {
            std::cerr << "slow share: listing " << formatCount(entries) << " entries, round " << round + 1 << "\n";
            w.ConnectToServer(mount->path() + "big");
            settle();
            const QModelIndex root = w.tvXMLTree->rootNode();
            QElapsedTimer clock;
            clock.start();
            w.tvXMLTree->expand(root);
            stalls.push_back(longestStall([&] { return w.listingBusy(); }));
            if (static_cast<size_t>(w.storeTree()->rowCount(root)) != entries)
                throw std::runtime_error("the listing showed " + std::to_string(w.storeTree()->rowCount(root)) + " entries");
            if (clock.elapsed() < static_cast<qint64>(entries * kDelayUs / 1000))
                throw std::runtime_error("the listing was not slowed down");
        }
        if (!bw.takeErrors().isEmpty())
            throw std::runtime_error("the listing reported an error");
        const double worst = *std::max_element(stalls.begin(), stalls.end());
        table.addJudged("Slow share: longest event-loop stall while listing", formatCount(entries) + " entries, 1 ms each",
                        formatDuration(worst) + " (worst of 3)", worst, 0.050, "s");
    } catch (const std::exception& e) {
        table.addFailure("Slow share: longest event-loop stall while listing", "10,000 entries, 1 ms each", e.what());
    }

    // From Esc to a stopped Expand all.
    try {
        ScratchDir source("slowwalk");
        ScratchDir work("slowwalk-mnt");
        for (int d = 0; d < 40; ++d) {
            makeDirectories(source.path() + "d" + std::to_string(100 + d) + "/");
            for (int f = 0; f < 50; ++f)
                writeFile(source.path() + "d" + std::to_string(100 + d) + "/" + datasetName(static_cast<unsigned>(f)) + ".shp",
                          "shp");
        }
        const auto mount = mountSlow(source, work);
        BenchWindow bw;
        TdlgAtlasdesk& w = bw.window();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            throw std::runtime_error("the window did not become active");
        std::vector<double> stops;
        for (int round = 0; round < 5; ++round) {
            w.ConnectToServer(mount->path());
            settle();
            w.mnuXMLExpandAllClick();
            // Let it read a few folders first.
            QElapsedTimer running;
            running.start();
            while (running.elapsed() < 300 + 50 * round)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (!w.listingBusy())
                throw std::runtime_error("Expand all ended before Esc");
            QElapsedTimer clock;
            clock.start();
            QTest::keyClick(&w, Qt::Key_Escape);
            while (w.listingBusy() && clock.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            stops.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            if (w.listingBusy())
                throw std::runtime_error("Esc did not stop Expand all");
        }
        const double worst = *std::max_element(stops.begin(), stops.end());
        table.addJudged("Slow share: Esc to a stopped Expand all", "40 folders of 50 entries, 1 ms each",
                        formatDuration(worst) + " (worst of 5)", worst, 0.100, "s");
    } catch (const std::exception& e) {
        table.addFailure("Slow share: Esc to a stopped Expand all", "40 folders of 50 entries, 1 ms each", e.what());
    }
}

} // namespace bench
