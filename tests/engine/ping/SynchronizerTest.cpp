#include "engine/Synchronizer.h"

#include "FakePinger.h"
#include "tests/support/EventLoop.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

TEST(Synchronizer, CallRunsOnTheOwnersThreadWhileTheWorkerWaits)
{
    auto synchronizer = TSynchronizer::Create();
    std::thread::id ranOn;
    std::atomic<bool> ranBeforeReturn{false};
    auto worker = std::async(std::launch::async, [&] {
        bool ran = false;
        synchronizer->Synchronize([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
        ranBeforeReturn = ran;
    });

    ASSERT_TRUE(ProcessEventsUntil([&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(ranBeforeReturn);
    synchronizer->Close();
}

TEST(Synchronizer, ClosingReleasesWaitingWorkersAndDropsTheirCalls)
{
    auto synchronizer = TSynchronizer::Create();
    std::atomic<int> ran{0};
    auto waiting = std::async(std::launch::async, [&] { synchronizer->Synchronize([&] { ++ran; }); });
    ASSERT_TRUE(WaitWithoutEvents([&] { return synchronizer->Waiting() == 1; }));

    synchronizer->Close();
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    auto late = std::async(std::launch::async, [&] { synchronizer->Synchronize([&] { ++ran; }); });
    EXPECT_EQ(late.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
}
