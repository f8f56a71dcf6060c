// Whole downloads over disks that disagree with the records or run full: the file
// comes out byte for byte, or the download fails clearly, claims nothing done and
// keeps what it has for the next try.
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/engine/combine/JoinFolder.h"
#include "tests/faults/FaultHarness.h"
#include "tests/support/FtpTestServer.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

namespace {
// Leaves about `room` bytes for files below a folder: a small tmpfs on it filled up
// to that, in a mount namespace of the test's own, or else a limit on the size of any
// file the process writes. Free() gives the space back.
class FullDisk {
public:
    bool Fill(const QString& folder, qint64 room)
    {
        if (!QDir().mkpath(folder))
            return false;
        if (mount.Mount(folder, "1m")) {
            filler = folder + "/filler";
            return WriteWholeFile(filler, QByteArray((1 << 20) - room, 'f'));
        }
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        const struct rlimit limit {rlim_t(room), previous.rlim_max};
        limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        return limited;
    }
    void Free()
    {
        if (!filler.isEmpty())
            QFile::remove(filler);
        if (limited)
            setrlimit(RLIMIT_FSIZE, &previous);
        limited = false;
    }
    ~FullDisk() { Free(); }
    QString Why() const { return mount.Why + ", and no file size limit either"; }

private:
    TmpfsMount mount;
    QString filler;
    struct rlimit previous {};
    bool limited = false;
};

class DiskFaults : public ServedFaultTest {};
}

TEST_F(DiskFaults, PartFilesThatDisagreeWithTheirRecordAreMadeGoodOnResume)
{
    const struct {
        const char* Name;
        QMap<qint64, QByteArray> Parts;
    } cases[] = {
        {"shorter than their ranges",
         {{0, content.left(5000)}, {10'000, content.mid(10'000, 4000)}, {20'000, content.mid(20'000, 10'000)}, {30'000, {}}}},
        {"one running into the next range",
         {{0, content.left(10'000)}, {10'000, content.mid(10'000, 15'000)}, {20'000, content.mid(20'000, 3000)}, {30'000, {}}}},
        {"one with junk past its range", {{0, content.left(10'000) + "junk"}, {10'000, {}}, {20'000, {}}, {30'000, {}}}},
        {"the first one missing", {{10'000, content.mid(10'000, 10'000)}, {20'000, {}}, {30'000, {}}}},
        {"one in the middle missing",
         {{0, content.left(10'000)}, {10'000, content.mid(10'000, 10'000)}, {30'000, content.mid(30'000)}}},
        {"all of them whole", {{0, content.left(20'000)}, {20'000, content.mid(20'000)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(Path("out.bin"));
        StoredRecord(server.Url("file.bin"), content.size(), c.Parts);
        Start();
        EXPECT_EQ(Finish(), TOutcome::Identical);
        DownloaderTest::Finish();
    }
}

TEST_F(DiskFaults, AFullDiskWhilePartsArriveFailsClearlyAndTheNextTryCompletes)
{
    // Less than a range: with a file size limit too, every part fails.
    const qint64 room = 6 * 1024;
    FullDisk disk;
    if (!disk.Fill(Path("small"), room))
        GTEST_SKIP() << disk.Why().toStdString();
    Write(Setting::PartialDownloadsDirectory, Path("small"));
    FtpTestServer ftp;
    ftp.AddFile("file.bin", content);
    for (const QString& url : {server.Url("file.bin"), QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(ftp.Port())}) {
        SCOPED_TRACE(url.toStdString());
        Begin(url);
        EXPECT_EQ(Finish(), TOutcome::Failed);
        EXPECT_TRUE(record->Status().startsWith("Couldn't write " + Path("small/"))) << record->Status().toStdString();
        EXPECT_TRUE(record->Status().endsWith("No space left on device") || record->Status().endsWith("File too large"))
            << record->Status().toStdString();
        disk.Free();
        EXPECT_EQ(Finish(1), TOutcome::Identical) << "from the parts kept";
        record->DeletePartFiles();
        record->DeleteDatFile();
        DownloaderTest::Finish();
        ASSERT_TRUE(disk.Fill(Path("small"), room));
    }
}

TEST_F(DiskFaults, AFullDiskWhileJoiningFailsClearlyAndKeepsThePartsForTheNextJoin)
{
    FullDisk disk;
    if (!disk.Fill(Path("small"), 24 * 1024))
        GTEST_SKIP() << disk.Why().toStdString();
    Begin(server.Url("file.bin"));
    record->LocalFileName = Path("small/out.bin");
    EXPECT_EQ(Finish(), TOutcome::Failed);
    EXPECT_TRUE(joinMessage.startsWith("Couldn't write ")) << joinMessage.toStdString();
    EXPECT_NE(record->Status(), StatusTexts().Done);
    EXPECT_FALSE(PartFiles().isEmpty());
    EXPECT_TRUE(PartsHoldOnlyTrueBytes());
    disk.Free();
    EXPECT_EQ(Join(), TOutcome::Identical);
}
