#include "JoinFolder.h"

#include "engine/PartJoin.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Parts = std::vector<std::pair<qint64, qint64>>;

std::string Name(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

struct ChainCase {
    const char* Name;
    Parts Written;            // (start, size), bytes from the source at those places
    qint64 FileSize;          // the record's
    qint64 FailingPart;       // -1: joined; else the part named by "Couldn't open"
    qint64 TargetSize;        // of a joined target
};

void PrintTo(const ChainCase& c, std::ostream* out)
{
    *out << c.Name;
}

class PartChains : public testing::TestWithParam<ChainCase> {};

TEST_P(PartChains, JoinOrFailWithoutLosingAByte)
{
    const ChainCase& c = GetParam();
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(1 << 18);
    folder.WriteParts(c.Written);
    const QString target = folder.Path("out/file.bin");

    const TJoinResult result = JoinParts(folder.Job(target, c.FileSize));

    if (c.FailingPart < 0) {
        ASSERT_TRUE(result.Ok()) << result.FileName;
        EXPECT_EQ(ReadWholeFile(target), folder.Source.left(c.TargetSize));
        EXPECT_EQ(folder.Files(), QStringList()) << "parts, journal and .0 are gone";
        return;
    }
    EXPECT_EQ(result.Failure, TJoinFailure::CouldntOpen);
    EXPECT_EQ(result.FileName, Name(folder.Part(c.FailingPart)));
    EXPECT_FALSE(QFile::exists(target));
    for (const auto& [start, size] : c.Written)
        EXPECT_EQ(ReadWholeFile(folder.Part(start)), folder.Source.mid(start, size)) << "part " << start;
    EXPECT_FALSE(QFile::exists(folder.Journal()));
}

INSTANTIATE_TEST_SUITE_P(
    JoinParts, PartChains,
    testing::Values(ChainCase{"TwoParts", {{0, 100}, {100, 50}}, 150, -1, 150},
                    ChainCase{"PartsOfExactly64KiB", {{0, 65536}, {65536, 65536}}, 131072, -1, 131072},
                    ChainCase{"UnknownSizeTakesTheZeroPart", {{0, 250}}, -1, -1, 250},
                    ChainCase{"NotYetKnownSizeTakesTheZeroPart", {{0, 250}}, 0, -1, 250},
                    ChainCase{"ZeroPartLongerThanTheFileIsKept", {{0, 200}}, 150, -1, 200},
                    ChainCase{"MissingSecondPart", {{0, 100}}, 150, 100, 0},
                    ChainCase{"MissingZeroPart", {{100, 50}}, 150, 0, 0},
                    ChainCase{"GapInTheChain", {{0, 100}, {120, 30}}, 150, 100, 0},
                    ChainCase{"EmptyPart", {{0, 100}, {100, 0}}, 150, 100, 0},
                    ChainCase{"PartLongerThanItsRange", {{0, 100}, {100, 60}, {150, 50}}, 200, 160, 0},
                    // Without a journal an overlong ".0" is no half-done append: never cut.
                    ChainCase{"ZeroPartLongerThanItsRange", {{0, 120}, {100, 50}}, 150, 120, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(JoinParts, ProgressCountsTheZeroPartAsDoneAndEndsAtTheFileSize)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100, 120});
    std::vector<std::pair<qint64, qint64>> reports;

    const TJoinResult result = JoinParts(folder.Job(folder.Path("file"), 150), [&](qint64 done, qint64 total) {
        reports.emplace_back(done, total);
        return true;
    });

    ASSERT_TRUE(result.Ok());
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), std::make_pair(qint64(100), qint64(150)));
    EXPECT_EQ(reports.back(), std::make_pair(qint64(150), qint64(150)));
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
}

TEST(JoinParts, UnusableTargetFailsBeforeAnyPartIsTouched)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100});
    ASSERT_TRUE(WriteWholeFile(folder.Path("plain"), "x"));
    ASSERT_TRUE(QDir().mkpath(folder.Path("folder")));

    for (const QString& target : {folder.Path("plain/sub/file"), folder.Path("folder"), QString()}) {
        const TJoinResult result = JoinParts(folder.Job(target, 150));
        EXPECT_EQ(result.Failure, TJoinFailure::CouldntOpen) << target.toStdString();
        EXPECT_EQ(result.FileName, Name(target));
        EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(100));
        EXPECT_EQ(ReadWholeFile(folder.Part(100)), folder.Source.mid(100));
    }
}

TEST(JoinParts, ExistingTargetIsReplacedOnlyByTheFinalRename)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(200000);
    folder.WriteChain({0, 70000, 140000});
    const QString target = folder.Path("file");
    ASSERT_TRUE(WriteWholeFile(target, "old content"));
    const int held = open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);

    // A failing join leaves it alone.
    QFile::rename(folder.Part(140000), folder.Path("aside"));
    EXPECT_FALSE(JoinParts(folder.Job(target, 200000)).Ok());
    EXPECT_EQ(ReadWholeFile(target), "old content");
    QFile::rename(folder.Path("aside"), folder.Part(140000));

    bool oldWhileJoining = true;
    TJoinJob job = folder.Job(target, 200000);
    job.ChunkBytes = 4096;
    const TJoinResult result = JoinParts(job, [&](qint64, qint64) {
        oldWhileJoining = oldWhileJoining && ReadWholeFile(target) == "old content";
        return true;
    });
    ASSERT_TRUE(result.Ok());
    EXPECT_TRUE(oldWhileJoining);
    EXPECT_EQ(ReadWholeFile(target), folder.Source);
    char bytes[32] = {};
    EXPECT_EQ(pread(held, bytes, sizeof bytes, 0), 11) << "the old file was never written into";
    EXPECT_STREQ(bytes, "old content");
    close(held);
}

struct ModeCase {
    mode_t Umask;
    mode_t Expected;
};

void PrintTo(const ModeCase& c, std::ostream* out)
{
    *out << "umask " << std::oct << c.Umask;
}

class ResultMode : public testing::TestWithParam<ModeCase> {};

TEST_P(ResultMode, IsWhatTheUmaskGivesANewFile)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100}); // owner-only parts
    const mode_t previous = umask(GetParam().Umask);
    const TJoinResult result = JoinParts(folder.Job(folder.Path("file"), 150));
    umask(previous);

    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(ModeOf(folder.Path("file")), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(JoinParts, ResultMode, testing::Values(ModeCase{022, 0644}, ModeCase{077, 0600}));
}

