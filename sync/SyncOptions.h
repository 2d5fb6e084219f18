#pragma once
// The command line of atlasdesk-sync.
#include <optional>
#include <string>
#include <vector>

#include "support/Errors.h"

struct SyncOptions {
    std::vector<std::string> stores;          // the store roots, as given
    std::optional<std::string> configFile;    // --config: instead of the window's search order
    bool dryRun = false;                      // --dry-run: tell what would change, write nothing
    bool keepRemoved = false;                 // --keep-removed: remove no row
    std::optional<long long> maxRemovals;     // --max-removals: the removal limit
    std::optional<std::string> logFile;       // --log: a file, or a folder for a file per day
    std::optional<std::string> passwordFile;  // --password-file
    int waitSeconds = 0;                      // --wait: for another sync of the catalogue to end
    int folderTimeoutSeconds = 60;            // --folder-timeout: give up a folder that does not answer
    bool full = false;                        // --full: read every data set, changed or not
    bool verbose = false;                     // --verbose: every change on the standard output
    bool help = false;                        // --help
    bool version = false;                     // --version
};

// The command line was not understood; the message says why.
class EUsage : public Exception {
public:
    using Exception::Exception;
};

// The options of `args` (without the program's name). Throws EUsage.
SyncOptions ParseSyncOptions(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string SyncUsage();
