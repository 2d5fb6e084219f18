#pragma once
// One run of atlasdesk-sync: keeps the Chartroom catalogue equal to one or
// more stores, unattended.
//
//  1. Takes the catalogue's sync lock (GET_LOCK on the server): two syncs of
//     one catalogue never write at once, from whichever machines.
//  2. Walks the stores (the tree's own listing rules) and looks at every
//     data set's metadata file and data: size and modification time.
//  3. Reads and writes only the data sets that are new or changed since the
//     last run (table SyncState), through the row builder of "&Add to
//     chartroom", in batches: each batch, with the state of its data sets,
//     is one transaction, so a run killed at any moment leaves every data
//     set with its old rows or its new ones, and the next run ends the work.
//  4. Removes the rows of data sets that are gone, or now flagged Ignore,
//     but never below a folder that could not be read or did not answer,
//     and nothing at all when more rows would go than the limit.
//
// The run is driven from one thread (the command's); it reads the metadata
// documents on threads of its own.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/ChartroomConnection.h"
#include "support/Errors.h"
#include "support/HTMLlogOps.h"

struct SyncRequest {
    std::vector<std::string> stores;  // store roots (absolute)
    ChartroomSettings login;          // with the password
    bool dryRun = false;              // tell what would change; write nothing
    bool keepRemoved = false;         // remove no row
    bool full = false;                // read every data set, changed or not
    std::optional<long long> maxRemovals; // none: 10% of the catalogue's rows, at least 100
    std::chrono::milliseconds folderTimeout{60000};
    int waitSeconds = 0;              // for another sync of the catalogue to end
    std::optional<tHTMLLog> log;      // the HTML log to append to; none: no log
};

struct SyncCounts {
    long long added = 0;      // rows written for data sets the catalogue did not have
    long long updated = 0;    // rows written again for changed data sets
    long long removed = 0;    // rows taken out (data set gone or flagged Ignore)
    long long unchanged = 0;  // rows left as they were
    long long unreadable = 0; // data sets whose metadata could not be read (their rows kept)
    long long ignored = 0;    // data sets flagged Ignore (no row)
    long long withoutMetadata = 0; // data sets without a metadata file (no row)
    // Data sets the catalogue does not list (below folders numbered 80 and
    // over, outside numbered folders, without metadata), whose rows in the
    // team's search were written, and removed, by this run.
    long long searchOnly = 0;
    long long searchOnlyRemoved = 0;
};

struct SyncReport {
    SyncCounts counts;
    // "PATH: reason" of every metadata document and folder that could not
    // be read (nothing below such a folder was removed).
    std::vector<std::string> unreadable;
    // Why removals were refused (the limit, or a store that showed no data
    // set); empty when they were not.
    std::string removalsRefused;
    // The log could not be written (the message says why).
    std::string logError;
    bool interrupted = false;
    double seconds = 0;
    // "host:port" of the catalogue's server the run used (with several,
    // the first that answered).
    std::string server;

    // 0 all done; 1 done, but documents or folders could not be read; 2
    // removals refused; 3 the log could not be written.
    int exitCode() const;
};

// The run was refused before it changed anything: another sync holds the
// lock, or a store is an empty folder (a share that is not mounted).
class ESyncRefused : public Exception {
public:
    using Exception::Exception;
};

// The configuration, a store or the catalogue cannot be used as they are
// (the message names what and why; connection errors name host and port).
class ESyncSetup : public Exception {
public:
    using Exception::Exception;
};

// How a run tells what it does. Called on the run's thread.
class SyncProgress {
public:
    virtual ~SyncProgress() = default;
    // A new stage of the run ("Walking /srv/geo").
    virtual void stage(const std::string& text) = 0;
    // While walking: the data sets found so far (at most ten times a second).
    virtual void walking(long long datasets) = 0;
    // While writing: `done` of `total` data sets written.
    virtual void writing(long long done, long long total) = 0;
    // Something the operator should read (an unreadable folder, a refusal).
    virtual void note(const std::string& text) = 0;
    // One change, "add PATH", "update PATH", "remove PATH", "ignore PATH"
    // (said as "would ..." in a dry run).
    virtual void change(const std::string& text) = 0;
};

// Progress that nobody reads (a run linked into a test or a benchmark).
class SilentSyncProgress : public SyncProgress {
public:
    void stage(const std::string&) override {}
    void walking(long long) override {}
    void writing(long long, long long) override {}
    void note(const std::string&) override {}
    void change(const std::string&) override {}
};

// Runs the sync of `request`. `interrupted` is asked between folders and
// between batches: a run told to stop ends after its current batch, having
// removed nothing. Throws ESyncRefused and ESyncSetup as above, and the
// catalogue's errors met while writing (with what was written so far in
// the log).
SyncReport RunSync(const SyncRequest& request, SyncProgress& progress, const std::function<bool()>& interrupted);

// The summary line: "12 added, 3 updated, 1 removed, 19984 unchanged, 0
// unreadable, 2 ignored", then, when there were any, "; for the search
// only: 40 written, 2 removed".
std::string SummaryCounts(const SyncCounts& counts);
