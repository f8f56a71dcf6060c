// Appending finished parts onto ".0" while a download still runs: what is appended,
// what is left untouched, stopping part-way, and taking turns with a join.
#include "JoinFolder.h"

#include "engine/PartAppender.h"
#include "engine/PartJoin.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {
using Parts = std::vector<std::pair<qint64, qint64>>;

struct AppendCase {
    const char* Name;
    Parts Written;           // (start, size), bytes from the source at those places
    qint64 End;              // appended up to here
    bool Ok;
    qint64 ZeroSize;         // ".0" afterwards
    std::vector<qint64> Left; // part files afterwards, besides ".0"
};

void PrintTo(const AppendCase& c, std::ostream* out)
{
    *out << c.Name;
}

class AppendChains : public testing::TestWithParam<AppendCase> {};

TEST_P(AppendChains, AppendOnlyAWholeChainAndLeaveTheRest)
{
    const AppendCase& c = GetParam();
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(400);
    folder.WriteParts(c.Written);

    const TJoinResult result = AppendParts(folder.Job({}, -1), c.End);

    EXPECT_EQ(result.Ok(), c.Ok) << result.FileName;
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(c.ZeroSize));
    QStringList left;
    for (qint64 start : c.Left) {
        left << QString("3KQ0GA7B.%1").arg(start);
        EXPECT_TRUE(QFile::exists(folder.Part(start))) << start;
    }
    left << "3KQ0GA7B.0";
    left.sort();
    EXPECT_EQ(folder.Files(), left) << "no journal, nothing else";
}

INSTANTIATE_TEST_SUITE_P(
    AppendParts, AppendChains,
    testing::Values(AppendCase{"UpToTheEnd", {{0, 100}, {100, 50}, {150, 50}, {200, 50}}, 200, true, 200, {200}},
                    AppendCase{"NothingAtTheZeroPartsEnd", {{0, 100}, {100, 50}}, 100, true, 100, {100}},
                    AppendCase{"AGapChangesNothing", {{0, 100}, {100, 20}, {130, 20}}, 150, false, 100, {100, 130}},
                    AppendCase{"AnOverlongZeroPartIsNotCut", {{0, 120}, {100, 50}}, 150, false, 120, {100}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AppendParts, StoppedPartWayCutsTheZeroPartBackAndKeepsThePart)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(300000);
    folder.WriteChain({0, 100000, 200000});
    TJoinJob job = folder.Job({}, -1);
    job.ChunkBytes = 4096;

    const TJoinResult stopped = AppendParts(job, 300000, [](qint64 done, qint64) { return done < 150000; });

    EXPECT_EQ(stopped.Failure, TJoinFailure::Stopped);
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(100000));
    EXPECT_EQ(ReadWholeFile(folder.Part(100000)), folder.Source.mid(100000, 100000));
    EXPECT_FALSE(QFile::exists(folder.Journal()));
    ASSERT_TRUE(AppendParts(job, 300000).Ok());
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source);
}

// The part after ".0" while it arrives: its final bytes go on in steps, the journal
// names it meanwhile, and the whole part goes as any appended part.
TEST(AppendGrowingPart, GoesOnInStepsAndWholeAtTheEnd)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(400);
    folder.WriteChain({0, 100});
    const TJoinJob job = folder.Job({}, -1);

    for (qint64 final : {qint64(120), qint64(250)}) {
        ASSERT_TRUE(AppendGrowingPart(job, {100, final, 300, false}).Ok()) << final;
        EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(100 + final));
        EXPECT_EQ(ReadWholeFile(folder.Part(100)), folder.Source.mid(100)) << "the part stays whole";
        EXPECT_TRUE(QFile::exists(folder.Journal()));
    }
    ASSERT_TRUE(AppendGrowingPart(job, {100, 300, 300, true}).Ok());

    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source);
    EXPECT_EQ(folder.Files(), QStringList{"3KQ0GA7B.0"});
}

