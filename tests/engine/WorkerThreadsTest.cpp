#include "engine/WorkerThreads.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

// A burst of short jobs runs on the threads that ended one job already, the count is
// of jobs (idle threads do not keep WaitForAll waiting), and jobs started while all
// threads are busy each get a thread of their own.
TEST(WorkerThreads, ThreadsAreReusedAndTheCountIsOfUnfinishedWork)
{
    static TWorkerThreads threads; // its state outlives it on purpose
    std::mutex lock;
    std::set<std::thread::id> seen;
    for (int i = 0; i < 50; ++i) {
        threads.Start([&] {
            std::lock_guard guard(lock);
            seen.insert(std::this_thread::get_id());
        });
        ASSERT_TRUE(threads.WaitForAll(5000));
    }
    EXPECT_EQ(threads.Running(), 0);
    // Idle threads left by an earlier run of this test may take turns; a thread per
    // job would show 50.
    EXPECT_LE(seen.size(), 5u) << "the threads that went idle should have served the burst";

    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    for (int i = 0; i < 4; ++i)
        threads.Start([&] {
            ++started;
            while (!release)
                std::this_thread::yield();
        });
    for (int wait = 0; wait < 5000 && started < 4; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(started, 4) << "a busy thread must not be handed another job";
    EXPECT_EQ(threads.Running(), 4);
    EXPECT_FALSE(threads.WaitForAll(20));
    release = true;
    EXPECT_TRUE(threads.WaitForAll(5000));
}
