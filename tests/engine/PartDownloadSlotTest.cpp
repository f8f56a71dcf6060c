// Part download slots: what they make of their part downloaders' reports, the counters,
// moving a range's end under a running transfer, and the collection of collection.
#include "engine/FtpPartDownloader.h"
#include "engine/HttpPartDownloader.h"
#include "engine/PartDownloadSlot.h"
#include "records/SiteManager.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/PartTestHelpers.h"
#include "tests/support/FtpTestServer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
const QString Nowhere = "http://127.0.0.1:1/file";

class SlotTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        SiteManager() = TSiteManager();
    }
    // Attaches a part downloader that never runs, for feeding reports by hand.
    static TPartDownloader& Attach(TPartDownloadSlot& slot)
    {
        slot.PartDownloader = std::make_unique<THTTPPartDownloader>(Nowhere, slot.PartFileName, slot.StartByte,
                                                                    slot.EndByte);
        return *slot.PartDownloader;
    }
};

// What the slot passed on, with its status text at that moment.
struct SlotLog {
    explicit SlotLog(TPartDownloadSlot& slot)
    {
        slot.OnChange = [this](TPartDownloadSlot* sender, TPartDownloaderState state) {
            states.push_back(state);
            texts.push_back(sender->StatusText);
            if (React)
                React(*sender, state);
        };
    }
    bool Saw(TPartDownloaderState state) const { return std::count(states.begin(), states.end(), state) > 0; }

    States states;
    QStringList texts;
    std::function<void(TPartDownloadSlot&, TPartDownloaderState)> React;
};
}

TEST_F(SlotTest, ARunAsTheSlotSeesIt)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    const QByteArray content = Pattern(5000);
    server.Enqueue(HttpTestAnswer::Partial(content, 0));
    TFileMirror mirror(server.Url());
    TPartDownloadSlot slot;
    EXPECT_EQ(slot.StatusText, "Idle");
    slot.PartFileName = Path("dl.0");
    SlotLog log(slot);

    slot.Start(&mirror);
    EXPECT_EQ(slot.StatusText, "Contacting host");
    EXPECT_EQ(slot.Mirror, &mirror);
    ASSERT_TRUE(ProcessEventsUntil([&] { return log.Saw(pdsPartDone) || log.Saw(pdsError); }));

    EXPECT_EQ(log.states, (States{pdsGettingFileInfo, pdsResumeInfoKnown, pdsFileSizeKnown, pdsDownloading, pdsPartDone}));
    EXPECT_EQ(log.texts, (QStringList{"Getting file info", "Getting file info", "Getting file info", "Downloading", "Done"}));
    EXPECT_EQ(slot.RemoteFileSize, 5000);
    EXPECT_EQ(slot.EndByte, 4999) << "the slot learns where the file ends";
    EXPECT_EQ(slot.PartDownloader->EndByte, 0) << "its part downloader stays open-ended";
    EXPECT_EQ(slot.SavedCount, 5000);
    EXPECT_EQ(slot.TransferCount(), 5000);
    EXPECT_FALSE(slot.Failed);
    EXPECT_TRUE(ReadWholeFile(slot.PartFileName) == content);

    // Restarted on the same mirror: the same part downloader, its remote size kept.
    TPartDownloader* first = slot.PartDownloader.get();
    slot.Authenticated = true;
    slot.Start();
    EXPECT_EQ(slot.PartDownloader.get(), first);
    EXPECT_TRUE(first->CredentialsTried);
    EXPECT_EQ(first->RemoteFileSize, 5000);
    EXPECT_EQ(first->EndByte, 4999);
    EXPECT_EQ(slot.StatusText, "Contacting host");
}

