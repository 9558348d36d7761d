#include "monitor/UpdateQueue.h"

#include <gtest/gtest.h>
#include <thread>

namespace kestrum::test {
namespace {

TEST(UpdateQueueTest, TakesEachPostedUpdateOnceAndTimesOutWhenEmpty) {
    UpdateQueue queue;
    EXPECT_FALSE(queue.take(0));
    queue.postUpdate();
    queue.postUpdate();
    EXPECT_EQ(queue.pending(), 2u);
    EXPECT_TRUE(queue.take(0));
    EXPECT_TRUE(queue.take(0));
    EXPECT_FALSE(queue.take(10));
}

TEST(UpdateQueueTest, WakesAWaitingTakerFromAnotherThread) {
    UpdateQueue queue;
    std::thread poster([&queue] { queue.postUpdate(); });
    EXPECT_TRUE(queue.take(60'000));
    poster.join();
    EXPECT_EQ(queue.pending(), 0u);
}

} // namespace
} // namespace kestrum::test
