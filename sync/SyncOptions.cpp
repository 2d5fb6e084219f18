#include "sync/SyncOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace {

// A whole number from `minimum` up, for option `name`.
long long number(const std::string& name, const std::string& text, long long minimum)
{
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || value < minimum)
        throw EUsage(name + " needs a whole number of at least " + std::to_string(minimum) + ", not '" + text + "'");
    return value;
}

int seconds(const std::string& name, const std::string& text, long long minimum)
{
    const long long value = number(name, text, minimum);
    if (value > 86400 * 7)
        throw EUsage(name + " takes at most a week (604800 seconds), not " + text);
    return static_cast<int>(value);
}

} // namespace

SyncOptions ParseSyncOptions(const std::vector<std::string>& args)
{
    SyncOptions options;
    using Flag = std::function<void()>;
    using Valued = std::function<void(const std::string&, const std::string&)>;
    const std::map<std::string, Flag> flags = {
        {"--dry-run", [&] { options.dryRun = true; }},
        {"--keep-removed", [&] { options.keepRemoved = true; }},
        {"--full", [&] { options.full = true; }},
        {"--verbose", [&] { options.verbose = true; }},
        {"--help", [&] { options.help = true; }},
        {"-h", [&] { options.help = true; }},
        {"--version", [&] { options.version = true; }},
    };
    const std::map<std::string, Valued> valued = {
        {"--config", [&](const std::string&, const std::string& v) { options.configFile = v; }},
        {"--log", [&](const std::string&, const std::string& v) { options.logFile = v; }},
        {"--password-file", [&](const std::string&, const std::string& v) { options.passwordFile = v; }},
        {"--max-removals",
         [&](const std::string& n, const std::string& v) { options.maxRemovals = number(n, v, 0); }},
        {"--wait", [&](const std::string& n, const std::string& v) { options.waitSeconds = seconds(n, v, 0); }},
        {"--folder-timeout",
         [&](const std::string& n, const std::string& v) { options.folderTimeoutSeconds = seconds(n, v, 1); }},
    };

    bool onlyStores = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyStores || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty())
                throw EUsage("a store cannot be the empty path");
            options.stores.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyStores = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--password")
            throw EUsage("the password is never taken from the command line, where other users can read it: "
                         "set ATLASDESK_CHARTROOM_PASSWORD or use --password-file");
        if (const auto flag = flags.find(name); flag != flags.end()) {
            if (equals != std::string::npos)
                throw EUsage(name + " takes no value");
            flag->second();
        } else if (const auto option = valued.find(name); option != valued.end()) {
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else {
                if (i + 1 >= args.size())
                    throw EUsage(name + " needs a value");
                value = args[++i];
            }
            option->second(name, value);
        } else {
            throw EUsage("unknown option " + name);
        }
    }
    if (options.stores.empty() && !options.help && !options.version)
        throw EUsage("name the store to sync (its root folder)");
    return options;
}

std::string SyncUsage()
{
    return "usage: atlasdesk-sync [--config FILE] [--dry-run] [--keep-removed] [--max-removals N]\n"
           "                      [--log FILE|FOLDER] [--password-file FILE] [--wait SECONDS]\n"
           "                      [--folder-timeout SECONDS] [--full] [--verbose] STORE...\n"
           "\n"
           "Keeps the Chartroom catalogue equal to the stores: adds and updates the rows of new\n"
           "and changed data sets and removes those of data sets that are gone or flagged Ignore.\n"
           "\n"
           "  --config FILE           the configuration to read (default: as the window finds it)\n"
           "  --dry-run               print what would change; write nothing\n"
           "  --keep-removed          remove no row\n"
           "  --max-removals N        remove at most N rows (default: 10% of the catalogue, at least 100);\n"
           "                          a run that would remove more removes nothing and exits with 2\n"
           "  --log FILE|FOLDER       the HTML log to append to (a folder: its file of the day)\n"
           "  --password-file FILE    the catalogue password (the file must be readable by its owner only);\n"
           "                          otherwise ATLASDESK_CHARTROOM_PASSWORD, or a prompt on a terminal\n"
           "  --wait SECONDS          wait so long for another sync of the catalogue to end (default 0)\n"
           "  --folder-timeout SECONDS  give up a folder that does not answer (default 60)\n"
           "  --full                  read every data set again, changed or not\n"
           "  --verbose               print every change\n"
           "\n"
           "Exit codes: 0 done; 1 done, but documents or folders could not be read (listed);\n"
           "2 refused (removal limit, another sync running, an empty store); 3 configuration or\n"
           "connection error; 130 or 143 interrupted.\n";
}
