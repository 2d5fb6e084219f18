#include "sync/CatalogueSync.h"

#include <dirent.h>

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/CatalogueOps.h"
#include "catalogue/DataSetRows.h"
#include "model/AtlasdeskOps.h"
#include "model/StoreWalk.h"
#include "support/FileOps.h"
#include "support/OrderedWork.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "sync/SyncState.h"

namespace {

using Clock = std::chrono::steady_clock;

// Data sets per transaction, and the longest a transaction stays open
// while documents are read (a slow share must not hold rows locked long).
constexpr size_t kBatchDataSets = 200;
constexpr auto kBatchTime = std::chrono::seconds(1);
// Rows per removing transaction.
constexpr size_t kRemovalsPerBatch = 500;
// How often the walk's count is told.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// The longest single wait for the lock: GET_LOCK is asked again until the
// wait the operator allowed has passed, so no statement outlives the
// connection's timeout.
constexpr int kLockStepSeconds = 5;

// The name of the catalogue's sync lock: one per database of the server.
const std::string kLockName = "LEFT(CONCAT('atlasdesk-sync:',DATABASE()),64)";

// A data set the walk found. Kept for every data set of the stores, so
// only what the comparison with the sync state needs; the catalogue item
// and place are made again for the few that are read.
struct FoundDataSet {
    std::string path;    // the item
    std::string xmlPath; // its metadata
    std::string key;
    SeenFiles seen;
    uint8_t category = 0;
    unsigned store = 0;  // index of its store in the request
    bool metadataUnreadable = false;
    // Its rows: All for one the catalogue lists (below a first folder
    // numbered under 80, with metadata); the others only in the team's
    // search, when the catalogue has its tables.
    RowsWanted rows = RowsWanted::All;
};

CatalogueItem itemOf(uint8_t category, const std::string& path, const std::string& xmlPath)
{
    CatalogueItem item;
    item.Category = category;
    if (category == catDirectory) {
        const std::string folder = ExcludeTrailingPathDelimiter(path);
        item.Dir = ExtractFilePath(folder);
        item.Name = ExtractFileName(folder) + PathDelim;
        return item;
    }
    item.Dir = ExtractFilePath(path);
    item.Name = ExtractFileName(path);
    item.Ext = LowerAscii(ExtractFileExt(item.Name));
    // A grid is named after its folder, which holds its metadata.
    if (item.Ext == ".aux" && xmlPath != path + ".xml")
        item.Name.resize(item.Name.size() - item.Ext.size());
    return item;
}

// What a first look at a store root found. Looked at in the background: a
// share that does not answer must not hold the run for ever.
struct RootLook {
    enum Kind { Entries, Empty, NotFolder, Unreadable, NoAnswer } kind = NoAnswer;
    std::string error;
};

RootLook lookAtRoot(const std::string& root)
{
    RootLook look;
    DIR* dir = ::opendir(root.c_str());
    if (!dir) {
        look.kind = errno == ENOENT || errno == ENOTDIR ? RootLook::NotFolder : RootLook::Unreadable;
        look.error = std::strerror(errno);
        return look;
    }
    look.kind = RootLook::Empty;
    while (const dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (!(n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))) {
            look.kind = RootLook::Entries;
            break;
        }
    }
    ::closedir(dir);
    return look;
}

void checkStores(const std::vector<std::string>& stores, std::chrono::milliseconds timeout)
{
    // Every root is looked at at once; each answer is waited for at most
    // `timeout`.
    OrderedWork<RootLook> looks(stores.size(), stores.size(),
                                [stores](size_t i, const std::function<bool()>&) { return lookAtRoot(stores[i]); });
    for (const std::string& store : stores) {
        RootLook look; // no answer, unless the look ends in time
        looks.takeWithin(look, timeout);
        switch (look.kind) {
        case RootLook::Entries:
            break;
        case RootLook::Empty:
            throw ESyncRefused("The store " + store +
                               " is an empty folder: the share is probably not mounted. Nothing was changed.");
        case RootLook::NotFolder:
            throw ESyncSetup("The store " + store + " is not a folder (" + look.error + ")");
        case RootLook::Unreadable:
            throw ESyncSetup("The store " + store + " cannot be read: " + look.error);
        case RootLook::NoAnswer:
            throw ESyncSetup("The store " + store + " did not answer within " +
                             std::to_string(timeout.count() / 1000) + " s");
        }
    }
}

