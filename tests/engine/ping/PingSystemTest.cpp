#include "engine/PingSystem.h"

#include "FakePinger.h"
#include "tests/support/EventLoop.h"
#include "platform/net/IcmpPing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {
class PingSystemTest : public testing::Test {
protected:
    void TearDown() override
    {
        // Every worker must end, whatever the test left behind.
        EXPECT_TRUE(TMirrorPing::WaitForThreads(5000)) << TMirrorPing::RunningThreads() << " ping threads left";
        Mirrors.DeleteAndFreeAllMirrors();
    }

    // A mirror of host, freed after the test (or earlier by FreeMirrors).
    TFileMirror* Mirror(const QString& host, int pingTime = PingTimeUnknown)
    {
        auto* mirror = new TFileMirror(QStringLiteral("http://%1/file.zip").arg(host));
        mirror->PingTime = pingTime;
        Mirrors.Add(mirror);
        return mirror;
    }
    void FreeMirrors() { Mirrors.DeleteAndFreeAllMirrors(); }

    TMirrorList Mirrors;
};

QString Host(int i)
{
    return QStringLiteral("m%1.example").arg(i);
}

int Count(const std::vector<TFileMirror*>& mirrors, const TFileMirror* mirror)
{
    return int(std::count(mirrors.begin(), mirrors.end(), mirror));
}
}

TEST_F(PingSystemTest, TenMirrorsWithALimitOfEight)
{
    std::map<QString, std::optional<int>> answers;
    for (int i = 0; i < 10; ++i)
        answers[Host(i)] = 10 + i;
    auto pinger = std::make_shared<TFakePinger>(answers, false);
    TPingSystem system(8, pinger);
    std::vector<TFileMirror*> reported;
    system.OnPingReply = [&](TFileMirror* mirror) { reported.push_back(mirror); };
    TMirrorList added;
    for (int i = 0; i < 10; ++i)
        added.Add(Mirror(Host(i)));
    system.AddMirrors(added);

    EXPECT_EQ(system.RunningCount(), 8);
    EXPECT_EQ(system.QueueCount(), 10);
    ASSERT_TRUE(pinger->WaitUntilStarted(8));
    EXPECT_FALSE(pinger->Hosts().contains(Host(8)));

    pinger->Release(1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return reported.size() == 1; }));
    EXPECT_EQ(system.RunningCount(), 8) << "the first reply starts the ninth mirror";
    EXPECT_EQ(system.QueueCount(), 9);
    ASSERT_TRUE(pinger->WaitUntilStarted(9));
    EXPECT_TRUE(pinger->Hosts().contains(Host(8)));
    EXPECT_FALSE(pinger->Hosts().contains(Host(9)));

    pinger->OpenGate();
    ASSERT_TRUE(ProcessEventsUntil([&] { return reported.size() == 10; }));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Count(reported, added.Get(i)), 1) << Host(i).toStdString();
        EXPECT_EQ(added.Get(i)->PingTime, 10 + i);
    }
    EXPECT_EQ(system.QueueCount(), 0);
    EXPECT_EQ(system.RunningCount(), 0);
}

TEST_F(PingSystemTest, PingTimeFromTheRoundTrip)
{
    struct Case {
        const char* Host;
        std::optional<int> RoundTrip;
        int PingTime;
    };
    const Case cases[] = {
        {"zero.example", 0, 5},         {"one.example", 1, 1},
        {"limit.example", 1000, 1000},  {"over.example", 1001, 9999},
        {"slow.example", 1500, 9999},   {"silent.example", std::nullopt, 9999},
        {"unresolved.example", std::nullopt, 9999},
    };
    std::map<QString, std::optional<int>> answers;
    for (const Case& c : cases)
        answers[c.Host] = c.RoundTrip;
    TPingSystem system(8, std::make_shared<TFakePinger>(answers));
    int replies = 0;
    system.OnPingReply = [&](TFileMirror*) { ++replies; };
    for (const Case& c : cases)
        system.AddMirror(Mirror(c.Host, 42)); // 42: a value left over would show

    ASSERT_TRUE(ProcessEventsUntil([&] { return replies == int(std::size(cases)); }));
    for (const Case& c : cases)
        EXPECT_EQ(Mirrors.GetMirror(QStringLiteral("http://%1/file.zip").arg(c.Host))->PingTime, c.PingTime) << c.Host;
    EXPECT_EQ(system.RunningCount(), 0) << "a ping without an answer gives its place back";
}

