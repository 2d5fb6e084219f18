#pragma once
// Brings the search index of a store up to date: walks the store, reads
// the metadata of new and changed data sets, forgets removed ones. The
// first run builds the whole index; later runs read only what changed
// (a metadata file's size or modification time differs).
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "model/SearchFields.h"
#include "model/SearchIndex.h"
#include "model/StoreWalk.h"
#include "support/Background.h"

// Everything a run needs, as values (taken on the window thread).
struct IndexSettings {
    std::string root;   // the store's root, with its trailing '/'
    QString indexFile;  // the SQLite file
    SearchFieldPaths fields;
    int commitEvery = 0; // data sets per commit; 0 commits every 250 ms instead
    // The whole file is checked before the update (a search met a damaged
    // page), not only when the last writer was killed.
    bool checkThoroughly = false;
    // Nothing is done when an update went through the whole store after
    // this moment (milliseconds since the epoch; 0: always update). Set by
    // an update that waited for another one.
    qint64 skipIfUpdatedAfter = 0;
    // How long a write waits for a lock that another program holds on the
    // file before the update stops, and after how long StoreIndexer tries
    // again.
    int lockWaitMs = 10000;
    int lockRetryMs = 20000;
    // Settings of the loaded configuration for `root` and `indexFile`.
    static IndexSettings fromConfiguration(const std::string& root, const QString& indexFile);
};

struct IndexReport {
    int total = 0;      // data sets found by the walk
    int read = 0;       // metadata documents read in this run
    int unchanged = 0;  // data sets whose metadata had not changed
    int removed = 0;    // data sets no longer in the store
    QStringList unreadable; // "relative path: reason", every data set whose metadata cannot be read
    QStringList notRead;      // relative paths of the documents in which no known field could be read
    QStringList notInDegrees; // relative paths of the documents whose box is not in degrees (not kept)
    // The index was damaged or of another version and has been built anew,
    // in words for the user; empty when it was not (or when the new build
    // did not get through: then `error` or `cancelled` says so).
    QString notice;
    // Why the run stopped, in words for the user (the index keeps what was
    // committed), or empty; `fault` says what kind of failure it was.
    QString error;
    IndexFault fault = IndexFault::None;
    bool cancelled = false;
    // Another update of the same index file (another window or another
    // instance of the program) was running: this one did nothing.
    bool busy = false;
    // Another update went through the whole store after
    // IndexSettings::skipIfUpdatedAfter: nothing was done (total counts the
    // indexed data sets).
    bool upToDate = false;
};

// The server's root as messages name it.
QString serverName(const std::string& root);

// Runs one update; returns when it is over. The store is walked and the
// changed documents are read on threads of the update's own; the index is
// written on the calling thread. `progress(done, total)` is called at most
// every 50 ms: total is 0 while the walk is still counting, done is then the
// number of data sets found so far. `cancelled` is asked between data sets
// and while waiting. Both may be called on one of the update's threads,
// never two at once; so is `notice(text)`, which tells at once what the
// user should know while the update goes on ("The search index of SERVER
// was damaged and is being rebuilt").
// Only one update of an index file runs at a time, across processes: while
// another holds it, this one returns at once with IndexReport::busy.
// A damaged index (found when it is opened, or met by a read or write on
// the way) is built anew, once. A lock held on the file by another
// program, a full disk or a folder that may not be written stop the update
// at once, with IndexReport::fault and a message; the index then keeps what
// it had. Never throws.
IndexReport updateStoreIndex(const IndexSettings& settings, const std::function<bool()>& cancelled,
                             const std::function<void(int done, int total)>& progress,
                             const std::function<void(const QString& text)>& notice = {});

// Where an update in the background stands.
enum class IndexUpdateState {
    Idle,
    Updating,              // this update reads the store and writes the index
    WaitingForOtherUpdate, // another window's update runs; this one waits for its end
    WaitingForLock,        // another program holds the file; this one tries again later
};

// What an update in the background hands back while it runs: its progress
// and notices, then its report.
struct IndexUpdateAnswer {
    enum class Kind { Progress, Notice, Finished };
    Kind kind = Kind::Progress;
    int done = 0, total = 0;                                // Progress
    IndexUpdateState state = IndexUpdateState::Updating;    // Notice
    QString text;                                           // Notice
    IndexReport report;                                     // Finished
};

// The same in the background (support/Background.h), reporting through
// signals on the thread this object lives in (the window thread). An update
// that finds another one running (another window) waits for it, trying
// every second, and takes over when that one's holder dies; one that finds
// the file held by another program tries again after
// IndexSettings::lockRetryMs. Both say so through notice().
// Members: window thread only, except the stop flag, which the update reads.
class StoreIndexer : public QObject {
    Q_OBJECT
public:
    using State = IndexUpdateState;

    explicit StoreIndexer(QObject* parent = nullptr);
    // Stops a running update and waits a moment for it; one stuck in the
    // file system (a hung share) is left to end on its own.
    ~StoreIndexer() override;

    // Starts an update; one already running is stopped first (its signals
    // are not delivered any more). The new one starts once it has ended.
    void start(const IndexSettings& settings);
    // Asks the running update to stop between data sets; it still reports.
    void cancel();
    bool isRunning() const { return m_job != nullptr; }
    State state() const { return m_state; }
    // An update of the index really runs: this one, or the one of another
    // window that this one waits for.
    bool isUpdating() const { return m_state == State::Updating || m_state == State::WaitingForOtherUpdate; }
    // The last notice of the running update, while it holds (a waiting
    // update's notice ends when it starts to update); empty otherwise.
    const QString& currentNotice() const { return m_notice; }
    // The index file of the running or last update.
    const QString& indexFile() const { return m_indexFile; }

signals:
    void progress(int done, int total);
    // What the user should know while the update goes on (a damaged index
    // being rebuilt, waiting for another window or program).
    void notice(const QString& text);
    void finished(const IndexReport& report);

private:
    WorkerPool m_pool{QStringLiteral("index updates"), 1}; // one update at a time
    BackgroundJob<IndexUpdateAnswer>* m_job = nullptr;      // the running update's, or null
    std::shared_ptr<std::atomic_bool> m_stop;               // the running update's stop flag
    QString m_indexFile;
    State m_state = State::Idle;
    QString m_notice;
};