// The HTML log; a line that cannot be written is kept as the report's
// log error, and the run goes on.
class RunLog {
public:
    RunLog(const std::optional<tHTMLLog>& log, SyncReport& report) : m_log(log), m_report(report) {}
    void line(const std::string& text)
    {
        if (!m_log || !m_report.logError.empty())
            return;
        try {
            AddLineBR(*m_log, text);
        } catch (const std::exception& e) {
            m_report.logError = e.what();
        }
    }

private:
    const std::optional<tHTMLLog>& m_log;
    SyncReport& m_report;
};

std::string nowText()
{
    return DateTimeText(QDateTime::currentDateTime());
}

long long rowCount(ChartroomConnection& connection)
{
    long long count = 0;
    connection.query("SELECT ROW_COUNT()", [&](const QSqlQuery& row) { count = row.value(0).toLongLong(); });
    return count;
}

// Takes the sync lock of the catalogue, waiting at most `waitSeconds`.
// Throws ESyncRefused naming the holder when another sync keeps it.
void takeLock(ChartroomConnection& connection, const ChartroomSettings& login, int waitSeconds,
              SyncProgress& progress)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    bool told = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()).count();
        const long long step = std::clamp<long long>(left, 0, kLockStepSeconds);
        QVariant got;
        connection.query("SELECT GET_LOCK(" + kLockName + "," + std::to_string(step) + ")",
                         [&](const QSqlQuery& row) { got = row.value(0); });
        if (got.isNull())
            throw ESyncSetup("The catalogue at " + connection.where() + " refused its sync lock (GET_LOCK)");
        if (got.toInt() == 1)
            return;
        if (Clock::now() >= deadline)
            break;
        if (!told)
            progress.stage("Waiting for another sync of " + login.database + " to end");
        told = true;
    }
    std::string holder;
    connection.query("SELECT p.ID,p.HOST,p.TIME FROM information_schema.PROCESSLIST p WHERE p.ID=IS_USED_LOCK(" +
                         kLockName + ")",
                     [&](const QSqlQuery& row) {
                         holder = " (server connection " + row.value(0).toString().toStdString() + " from " +
                                  row.value(1).toString().toStdString() + ", for " +
                                  row.value(2).toString().toStdString() + " s)";
                     });
    throw ESyncRefused("Another sync of the catalogue " + login.database + " at " + connection.where() +
                       " is running" + holder + "; nothing was done" +
                       (waitSeconds > 0 ? " after waiting " + std::to_string(waitSeconds) + " s" : std::string()) +
                       ".");
}

// Every folder prefix of a catalogue place ("\a\b\name" gives "\", "\a\"
// and "\a\b\"; a folder's own row "\a\b\" also gives itself).
bool underAny(const std::string& place, const std::unordered_set<std::string>& prefixes)
{
    if (prefixes.empty())
        return false;
    for (size_t at = place.find('\\'); at != std::string::npos; at = place.find('\\', at + 1))
        if (prefixes.count(place.substr(0, at + 1)))
            return true;
    return false;
}

// The catalogue's sync state, read on a thread and a connection of its own.
// Its reading is always waited for, also when the run ends early: the
// thread's connection must be closed before the program ends.
class SnapshotReading {
public:
    SnapshotReading(const ChartroomSettings& login, const std::string& recipe)
        : m_work(1, 1, [login, recipe](size_t, const std::function<bool()>&) {
              ChartroomConnection connection(login);
              connection.open();
              CatalogueSnapshot snapshot = LoadCatalogueSnapshot(connection, recipe);
              connection.close();
              return snapshot;
          })
    {
    }
    ~SnapshotReading()
    {
        if (m_work.allTaken())
            return;
        try {
            CatalogueSnapshot unused;
            m_work.take(unused);
        } catch (...) {
            // The run ends anyway; its own error is the one told.
        }
    }
    SnapshotReading(const SnapshotReading&) = delete;
    SnapshotReading& operator=(const SnapshotReading&) = delete;

