// Work in the background: answers reach their owner on its thread, in
// order; what the work throws comes back as a text; an owner that goes or
// cancels gets nothing more; and a job stuck in a file system that does not
// answer is abandoned without holding up the jobs after it, its pool growing
// by one thread only while it stays stuck.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "support/Background.h"

namespace {

// A file system read that hangs until the share "answers".
struct Share {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    void wait() const { answered.wait(); }
};

TEST(BackgroundTest, AnswersComeToTheOwnersThreadInOrderThenTheEnd)
{
    WorkerPool pool(QStringLiteral("test"), 2);
    QObject owner;
    std::vector<int> got;
    bool onOwnersThread = true;
    QString finishedWith = QStringLiteral("not called");
    runInBackground<int>(pool, &owner, [](QPromise<int>& promise) {
        for (int i = 0; i < 100; ++i)
            promise.addResult(i);
    })
        ->onResult([&](const int& i) {
            onOwnersThread = onOwnersThread && QThread::currentThread() == owner.thread();
            got.push_back(i);
        })
        .onFinished([&](const QString& error) { finishedWith = error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return finishedWith != QStringLiteral("not called"); }, 10000));
    EXPECT_EQ(got.size(), 100u);
    for (int i = 0; i < int(got.size()); ++i)
        EXPECT_EQ(got[size_t(i)], i);
    EXPECT_TRUE(onOwnersThread);
    EXPECT_EQ(finishedWith, QString()) << "nothing was thrown";
}

#ifdef __linux__
// A pool of low priority runs ten steps below the thread that starts it,
// never above it: in a program started at nice 15, its threads are at 19,
// not at 10.
TEST(BackgroundTest, ALowPoolRunsBelowTheThreadThatStartsIt)
{
    for (const int start : {0, 5, 15}) {
        int own = 0, pools = 0;
        std::thread starter([&] {
            const id_t self = static_cast<id_t>(::gettid());
            if (::getpriority(PRIO_PROCESS, self) < start)
                ::setpriority(PRIO_PROCESS, self, start);
            own = ::getpriority(PRIO_PROCESS, self);
            WorkerPool pool(QStringLiteral("low"), 1, 32, WorkerPool::Priority::Low);
            QFuture<int> job = pool.run<int>([](QPromise<int>& promise) {
                promise.addResult(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())));
            });
            job.waitForFinished();
            pools = job.result();
        });
        starter.join();
        EXPECT_EQ(pools, std::min(own + 10, 19)) << "started at nice " << own;
    }
}
#endif

TEST(BackgroundTest, WhatTheWorkThrowsComesBackAsText)
{
    WorkerPool pool(QStringLiteral("test"), 1);
    QObject owner;
    struct Case {
        std::function<void()> fail;
        QString expected;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("disk on fire"); }, QStringLiteral("disk on fire")},
        {[] { throw 42; }, QStringLiteral("Unknown error")},
    };
    for (const Case& c : cases) {
        std::optional<QString> error;
        runInBackground<int>(pool, &owner, [fail = c.fail](QPromise<int>&) { fail(); })
            ->onFinished([&](const QString& e) { error = e; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return error.has_value(); }, 10000));
        EXPECT_EQ(*error, c.expected);
    }
}

TEST(BackgroundTest, AnOwnerThatGoesOrCancelsGetsNothingMore)
{
    WorkerPool pool(QStringLiteral("test"), 2);
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "owner gone");
        auto owner = std::make_unique<QObject>();
        Share share;
        std::atomic_bool started{false};
        std::atomic_bool sawCancel{false};
        std::atomic_bool ended{false};
        int calls = 0;
        auto* job = runInBackground<int>(pool, owner.get(), [&](QPromise<int>& promise) {
            started = true;
            share.wait();
            sawCancel = promise.isCanceled();
            promise.addResult(1);
            ended = true;
        });
        job->onResult([&](const int&) { ++calls; }).onFinished([&](const QString&) { ++calls; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 10000));
        if (cancel)
            job->cancel();
        else
            owner.reset();
        share.answer.set_value();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.load(); }, 10000));
        QTest::qWait(100); // what would be delivered, is
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(sawCancel) << "the work is asked to stop";
    }
}

