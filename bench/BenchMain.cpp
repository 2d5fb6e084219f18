// The benchmark driver: runs every group (or those named by --only), then
// prints one table and exits non-zero when a judged row failed.
#include <unistd.h>

#include <QApplication>

#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "Benchmarks.h"

namespace {

void usage()
{
    std::cerr << "usage: atlasdesk-bench [--only=GROUP[,GROUP...]]\n"
                 "groups: listing, expandall, selection, rendering, upload, sync, slowshare, search, teamsearch, startup\n";
}

} // namespace

int main(int argc, char** argv)
{
    // The window runs on the offscreen platform unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));

    const std::vector<std::pair<std::string, std::function<void(bench::ResultTable&)>>> groups = {
        {"listing", bench::runListing},
        {"expandall", bench::runExpandAll},
        {"selection", bench::runSelection},
        {"rendering", bench::runRendering},
        {"upload", bench::runUpload},
        {"sync", bench::runSync},
        {"slowshare", bench::runSlowShare},
        {"search", bench::runSearch},
        {"teamsearch", bench::runTeamSearch},
        {"startup",
         [](bench::ResultTable& t) {
             bench::runStartup(t, QCoreApplication::applicationDirPath().toStdString() + "/atlasdesk-bench-startup");
         }},
    };
    std::set<std::string> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--only=", 0) == 0) {
            std::string list = arg.substr(7) + ",";
            for (size_t at; (at = list.find(',')) != std::string::npos; list.erase(0, at + 1))
                if (at > 0)
                    only.insert(list.substr(0, at));
        } else {
            usage();
            return 2;
        }
    }
    for (const std::string& name : only) {
        bool known = false;
        for (const auto& g : groups)
            known = known || g.first == name;
        if (!known) {
            usage();
            return 2;
        }
    }

    bench::ResultTable table;
    for (const auto& [name, run] : groups) {
        if (!only.empty() && !only.count(name))
            continue;
        try {
            run(table);
        } catch (const std::exception& e) {
            table.addFailure(name, "-", e.what());
        }
    }
    std::cout << "\n";
    table.print(std::cout);
    const bool passed = table.allPassed();
    std::cout << "\n" << (passed ? "All targets met." : "Some targets were missed.") << "\n";
    return passed ? 0 : 1;
}
