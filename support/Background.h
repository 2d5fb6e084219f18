#pragma once
// Work off the calling thread, the one way this program does it.
//
// A job runs on a WorkerPool, a pool of threads for one kind of work
// (directory listings, metadata pages, searches, index updates), through
// QtConcurrent. Whoever wants its answers owns the job: a BackgroundJob is a
// QFutureWatcher, a child of its owner, that hands each answer over on the
// owner's thread. The work gets values and gives back values; it never
// touches the object that asked, which may be gone by the time it ends.
//
// A job may be stuck in a file system that does not answer (a hung share),
// for minutes or for ever. When its owner gives up waiting (a time-out of
// its own, or the owner going away), the job is abandoned: nobody waits for
// it, its answers are dropped, and its pool has one thread more for as long
// as it stays stuck, so that later jobs do not queue behind it. A job that
// times out while still queued abandons the longest-running job of its pool
// instead: that one holds the queue up. When a stuck job comes back, the
// pool shrinks again.
//
// Threads: a WorkerPool may be used from any thread; a BackgroundJob only on
// its owner's thread. The work runs on a thread of the pool and is asked to
// stop through promise.isCanceled().
#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QString>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <utility>

class QThreadPool;

class WorkerPool {
public:
    enum class Priority {
        Normal,
        // Below the rest of the program (where the system keeps a priority
        // per thread): bulk reading that the window and the user's own
        // requests must not wait for.
        Low,
    };
    // `threads` jobs run at once; up to `mostExtra` threads more while jobs
    // are abandoned. Any thread.
    WorkerPool(const QString& name, int threads, int mostExtra = 32, Priority priority = Priority::Normal);
    // Jobs not started yet are dropped. Running ones get the grace time to
    // end; a pool still busy then (a job stuck in the file system) is left
    // to its jobs and never waited for: it goes once they have returned.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // How long the destructor waits for running jobs (100 ms unless set).
    void setGrace(int milliseconds) { m_graceMs = milliseconds; }
    // Threads that may run jobs now, those of abandoned jobs included.
    int maxThreadCount() const;

    struct State;
    // One job as its pool and its owner see it. Guarded by the pool's mutex.
    struct Job {
        std::shared_ptr<State> pool;   // set by run(); outlives the WorkerPool object
        bool started = false;
        bool ended = false;
        bool abandoned = false;        // counted as stuck: the pool has a thread more for it
        QElapsedTimer running;         // since it started
        QString error;                 // what the work threw; empty when it returned
    };

    // Runs `work(promise)` on a thread of the pool and returns its future.
    // What the work throws is kept in `job->error`; it never leaves the
    // thread. Most callers want runInBackground instead.
    template <class T, class Work>
    QFuture<T> run(const std::shared_ptr<Job>& job, Work work)
    {
        job->pool = m_state;
        return QtConcurrent::run(m_pool, [job, work = std::move(work)](QPromise<T>& promise) mutable {
            if (!begin(job, promise.isCanceled()))
                return;
            QString error;
            try {
                work(promise);
            } catch (const std::exception& e) {
                error = QString::fromUtf8(e.what());
            } catch (...) {
                error = QStringLiteral("Unknown error");
            }
            end(*job, error);
        });
    }

    // The same for work whose future is all its caller needs.
    template <class T, class Work>
    QFuture<T> run(Work work)
    {
        return run<T>(std::make_shared<Job>(), std::move(work));
    }

    // The owner gives up waiting for `job` (see above). Any thread, also
    // after the WorkerPool object has gone.
    static void abandon(Job& job);
    // What the work of an ended job threw; empty when nothing.
    static QString errorOf(const Job& job);

private:
    static bool begin(const std::shared_ptr<Job>& job, bool cancelled);
    static void end(Job& job, const QString& error);

    std::shared_ptr<State> m_state; // shared with the jobs
    QThreadPool* m_pool;            // owned; left behind when still busy at destruction, freed after
    int m_graceMs = 100;
};

// One job and the answers its owner waits for (see above). Made by
// runInBackground; goes by itself once its answers are delivered, or when
// it is cancelled or abandoned. Owner's thread only.
template <class T>
class BackgroundJob final : public QFutureWatcher<T> {
public:
    template <class Work>
    BackgroundJob(WorkerPool& pool, QObject* owner, Work work)
        : QFutureWatcher<T>(owner), m_job(std::make_shared<WorkerPool::Job>())
    {
        QObject::connect(this, &QFutureWatcherBase::resultsReadyAt, this, [this](int begin, int end) {
            for (int i = begin; i < end && !m_gone; ++i)
                if (m_onResult)
                    m_onResult(this->future().resultAt(i));
        });
        QObject::connect(this, &QFutureWatcherBase::finished, this, [this] {
            if (m_gone)
                return;
            m_gone = true;
            if (m_onFinished)
                m_onFinished(WorkerPool::errorOf(*m_job));
            this->deleteLater();
        });
        this->setFuture(pool.run<T>(m_job, std::move(work)));
    }
    // An owner that goes gives up on the answers it did not get.
    ~BackgroundJob() override
    {
        if (!m_gone)
            giveUp();
    }

    // Called with each result the work adds (promise.addResult), in order.
    BackgroundJob& onResult(std::function<void(const T&)> f)
    {
        m_onResult = std::move(f);
        return *this;
    }
    // Called once the work has returned and its results were handed over,
    // with what it threw (empty when nothing).
    BackgroundJob& onFinished(std::function<void(const QString& error)> f)
    {
        m_onFinished = std::move(f);
        return *this;
    }
    // Without an end within `milliseconds`, the job is abandoned, then `f`
    // is called.
    BackgroundJob& onTimeout(int milliseconds, std::function<void()> f)
    {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, this, [this, f = std::move(f)] {
            if (m_gone)
                return;
            abandon();
            if (f)
                f();
        });
        timer->start(milliseconds);
        return *this;
    }

    // No more answers are wanted: nothing more is called, the work is asked
    // to stop (promise.isCanceled()) and the job goes. For work that stops
    // soon when asked.
    void cancel()
    {
        if (m_gone)
            return;
        m_gone = true;
        QFuture<T> f = this->future();
        f.cancel();
        this->deleteLater();
    }
    // As cancel(), when the owner gives up waiting: the job may be stuck.
    void abandon()
    {
        if (m_gone)
            return;
        giveUp();
        this->deleteLater();
    }

private:
    void giveUp()
    {
        m_gone = true;
        QFuture<T> f = this->future();
        f.cancel();
        WorkerPool::abandon(*m_job);
    }

    std::shared_ptr<WorkerPool::Job> m_job;
    std::function<void(const T&)> m_onResult;
    std::function<void(const QString&)> m_onFinished;
    bool m_gone = false; // nothing more is delivered
};

// Runs `work(QPromise<T>&)` on `pool` for `owner`, whose thread gets the
// answers (see BackgroundJob).
template <class T, class Work>
BackgroundJob<T>* runInBackground(WorkerPool& pool, QObject* owner, Work work)
{
    return new BackgroundJob<T>(pool, owner, std::move(work));
}
