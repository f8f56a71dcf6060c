// What the downloader does when things go wrong or get in each other's way: dead
// mirrors, failing servers, a range taken over, stalled connections, credentials, and
// being destroyed while work is still under way.
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/downloader/DownloadHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
// A loopback address nobody listens on: connections to it are refused at once.
QString DeadBase(quint16 port)
{
    return QStringLiteral("http://127.0.0.2:%1/").arg(port);
}

TFileMirror* MirrorOn(const TMirrorList& mirrors, const QString& host)
{
    for (TFileMirror* mirror : mirrors)
        if (mirror->Url.Host == host)
            return mirror;
    return nullptr;
}

// A file of four ranges of 10,000 bytes on the scriptable server.
class FourRangesTest : public DownloaderTest {
protected:
    void SetUp() override
    {
        DownloaderTest::SetUp();
        Write(Setting::SmallestSplitSize, 1);
        ASSERT_TRUE(server.Listen());
    }

    HttpTestServer server;
    const QByteArray content = Pattern(40'000);
};
}

TEST_F(DownloaderTest, SlotsLeaveADeadMirrorFromTheMirrorList)
{
    const QByteArray content = Pattern(1'000'000);
    ASSERT_TRUE(QDir().mkpath(Path("www")));
    ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), content));
    NginxFixture nginx;
    ASSERT_TRUE(nginx.Start(Path("www"), {.limitRate = 2'000'000})) << nginx.Error().toStdString();
    // A server no part downloader speaks is no mirror at all.
    WriteMirrorList({nginx.Url(""), DeadBase(nginx.Port()), "gopher://127.0.0.3/"});
    // Held pings: every mirror looks alike, so the load spreads the slots over all three.
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 40}, {"127.0.0.2", 5}},
                                           false);
    NewRecord(nginx.Url("file.bin"));
    Start(4, true, true);
    ASSERT_EQ(downloader->Mirrors.Count(), 3) << "the download's own URL and both of the list";
    EXPECT_EQ(Slot(0).Mirror->Url.Url, nginx.Url("file.bin"));
    EXPECT_NE(Slot(0).Mirror, downloader->Mirrors.Get(0)) << "slot 0 starts on the list's entry of its URL";
    ASSERT_TRUE(WaitForEnd());

    EXPECT_EQ(events.downloadError, 0);
    EXPECT_EQ(events.allPartsDone, 1);
    TFileMirror* dead = MirrorOn(downloader->Mirrors, "127.0.0.2");
    ASSERT_NE(dead, nullptr);
    EXPECT_EQ(dead->ErrorState, fmeCouldNotConnect);
    int failed = 0;
    for (int i = 0; i < downloader->Slots.NumberOfSlots(); ++i) {
        failed += Slot(i).Failed;
        EXPECT_EQ(Slot(i).StatusText, "Done");
    }
    EXPECT_GE(failed, 1);
    EXPECT_TRUE(Combined() == content);

    // The answers sort the mirrors by their ping times.
    pinger->OpenGate();
    ASSERT_TRUE(ProcessEventsUntil([&] { return events.pingedMirrors.size() == 3; }));
    EXPECT_EQ(downloader->Mirrors.Get(0), dead);
    for (const auto& [mirror, index] : events.pingedMirrors)
        EXPECT_TRUE(mirror != dead || index == 0);
    EXPECT_EQ(downloader->Mirrors.Get(1)->PingTime, 40);
}

TEST_F(DownloaderTest, WhenEveryMirrorFailsTheDownloadFailsOnce)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    const QByteArray content = Pattern(1'000'000);
    server.Handler = [&](const QByteArray& request) {
        if (RangeStart(request) != 0)
            return HttpTestAnswer::Status(500, "Broken");
        HttpTestAnswer answer = HttpTestAnswer::Partial(content, 0);
        answer.dropAfter = 1000;
        return answer;
    };
    WriteMirrorList({server.Url(""), DeadBase(server.Port())});
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{}, false);
    ASSERT_TRUE(Run(server.Url("file.bin"), true));
    RunEvents(300);
    EXPECT_EQ(events.downloadError, 1);
    EXPECT_EQ(events.allPartsDone, 0);
    EXPECT_EQ(record->StateCode, pdsError);
    EXPECT_FALSE(downloader->StatusText.isEmpty());
    EXPECT_EQ(record->Status(), downloader->StatusText);
    for (TFileMirror* mirror : downloader->Mirrors)
        EXPECT_NE(mirror->ErrorState, fmeNone) << mirror->Url.Url.toStdString();
    EXPECT_TRUE(downloader->Slots.AllIdle());
    EXPECT_TRUE(downloader->ChooseMirror() == nullptr);

    // A restart tries the same mirrors again, and fails once more.
    downloader->RestartDownload();
    EXPECT_EQ(downloader->RestartCount, 1);
    EXPECT_EQ(record->StateCode, pdsContactingHost);
    ASSERT_TRUE(ProcessEventsUntil([&] { return events.downloadError == 2; }));
    RunEvents(300);
    EXPECT_EQ(events.downloadError, 2);
    EXPECT_EQ(downloader->RestartCount, 1) << "no slot received anything";
}

