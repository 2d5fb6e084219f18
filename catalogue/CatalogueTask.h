#pragma once
// A catalogue command (an upload or an ignore run) in the background
// (support/Background.h), on a thread of its own.
// The run works on values only (DataSetEntry snapshots, paths, the login)
// and opens its own database connection there; it reaches the window only
// through this object's signals, which arrive queued on the window's thread,
// in the order the run made them.
#include <QFuture>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "catalogue/UploadRun.h"
#include "support/Background.h"
#include "support/HTMLlogOps.h"

class CatalogueTask : public QObject {
    Q_OBJECT
public:
    // The run itself, on the task's thread: it drives `host` (each call
    // becomes a signal), writes to `log` (whose pane is told through
    // logShown) and checks `control`. An exception it throws becomes the
    // error text of finished().
    using Work = std::function<void(CatalogueHost& host, tHTMLLog& log, RunControl& control)>;

    // `log`: the log to write; its Browser is replaced by logShown. Nothing
    // runs before start(). Window thread.
    CatalogueTask(Work work, tHTMLLog log, QObject* parent = nullptr);
    // Cancels the run and waits for it: a run stops before its next data
    // set, or when a statement times out.
    ~CatalogueTask() override;

    // Starts the run. Once only. Window thread.
    void start();
    // Asks the run to stop before its next data set. Any thread.
    void cancel();
    // Started and not yet finished. Window thread.
    bool isRunning() const;
    // Set its beforeDataSet (tests) before start().
    RunControl& control() { return *m_control; }

    // At most one progress signal per this many milliseconds; the last
    // position is sent before any other signal.
    static constexpr qint64 kProgressIntervalMs = 50;

signals:
    void taskStarted(const QString& caption, int maximum);
    void progressChanged(int position);
    void maximumChanged(int maximum);
    void captionChanged(const QString& caption);
    void busyChanged(bool busy);
    void readyShown();
    void logShown(const QString& path);
    // The last signal of a run: the error that ended it, or empty.
    void finished(const QString& error);

private:
    Work m_work;                             // window thread until start(), then the run's
    tHTMLLog m_log;                          // the same
    std::unique_ptr<RunControl> m_control;   // cancelled: any thread; the rest set before start()
    WorkerPool m_pool{QStringLiteral("catalogue run"), 1};
    QFuture<void> m_run;                     // window thread; the run once started
    bool m_started = false;                  // window thread
    bool m_finished = false;                 // window thread
};