TEST(BackgroundTest, AStuckJobIsAbandonedAndThePoolGrowsByOneUntilItComesBack)
{
    WorkerPool pool(QStringLiteral("test"), 1);
    QObject owner;
    Share share;
    std::atomic_bool stuckEnded{false};
    bool timedOut = false;
    int stuckAnswers = 0;
    runInBackground<int>(pool, &owner, [&share, &stuckEnded](QPromise<int>& promise) {
        share.wait();
        promise.addResult(0);
        stuckEnded = true;
    })
        ->onResult([&](const int&) { ++stuckAnswers; })
        .onTimeout(100, [&] { timedOut = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return timedOut; }, 10000));
    EXPECT_EQ(pool.maxThreadCount(), 2) << "one thread more while the job is stuck";

    // The next job does not queue behind the stuck one.
    std::optional<int> answer;
    runInBackground<int>(pool, &owner, [](QPromise<int>& promise) { promise.addResult(7); })->onResult([&](const int& i) {
        answer = i;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    EXPECT_EQ(*answer, 7);

    // Back from being stuck: its answer is dropped and the thread goes again.
    share.answer.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stuckEnded && pool.maxThreadCount() == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(stuckAnswers, 0);
}

TEST(BackgroundTest, AJobTimedOutInTheQueueAbandonsTheOneHoldingItUp)
{
    // One thread, held by a job without a time-out of its own (a listing
    // whose owner waits longer); the job queued behind it times out.
    WorkerPool pool(QStringLiteral("test"), 1);
    QObject owner;
    Share share;
    std::atomic_bool holderEnded{false};
    runInBackground<int>(pool, &owner, [&share, &holderEnded](QPromise<int>&) {
        share.wait();
        holderEnded = true;
    });
    std::atomic_bool queuedRan{false};
    bool queuedTimedOut = false;
    runInBackground<int>(pool, &owner, [&queuedRan](QPromise<int>&) { queuedRan = true; })->onTimeout(100, [&] {
        queuedTimedOut = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return queuedTimedOut; }, 10000));
    EXPECT_EQ(pool.maxThreadCount(), 2) << "the job holding the queue up counts as stuck";

    std::optional<int> answer;
    runInBackground<int>(pool, &owner, [](QPromise<int>& promise) { promise.addResult(3); })->onResult([&](const int& i) {
        answer = i;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));

    share.answer.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return holderEnded && pool.maxThreadCount() == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_FALSE(queuedRan) << "an abandoned job that had not started never starts";
}

// The owner of a pool with a stuck job goes without waiting for it; once
// the job returns, the pool left behind goes too, with its threads (an idle
// thread of a pool that still exists would only expire after 10 s, and the
// pool itself would stay allocated for the life of the program).
TEST(BackgroundTest, APoolWithAStuckJobIsNotWaitedForAndGoesOnceTheJobReturns)
{
    auto share = std::make_shared<Share>();
    auto threadGone = std::make_shared<std::atomic_bool>(false);
    QElapsedTimer clock;
    {
        auto pool = std::make_unique<WorkerPool>(QStringLiteral("test"), 1);
        pool->setGrace(50);
        std::promise<void> started;
        pool->run<void>([share, threadGone, &started](QPromise<void>&) {
            QObject::connect(QThread::currentThread(), &QObject::destroyed, [threadGone] { *threadGone = true; });
            started.set_value();
            share->wait();
        });
        started.get_future().wait();
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 2000);
    share->answer.set_value(); // the thread left behind ends on its own
    EXPECT_TRUE(QTest::qWaitFor([&] { return threadGone->load(); }, 5000))
        << "the pool left behind is freed with its threads once its job has returned";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