    // Waits for the state; throws what reading it threw.
    CatalogueSnapshot take()
    {
        CatalogueSnapshot snapshot;
        m_work.take(snapshot);
        return snapshot;
    }

private:
    OrderedWork<CatalogueSnapshot> m_work;
};

class SyncRun {
public:
    SyncRun(const SyncRequest& request, SyncProgress& progress, const std::function<bool()>& interrupted)
        : m_request(request), m_progress(progress), m_interrupted(interrupted), m_log(request.log, m_report),
          m_context(ReadThemes()), m_connection(request.login)
    {
    }

    SyncReport run()
    {
        const Clock::time_point started = Clock::now();
        checkStores(m_request.stores, m_request.folderTimeout);
        try {
            m_connection.open();
        } catch (const std::exception& e) {
            throw ESyncSetup(std::string("Cannot connect to the Chartroom catalogue: ") + e.what());
        }
        m_report.server = m_connection.where();
        if (!m_request.login.otherHosts.empty())
            m_progress.stage("Using the catalogue's server " + m_report.server);
        if (!HasSyncStateTable(m_connection))
            throw ESyncSetup("The catalogue " + m_request.login.database + " at " + m_connection.where() +
                             " has no table SyncState: create it as the README says (data/chartroom.sql)");
        m_connection.query(SearchTablesCountStatement(),
                           [&](const QSqlQuery& row) { m_context.setSearchTables(row.value(0).toInt() == 2); });
        if (!m_context.searchTables()) {
            m_progress.note("The catalogue has no search tables: the team's search is not kept (run "
                            "data/chartroom.sql again, as the README says)");
            m_log.line("*** The catalogue has no search tables: the team's search was not updated. ***");
        }
        // Data sets written without search rows are written again once the tables are there.
        m_recipe = RowRecipe(m_context.themes(), m_context.searchTables());
        if (!m_request.dryRun)
            takeLock(m_connection, m_request.login, m_request.waitSeconds, m_progress);
        try {
            work();
        } catch (const std::exception& e) {
            m_log.line("*** The sync broke off: " + std::string(e.what()) + " ***");
            logEnd(started);
            throw;
        }
        logEnd(started);
        if (!m_request.dryRun && m_connection.isAlive())
            m_connection.query("SELECT RELEASE_LOCK(" + kLockName + ")", [](const QSqlQuery&) {});
        m_connection.close();
        m_report.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        return std::move(m_report);
    }

private:
    bool stopAsked() const { return m_interrupted && m_interrupted(); }

    void work()
    {
        // The catalogue's sync state is read while the stores are walked:
        // on a connection of its own, from a thread of its own (a Qt SQL
        // connection stays on the thread that made it). Nothing is written
        // before both are in, so it is the state the lock found.
        SnapshotReading reading(m_request.login, m_recipe);
        for (unsigned store = 0; store < m_request.stores.size(); ++store)
            if (!walk(store)) {
                m_report.interrupted = true;
                return;
            }
        m_progress.stage("Reading the catalogue's sync state");
        m_snapshot = reading.take();
        std::vector<size_t> toRead = plan();
        write(toRead);
        if (m_report.interrupted)
            return;
        remove();
        if (m_report.interrupted || m_request.dryRun)
            return;
        if (const auto themes = ThemesStatement(m_context))
            m_connection.execute(*themes);
        if (const auto sources = SourcesStatement(m_context))
            m_connection.execute(*sources);
        const SyncCounts& c = m_report.counts;
        if (c.added + c.updated + c.removed > 0)
            m_connection.execute("ALTER TABLE Main COMMENT='Data added by Atlasdesk " + VersionString(4) + " on " +
                                 nowText() + "'");
        // The windows that search the catalogue say how fresh it is.
        if (m_context.searchTables())
            m_connection.execute(SearchSyncedStatement());
    }

