// Downloads rebuilt from the part files of an earlier run: which ranges are done, which
// start again and from where, also after the process running the download was killed.
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/downloader/DownloadHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/ServerProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {
constexpr qint64 Quarter = 250'000;
}

TEST_F(DownloaderTest, ResumeRebuildsThePlanFromThePartFiles)
{
    const QByteArray content = Pattern(4 * Quarter);
    ASSERT_TRUE(QDir().mkpath(Path("www")));
    ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), content));
    NginxFixture nginx;
    ASSERT_TRUE(nginx.Start(Path("www"))) << nginx.Error().toStdString();
    const auto part = [&](int index, qint64 size) { return content.mid(index * Quarter, size); };

    struct Case {
        const char* name;
        QMap<qint64, QByteArray> files;
        std::vector<bool> done;
        std::vector<qint64> resumedFrom; // bytes each started slot finds in its part file
    } cases[] = {
        {"the second part is complete",
         {{0, part(0, 1000)}, {Quarter, part(1, Quarter)}, {2 * Quarter, part(2, 10)}, {3 * Quarter, {}}},
         {false, true, false, false},
         {1000, -1, 10, 0}},
        {"no first part file: it counts as empty",
         {{Quarter, part(1, Quarter)}, {2 * Quarter, part(2, Quarter)}, {3 * Quarter, part(3, Quarter)}},
         {false, true, true, true},
         {0, -1, -1, -1}},
        {"a part file longer than its range is cut back to it",
         {{0, part(0, Quarter + 77)}, {Quarter, part(1, 5)}, {2 * Quarter, {}}, {3 * Quarter, part(3, Quarter)}},
         {true, false, false, true},
         {-1, 5, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoredRecord(nginx.Url("file.bin"), content.size(), c.files);
        Start();
        ASSERT_EQ(downloader->Slots.NumberOfSlots(), 4);
        EXPECT_EQ(downloader->NumOfParts, 4);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const TPartDownloadSlot& slot = Slot(i);
            EXPECT_EQ(slot.StartByte, i * Quarter);
            EXPECT_EQ(slot.EndByte, (i + 1) * Quarter - 1);
            EXPECT_EQ(slot.StatusText == "Done", c.done[size_t(i)]);
            EXPECT_EQ(slot.PartDownloader != nullptr, !c.done[size_t(i)]);
            if (c.done[size_t(i)])
                EXPECT_EQ(slot.Mirror, nullptr);
            else
                EXPECT_EQ(slot.BytesAtStart, c.resumedFrom[size_t(i)]);
        }
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(events.allPartsDone, 1);
        EXPECT_EQ(events.downloadError, 0);
        EXPECT_TRUE(Combined() == content);
        Finish();
    }

    // Nothing missing: the parts are reported complete as soon as the download may run.
    StoredRecord(nginx.Url("file.bin"), content.size(),
                 {{0, part(0, Quarter)}, {Quarter, part(1, Quarter)}, {2 * Quarter, part(2, 2 * Quarter)}});
    Start(4, true, false, false);
    EXPECT_EQ(record->StateCode, pdsDone);
    EXPECT_EQ(events.allPartsDone, 0);
    downloader->StartDownload();
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_EQ(events.startDownload, 0);
    EXPECT_TRUE(Combined() == content);
}

// A child process downloads from our server, slowly, until it is killed; a new
// downloader then asks the server only for what the part files do not hold.
TEST_F(DownloaderTest, AfterAKilledProcessOnlyTheMissingBytesAreFetched)
{
    const QByteArray content = Pattern(400'000);
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    qint64 bytesPerSecond = 100'000;
    ServeRanges(server, content, [&](qint64, HttpTestAnswer& answer) { answer.bytesPerSecond = bytesPerSecond; });
    NewRecord(server.Url("file.bin"));
    ASSERT_TRUE(record->SaveToDatFile());
    const QString temp = record->TempFileName();
    Finish();

    ServerProcess child;
    ASSERT_TRUE(child.Start(QCoreApplication::applicationDirPath() + "/downloader_child", {temp}, Path("child.log")));
    const auto held = [&](qint64 start) { return PartFileSize(temp + "." + QString::number(start)); };
    const std::vector<qint64> starts = {0, 100'000, 200'000, 300'000};
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return std::all_of(starts.begin(), starts.end(), [&](qint64 start) { return held(start) >= 10'000; });
    })) << child.Log().toStdString();
    kill(child.Pid(), SIGKILL);
    child.Stop();

    bytesPerSecond = 0;
    const qsizetype before = server.Requests().size();
    std::vector<qint64> expected;
    qint64 kept = 0;
    for (qint64 start : starts) {
        expected.push_back(start + held(start));
        kept += held(start);
    }
    record = std::make_unique<TLocalDownloadinfo>(nullptr, temp);
    record->LocalFileName = Path("out.bin");
    EXPECT_EQ(record->FileSize, content.size());
    EXPECT_EQ(record->NumOfParts, 4);
    Start();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(events.allPartsDone, 1);
    EXPECT_TRUE(Combined() == content);

    std::vector<qint64> asked = RangeStarts(server.Requests(), before);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, expected) << "one request per part, from the end of what it held";
    qint64 fetched = 0;
    for (size_t i = 0; i < asked.size(); ++i)
        fetched += (i + 1 < starts.size() ? starts[i + 1] : content.size()) - asked[i];
    EXPECT_EQ(fetched, content.size() - kept);
    EXPECT_GT(kept, 0);
}
