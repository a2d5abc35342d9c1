// Runs under ThreadSanitizer too.
#include "platform/VDX_unit_Threads.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace vdx {
namespace {

TEST(Event, StaysSetAndReleasesEveryWaiterUntilReset) {
    TEvent event;
    EXPECT_FALSE(event.WaitFor(1));
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            event.Wait();
            ++released;
        });
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.WaitFor(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(1));
}

TEST(MessageQueue, DeliversPostsFromOtherThreadsInOrder) {
    TMessageQueue queue;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            queue.Post(1036, i, -i);
    });
    for (int i = 0; i < 100; ++i) {
        TPostedMessage m;
        ASSERT_TRUE(queue.Take(m, 5000));
        EXPECT_EQ(m.code, 1036u);
        EXPECT_EQ(m.wParam, i);
        EXPECT_EQ(m.lParam, -i);
    }
    poster.join();
    TPostedMessage none;
    EXPECT_FALSE(queue.Take(none, 1));
}

TEST(MutexCaller, SerializesRoutinesWithTheMainLoop) {
    TMutexCaller caller;
    int shared = 0;
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i)
            caller.CallSync([&] { ++shared; });
    });
    int seen = 0;
    while (seen < 1000) {
        auto lock = caller.Lock();
        seen = shared;
    }
    worker.join();
    EXPECT_EQ(shared, 1000);
}

} // namespace
} // namespace vdx
