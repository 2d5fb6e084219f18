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
#include "model/StoreWalk.h"
#include "support/Background.h"

// Everything a run needs, as values (taken on the window thread).
struct IndexSettings {
    std::string root;   // the store's root, with its trailing '/'
    QString indexFile;  // the SQLite file
    SearchFieldPaths fields;
    int commitEvery = 0; // data sets per commit; 0 commits every 250 ms instead
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
    QString notice;     // the index file was rebuilt (why), or empty
    QString error;      // the run failed (the index keeps what was committed), or empty
    bool cancelled = false;
    // Another update of the same index file (another window or another
    // instance of the program) was running: this one did nothing.
    bool busy = false;
};

// Runs one update; returns when it is over. The store is walked and the
// changed documents are read on threads of the update's own; the index is
// written on the calling thread. `progress(done, total)` is called at most
// every 50 ms: total is 0 while the walk is still counting, done is then the
// number of data sets found so far. `cancelled` is asked between data sets
// and while waiting. Both may be called on one of the update's threads,
// never two at once. Only one update of an index file runs at a time,
// across processes: while another holds it, this one returns at once with
// IndexReport::busy. Never throws: a failure is reported in
// IndexReport::error.
IndexReport updateStoreIndex(const IndexSettings& settings, const std::function<bool()>& cancelled,
                             const std::function<void(int done, int total)>& progress);

// What an update hands back while it runs: its progress, then its report.
struct IndexUpdateAnswer {
    int done = 0, total = 0;
    bool finished = false; // the last answer, with the report
    IndexReport report;
};

// The same in the background (support/Background.h), reporting through
// signals on the thread this object lives in (the window thread). Members:
// window thread only, except the stop flag, which the update reads.
class StoreIndexer : public QObject {
    Q_OBJECT
public:
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
    // The index file of the running or last update.
    const QString& indexFile() const { return m_indexFile; }

signals:
    void progress(int done, int total);
    void finished(const IndexReport& report);

private:
    WorkerPool m_pool{QStringLiteral("index updates"), 1}; // one update at a time
    BackgroundJob<IndexUpdateAnswer>* m_job = nullptr;      // the running update's, or null
    std::shared_ptr<std::atomic_bool> m_stop;               // the running update's stop flag
    QString m_indexFile;
};
