// Work done on several threads comes back in order, errors come back to
// the taker, and a taker that gives up is never held by a stuck thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include "support/OrderedWork.h"

using namespace std::chrono_literals;

namespace {

TEST(OrderedWorkTest, ResultsComeInOrderWhateverThreadFinishesFirst)
{
    for (const size_t threads : {1u, 3u, 64u}) {
        SCOPED_TRACE(threads);
        // Early items take longest, so later ones are done first.
        OrderedWork<size_t> work(40, threads, [](size_t i, const std::function<bool()>&) {
            std::this_thread::sleep_for(std::chrono::microseconds((40 - i) * 200));
            return i * i;
        });
        size_t result = 0;
        for (size_t i = 0; i < 40; ++i) {
            ASSERT_TRUE(work.take(result));
            EXPECT_EQ(result, i * i);
        }
        EXPECT_FALSE(work.take(result)) << "all taken";
        EXPECT_TRUE(work.allTaken());
    }
    OrderedWork<int> none(0, 4, [](size_t, const std::function<bool()>&) { return 1; });
    int result = 0;
    EXPECT_FALSE(none.take(result));
}

TEST(OrderedWorkTest, AnErrorIsThrownToTheTakerInItsTurn)
{
    OrderedWork<int> work(5, 2, [](size_t i, const std::function<bool()>&) {
        if (i == 2)
            throw std::runtime_error("item 2 failed");
        return int(i);
    });
    int result = -1;
    ASSERT_TRUE(work.take(result));
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(work.take(result));
    EXPECT_EQ(result, 1);
    try {
        work.take(result);
        FAIL() << "the error of item 2 is not thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "item 2 failed");
    }
    ASSERT_TRUE(work.take(result)) << "the items after it are still there";
    EXPECT_EQ(result, 3);
}

TEST(OrderedWorkTest, ThreadsWorkOnlyTheGivenDistanceAhead)
{
    std::atomic_size_t highestStarted{0};
    OrderedWork<size_t> work(
        200, 4,
        [&highestStarted](size_t i, const std::function<bool()>&) {
            size_t seen = highestStarted.load();
            while (i > seen && !highestStarted.compare_exchange_weak(seen, i)) {
            }
            return i;
        },
        5);
    size_t result = 0;
    for (size_t taken = 0; taken < 200; ++taken) {
        std::this_thread::sleep_for(200us); // a slow taker
        EXPECT_LT(highestStarted.load(), taken + 5) << "after " << taken << " taken";
        ASSERT_TRUE(work.take(result));
    }
}

TEST(OrderedWorkTest, AGivenUpTakerIsNotHeldByAStuckThread)
{
    // Item 0 hangs like a read from a share that stopped answering, until
    // the end of the test.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto later = std::make_shared<std::atomic_int>(0);
    std::atomic_int asked{0};
    const auto started = std::chrono::steady_clock::now();
    {
        OrderedWork<int> work(100, 2, [released, later](size_t i, const std::function<bool()>& stop) {
            if (i == 0)
                released.wait();
            else if (!stop()) {
                std::this_thread::sleep_for(5ms);
                ++*later;
            }
            return int(i);
        });
        int result = 0;
        EXPECT_FALSE(work.take(result, [&] { return ++asked >= 3; }));
        EXPECT_FALSE(work.allTaken()) << "stopped, not done";
        // Leaving the scope does not wait for the stuck thread either.
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_GE(asked.load(), 3) << "the cancel test is asked again while waiting";
    // The other thread may still finish the item in its hands (however
    // slowly a busy machine lets it), but takes no other.
    const int doneWhenStopped = later->load();
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(later->load(), doneWhenStopped + 1) << "the other thread stopped with the taker";
    EXPECT_LT(doneWhenStopped, 99);
    release->set_value(); // the stuck thread ends on its own, its state still alive
    std::this_thread::sleep_for(20ms);
}

} // namespace
