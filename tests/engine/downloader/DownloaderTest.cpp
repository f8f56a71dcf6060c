// Whole downloads through the downloader against nginx and pyftpdlib: how the file is
// split, files that are not split, servers without resume or without a length, the
// download that may not start yet.
#include "records/Settings.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/downloader/DownloadHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FtpFixture.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
using Ranges = std::vector<std::pair<qint64, qint64>>;

class NginxDownloadTest : public DownloaderTest {
protected:
    // Serves content as www/file.bin; limitRate per connection keeps slot 0 from racing
    // through the ranges of the others before they connect.
    void Serve(const QByteArray& content, qint64 limitRate = 0)
    {
        ASSERT_TRUE(QDir().mkpath(Path("www")));
        ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), content));
        ASSERT_TRUE(nginx.Start(Path("www"), {.limitRate = limitRate})) << nginx.Error().toStdString();
    }

    NginxFixture nginx;
};
}

TEST_F(NginxDownloadTest, SplitsIntoRangesAfterWhatTheFirstPartHolds)
{
    struct Case {
        qint64 size;
        qint64 held; // already in ".0" before the probe
        Ranges ranges;
        QStringList parts;
    } cases[] = {
        {1'000'000, 0, {{0, 249'999}, {250'000, 499'999}, {500'000, 749'999}, {750'000, 999'999}},
         {"0", "250000", "500000", "750000"}},
        {1'000'001, 1, {{0, 250'000}, {250'001, 500'000}, {500'001, 750'000}, {750'001, 1'000'000}},
         {"0", "250001", "500001", "750001"}},
        // Shares of 250,000.5 and 250,001.5 bytes round to the even neighbour.
        {1'000'002, 0, {{0, 249'999}, {250'000, 499'999}, {500'000, 749'999}, {750'000, 1'000'001}},
         {"0", "250000", "500000", "750000"}},
        {1'000'006, 0, {{0, 250'001}, {250'002, 500'003}, {500'004, 750'005}, {750'006, 1'000'005}},
         {"0", "250002", "500004", "750006"}},
    };
    const QByteArray content = Pattern(1'000'006);
    Serve(content, 2'000'000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const QByteArray file = content.left(c.size);
        ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), file));
        NewRecord(nginx.Url("file.bin"));
        ASSERT_TRUE(WriteWholeFile(record->TempFileName() + ".0", file.left(c.held)));
        Start();
        ASSERT_TRUE(WaitForEnd());

        EXPECT_EQ(events.rangesAtSplit, c.ranges);
        EXPECT_EQ(events.allPartsDone, 1);
        EXPECT_EQ(events.downloadError, 0);
        EXPECT_EQ(events.fileSizeRequestDone, 1);
        EXPECT_EQ(events.resume, 1);
        EXPECT_EQ(downloader->AllowResume, "Yes");
        EXPECT_EQ(record->FileSize, c.size);
        EXPECT_EQ(record->NumOfParts, 4);
        EXPECT_EQ(record->StateCode, pdsDone);
        EXPECT_EQ(downloader->TransferCount(), c.size);
        EXPECT_PRED2(ZeroAndLastRangesOf, PartFiles(), c.parts);
        EXPECT_TRUE(Combined() == file);
        Finish();
    }
}

TEST_F(NginxDownloadTest, WhatIsTooSmallToSplitIsFetchedByTheFirstSlotAlone)
{
    struct Case {
        qint64 size;
        int smallestSplitSize; // KB
        Ranges ranges;
    } cases[] = {
        {50'000, 100, {}},
        {6, 0, {}}, // shares of 2 bytes would leave the last range empty
        {7, 0, {{0, 1}, {2, 3}, {4, 5}, {6, 6}}}, // one byte for the last range is enough
    };
    const QByteArray content = Pattern(50'000);
    Serve(content);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Write(Setting::SmallestSplitSize, c.smallestSplitSize);
        const QByteArray file = content.left(c.size);
        ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), file));
        ASSERT_TRUE(Run(nginx.Url("file.bin")));
        EXPECT_EQ(events.rangesAtSplit, c.ranges);
        EXPECT_EQ(events.allPartsDone, 1);
        if (c.ranges.empty()) {
            EXPECT_EQ(downloader->Slots.NumberOfSlots(), 1);
            EXPECT_EQ(record->NumOfParts, 1);
            EXPECT_EQ(PartFiles(), QStringList{"0"});
        }
        EXPECT_TRUE(Combined() == file);
        Finish();
    }
}

