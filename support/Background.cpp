#include "support/Background.h"

#include <QThreadPool>

#include <algorithm>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

// The pool's bookkeeping, shared with its jobs so that a job stuck past the
// pool's own end still finds it.
struct WorkerPool::State {
    std::mutex mutex;
    QThreadPool* threads = nullptr; // valid while a job of it runs
    int base = 1;                   // threads without abandoned jobs
    int extra = 0;                  // abandoned jobs still running; guarded by mutex
    int mostExtra = 0;
    Priority priority = Priority::Normal;
    std::list<Job*> running;        // started, not ended; guarded by mutex

    // Counts `job` as stuck: the pool gets one thread more while it runs.
    void countStuck(Job& job)
    {
        job.abandoned = true;
        ++extra;
        threads->setMaxThreadCount(base + std::min(extra, mostExtra));
    }
};

WorkerPool::WorkerPool(const QString& name, int threads, int mostExtra, Priority priority)
    : m_state(std::make_shared<State>()), m_pool(new QThreadPool)
{
    m_pool->setObjectName(name);
    m_pool->setMaxThreadCount(std::max(1, threads));
    m_pool->setExpiryTimeout(10000);
    m_state->threads = m_pool;
    m_state->base = std::max(1, threads);
    m_state->mostExtra = std::max(0, mostExtra);
    m_state->priority = priority;
}

WorkerPool::~WorkerPool()
{
    m_pool->clear();
    if (m_pool->waitForDone(m_graceMs)) {
        delete m_pool;
        return;
    }
    // A job blocked in a hung mount may never return; its owner going must
    // not wait for it. The pool is left to a thread of its own, which frees
    // it (and its threads) once its last job has returned: a pool cannot be
    // deleted from one of its own threads, and a thread that owns no event
    // loop (an index update's) cannot take a deleteLater.
    std::thread([pool = m_pool] {
        pool->waitForDone();
        delete pool;
    }).detach();
}

int WorkerPool::maxThreadCount() const
{
    return m_pool->maxThreadCount();
}

bool WorkerPool::begin(const std::shared_ptr<Job>& job, bool cancelled)
{
    State& state = *job->pool;
    {
        const std::lock_guard lock(state.mutex);
        if (cancelled || job->abandoned) {
            job->ended = true;
            return false;
        }
        job->started = true;
        job->running.start();
        state.running.push_back(job.get());
    }
#ifdef __linux__
    // Linux keeps a nice value per thread; a pool's threads serve that pool
    // only, so the value set once stays right.
    if (state.priority == Priority::Low) {
        thread_local bool lowered = false;
        if (!lowered) {
            // Ten steps below the thread's own (taken from the thread that
            // started it), not an absolute value: in a program started at a
            // low priority, an absolute 10 would raise the pool above it.
            const id_t self = static_cast<id_t>(::gettid());
            errno = 0;
            const int own = ::getpriority(PRIO_PROCESS, self);
            if (errno == 0)
                ::setpriority(PRIO_PROCESS, self, std::min(own + 10, 19));
            lowered = true;
        }
    }
#endif
    return true;
}

void WorkerPool::end(Job& job, const QString& error)
{
    State& state = *job.pool;
    const std::lock_guard lock(state.mutex);
    job.ended = true;
    job.error = error;
    state.running.remove(&job);
    if (job.abandoned) {
        // Back from being stuck: the thread it was given goes again.
        --state.extra;
        state.threads->setMaxThreadCount(state.base + std::clamp(state.extra, 0, state.mostExtra));
    }
}

void WorkerPool::abandon(Job& job)
{
    if (!job.pool)
        return;
    State& state = *job.pool;
    const std::lock_guard lock(state.mutex);
    if (job.ended || job.abandoned)
        return;
    if (job.started) {
        state.countStuck(job);
        return;
    }
    // Still queued: it never runs now. What held it up is the job running
    // longest, perhaps stuck for ever.
    job.abandoned = true;
    Job* longest = nullptr;
    for (Job* other : state.running)
        if (!other->abandoned && (!longest || other->running.elapsed() > longest->running.elapsed()))
            longest = other;
    if (longest)
        state.countStuck(*longest);
}

QString WorkerPool::errorOf(const Job& job)
{
    if (!job.pool)
        return {};
    const std::lock_guard lock(job.pool->mutex);
    return job.error;
}