TEST_F(SlotTest, StartPicksThePartDownloaderByProtocol)
{
    struct Case {
        QString url;
        bool http, ftp;
    } cases[] = {
        {"http://127.0.0.1:1/a.bin", true, false},
        {"https://127.0.0.1:1/a.bin", true, false},
        {"ftp://127.0.0.1:1/a.bin", false, true},
        {"gopher://127.0.0.1:1/a.bin", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        TFileMirror mirror(c.url);
        TPartDownloadSlot slot;
        slot.PartFileName = Path("p");
        slot.StartByte = 2000;
        slot.EndByte = 2999;
        slot.Start(&mirror);
        TPartDownloader* part = slot.PartDownloader.get();
        EXPECT_EQ(dynamic_cast<THTTPPartDownloader*>(part) != nullptr, c.http);
        EXPECT_EQ(dynamic_cast<TFTPPartDownloader*>(part) != nullptr, c.ftp);
        if (!part) {
            EXPECT_EQ(slot.StatusText, "Idle") << "an unknown protocol changes nothing";
            continue;
        }
        EXPECT_EQ(slot.PartFileName, Path("p.2000")) << "named after its start byte";
        EXPECT_EQ(part->StartByte, 2000);
        EXPECT_EQ(part->EndByte, 2999);
        EXPECT_EQ(part->Url.Url, mirror.Url.GetUrl());
    }

    // A part downloader handed over for a mirror of the other protocol is replaced.
    TFileMirror http("http://127.0.0.1:1/a.bin"), ftp("ftp://127.0.0.1:1/a.bin");
    TPartDownloadSlot slot;
    slot.PartFileName = Path("q.0");
    slot.Start(&http);
    slot.Start(&ftp);
    EXPECT_NE(dynamic_cast<TFTPPartDownloader*>(slot.PartDownloader.get()), nullptr);
    EXPECT_EQ(slot.Mirror, &ftp);
}

TEST_F(SlotTest, StartByteIsFixedWhileAPartDownloaderIsAttached)
{
    TPartDownloadSlot slot;
    slot.SetPartDownloaderStartByte(1000);
    EXPECT_EQ(slot.StartByte, 1000);
    TPartDownloader& part = Attach(slot);
    slot.SetPartDownloaderStartByte(5000);
    EXPECT_EQ(slot.StartByte, 1000);
    EXPECT_EQ(part.StartByte, 1000);
    slot.SetPartDownloaderEndByte(1999);
    EXPECT_EQ(slot.EndByte, 1999);
    EXPECT_EQ(part.EndByte, 1999);
}

TEST_F(SlotTest, CountersOfFinishedParts)
{
    TestClock::Set(45000.5);
    struct Case {
        const char* name;
        qint64 start, end;
        qint64 received;   // the part downloader's TransferCount
        qint64 atStart;    // BytesAtStart
        uint32_t elapsedMs;
        qint64 count;      // TransferCount while attached, and SavedCount once done
        qint64 speed;
    } cases[] = {
        {"first part 0-999", 0, 999, 1000, 0, 2000, 1000, 500},
        {"second part 1000-1999", 1000, 1999, 1000, 0, 2000, 1000, 500},
        {"part file longer than its range", 0, 999, 1500, 200, 4000, 1000, 200},
        {"open-ended", 0, 0, 777, 0, 1000, 777, 777},
        {"under a second", 2000, 2999, 1000, 0, 999, 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPartDownloadSlot slot;
        slot.StartByte = c.start;
        slot.EndByte = c.end;
        TPartDownloader& part = Attach(slot);
        part.TransferCount = c.received;
        slot.StartTime = Now();
        slot.BytesAtStart = c.atStart;
        EXPECT_EQ(slot.TransferCount(), c.count);
        TestClock::Advance(c.elapsedMs);
        part.State = pdsPartDone;
        slot.OnPartdownloaderChange(&part, pdsPartDone);
        EXPECT_EQ(slot.StatusText, "Done");
        EXPECT_EQ(slot.SavedCount, c.count);
        EXPECT_EQ(slot.AverageSpeed, c.speed);
        slot.PartDownloader.reset(); // as the downloader frees it
        EXPECT_EQ(slot.TransferCount(), c.count);
    }
}

TEST_F(SlotTest, ReportsPassOnTheStateTheyLeave)
{
    TFileMirror mirror(Nowhere);
    TPartDownloadSlot slot;
    slot.Mirror = &mirror;
    SlotLog log(slot);
    TPartDownloader& part = Attach(slot);

    part.State = pdsFileSizeKnown;
    part.RemoteFileSize = -1;
    slot.OnPartdownloaderChange(&part, pdsFileSizeKnown);
    EXPECT_EQ(slot.EndByte, 0) << "an unknown size leaves the range open";
    EXPECT_EQ(slot.RemoteFileSize, -1);

    part.State = pdsAuthRequired;
    part.Realm = "Secret Area";
    slot.OnPartdownloaderChange(&part, pdsAuthRequired);
    EXPECT_EQ(slot.Realm, "Secret Area");

    part.State = pdsError;
    part.ErrorState = fmeFileNotFound;
    part.ErrorText = "File not found";
    part.CredentialsTried = true;
    // The listener sees the part downloader's state, not the one reported.
    slot.OnPartdownloaderChange(&part, pdsDownloading);
    EXPECT_EQ(log.states.back(), pdsError);
    EXPECT_EQ(slot.StatusText, "Downloading");
    slot.OnPartdownloaderChange(&part, pdsError);
    EXPECT_TRUE(slot.Failed);
    EXPECT_EQ(mirror.ErrorState, fmeFileNotFound);
    EXPECT_EQ(slot.StatusText, "File not found");
    EXPECT_FALSE(part.CredentialsTried);

    // The user refused to log in.
    slot.SetErrorState(fmeCouldNotLogin);
    EXPECT_EQ(mirror.ErrorState, fmeCouldNotLogin);
    EXPECT_EQ(part.ErrorState, fmeCouldNotLogin);
    EXPECT_EQ(slot.StatusText, "Couldn't login");
    EXPECT_EQ(log.states.back(), pdsError);
    EXPECT_EQ(log.states.size(), 5u);
}

// A range's end moved while its transfer runs: shrunk, the transfer stops at the new
// end; extended when the end is reached (as the downloader does), it goes on.
TEST_F(SlotTest, EndByteMovedDuringATransfer)
{
    const QByteArray content = Pattern(300'000, 9);
    HttpTestServer http;
    ASSERT_TRUE(http.Listen());
    FtpTestServer ftp;
    ftp.AddFile("file.bin", content);
    struct Case {
        const char* name;
        bool useFtp;
        qint64 end;      // when started
        qint64 movedTo;  // the new end
        TPartDownloaderState at;
    } cases[] = {
        {"http, shrunk", false, 0, 49'999, pdsDownloading},
        {"http, extended", false, 49'999, 99'999, pdsEndReached},
        {"ftp, shrunk", true, 0, 49'999, pdsDownloading},
        {"ftp, extended", true, 49'999, 99'999, pdsEndReached},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestAnswer slow = HttpTestAnswer::Partial(content, 0);
        slow.bytesPerSecond = 1'000'000;
        http.Enqueue(slow);
        TFileMirror mirror(c.useFtp ? QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(ftp.Port()) : http.Url());
        TPartDownloadSlot slot;
        slot.PartFileName = Path(QStringLiteral("moved%1.0").arg(index++));
        slot.EndByte = c.end;
        SlotLog log(slot);
        bool moved = false;
        log.React = [&](TPartDownloadSlot& sender, TPartDownloaderState state) {
            if (state != c.at || moved)
                return;
            moved = true;
            sender.SetPartDownloaderEndByte(c.movedTo);
            if (state == pdsEndReached)
                sender.PartDownloader->State = pdsDownloading;
        };
        slot.Start(&mirror);
        ASSERT_TRUE(ProcessEventsUntil([&] { return log.Saw(pdsPartDone) || log.Saw(pdsError); }));
        EXPECT_TRUE(moved);
        EXPECT_EQ(slot.PartDownloader->State, pdsPartDone) << slot.StatusText.toStdString();
        EXPECT_LT(slot.PartDownloader->TransferCount, content.size()) << "stopped before the file's end";
        slot.ResizePartFile();
        EXPECT_TRUE(ReadWholeFile(slot.PartFileName) == content.left(c.movedTo + 1));
        EXPECT_EQ(slot.TransferCount(), c.movedTo + 1);
    }
}

TEST_F(SlotTest, AbortPauseAndResize)
{
    TPartDownloadSlot slot;
    slot.PartFileName = Path("f.1000");
    slot.StartByte = 1000;
    ASSERT_TRUE(WriteWholeFile(slot.PartFileName, "0123456789"));
    slot.Pause(); // nothing attached: nothing happens
    EXPECT_TRUE(QFile::exists(slot.PartFileName));

    TPartDownloader& part = Attach(slot);
    part.EndByte = 1004;
    slot.ResizePartFile();
    EXPECT_EQ(ReadWholeFile(slot.PartFileName), "01234");
    part.EndByte = 1999;
    slot.ResizePartFile();
    EXPECT_EQ(ReadWholeFile(slot.PartFileName), "01234") << "a short part file is never padded";

    slot.Abort();
    EXPECT_EQ(part.State, pdsAborted);
    EXPECT_FALSE(QFile::exists(slot.PartFileName));

    ASSERT_TRUE(WriteWholeFile(slot.PartFileName, "again"));
    slot.PartDownloader.reset();
    slot.Abort();
    EXPECT_FALSE(QFile::exists(slot.PartFileName));
}

TEST_F(SlotTest, FreedSlotLeavesTheCredentialsQueue)
{
    const TUrl url(Nowhere);
    auto slot = std::make_unique<TPartDownloadSlot>();
    TPartDownloadSlot other;
    SiteManager().AddWaitingSlot(url, "realm", slot.get());
    SiteManager().AddWaitingSlot(url, "realm", &other);
    slot.reset();
    EXPECT_EQ(SiteManager().NextWaitingSlot(url, "realm"), &other);
    EXPECT_EQ(SiteManager().NextWaitingSlot(url, "realm"), nullptr);
}

TEST_F(SlotTest, TheCollection)
{
    TPartDownloadSlots collection;
    EXPECT_TRUE(collection.AllIdle()) << "no slots";
    TFileMirror a(Nowhere), b("http://127.0.0.1:2/file");
    TPartDownloadSlot* finished = collection.NewSlot();
    TPartDownloadSlot* first = collection.NewSlot();
    TPartDownloadSlot* second = collection.NewSlot();
    finished->Mirror = &a;
    first->Mirror = &a;
    second->Mirror = &b;
    Attach(*first).State = pdsIdle;
    TPartDownloader& parked = Attach(*second);
    parked.State = pdsIdle;
    EXPECT_TRUE(collection.AllIdle()) << "a finished slot without a part downloader does not count";
    EXPECT_FALSE(collection.AllPaused());
    parked.State = pdsPaused;
    EXPECT_FALSE(collection.AllIdle());
    EXPECT_EQ(collection.NumberOfSlotsUsingFileMirror(&a), 2);
    EXPECT_EQ(collection.NumberOfSlotsUsingFileMirror(&b), 1);

    collection.RemovePartDownloader(&parked);
    EXPECT_EQ(second->PartDownloader, nullptr);
    EXPECT_TRUE(collection.AllIdle());

    collection.DeleteSlot(1);
    EXPECT_EQ(collection.NumberOfSlots(), 2);
    EXPECT_EQ(collection.GetSlot(1), second);
    EXPECT_EQ(collection.GetSlot(2), nullptr);
    EXPECT_EQ(collection.GetSlot(-1), nullptr);
    EXPECT_EQ(collection.NumberOfSlotsUsingFileMirror(&a), 1);
    // Retired, not freed: a window may still show it.
    first->StatusText = "still here";
    EXPECT_EQ(first->StatusText, "still here");
    ASSERT_NE(first->PartDownloader, nullptr);
    collection.RemovePartDownloader(first->PartDownloader.get());
    EXPECT_NE(first->PartDownloader, nullptr) << "only active slots give theirs up";
    collection.DeleteSlot(5);
    EXPECT_EQ(collection.NumberOfSlots(), 2);
}
