// atlasdesk-sync: keeps the Chartroom catalogue equal to the stores, for a
// timer that nobody watches. See SyncUsage() and the README's section for
// administrators. This is the command's one error boundary: every error
// ends here as a message on the standard error and an exit code.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "catalogue/ChartroomConnection.h"
#include "model/AtlasdeskOps.h"
#include "support/FileOps.h"
#include "support/HTMLlogOps.h"
#include "support/PathOps.h"
#include "sync/CatalogueSync.h"
#include "sync/SyncConsole.h"
#include "sync/SyncLogin.h"
#include "sync/SyncOptions.h"

namespace {

enum ExitCode { kDone = 0, kUnreadable = 1, kRefused = 2, kSetup = 3 };

std::atomic<int> g_signal{0};

void onSignal(int number)
{
    g_signal = number;
}

void catchSignals()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Calls in progress (a statement on its way) go on: the run stops at
    // its next batch, with that batch committed.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void fail(const std::string& message)
{
    std::fprintf(stderr, "atlasdesk-sync: %s\n", message.c_str());
}

std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == PathDelim)
        return path;
    return QDir::current().absolutePath().toStdString() + PathDelim + path;
}

// The log the run appends to: --log (a folder: its file of the day), else
// the window's log of the day in the configured Logs folder.
tHTMLLog prepareLog(const SyncOptions& options)
{
    std::string file;
    if (options.logFile) {
        const std::string named = absolute(*options.logFile);
        file = named.back() == PathDelim || IsDirectory(named) ? DailyLogFile(IncludeTrailingPathDelimiter(named))
                                                              : named;
    } else {
        file = DailyLogFile(LogsDir);
    }
    const std::string folder = ExtractFilePath(file);
    if (!folder.empty() && !QDir().mkpath(QString::fromStdString(folder)))
        throw ESyncSetup("The log folder " + folder + " cannot be created");
    try {
        createLogFile(file);
    } catch (const std::exception& e) {
        throw ESyncSetup(e.what());
    }
    tHTMLLog log;
    log.LogFile = file;
    return log;
}

ChartroomSettings catalogueLogin(const SyncOptions& options)
{
    ChartroomSettings login;
    try {
        LoadConfiguration();
        login = ReadChartroomSettings();
    } catch (const std::exception& e) {
        throw ESyncSetup("The configuration " + ConfigFilePath() + " cannot be read: " + e.what());
    }
    if (login.host.empty() || login.database.empty())
        throw ESyncSetup("The configuration " + ConfigFilePath() +
                         " names no catalogue: set chartroom/host and chartroom/database");
    login.password = SyncPassword(options.passwordFile, login.user + "@" + login.host);
    return login;
}

int sync(const SyncOptions& options)
{
    if (options.configFile) {
        const std::string config = absolute(*options.configFile);
        if (!FileExists(config))
            throw ESyncSetup("The configuration " + config + " does not exist");
        SetConfigFilePath(config);
    }
    SyncRequest request;
    for (const std::string& store : options.stores)
        request.stores.push_back(absolute(store));
    request.login = catalogueLogin(options);
    const bool passwordGiven = request.login.password.has_value();
    request.dryRun = options.dryRun;
    request.keepRemoved = options.keepRemoved;
    request.full = options.full;
    request.maxRemovals = options.maxRemovals;
    request.folderTimeout = std::chrono::seconds(options.folderTimeoutSeconds);
    request.waitSeconds = options.waitSeconds;
    if (!options.dryRun)
        request.log = prepareLog(options);

    SyncConsole console(::isatty(STDERR_FILENO) == 1, options.dryRun || options.verbose);
    SyncReport report;
    try {
        report = RunSync(request, console, [] { return g_signal.load() != 0; });
    } catch (const ESyncSetup& e) {
        std::string message = e.what();
        if (!passwordGiven && message.find("Access denied") != std::string::npos)
            message += " (no password was given: set ATLASDESK_CHARTROOM_PASSWORD or use --password-file)";
        throw ESyncSetup(message);
    }
    console.finish();

    for (const std::string& item : report.unreadable)
        std::fprintf(stderr, "unreadable: %s\n", item.c_str());
    if (!report.logError.empty())
        fail("the log could not be written: " + report.logError);
    std::string stores;
    for (const std::string& store : request.stores)
        stores += (stores.empty() ? "" : ", ") + store;
    const std::string catalogue = request.login.database + " at " + report.server;
    const std::string took = " (" + std::to_string(static_cast<long long>(report.seconds + 0.5)) + " s)";
    if (options.dryRun)
        std::printf("Dry run of %s against %s, nothing written: %s%s\n", stores.c_str(), catalogue.c_str(),
                    SummaryCounts(report.counts).c_str(), took.c_str());
    else
        std::printf("Synced %s into %s: %s%s%s\n", stores.c_str(), catalogue.c_str(),
                    SummaryCounts(report.counts).c_str(), took.c_str(),
                    report.interrupted ? ", interrupted: nothing was removed" : "");
    std::fflush(stdout);
    if (report.interrupted)
        return 128 + g_signal.load();
    return report.exitCode();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The user's own configuration is looked for where the window keeps it.
    QCoreApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    catchSignals();

    SyncOptions options;
    try {
        options = ParseSyncOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsage& e) {
        fail(std::string(e.what()) + " (try --help)");
        return kSetup;
    }
    if (options.help) {
        std::fputs(SyncUsage().c_str(), stdout);
        return kDone;
    }
    if (options.version) {
        std::printf("atlasdesk-sync %s\n", VersionString(4).c_str());
        return kDone;
    }
    try {
        return sync(options);
    } catch (const ESyncRefused& e) {
        fail(e.what());
        return kRefused;
    } catch (const std::exception& e) {
        fail(e.what());
        return kSetup;
    } catch (...) {
        fail("an unknown error ended the sync");
        return kSetup;
    }
}