    // Walks store `index` of the request into m_found. False when interrupted.
    bool walk(unsigned index)
    {
        const std::string& store = m_request.stores[index];
        const std::string& root = m_roots.emplace_back(NormalisedServerRoot(store));
        m_progress.stage("Walking " + store);
        WalkOptions options;
        options.statData = true;
        options.folderTimeout = m_request.folderTimeout;
        options.unreadable = [&](const std::string& dir, const QString& reason) {
            const std::string text = dir + ": " + reason.toStdString();
            m_report.unreadable.push_back(text);
            m_progress.note("Folder not read, nothing below it is removed: " + text);
            m_log.line("*** Folder could not be read: " + text + ". Nothing below it was removed. ***");
            CatalogueItem folder;
            folder.Dir = IncludeTrailingPathDelimiter(dir);
            m_protected.insert(CatalogueStoredText(CataloguePlaceOf(folder, root).pathFile));
        };
        // Folders numbered 80 and above hold archives and work in progress,
        // which the catalogue does not list: without the search tables
        // (which cover every data set) they are not walked.
        if (!m_context.searchTables())
            options.enter = [&root](const std::string& dir) { return FirstFolderNumber(dir, root) < 80; };
        Clock::time_point told = Clock::now();
        const bool complete = walkStore(
            root, m_interrupted,
            [&](WalkedDataset&& d) {
                found(index, std::move(d));
                if (Clock::now() - told >= kProgressInterval) {
                    m_progress.walking(m_walked);
                    told = Clock::now();
                }
            },
            options);
        m_progress.walking(m_walked);
        return complete;
    }

    void found(unsigned store, WalkedDataset&& d)
    {
        ++m_walked;
        const std::string& root = m_roots[store];
        const CatalogueItem item = itemOf(d.category, d.path, d.xmlPath);
        const bool numbered = FirstFolderNumber(CatalogueSeparators(item.Dir), root) < 80;
        const bool hasMetadata = d.size >= 0 || d.metadataUnreadable;
        if (numbered && !hasMetadata)
            ++m_report.counts.withoutMetadata;
        if (!(numbered && hasMetadata) && !m_context.searchTables())
            return;
        FoundDataSet f;
        f.rows = numbered && hasMetadata ? RowsWanted::All : hasMetadata ? RowsWanted::Search : RowsWanted::SearchByName;
        f.key = DataSetKeyOf(CataloguePlaceOf(item, root));
        f.path = std::move(d.path);
        f.xmlPath = std::move(d.xmlPath);
        f.seen = {d.size, d.mtime, d.dataSize, d.dataMtime};
        f.category = d.category;
        f.store = store;
        f.metadataUnreadable = d.metadataUnreadable;
        if (!m_foundKeys.insert(f.key).second) {
            m_progress.note(f.path + " has the catalogue place of a data set met before (in another store): passed over");
            return;
        }
        if (f.rows != RowsWanted::All)
            m_searchOnlyKeys.insert(f.key);
        m_found.push_back(std::move(f));
    }

    // Decides what is read and which rows go; returns the data sets to read.
    std::vector<size_t> plan()
    {
        std::vector<size_t> toRead;
        for (size_t i = 0; i < m_found.size(); ++i) {
            const FoundDataSet& f = m_found[i];
            if (f.metadataUnreadable) {
                unreadableDocument(f.xmlPath, "it cannot be looked at");
                continue;
            }
            const auto state = m_snapshot.state.find(f.key);
            const bool hasRow = m_snapshot.mainKeys.count(f.key) > 0;
            if (!m_request.full && state != m_snapshot.state.end() && state->second.seen == f.seen &&
                state->second.sameRecipe && state->second.listed == hasRow) {
                if (f.rows == RowsWanted::All)
                    ++(hasRow ? m_report.counts.unchanged : m_report.counts.ignored);
                continue;
            }
            toRead.push_back(i);
        }

        // Rows whose data set was not found (or is found but no longer
        // listed: its metadata went), and states of data sets that are gone
        // and have no row (flagged Ignore before, or only searched).
        std::vector<std::string> goneRows, goneStates;
        for (const std::string& key : m_snapshot.mainKeys)
            if (!m_foundKeys.count(key) || m_searchOnlyKeys.count(key))
                goneRows.push_back(key);
        for (const auto& [key, state] : m_snapshot.state)
            if (!m_foundKeys.count(key) && !m_snapshot.mainKeys.count(key))
                goneStates.push_back(key);
        if (m_request.keepRemoved || (goneRows.empty() && goneStates.empty()))
            return toRead;

        std::vector<std::string> candidates = goneRows;
        candidates.insert(candidates.end(), goneStates.begin(), goneStates.end());
        m_places = LoadPlaces(m_connection, candidates);
        long long kept = 0;
        for (const std::string& key : goneRows) {
            if (underAny(m_places[key], m_protected))
                ++kept;
            else
                m_goneRows.push_back(key);
        }
        for (const std::string& key : goneStates)
            if (!underAny(m_places[key], m_protected))
                m_goneStates.push_back(key);
        if (kept > 0)
            m_progress.note(std::to_string(kept) + " rows below folders that could not be read are kept");

        const long long rows = static_cast<long long>(m_snapshot.mainKeys.size());
        const long long limit = m_request.maxRemovals.value_or(std::max<long long>(100, rows / 10));
        const long long removals = static_cast<long long>(m_goneRows.size());
        if (removals > limit) {
            m_report.removalsRefused = std::to_string(removals) + " rows of the catalogue's " + std::to_string(rows) +
                                       " would be removed, more than the limit of " + std::to_string(limit) +
                                       ": nothing was removed. If the store is complete, run again with "
                                       "--max-removals " +
                                       std::to_string(removals) + ".";
        } else if (m_found.empty() && removals > 0 && !m_request.maxRemovals) {
            m_report.removalsRefused = "The stores show no data set, while the catalogue has " + std::to_string(rows) +
                                       " rows: nothing was removed (is the share mounted?). If the stores are "
                                       "really empty, run again with --max-removals " +
                                       std::to_string(removals) + ".";
        }
        if (!m_report.removalsRefused.empty()) {
            m_progress.note(m_report.removalsRefused);
            m_log.line("*** " + m_report.removalsRefused + " ***");
            m_goneRows.clear();
            m_goneStates.clear();
        }
        return toRead;
    }

