// Whole downloads whose remote file changes: replaced between two runs, tagged
// differently by two mirrors, or changing with every answer.
#include "records/Settings.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/downloader/DownloadHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/ValidatorPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
bool WriteServedFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
        && file.setFileTime(modified, QFileDevice::FileModificationTime);
}

class RemoteChangeTest : public DownloaderTest {
protected:
    // Keeps every status the record shows when the downloader reports a slot.
    void WatchStatuses()
    {
        downloader->OnSlotChange = [this, previous = downloader->OnSlotChange](TDownloader* d, TPartDownloadSlot* s) {
            if (statuses.isEmpty() || statuses.last() != record->Status())
                statuses.append(record->Status());
            if (previous)
                previous(d, s);
        };
    }

    bool NoPartRunning() const
    {
        for (int i = 0; i < downloader->Slots.NumberOfSlots(); ++i) {
            if (downloader->Slots.GetSlot(i)->PartDownloader)
                return false;
        }
        return true;
    }

    QStringList statuses;
};
}

// The second run finds the part files of the first; nginx tags the file by its time and
// size, so a file of the same size written later only differs in its validators.
TEST_F(RemoteChangeTest, AFileReplacedBetweenTwoRunsIsFetchedAgainFromScratch)
{
    const QByteArray original = Pattern(1'000'000, 1);
    const QByteArray replacement = Pattern(1'000'000, 2);
    const QDateTime modified = QDateTime::currentDateTimeUtc().addDays(-2);
    const QString served = Path("www/file.bin");
    ASSERT_TRUE(QDir().mkpath(Path("www")));
    ASSERT_TRUE(WriteServedFile(served, original, modified));
    NginxFixture nginx;
    ASSERT_TRUE(nginx.Start(Path("www"), {.limitRate = 200'000})) << nginx.Error().toStdString();

    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replaced" : "unchanged");
        NewRecord(nginx.Url("file.bin"));
        Start();
        ASSERT_TRUE(ProcessEventsUntil([&] {
            if (downloader->Slots.NumberOfSlots() != 4)
                return false;
            for (int i = 0; i < 4; ++i) {
                if (Slot(i).TransferCount() < 10'000)
                    return false;
            }
            return true;
        }));
        downloader->Pause();
        ASSERT_TRUE(ProcessEventsUntil([&] { return downloader->Slots.AllPaused(); }));
        const QString temp = record->TempFileName();
        Finish();
        if (replace) {
            ASSERT_TRUE(WriteServedFile(served, replacement, modified.addSecs(3600)));
        }

        record = std::make_unique<TLocalDownloadinfo>(nullptr, temp);
        record->LocalFileName = Path("out.bin");
        ASSERT_EQ(record->RemoteValidators.size(), 1);
        const THostValidators stored = record->RemoteValidators[0];
        EXPECT_EQ(stored.Host, QStringLiteral("127.0.0.1:%1").arg(nginx.Port()));
        EXPECT_FALSE(stored.Validators.ETag.isEmpty());
        EXPECT_FALSE(stored.Validators.LastModified.isEmpty());
        Start();
        WatchStatuses();
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(events.allPartsDone, 1);
        EXPECT_EQ(events.downloadError, 0);
        EXPECT_EQ(downloader->RemoteChanges, replace ? 1 : 0);
        EXPECT_EQ(statuses.contains(TDownloader::StartingAgainStatus()), replace) << statuses.join(", ").toStdString();
        ASSERT_EQ(record->RemoteValidators.size(), 1);
        EXPECT_EQ(record->RemoteValidators[0] == stored, !replace);
        EXPECT_EQ(TLocalDownloadinfo(nullptr, temp).RemoteValidators, record->RemoteValidators) << "saved";
        EXPECT_TRUE(Combined() == (replace ? replacement : original));
        Finish();
    }
}

TEST_F(RemoteChangeTest, MirrorsThatTagTheFileDifferentlyDoNotStartItAgain)
{
    Write(Setting::SmallestSplitSize, 1);
    const QByteArray content = Pattern(400'000);
    HttpTestServer one, two;
    ASSERT_TRUE(one.Listen());
    ASSERT_TRUE(two.Listen());
    const auto serveTagged = [&](HttpTestServer& server, const QByteArray& etag) {
        ServeRanges(server, content, [etag](qint64, HttpTestAnswer& answer) {
            answer.head += "ETag: " + etag + "\r\nLast-Modified: Tue, 15 Nov 1994 12:45:26 GMT\r\n";
            answer.bytesPerSecond = 200'000; // slot 0 must not run through the other ranges
        });
    };
    serveTagged(one, "\"one\"");
    serveTagged(two, "W/\"two\"");
    WriteMirrorList({one.Url(""), two.Url("")});
    // Held pings: the load alone spreads the slots, and the last one goes to the second server.
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 10}}, false);

    ASSERT_TRUE(Run(one.Url("file.bin"), true));
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(downloader->RemoteChanges, 0);
    const QString date = QStringLiteral("Tue, 15 Nov 1994 12:45:26 GMT");
    const THostValidatorList expected = {
        {QStringLiteral("127.0.0.1:%1").arg(one.Port()), {"\"one\"", date}},
        {QStringLiteral("127.0.0.1:%1").arg(two.Port()), {"W/\"two\"", date}},
    };
    EXPECT_EQ(record->RemoteValidators, expected);
    EXPECT_TRUE(Combined() == content);
}

TEST_F(RemoteChangeTest, AFileThatChangesWithEveryAnswerFailsAfterTheSecondChange)
{
    Write(Setting::SmallestSplitSize, 1);
    const QByteArray content = Pattern(400'000);
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    int version = 0;
    ServeRanges(server, content, [&](qint64, HttpTestAnswer& answer) {
        answer.head += "ETag: \"v" + QByteArray::number(++version) + "\"\r\n";
        answer.bytesPerSecond = 200'000;
    });
    NewRecord(server.Url("file.bin"));
    Start();
    WatchStatuses();
    ASSERT_TRUE(WaitForEnd());
    RunEvents(300);

    EXPECT_EQ(events.downloadError, 1);
    EXPECT_EQ(events.allPartsDone, 0);
    EXPECT_EQ(downloader->RemoteChanges, 2);
    EXPECT_EQ(record->StateCode, pdsError);
    EXPECT_EQ(record->Status(), TDownloader::KeepsChangingStatus());
    EXPECT_EQ(downloader->StatusText, TDownloader::KeepsChangingStatus());
    EXPECT_TRUE(statuses.contains(TDownloader::StartingAgainStatus())) << statuses.join(", ").toStdString();
    EXPECT_TRUE(NoPartRunning());
    const qsizetype asked = server.Requests().size();
    RunEvents(300);
    EXPECT_EQ(server.Requests().size(), asked) << "nothing starts again by itself";
}

// The old version's ranges were going onto ".0" when the change showed: what the
// early appends knew of them must not reach the new version's files.
TEST_F(RemoteChangeTest, AChangeWhileRangesGoOntoTheZeroPartStartsCleanly)
{
    Write(Setting::SmallestSplitSize, 1);
    const QByteArray original = Pattern(40'000, 1);
    const QByteArray replacement = Pattern(40'000, 2);
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    bool replaced = false;
    server.Handler = [&](const QByteArray& request) {
        const qint64 start = qMax<qint64>(RangeStart(request), 0);
        HttpTestAnswer answer = HttpTestAnswer::Partial(replaced ? replacement : original, start);
        answer.head += replaced ? "ETag: \"two\"\r\n" : "ETag: \"one\"\r\n";
        // Ranges that complete in order, the last one slowly; in the old version it is
        // cut off once part of it is on ".0".
        answer.bytesPerSecond = start == 0 ? 50'000 : start < 30'000 ? 100'000 : 10'000;
        if (!replaced && start == 30'000)
            answer.dropAfter = 6'000;
        return answer;
    };
    NewRecord(server.Url("file.bin"));
    Start();
    downloader->AppendStep = 2'000;
    const QString zeroPart = record->TempFileName() + ".0";
    ASSERT_TRUE(ProcessEventsUntil([&] { return PartFileSize(zeroPart) > 32'000; }));
    replaced = true;
    downloader->OnDownloadError = [](TDownloader* d) { d->RestartDownload(); }; // as the owner's retry does

    ASSERT_TRUE(ProcessEventsUntil([&] { return events.allPartsDone > 0; }, 30'000));
    EXPECT_EQ(downloader->RemoteChanges, 1);
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(PartFiles(), QStringList{"0"}) << "the new version's ranges went onto \".0\" as they completed";
    EXPECT_TRUE(Combined() == replacement);
}
