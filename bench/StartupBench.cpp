// Start-up: the probe (the program's entry ended at the first paint) is run
// several times as a process of its own.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <iostream>
#include <stdexcept>

#include "Benchmarks.h"

namespace bench {

namespace {

struct StartupFigures {
    double seconds;
    long peakKb;
};

StartupFigures startOnce(const std::string& probe, const std::string& workDir)
{
    QProcess process;
    process.setProgram(QString::fromStdString(probe));
    // The configuration beside the program is the one read.
    process.setWorkingDirectory(QString::fromStdString(workDir));
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        throw std::runtime_error("the start-up probe did not show its window within a minute");
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpression pattern(QStringLiteral("startup_ms=([0-9.]+) peak_kb=([0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(output);
    if (process.exitCode() != 0 || !match.hasMatch())
        throw std::runtime_error("the start-up probe failed: " +
                                 QString::fromUtf8(process.readAllStandardError()).right(400).toStdString());
    return {match.captured(1).toDouble() / 1000, match.captured(2).toLong()};
}

} // namespace

void runStartup(ResultTable& table, const std::string& probe)
{
    const std::string input = "AtlasdeskView, shipped configuration";
    std::cerr << "start-up\n";
    try {
        ScratchDir work("startup");
        startOnce(probe, work.path()); // warms the file cache as any second start does
        std::vector<double> times;
        std::vector<double> peaks;
        for (int i = 0; i < 5; ++i) {
            const StartupFigures f = startOnce(probe, work.path());
            times.push_back(f.seconds);
            peaks.push_back(static_cast<double>(f.peakKb));
        }
        const double typical = median(times);
        table.addJudged("Start-up: process start to window shown", input,
                        formatDuration(typical) + " (median of 5)", typical, 1.0, "s");
        Row memory;
        memory.figure = "Start-up: peak memory (main process)";
        memory.input = input;
        char text[64];
        std::snprintf(text, sizeof text, "%.1f MB", median(peaks) / 1024);
        memory.measured = text;
        memory.judgedBy = "-";
        memory.target = "-";
        memory.informational = true;
        table.add(memory);
    } catch (const std::exception& e) {
        table.addFailure("Start-up: process start to window shown", input, e.what());
    }
}

} // namespace bench