    void unreadableDocument(const std::string& xmlPath, const std::string& why)
    {
        ++m_report.counts.unreadable;
        m_report.unreadable.push_back(xmlPath + ": " + why);
        m_log.line("*** XML reading error for " + xmlPath + ". This file was not uploaded. ***");
    }

    void change(const std::string& what, const std::string& path)
    {
        m_progress.change((m_request.dryRun ? "would " : "") + what + " " + path);
    }

    // What one transaction writes, counted once it is committed.
    struct Batch {
        std::vector<StateWrite> states;
        std::vector<std::string> unlisted; // keys of rows to take out (flagged Ignore)
        std::vector<std::pair<std::string, std::string>> changes; // what, path
        SyncCounts counts;
        size_t dataSets = 0;
        Clock::time_point opened;
    };

    void write(const std::vector<size_t>& toRead)
    {
        if (toRead.empty())
            return;
        m_progress.stage((m_request.dryRun ? "Reading " : "Writing ") + std::to_string(toRead.size()) +
                         " new or changed data sets");
        struct Job {
            std::string xmlPath;
            CatalogueItem item;
            std::string root;
            RowsWanted rows;
        };
        auto jobs = std::make_shared<std::vector<Job>>();
        jobs->reserve(toRead.size());
        for (size_t i : toRead) {
            const FoundDataSet& f = m_found[i];
            jobs->push_back({f.xmlPath, itemOf(f.category, f.path, f.xmlPath), m_roots[f.store], f.rows});
        }
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
        OrderedWork<PreparedDataSet> reading(
            jobs->size(), threads,
            [jobs, themes = m_context.themes(),
             search = std::make_shared<const SearchFieldReader>(SearchFieldPaths::fromConfiguration())](
                size_t i, const std::function<bool()>&) {
                const Job& job = (*jobs)[i];
                return PrepareDataSet(job.xmlPath, job.item, job.root, themes, *search, job.rows);
            },
            256);

        const StatementExecutor execute = [this](const std::string& statement) {
            if (!m_request.dryRun)
                m_connection.execute(statement);
        };
        m_keepFrom = RecordNumberNow();
        std::optional<Batch> batch;
        const long long total = static_cast<long long>(toRead.size());
        long long done = 0;
        for (size_t n = 0; n < toRead.size(); ++n) {
            if (!batch) {
                if (stopAsked()) {
                    m_report.interrupted = true;
                    return;
                }
                execute("START TRANSACTION");
                batch.emplace();
                batch->opened = Clock::now();
            }
            PreparedDataSet prepared;
            reading.take(prepared);
            const FoundDataSet& f = m_found[toRead[n]];
            const Job& job = (*jobs)[n];
            const bool hasRow = m_snapshot.mainKeys.count(f.key) > 0;
            switch (prepared.outcome) {
            case PreparedDataSet::Outcome::Failed:
                std::rethrow_exception(prepared.error);
            case PreparedDataSet::Outcome::Unreadable:
                unreadableDocument(f.xmlPath, prepared.readError);
                break;
            case PreparedDataSet::Outcome::Rows:
                WriteDataSetRows(prepared.rows, m_context, execute);
                if (f.rows != RowsWanted::All) {
                    // Its Main row, if it still has one, goes with the removals.
                    batch->states.push_back({CataloguePlaceOf(job.item, job.root), f.seen, false});
                    ++batch->counts.searchOnly;
                    break;
                }
                batch->states.push_back({CataloguePlaceOf(job.item, job.root), f.seen, true});
                ++(hasRow ? batch->counts.updated : batch->counts.added);
                batch->changes.emplace_back(hasRow ? "update" : "add", f.path);
                break;
            case PreparedDataSet::Outcome::Ignored:
                ++batch->counts.ignored;
                if (hasRow && m_request.keepRemoved)
                    break; // the row stays; the flag is read again next time
                // Its search rows: the team's search finds it as the store's own index does.
                WriteDataSetRows(prepared.rows, m_context, execute);
                if (hasRow) {
                    batch->unlisted.push_back(f.key);
                    batch->changes.emplace_back("remove (flagged Ignore)", f.path);
                }
                batch->states.push_back({CataloguePlaceOf(job.item, job.root), f.seen, false});
                break;
            }
            ++batch->dataSets;
            ++done;
            if (batch->dataSets >= kBatchDataSets || Clock::now() - batch->opened >= kBatchTime || n + 1 == toRead.size()) {
                commit(*batch);
                batch.reset();
                m_progress.writing(done, total);
            }
        }
    }