TEST_F(FourRangesTest, ASlotRunsOnIntoTheNextRangeWhenThatHasNothingYet)
{
    ServeRanges(server, content, [](qint64 start, HttpTestAnswer& answer) {
        // Slot 0 comes to its end after the others, which all receive from the start.
        answer.bytesPerSecond = start == 0 ? 50'000 : 100'000;
        answer.stallBeforeHead = start == 10'000; // slot 1 never receives a byte
    });
    ASSERT_TRUE(Run(server.Url("file.bin")));

    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(events.slotDelete, 1);
    EXPECT_EQ(downloader->Slots.NumberOfSlots(), 3);
    EXPECT_EQ(downloader->NumOfParts, 3);
    EXPECT_EQ(record->NumOfParts, 3);
    EXPECT_EQ(Slot(0).EndByte, 19'999);
    EXPECT_EQ(Slot(1).StartByte, 20'000);
    EXPECT_EQ(PartFiles(), (QStringList{"0", "20000", "30000"})) << "the taken range's part file is gone";
    EXPECT_EQ(downloader->TransferCount(), content.size());
    EXPECT_TRUE(Combined() == content);
}

TEST_F(FourRangesTest, FinishedRangesGoOntoTheZeroPartWhileTheLastOneArrives)
{
    ServeRanges(server, content, [](qint64 start, HttpTestAnswer& answer) {
        // Slot 0 ends after the next two have data (so it does not run on into them),
        // the last range takes a second.
        answer.bytesPerSecond = start == 0 ? 50'000 : start < 30'000 ? 100'000 : 10'000;
    });
    NewRecord(server.Url("file.bin"));
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return PartFiles() == QStringList{"0", "30000"}; }))
        << PartFiles().join(' ').toStdString();
    EXPECT_EQ(ReadWholeFile(record->TempFileName() + ".0"), content.left(30'000));
    EXPECT_EQ(Slot(3).StatusText, "Downloading");
    EXPECT_EQ(events.allPartsDone, 0);
    EXPECT_EQ(downloader->TransferCount(), 30'000 + Slot(3).TransferCount());

    // A downloader made afresh, after a pause, finds the first three ranges done in ".0".
    downloader->Pause();
    ASSERT_TRUE(ProcessEventsUntil([&] { return downloader->Slots.AllPaused(); }));
    Start();
    ASSERT_EQ(downloader->Slots.NumberOfSlots(), 2);
    EXPECT_EQ(Slot(0).StatusText, "Done");
    EXPECT_EQ(Slot(0).EndByte, 29'999);
    EXPECT_EQ(Slot(1).StartByte, 30'000);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_TRUE(Combined() == content);
}

// The last range's final bytes go onto ".0" while it still arrives; a downloader made
// afresh in the middle (after a pause) cuts ".0" back to its own range and goes on.
TEST_F(FourRangesTest, TheRangeAfterTheZeroPartGoesOntoItWhileItArrives)
{
    ServeRanges(server, content, [](qint64 start, HttpTestAnswer& answer) {
        answer.bytesPerSecond = start == 0 ? 50'000 : start < 30'000 ? 100'000 : 10'000;
    });
    for (bool pause : {false, true}) {
        SCOPED_TRACE(pause ? "paused midway" : "through");
        NewRecord(server.Url("file.bin"));
        Start();
        downloader->AppendStep = 2'000;
        const QString zeroPart = record->TempFileName() + ".0";
        ASSERT_TRUE(ProcessEventsUntil([&] { return PartFileSize(zeroPart) > 32'000; }));
        EXPECT_EQ(Slot(3).StatusText, "Downloading");
        EXPECT_EQ(PartFiles(), (QStringList{"0", "30000"})) << "the range's own file stays whole meanwhile";
        const QByteArray grown = ReadWholeFile(zeroPart);
        EXPECT_TRUE(grown == content.left(grown.size()));

        if (pause) {
            downloader->Pause();
            ASSERT_TRUE(ProcessEventsUntil([&] { return downloader->Slots.AllPaused(); }));
            Start();
            ASSERT_EQ(downloader->Slots.NumberOfSlots(), 2);
            EXPECT_EQ(Slot(0).StatusText, "Done");
            EXPECT_EQ(PartFileSize(zeroPart), 30'000);
        }
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(events.allPartsDone, 1);
        EXPECT_EQ(events.downloadError, 0);
        if (!pause) {
            EXPECT_EQ(PartFiles(), QStringList{"0"}) << "all of it appended before the parts were reported done";
        }
        EXPECT_TRUE(Combined() == content);
        Finish();
    }
}

TEST_F(FourRangesTest, AbortDeletesEveryPartFile)
{
    ServeRanges(server, content, [](qint64 start, HttpTestAnswer& answer) {
        if (start != 30'000)
            answer.bytesPerSecond = 10'000; // the last range is done, the others are running
    });
    NewRecord(server.Url("file.bin"));
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return downloader->Slots.NumberOfSlots() == 4 && Slot(3).StatusText == "Done" && Slot(0).TransferCount() > 0;
    }));
    ASSERT_EQ(PartFiles().size(), 4);
    downloader->Abort();
    EXPECT_TRUE(downloader->Aborted);
    EXPECT_EQ(events.abort, 1);
    EXPECT_TRUE(ProcessEventsUntil([&] { return PartFiles().isEmpty(); })) << PartFiles().join(' ').toStdString();
    EXPECT_TRUE(QFile::exists(record->DatFileName())) << "the record is its owner's to delete";
    EXPECT_EQ(events.allPartsDone, 0);
}

TEST_F(FourRangesTest, AStalledConnectionTimesOutAndItsRangeIsTakenOverLater)
{
    Write(Setting::TimeOutTime, 5000);
    Write(Setting::MirrorTimeOutTime, 2000);
    TestClock::Set(45000.5, 1000);
    bool stalled = false;
    ServeRanges(server, content, [&](qint64 start, HttpTestAnswer& answer) {
        if (start == 20'000 && !std::exchange(stalled, true))
            answer.stallAfter = 1000;
        else if (start % 10'000 == 0)
            answer.bytesPerSecond = 20'000;
    });
    NewRecord(server.Url("file.bin"));
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return downloader->Slots.NumberOfSlots() == 4 && Slot(2).TransferCount() == 1000
            && Slot(1).StatusText == "Downloading" && Slot(3).StatusText == "Downloading";
    }));
    TestClock::Advance(5001);
    // The others receive meanwhile, so only the stalled one is past its limit.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        for (int i : {0, 1, 3})
            if (Slot(i).PartDownloader->LastActivity != GetTickCount())
                return false;
        return true;
    }));
    downloader->CheckSlotsForTimeOut(GetTickCount());
    EXPECT_EQ(Slot(2).PartDownloader->ErrorText, "Timeout");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Slot(2).StatusText == "Timeout"; }));
    EXPECT_TRUE(Slot(2).Failed);
    EXPECT_EQ(downloader->Mirrors.Get(0)->ErrorState, fmeLostConnection);

    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(events.downloadError, 0);
    EXPECT_EQ(downloader->Slots.NumberOfSlots(), 4);
    const std::vector<qint64> asked = RangeStarts(server.Requests());
    EXPECT_NE(std::find(asked.begin(), asked.end(), 21'000), asked.end()) << "taken over after its 1000 bytes";
    EXPECT_TRUE(Combined() == content);
    ASSERT_FALSE(events.serverSpeeds.empty()) << "finished slots report their speed";
    EXPECT_EQ(events.serverSpeeds.front().first, "127.0.0.1");
    EXPECT_GT(events.serverSpeeds.front().second, 0);
}

TEST_F(DownloaderTest, TimeOutLimitsDependOnTheStateAndTheNumberOfSlots)
{
    const QString nowhere = "http://127.0.0.1:1/file.bin";
    struct Case {
        int slotCount;
        TPartDownloaderState state;
        uint32_t lastActivity, now;
        bool timesOut;
    } cases[] = {
        {1, pdsContactingHost, 1000, 31'000, false},
        {1, pdsContactingHost, 1000, 31'001, true},
        {1, pdsDownloading, 1000, 31'001, true},
        {4, pdsContactingHost, 1000, 11'000, false},
        {4, pdsContactingHost, 1000, 11'001, true},
        {4, pdsGettingFileInfo, 1000, 11'001, true}, // connected, but the server says nothing
        {4, pdsDownloading, 1000, 11'001, false},
        {4, pdsDownloading, 1000, 31'001, true},
        {1, pdsAuthRequired, 1000, 900'000, false},
        {1, pdsPaused, 1000, 900'000, false},
        {1, pdsDownloading, 0xFFFF'F000u, 0x0001'0000u, true}, // across the tick count's wrap
        {1, pdsDownloading, 0xFFFF'F000u, 0x0000'1000u, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.slotCount << " slots, state " << int(c.state) << ", now " << c.now);
        if (c.slotCount == 1)
            NewRecord(nowhere);
        else
            StoredRecord(nowhere, 40'000, {{0, {}}, {10'000, {}}, {20'000, {}}, {30'000, {}}});
        Start(4, true, false, false);
        ASSERT_EQ(downloader->Slots.NumberOfSlots(), c.slotCount);
        for (int i = 0; i < c.slotCount; ++i)
            Slot(i).PartDownloader->LastActivity = c.now;
        TPartDownloader& part = *Slot(0).PartDownloader;
        part.State = c.state;
        part.LastActivity = c.lastActivity;
        downloader->CheckSlotsForTimeOut(c.now);
        EXPECT_EQ(part.State == pdsError, c.timesOut);
        if (c.timesOut) {
            EXPECT_EQ(part.ErrorState, fmeLostConnection);
            EXPECT_EQ(part.ErrorText, "Timeout");
        }
        for (int i = 1; i < c.slotCount; ++i)
            EXPECT_NE(Slot(i).PartDownloader->State, pdsError);
        Finish();
    }
}

TEST_F(DownloaderTest, ChooseMirrorTakesTheFirstMirrorNoWorseThanTheNext)
{
    struct Case {
        std::vector<int> pings;
        std::vector<int> users; // slots using each mirror
        std::vector<bool> failed;
        int chosen; // -1: none
    } cases[] = {
        {{10, 30, 20}, {2, 0, 0}, {false, false, false}, 0}, // costs 30, 30, 20: a tie keeps the first
        {{10, 30, 20}, {3, 0, 0}, {false, false, false}, 2}, // 40, 30, 20
        {{10, 20, 5}, {1, 0, 0}, {false, false, false}, 0},  // 20, 20, 5: the first local minimum
        {{10, 20}, {0, 0}, {true, false}, 1},
        {{10, 20}, {0, 0}, {true, true}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case with chosen " << c.chosen);
        NewRecord("http://127.0.0.1:1/file.bin");
        Start(4, true, false, false);
        TDownloader& d = *downloader;
        d.Mirrors.Get(0)->ErrorState = fmeCouldNotConnect; // the download's own URL takes no part
        std::vector<TFileMirror*> mirrors;
        for (size_t i = 0; i < c.pings.size(); ++i) {
            mirrors.push_back(new TFileMirror(QStringLiteral("http://10.0.0.%1/file.bin").arg(i + 1)));
            d.Mirrors.Add(mirrors.back());
            mirrors.back()->PingTime = c.pings[i];
            mirrors.back()->ErrorState = c.failed[i] ? fmeLostConnection : fmeNone;
            for (int k = 0; k < c.users[i]; ++k)
                d.Slots.NewSlot()->SetMirror(mirrors.back());
        }
        EXPECT_EQ(d.ChooseMirror(), c.chosen < 0 ? nullptr : mirrors[size_t(c.chosen)]);
        Finish();
    }
}

TEST_F(DownloaderTest, NothingReachesADownloaderDestroyedMidway)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    const QByteArray content = Pattern(1'000'000);
    ServeRanges(server, content, [](qint64, HttpTestAnswer& answer) { answer.bytesPerSecond = 200'000; });
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 3}}, false);
    NewRecord(server.Url("file.bin"));
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return downloader->Slots.NumberOfSlots() == 4 && downloader->TransferCount() > 50'000; }));
    ASSERT_TRUE(pinger->WaitUntilStarted(1));
    const DownloadEvents before = events;
    downloader.reset(); // while pings, transfers and the update timer are under way
    pinger->OpenGate();
    RunEvents(300);
    EXPECT_EQ(events.pingedMirrors.size(), before.pingedMirrors.size());
    EXPECT_EQ(events.allPartsDone, 0);
    EXPECT_EQ(events.downloadError, 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return server.OpenConnections() == 0; })) << "its connections are closed";
}

TEST_F(DownloaderTest, ASlotAskingForCredentialsWaitsInTheStore)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    const QByteArray content = Pattern(20'000);
    server.Enqueue(HttpTestAnswer::Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"files\"\r\n"));
    server.Handler = [&](const QByteArray& request) {
        if (!request.contains("Authorization: Basic dTpw")) // u:p
            return HttpTestAnswer::Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"files\"\r\n");
        return HttpTestAnswer::Partial(content, qMax<qint64>(RangeStart(request), 0));
    };
    NewRecord(server.Url("file.bin"));
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return events.authenticationRequired == 1; }));
    TPartDownloadSlot& slot = Slot(0);
    EXPECT_EQ(slot.Realm, "files");
    EXPECT_EQ(SiteManager().NextWaitingSlot(TUrl(server.Url("file.bin")), "files"), &slot);

    // What the download system does once the user has answered.
    SiteManager().SetUserPass(TUrl(server.Url("file.bin")), "files", "u", "p");
    slot.Authenticated = true;
    slot.Start();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_TRUE(Combined() == content);
}
