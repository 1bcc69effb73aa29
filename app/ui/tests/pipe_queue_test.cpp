// The pipe's queue: order, the bound, records without a listener, and the
// writer's wake-up at close.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/ui/pipe_queue.h"

namespace {

void PushByte(PipeQueue& q, unsigned char b) { q.Push(&b, 1); }

TEST(PipeQueue, KeepsOrderUpToItsBoundOnlyWhileAListenerIsThere) {
    PipeQueue q(3);
    PushByte(q, 1);  // nobody listening
    q.SetConnected(true);
    for (unsigned char b = 2; b <= 6; ++b) PushByte(q, b);  // 5 and 6 find it full
    std::vector<unsigned char> r;
    for (unsigned char expected : {2, 3, 4}) {
        ASSERT_TRUE(q.Pop(r));
        EXPECT_EQ(r, std::vector<unsigned char>{expected});
    }
    PushByte(q, 7);
    q.SetConnected(false);  // the listener left with 7 waiting
    PipeQueueCounts c = q.Counts();
    EXPECT_EQ(c.delivered, 3u);
    EXPECT_EQ(c.dropped, 2u);
    EXPECT_EQ(c.lost, 2u);
    EXPECT_EQ(c.mostWaiting, 3u);
    q.SetConnected(true);  // the next listener gets later records whole
    PushByte(q, 8);
    ASSERT_TRUE(q.Pop(r));
    EXPECT_EQ(r, std::vector<unsigned char>{8});
}

TEST(PipeQueue, CloseWakesAWaitingWriter) {
    PipeQueue q(4);
    q.SetConnected(true);
    bool result = true;
    std::thread writer([&] {
        std::vector<unsigned char> r;
        result = q.Pop(r);
    });
    q.Close();
    writer.join();
    EXPECT_FALSE(result);
    PushByte(q, 1);
    EXPECT_EQ(q.Counts().lost, 1u);
}

}  // namespace