    void commit(Batch& batch)
    {
        long long unlisted = static_cast<long long>(batch.unlisted.size());
        if (!m_request.dryRun) {
            if (!batch.unlisted.empty()) {
                for (const std::string& statement : RemoveDataSetsStatements(batch.unlisted, m_keepFrom, m_context.searchTables()))
                    m_connection.execute(statement);
                unlisted = rowCount(m_connection);
            }
            if (!batch.states.empty())
                m_connection.execute(StateRowsStatement(batch.states, m_recipe));
            m_connection.execute("COMMIT");
        }
        SyncCounts& c = m_report.counts;
        c.added += batch.counts.added;
        c.updated += batch.counts.updated;
        c.ignored += batch.counts.ignored;
        c.searchOnly += batch.counts.searchOnly;
        c.removed += unlisted;
        for (const auto& [what, path] : batch.changes) {
            change(what, path);
            if (!m_request.dryRun && what.rfind("remove", 0) == 0)
                m_log.line("- " + path + " will not be exported to chartroom: its row was removed.");
        }
    }

    // Takes out the rows of data sets that are gone, in batches, each with
    // the state of its data sets.
    void remove()
    {
        if (m_goneRows.empty() && m_goneStates.empty())
            return;
        if (!m_goneRows.empty())
            m_progress.stage((m_request.dryRun ? "Would remove " : "Removing ") + std::to_string(m_goneRows.size()) +
                             " rows of data sets that are gone");
        if (m_keepFrom == 0)
            m_keepFrom = RecordNumberNow();
        for (size_t from = 0; from < m_goneRows.size(); from += kRemovalsPerBatch) {
            if (stopAsked()) {
                m_report.interrupted = true;
                return;
            }
            const std::vector<std::string> keys(m_goneRows.begin() + static_cast<std::ptrdiff_t>(from),
                                                m_goneRows.begin() +
                                                    static_cast<std::ptrdiff_t>(std::min(m_goneRows.size(), from + kRemovalsPerBatch)));
            long long removed = static_cast<long long>(keys.size());
            if (!m_request.dryRun) {
                m_connection.execute("START TRANSACTION");
                for (const std::string& statement : RemoveDataSetsStatements(keys, m_keepFrom, m_context.searchTables()))
                    m_connection.execute(statement);
                removed = rowCount(m_connection);
                // A data set still found (now only searched) keeps the state this run wrote.
                std::vector<std::string> gone;
                for (const std::string& key : keys)
                    if (!m_foundKeys.count(key))
                        gone.push_back(key);
                if (!gone.empty())
                    m_connection.execute(ForgetStateStatement(gone));
                m_connection.execute("COMMIT");
            }
            m_report.counts.removed += removed;
            for (const std::string& key : keys) {
                change("remove", m_places[key]);
                if (!m_request.dryRun)
                    m_log.line("- Removed from Chartroom (data set or metadata gone): " + m_places[key]);
            }
        }
        if (m_request.dryRun)
            return;
        // Data sets without a Main row that are gone: their search rows go
        // with their state.
        for (size_t from = 0; from < m_goneStates.size(); from += kRemovalsPerBatch) {
            if (stopAsked()) {
                m_report.interrupted = true;
                return;
            }
            const std::vector<std::string> keys(
                m_goneStates.begin() + static_cast<std::ptrdiff_t>(from),
                m_goneStates.begin() + static_cast<std::ptrdiff_t>(std::min(m_goneStates.size(), from + kRemovalsPerBatch)));
            m_connection.execute("START TRANSACTION");
            if (m_context.searchTables()) {
                std::string list;
                for (const std::string& key : keys)
                    list += (list.empty() ? "" : ",") + KeyLiteral(key);
                m_connection.execute(RemoveSearchRowsStatement(list, m_keepFrom));
                m_report.counts.searchOnlyRemoved += rowCount(m_connection);
            }
            m_connection.execute(ForgetStateStatement(keys));
            m_connection.execute("COMMIT");
        }
    }