// What a step leaves is undone by whoever comes next: a join after a crash, or the
// step's own failure; without its journal an overlong ".0" is left alone.
TEST(AppendGrowingPart, WhatCannotGoOnIsCutBackToThePartsStart)
{
    struct Case {
        const char* name;
        TGrowingPart next; // the call after a first step of 50 bytes
        bool dropJournal;
        qint64 zeroSize;   // ".0" afterwards
    } cases[] = {
        {"stopped", {100, 200, 300, false}, false, 100},
        {"whole, but the part is longer", {100, 200, 300, true}, false, 100},
        {".0 past what is final", {100, 20, 300, false}, false, 100},
        {"no journal of ours", {100, 200, 300, false}, true, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JoinFolder folder;
        folder.Source = JoinFolder::Pattern(400);
        folder.WriteChain({0, 100});
        TJoinJob job = folder.Job({}, -1);
        job.ChunkBytes = 10;
        ASSERT_TRUE(AppendGrowingPart(job, {100, 50, 300, false}).Ok());
        if (c.dropJournal) {
            ASSERT_TRUE(QFile::remove(folder.Journal()));
        }

        const TJoinResult result = AppendGrowingPart(job, c.next, [&](qint64 done, qint64) {
            return std::string(c.name) != "stopped" || done < 170;
        });

        EXPECT_FALSE(result.Ok());
        EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(c.zeroSize));
        EXPECT_EQ(ReadWholeFile(folder.Part(100)), folder.Source.mid(100));
        EXPECT_FALSE(QFile::exists(folder.Journal()));
    }
}

TEST(AppendGrowingPart, AJoinAfterAStepStillJoinsEveryByteOnce)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(400);
    folder.WriteChain({0, 100, 300});
    ASSERT_TRUE(AppendGrowingPart(folder.Job({}, -1), {100, 150, 200, false}).Ok());

    ASSERT_TRUE(JoinParts(folder.Job(folder.Path("file"), 400)).Ok());

    EXPECT_EQ(ReadWholeFile(folder.Path("file")), folder.Source);
    EXPECT_EQ(folder.Files(), QStringList{"file"});
}

// An append that a destroyed downloader left running still holds ".0": a join waits.
TEST(JoinParts, WaitsWhileAnotherJoinOrAppendHoldsTheZeroPart)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(300);
    folder.WriteChain({0, 100, 200});
    const int held = open(QFile::encodeName(folder.Part(0)).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    std::optional<TJoinResult> result;
    std::thread join([&] { result = JoinParts(folder.Job(folder.Path("file"), 300)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(QFile::exists(folder.Part(100))) << "nothing appended while the other holds it";
    EXPECT_FALSE(QFile::exists(folder.Path("file")));
    close(held);
    join.join();

    ASSERT_TRUE(result && result->Ok());
    EXPECT_EQ(ReadWholeFile(folder.Path("file")), folder.Source);
}

TEST(PartAppender, ReportsOnItsOwnThreadAndTakesOneAppendAtATime)
{
    JoinFolder folder;
    folder.Source = JoinFolder::Pattern(300);
    folder.WriteChain({0, 100, 200});
    TPartAppender appender(folder.Tmp());
    const std::thread::id owner = std::this_thread::get_id();
    std::vector<qint64> ends;
    appender.OnAppended = [&](qint64 end, const TJoinResult& result) {
        EXPECT_TRUE(result.Ok());
        EXPECT_EQ(std::this_thread::get_id(), owner);
        ends.push_back(end);
    };

    ASSERT_TRUE(appender.Append(200));
    EXPECT_TRUE(appender.Busy());
    EXPECT_FALSE(appender.Append(300)) << "one at a time";
    ASSERT_TRUE(ProcessEventsUntil([&] { return !appender.Busy(); }));

    EXPECT_EQ(ends, std::vector<qint64>{200});
    EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(200));
    EXPECT_TRUE(QFile::exists(folder.Part(200)));
}
}
