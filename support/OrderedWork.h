#pragma once
// Runs work(i) for i = 0 .. count-1 on threads of its own and hands the
// results back one by one in the order of i, so that what is done with them
// (written to an index, handed to a caller) does not depend on which thread
// was quicker.
//
// The threads are a pool of this object's own (support/Background.h) and
// share their state with it: when the taker gives up (cancelled, or this
// object destroyed), the threads stop at their next item, and one held up
// by a file system that does not answer ends on its own later, without
// anybody waiting for it. `work` must therefore hold what it uses by value
// or shared pointer, never refer to the caller's frame. It is called with a
// stop test to pass on to long work. An exception thrown by `work` is
// thrown again by take(), on the taker's thread, when its turn comes. The
// threads run at a lower priority than the rest of the program (where the
// system keeps one per thread), unless the taker's pace is theirs anyway.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "support/Background.h"

template <class Result>
class OrderedWork {
public:
    using Work = std::function<Result(size_t index, const std::function<bool()>& stop)>;

    // Starts min(threads, count) threads (at least one when count > 0).
    // They work at most `ahead` items beyond the last one taken, which
    // bounds the results held at once.
    // With Priority::Normal they run as the rest of the program: for a
    // taker that does little but wait for them.
    OrderedWork(size_t count, size_t threads, Work work, size_t ahead = 1024,
                WorkerPool::Priority priority = WorkerPool::Priority::Low)
        : m_state(std::make_shared<State>())
    {
        m_state->work = std::move(work);
        m_state->results.resize(count);
        m_state->errors.resize(count);
        m_state->ahead = std::max<size_t>(ahead, 1);
        const size_t wanted = std::min(std::max<size_t>(threads, 1), count);
        if (wanted == 0)
            return;
        m_pool = std::make_unique<WorkerPool>(QStringLiteral("ordered work"), int(wanted), 0, priority);
        // Threads busy with an item when the taker gives up get a moment to
        // finish it; a stuck one is not waited for.
        m_pool->setGrace(50);
        for (size_t t = 0; t < wanted; ++t)
            m_pool->run<void>([state = m_state](QPromise<void>&) { run(state); });
    }
    ~OrderedWork()
    {
        stop();
        m_pool.reset();
    }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // What takeWithin() did.
    enum class Taken {
        Got,      // `out` holds the next result
        Done,     // every result has been taken
        Stopped,  // `cancelled` said stop; the threads are stopped
        TimedOut, // the next item gave no result in time: it is passed over
    };

    // The next result in order, waiting for it. Returns false when all have
    // been taken, or when `cancelled` (asked at least every 50 ms while
    // waiting) says stop; the threads are then stopped. Taker's thread only.
    bool take(Result& out, const std::function<bool()>& cancelled = {})
    {
        return takeWithin(out, std::chrono::milliseconds(0), cancelled) == Taken::Got;
    }

    // take() that waits at most `limit` (0: for ever) for the next item:
    // then that item is passed over (TimedOut; its result is dropped when
    // it comes, and it is not started if it has not been) and the next
    // call goes on with the item after it. A thread held up by the item
    // stays held up; the others go on.
    Taken takeWithin(Result& out, std::chrono::milliseconds limit, const std::function<bool()>& cancelled = {})
    {
        State& s = *m_state;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(s.mutex);
        if (s.taken >= s.results.size())
            return Taken::Done;
        const size_t i = s.taken;
        while (!s.results[i] && !s.errors[i]) {
            // Asked without the lock: the test may take its time.
            lock.unlock();
            if (cancelled && cancelled()) {
                stop();
                return Taken::Stopped;
            }
            lock.lock();
            if (s.results[i] || s.errors[i])
                break;
            if (limit.count() > 0 && std::chrono::steady_clock::now() >= deadline) {
                ++s.taken;
                s.room.notify_all();
                return Taken::TimedOut;
            }
            s.filled.wait_for(lock, std::chrono::milliseconds(50));
        }
        ++s.taken;
        s.room.notify_all();
        if (s.errors[i])
            std::rethrow_exception(std::exchange(s.errors[i], nullptr));
        out = std::move(*s.results[i]);
        s.results[i].reset();
        return Taken::Got;
    }

    // Whether every result has been taken (take() returned false for that
    // reason, not because it was cancelled).
    bool allTaken() const
    {
        const std::lock_guard lock(m_state->mutex);
        return m_state->taken >= m_state->results.size();
    }

    // Asks the threads to stop at their next item; does not wait for them.
    void stop()
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stopped = true;
        m_state->room.notify_all();
    }

private:
    struct State {
        Work work;
        std::vector<std::optional<Result>> results;
        std::vector<std::exception_ptr> errors; // what work threw instead of a result
        size_t next = 0;  // the next index to start; guarded by mutex
        size_t taken = 0; // results taken so far; guarded by mutex
        size_t ahead = 1;
        std::atomic_bool stopped{false};
        std::mutex mutex;
        std::condition_variable filled; // a result was stored
        std::condition_variable room;   // a result was taken, or stop
    };

    static void run(const std::shared_ptr<State>& state)
    {
        State& s = *state;
        const std::function<bool()> stop = [&s] { return s.stopped.load(); };
        for (;;) {
            size_t i;
            {
                std::unique_lock lock(s.mutex);
                s.room.wait(lock, [&] { return s.stopped || s.next >= s.results.size() || s.next < s.taken + s.ahead; });
                if (s.stopped || s.next >= s.results.size())
                    return;
                i = s.next++;
                if (i < s.taken)
                    continue; // passed over by the taker before it started
            }
            std::optional<Result> result;
            std::exception_ptr error;
            try {
                result = s.work(i, stop);
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(s.mutex);
            if (i < s.taken)
                continue; // passed over while it worked: nobody wants it
            s.results[i] = std::move(result);
            s.errors[i] = error;
            s.filled.notify_all();
        }
    }

    std::shared_ptr<State> m_state;
    std::unique_ptr<WorkerPool> m_pool; // its threads; null without items
};
