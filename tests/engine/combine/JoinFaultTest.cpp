#include "JoinFolder.h"

#include "engine/PartJoin.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
std::string Name(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

TEST(JoinParts, TargetOnAnotherFileSystemIsCopiedBesideItThenRenamed)
{
    JoinFolder folder;
    const OtherFileSystem other(folder.Path(""));
    if (!other.IsValid())
        GTEST_SKIP() << "no second file system: " << other.Why.toStdString();
    // Around the copy buffer's size, so the reads and writes of the copy end exactly
    // at a buffer's end and one byte after it.
    folder.Source = JoinFolder::Pattern(3 * 65536 + 1);
    folder.WriteChain({0, 65536, 131073});
    const QString target = other.Folder + "/downloads/file.bin";
    const mode_t previous = umask(027);

    const TJoinResult result = JoinParts(folder.Job(target, folder.Source.size()));
    umask(previous);

    ASSERT_TRUE(result.Ok()) << result.FileName << ": " << result.Error;
    EXPECT_EQ(ReadWholeFile(target), folder.Source);
    EXPECT_EQ(ModeOf(target), mode_t(0640));
    EXPECT_EQ(folder.Files(), QStringList());
    EXPECT_EQ(QDir(other.Folder + "/downloads").entryList(QDir::Files | QDir::Hidden), QStringList{"file.bin"});
}

struct FullDiskCase {
    const char* Name;
    bool Tmpfs; // else a file size limit
    int Error;
};

void PrintTo(const FullDiskCase& c, std::ostream* out)
{
    *out << c.Name;
}

class FullDisk : public testing::TestWithParam<FullDiskCase> {};

TEST_P(FullDisk, CutsTheZeroPartBackAndKeepsEveryPartForACleanRetry)
{
    JoinFolder outer;
    TmpfsMount mount;
    std::optional<JoinFolder> inner;
    if (GetParam().Tmpfs) {
        ASSERT_TRUE(QDir().mkpath(outer.Path("small")));
        if (!mount.Mount(outer.Path("small"), "1m"))
            GTEST_SKIP() << mount.Why.toStdString();
        inner.emplace(outer.Path("small"));
    }
    JoinFolder& folder = inner ? *inner : outer;
    folder.Source = JoinFolder::Pattern(600 << 10);
    folder.WriteChain({0, 200 << 10, 400 << 10});
    const QString filler = folder.Path("filler");
    struct rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    if (GetParam().Tmpfs) {
        ASSERT_TRUE(WriteWholeFile(filler, QByteArray(300 << 10, 'f')));
    } else {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {300 << 10, previous.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    const QString target = folder.Path("file");

    const TJoinResult full = JoinParts(folder.Job(target, folder.Source.size()));
    setrlimit(RLIMIT_FSIZE, &previous);
    QFile::remove(filler);

    EXPECT_EQ(full.Failure, TJoinFailure::CouldntWrite);
    EXPECT_EQ(full.FileName, Name(folder.Part(0)));
    EXPECT_EQ(full.Error, GetParam().Error);
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(200 << 10));
    EXPECT_EQ(ReadWholeFile(folder.Part(200 << 10)), folder.Source.mid(200 << 10, 200 << 10));
    EXPECT_EQ(ReadWholeFile(folder.Part(400 << 10)), folder.Source.mid(400 << 10));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(folder.Journal()));

    ASSERT_TRUE(JoinParts(folder.Job(target, folder.Source.size())).Ok());
    EXPECT_EQ(ReadWholeFile(target), folder.Source);
}

INSTANTIATE_TEST_SUITE_P(JoinParts, FullDisk,
                         testing::Values(FullDiskCase{"FullTmpfs", true, ENOSPC},
                                         FullDiskCase{"FileSizeLimit", false, EFBIG}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(JoinParts, StoppedInTheMiddleOfAnAppendLeavesTheFilesForAnotherJoin)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(300000);
    folder.WriteChain({0, 100000, 200000});
    TJoinJob job = folder.Job(folder.Path("file"), 300000);
    job.ChunkBytes = 4096;

    const TJoinResult stopped = JoinParts(job, [](qint64 done, qint64) { return done < 150000; });

    EXPECT_EQ(stopped.Failure, TJoinFailure::Stopped);
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(100000));
    EXPECT_EQ(ReadWholeFile(folder.Part(100000)), folder.Source.mid(100000, 100000));
    EXPECT_FALSE(QFile::exists(folder.Journal()));
    ASSERT_TRUE(JoinParts(job).Ok());
    EXPECT_EQ(ReadWholeFile(folder.Path("file")), folder.Source);
}

TEST(JoinParts, ZeroPartStaysUntilTheHandOverLetsItGo)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100});
    const QString target = folder.Path("file");

    bool placedBeforeHandOver = false;
    EXPECT_TRUE(JoinParts(folder.Job(target, 150), {}, [&] {
        placedBeforeHandOver = ReadWholeFile(target) == folder.Source;
        return false;
    }).Ok());
    EXPECT_TRUE(placedBeforeHandOver);
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source);

    // As after a crash before the owner recorded the success: joined again.
    ASSERT_TRUE(JoinParts(folder.Job(target, 150)).Ok());
    EXPECT_EQ(ReadWholeFile(target), folder.Source);
    EXPECT_FALSE(QFile::exists(folder.Part(0)));
}