    void logEnd(Clock::time_point started)
    {
        if (m_request.dryRun)
            return;
        const SyncCounts& c = m_report.counts;
        m_log.line("- Data added to Chartroom: " + std::to_string(c.added + c.updated) + " records added on " +
                   nowText());
        std::string stores;
        for (const std::string& store : m_request.stores)
            stores += (stores.empty() ? "" : ", ") + store;
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        m_log.line("- Chartroom sync of " + stores + ": " + SummaryCounts(c) + " in " +
                   std::to_string(static_cast<long long>(seconds + 0.5)) + " s" +
                   (m_report.interrupted ? " (interrupted: nothing was removed)" : ""));
    }

    const SyncRequest& m_request;
    SyncProgress& m_progress;
    std::function<bool()> m_interrupted;
    SyncReport m_report;
    RunLog m_log;
    UploadContext m_context;
    std::string m_recipe;
    ChartroomConnection m_connection;

    CatalogueSnapshot m_snapshot;
    std::vector<std::string> m_roots; // of the stores walked, normalised
    std::vector<FoundDataSet> m_found;
    std::unordered_set<std::string> m_foundKeys;
    std::unordered_set<std::string> m_searchOnlyKeys; // found, not listed by the catalogue
    long long m_walked = 0;
    std::unordered_set<std::string> m_protected; // catalogue prefixes of folders not read
    std::vector<std::string> m_goneRows;         // Main rows to remove
    std::vector<std::string> m_goneStates;       // states to forget
    std::unordered_map<std::string, std::string> m_places; // of the keys above
    int64_t m_keepFrom = 0; // rows numbered from here on were written by this run
};

} // namespace

int SyncReport::exitCode() const
{
    if (!removalsRefused.empty())
        return 2;
    if (!logError.empty())
        return 3;
    if (!unreadable.empty())
        return 1;
    return 0;
}

SyncReport RunSync(const SyncRequest& request, SyncProgress& progress, const std::function<bool()>& interrupted)
{
    return SyncRun(request, progress, interrupted).run();
}

std::string SummaryCounts(const SyncCounts& c)
{
    return std::to_string(c.added) + " added, " + std::to_string(c.updated) + " updated, " +
           std::to_string(c.removed) + " removed, " + std::to_string(c.unchanged) + " unchanged, " +
           std::to_string(c.unreadable) + " unreadable, " + std::to_string(c.ignored) + " ignored" +
           (c.searchOnly + c.searchOnlyRemoved > 0 ? "; for the search only: " + std::to_string(c.searchOnly) +
                                                         " written, " + std::to_string(c.searchOnlyRemoved) + " removed"
                                                   : "");
}