TEST_F(NginxDownloadTest, ServerWithoutResumeIsNotSplitAndCannotResumeLater)
{
    const QByteArray content = Pattern(300'000);
    Serve(content);
    ASSERT_TRUE(Run(nginx.Url("norange/file.bin")));
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(events.resume, 1);
    EXPECT_EQ(downloader->ResumeSupport, 1);
    EXPECT_EQ(downloader->AllowResume, "No");
    EXPECT_EQ(downloader->Slots.NumberOfSlots(), 1);
    EXPECT_EQ(record->NumOfParts, -1);
    EXPECT_TRUE(Combined() == content);
    Finish();

    // A later run that holds part of the file cannot go on from there.
    StoredRecord(nginx.Url("norange/file.bin"), content.size(), {{0, content.left(1000)}});
    record->NumOfParts = -1;
    Start();
    ASSERT_TRUE(WaitForEnd());
    RunEvents(100);
    EXPECT_EQ(events.downloadError, 1);
    EXPECT_EQ(events.allPartsDone, 0);
    EXPECT_EQ(downloader->StatusText, "Resume is not supported");
    EXPECT_EQ(record->Status(), "Resume is not supported");
    EXPECT_EQ(record->StateCode, pdsError);
    EXPECT_TRUE(ReadWholeFile(record->TempFileName() + ".0") == content.left(1000));
}

TEST_F(NginxDownloadTest, MayNotStartPausesAfterTheProbeWithoutSplitting)
{
    Serve(Pattern(1'000'000));
    NewRecord(nginx.Url("file.bin"));
    Start(4, false, false, false);
    ASSERT_TRUE(ProcessEventsUntil([&] { return events.pause == 2; }));
    EXPECT_TRUE(downloader->Paused);
    EXPECT_EQ(events.fileSizeRequestDone, 1);
    EXPECT_EQ(downloader->ResumeSupport, 0);
    EXPECT_EQ(downloader->Slots.NumberOfSlots(), 1);
    EXPECT_EQ(Slot(0).PartDownloader->State, pdsPaused);
    EXPECT_EQ(record->FileSize, 1'000'000);
    EXPECT_EQ(record->NumOfParts, -1);
    EXPECT_EQ(PartFiles(), QStringList{"0"});
    EXPECT_EQ(events.allPartsDone, 0);
}

TEST_F(DownloaderTest, AnswerWithoutLengthIsOnePartDoneWhenTheAnswerEnds)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    const QByteArray content = Pattern(300'000);
    HttpTestAnswer answer;
    answer.head = "HTTP/1.0 200 OK\r\nAccept-Ranges: bytes\r\n";
    answer.body = content;
    answer.bytesPerSecond = 600'000;
    server.Enqueue(answer);
    NewRecord(server.Url("file.bin"));
    Start(); // with its target known: the parts must not be reported done while .0 grows

    ASSERT_TRUE(ProcessEventsUntil([&] { return downloader->TransferCount() > 0; }));
    EXPECT_EQ(record->FileSize, -1);
    EXPECT_EQ(Slot(0).EndByte, 0);
    EXPECT_EQ(downloader->TimeLeft(), "N/A");
    EXPECT_TRUE(downloader->AllPartsDone()) << "as the chain sees it, yet nothing may be joined";
    EXPECT_EQ(events.allPartsDone, 0);

    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(downloader->Slots.NumberOfSlots(), 1);
    EXPECT_EQ(record->NumOfParts, 1);
    EXPECT_EQ(downloader->TransferCount(), content.size());
    EXPECT_TRUE(Combined() == content);
    EXPECT_GE(events.update, 2) << "every 100 ms while it ran";
    EXPECT_NE(downloader->TransferRate(), "N/A");
}

TEST_F(DownloaderTest, FtpDownloadIsSplitLikeHttp)
{
    Write(Setting::SmallestSplitSize, 1);
    // pyftpdlib sometimes never opens the active data connection of a session's second
    // transfer while other throttled transfers run (Python's own FTP client sees it
    // too); a range's check that REST is honoured is such a first transfer.
    Write(Setting::PassiveMode, true);
    FtpFixture::Options options;
    // pyftpdlib sends in bursts of 64 KiB blocks and then waits out the second, so each
    // range needs two of them: the others have data before the first range is full.
    options.bytesPerSecond = 30'000;
    FtpFixture ftp(options);
    ASSERT_TRUE(ftp.Start());
    const QByteArray content = Pattern(400'000);
    ftp.AddFile("file.bin", content);
    ASSERT_TRUE(Run(QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(ftp.Port()), false, 60000))
        << ftp.Log().toStdString();
    EXPECT_EQ(events.downloadError, 0);
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(events.rangesAtSplit,
              (Ranges{{0, 99'999}, {100'000, 199'999}, {200'000, 299'999}, {300'000, 399'999}}));
    EXPECT_EQ(downloader->AllowResume, "Yes");
    EXPECT_EQ(record->NumOfParts, 4);
    EXPECT_PRED2(ZeroAndLastRangesOf, PartFiles(), (QStringList{"0", "100000", "200000", "300000"}));
    EXPECT_TRUE(Combined() == content);
}