TEST_F(PingSystemTest, MirrorAddedTwiceIsPingedAndReportedTwice)
{
    for (int limit : {1, 8}) {
        SCOPED_TRACE(limit);
        auto pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"a.example", 20}});
        TPingSystem system(limit, pinger);
        std::vector<TFileMirror*> reported;
        system.OnPingReply = [&](TFileMirror* mirror) { reported.push_back(mirror); };
        TFileMirror* a = Mirror("a.example");
        TFileMirror* b = Mirror("b.example");
        system.AddMirror(a);
        system.AddMirror(a);
        system.AddMirror(b);

        ASSERT_TRUE(ProcessEventsUntil([&] { return reported.size() == 3; }));
        EXPECT_EQ(Count(reported, a), 2);
        EXPECT_EQ(Count(reported, b), 1);
        if (limit == 1) {
            EXPECT_EQ(reported, (std::vector<TFileMirror*>{a, a, b}));
        }
        EXPECT_EQ(pinger->Hosts().count("a.example"), 2);
        EXPECT_EQ(system.QueueCount(), 0);
    }
}

TEST_F(PingSystemTest, DestroyedWhilePingsRunOrWaitToHandOver)
{
    for (bool handingOver : {false, true}) {
        SCOPED_TRACE(handingOver ? "answers waiting for the event loop" : "still pinging");
        auto pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{Host(0), 7}}, false);
        auto system = std::make_unique<TPingSystem>(8, pinger);
        int replies = 0;
        system->OnPingReply = [&](TFileMirror*) { ++replies; };
        for (int i = 0; i < 3; ++i)
            system->AddMirror(Mirror(Host(i)));
        ASSERT_TRUE(pinger->WaitUntilStarted(3));
        if (handingOver) {
            pinger->OpenGate();
            ASSERT_TRUE(WaitWithoutEvents([&] { return system->RepliesWaiting() == 3; }));
        }

        system.reset();
        FreeMirrors(); // a late reply would now write into freed mirrors
        pinger->OpenGate();
        EXPECT_TRUE(ProcessEventsUntil([] { return TMirrorPing::RunningThreads() == 0; }));
        EXPECT_EQ(replies, 0);
    }
}

TEST_F(PingSystemTest, DestroyedFromInsideItsOwnReply)
{
    auto pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{}, false);
    auto system = std::make_unique<TPingSystem>(8, pinger);
    int replies = 0;
    system->OnPingReply = [&](TFileMirror*) {
        ++replies;
        system.reset(); // the owner goes away while handling the reply
        FreeMirrors();
    };
    for (int i = 0; i < 3; ++i)
        system->AddMirror(Mirror(Host(i)));

    pinger->Release(1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return replies == 1; }));
    pinger->OpenGate();
    EXPECT_TRUE(ProcessEventsUntil([] { return TMirrorPing::RunningThreads() == 0; }));
    EXPECT_EQ(replies, 1);
}

TEST_F(PingSystemTest, IcmpPingsByDefault)
{
    const bool icmp = IcmpEcho("127.0.0.1").Answered;
    TPingSystem system(8);
    int replies = 0;
    system.OnPingReply = [&](TFileMirror*) { ++replies; };
    TFileMirror* v4 = Mirror("127.0.0.1");
    TFileMirror* v6 = Mirror("[::1]");
    // Refused by the resolver itself, so no name server is asked.
    TFileMirror* unresolved = Mirror("mirror..invalid", 42);
    for (TFileMirror* mirror : {v4, v6, unresolved})
        system.AddMirror(mirror);

    ASSERT_TRUE(ProcessEventsUntil([&] { return replies == 3; }));
    // Loopback nearly always answers within the first millisecond (stored as 5), but
    // a busy machine may take longer; a 0 never stays. Without any ICMP nothing answers.
    for (const TFileMirror* loopback : {v4, v6}) {
        SCOPED_TRACE(loopback->Url.Host.toStdString());
        if (!icmp) {
            EXPECT_EQ(loopback->PingTime, 9999);
            continue;
        }
        EXPECT_GE(loopback->PingTime, 1);
        EXPECT_LT(loopback->PingTime, 100);
    }
    EXPECT_EQ(unresolved->PingTime, 9999);
}