// What a join killed at some step leaves behind, for a chain of parts at 0, 100, 200
// of a 250-byte file.
struct CrashState {
    const char* Name;
    qint64 ZeroSize;
    const char* Journal; // nullptr: none
    std::vector<qint64> PartsLeft;
    bool StaleFiles = false;  // a half-written journal aside, a half-copied target aside
    bool TargetDone = false;
    qint64 FailingPart = -1;  // -1: the join completes
};

void PrintTo(const CrashState& c, std::ostream* out)
{
    *out << c.Name;
}

class AfterACrash : public testing::TestWithParam<CrashState> {};

TEST_P(AfterACrash, JoiningAgainContinuesWhereItStopped)
{
    const CrashState& state = GetParam();
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(250);
    const std::vector<std::pair<qint64, qint64>> chain{{0, 100}, {100, 100}, {200, 50}};
    const QString target = folder.Path("out/file.bin");
    ASSERT_TRUE(QDir().mkpath(folder.Path("out")));
    folder.WritePart(0, folder.Source.left(state.ZeroSize));
    for (const auto& [start, size] : chain) {
        if (start > 0 && std::find(state.PartsLeft.begin(), state.PartsLeft.end(), start) != state.PartsLeft.end())
            folder.WritePart(start, folder.Source.mid(start, size));
    }
    if (state.Journal) {
        ASSERT_TRUE(WriteWholeFile(folder.Journal(), state.Journal));
    }
    if (state.StaleFiles) {
        ASSERT_TRUE(WriteWholeFile(folder.Journal() + ".tmp", "1"));
        ASSERT_TRUE(WriteWholeFile(QString::fromStdString(TargetTempFileName(Name(target))), "half"));
    }
    if (state.TargetDone) {
        ASSERT_TRUE(WriteWholeFile(target, folder.Source));
    }

    const TJoinResult result = JoinParts(folder.Job(target, 250));

    if (state.FailingPart >= 0) {
        EXPECT_EQ(result.FileName, Name(folder.Part(state.FailingPart)));
        EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(state.ZeroSize)) << ".0 is never cut blindly";
        return;
    }
    ASSERT_TRUE(result.Ok()) << result.FileName;
    EXPECT_EQ(ReadWholeFile(target), folder.Source);
    EXPECT_EQ(folder.Files(), QStringList());
    EXPECT_EQ(QDir(folder.Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"file.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    JoinParts, AfterACrash,
    testing::Values(CrashState{"BeforeTheJournalWasInPlace", 100, nullptr, {100, 200}, true},
                    CrashState{"InTheMiddleOfAnAppend", 150, "100 100\n", {100, 200}},
                    CrashState{"AfterTheSyncBeforeThePartWasDeleted", 200, "100 100\n", {100, 200}},
                    CrashState{"AfterThePartWasDeleted", 200, "100 100\n", {200}},
                    CrashState{"InTheCopyBesideTheTarget", 250, nullptr, {}, true},
                    CrashState{"AfterTheRenameOntoTheTarget", 250, nullptr, {}, false, true},
                    CrashState{"ForeignJournal", 150, "100 100 x\n", {100, 200}, false, false, 150},
                    CrashState{"JournalNotMatchingTheZeroPart", 150, "100 20\n", {100, 200}, false, false, 150}),
    [](const auto& info) { return std::string(info.param.Name); });
}
