// Start-up: the probe (the program's entry ended at the first paint) is run
// several times as a process of its own.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <iostream>
#include <stdexcept>

#include "Benchmarks.h"

namespace bench {

namespace {

struct StartupFigures {
    double seconds;
    long peakKb;
};

// The environment of a start: the user's memory and cache in `workDir`, so
// that every start is a first one, whatever the user of the benchmark did.
QProcessEnvironment startEnvironment(const std::string& workDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(workDir + "config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), QString::fromStdString(workDir + "cache"));
    return environment;
}

StartupFigures startOnce(const std::string& probe, const std::string& workDir)
{
    QProcess process;
    process.setProgram(QString::fromStdString(probe));
    // The configuration beside the program is the one read.
    process.setWorkingDirectory(QString::fromStdString(workDir));
    process.setProcessEnvironment(startEnvironment(workDir));
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

// Six starts on a virtual X server with a window manager, where users see
// the window (the first warms the file cache); the median of the last five,
// or a reason why there is none.
std::string startsUnderX(const std::string& probe, const std::string& workDir, double& typical)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    const QString wm = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (xvfb.isEmpty() || wm.isEmpty())
        return "not measured: xvfb-run or openbox missing (scripts/install-deps.sh installs them)";
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(workDir));
    QProcessEnvironment environment = startEnvironment(workDir);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(environment);
    // The window manager runs before the first start and until the last.
    const QString script = QStringLiteral(
        "\"$1\" --sm-disable >/dev/null 2>&1 & wm=$!; sleep 1; "
        "for i in 1 2 3 4 5 6; do \"$2\" || { kill $wm; exit 1; }; done; kill $wm");
    process.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                         QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), wm,
                         QString::fromStdString(probe)});
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return "not measured: the starts under Xvfb did not end within three minutes";
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    std::vector<double> times;
    auto matches = QRegularExpression(QStringLiteral("startup_ms=([0-9.]+)")).globalMatch(output);
    while (matches.hasNext())
        times.push_back(matches.next().captured(1).toDouble() / 1000);
    if (process.exitCode() != 0 || times.size() != 6)
        return "not measured: the probe failed under Xvfb: " +
               QString::fromUtf8(process.readAllStandardError()).right(300).toStdString();
    times.erase(times.begin());
    typical = median(times);
    return {};
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
                        formatDuration(typical) + " (median of 5)", typical, 0.25, "s");
        Row underX;
        underX.figure = "Start-up under Xvfb with a window manager";
        underX.input = input + ", openbox";
        double x = 0;
        const std::string why = startsUnderX(probe, work.path(), x);
        underX.measured = why.empty() ? formatDuration(x) + " (median of 5)" : why;
        underX.judgedBy = "-";
        underX.target = "-";
        underX.informational = true;
        table.add(underX);
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
