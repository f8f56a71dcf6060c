#include "JoinFolder.h"

#include "engine/CombineParts.h"
#include "records/LocalDownloadinfo.h"
#include "records/Settings.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {
class CombineParts : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(folder.IsValid());
    }

    // A record of a finished download whose parts lie in the folder.
    std::unique_ptr<TLocalDownloadinfo> Record(qint64 fileSize, const QString& target = QString())
    {
        auto record = std::make_unique<TLocalDownloadinfo>(nullptr, folder.Tmp());
        record->LocalFileName = target.isEmpty() ? Target() : target;
        record->FileSize = fileSize;
        return record;
    }
    QString Target() const { return folder.Path("out/file.bin"); }

    // Starts a combiner and waits for its result.
    TCombineResult Combine(TLocalDownloadinfo& record, QStringList* statuses = nullptr)
    {
        std::optional<TCombineResult> result;
        TCombineParts combiner(record, [&](const TCombineResult& r) { result = r; });
        combiner.OnUpdateInfo = [&] {
            if (statuses)
                *statuses << record.Status();
        };
        EXPECT_TRUE(ProcessEventsUntil([&] { return result.has_value(); }));
        EXPECT_TRUE(combiner.Finished());
        // After a success the worker still removes ".0".
        EXPECT_TRUE(ProcessEventsUntil([] { return TCombineParts::RunningThreads() == 0; }));
        return result.value_or(TCombineResult{false, "no result"});
    }

    JoinFolder folder;
};

TEST_F(CombineParts, ShowsItsProgressAsTheStatusAndReportsSuccess)
{
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100});
    const auto record = Record(150);
    QStringList statuses;

    const TCombineResult result = Combine(*record, &statuses);

    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Message, QString());
    EXPECT_EQ(statuses, QStringList({"Combining files (0%)", "Combining files (67%)", "Combining files (100%)"}));
    EXPECT_EQ(ReadWholeFile(Target()), folder.Source);
    EXPECT_FALSE(QFile::exists(folder.Part(0)));
    EXPECT_FALSE(QFile::exists(folder.Part(100)));
}

TEST_F(CombineParts, SuccessIsReportedWhileTheZeroPartIsStillThere)
{
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteChain({0, 100});
    const auto record = Record(150);
    bool zeroThere = false;
    bool targetThere = false;
    TCombineParts combiner(*record, [&](const TCombineResult&) {
        zeroThere = QFile::exists(folder.Part(0));
        targetThere = ReadWholeFile(Target()) == folder.Source;
    });

    ASSERT_TRUE(ProcessEventsUntil([&] { return combiner.Finished() && TCombineParts::RunningThreads() == 0; }));
    EXPECT_TRUE(zeroThere);
    EXPECT_TRUE(targetThere);
    EXPECT_EQ(folder.Files(), QStringList());
}

TEST_F(CombineParts, UnknownSizeJoinsTheSinglePart)
{
    folder.Source = JoinFolder::Pattern(1234);
    folder.WriteChain({0});
    const auto record = Record(-1);
    QStringList statuses;

    EXPECT_TRUE(Combine(*record, &statuses).Ok);
    EXPECT_EQ(statuses, QStringList({"Combining files (0%)", "Combining files (100%)"}));
    EXPECT_EQ(ReadWholeFile(Target()), folder.Source);
}

TEST_F(CombineParts, FailureNamesTheFileAndKeepsTheParts)
{
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteParts({{0, 100}});
    ASSERT_TRUE(WriteWholeFile(folder.Path("plain"), "x"));
    const struct {
        QString Target;
        QString Message;
    } cases[] = {
        {Target(), "Couldn't open " + folder.Part(100)},
        {folder.Path("plain/file.bin"), "Couldn't open " + folder.Path("plain/file.bin")},
    };
    for (const auto& c : cases) {
        const auto record = Record(150, c.Target);
        const TCombineResult result = Combine(*record);
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.Message, c.Message);
        EXPECT_EQ(ReadWholeFile(folder.Part(0)), folder.Source.left(100));
    }
}

TEST_F(CombineParts, VirusCheckerIsStartedOnTheNewFileOnlyAfterSuccess)
{
    ASSERT_TRUE(WriteWholeFile(Path("checker.sh"), "printf '%s|%s\\n' \"$1\" \"$2\" >> \"$0.log\"\n"));
    ASSERT_TRUE(Write(Setting::VirusChecking, true));
    ASSERT_TRUE(Write(Setting::AntivirusExecutablePath, "/bin/sh"));
    ASSERT_TRUE(Write(Setting::AntivirusExecutableParameters, Path("checker.sh") + " --scan"));
    folder.Source = JoinFolder::Pattern(150);
    folder.WriteParts({{0, 100}});

    const auto failing = Record(150);
    EXPECT_FALSE(Combine(*failing).Ok);
    folder.WriteChain({0, 100});
    const auto joined = Record(150);
    EXPECT_TRUE(Combine(*joined).Ok);

    const QString logFile = Path("checker.sh.log");
    EXPECT_TRUE(ProcessEventsUntil([&] { return ReadWholeFile(logFile).endsWith('\n'); }));
    EXPECT_EQ(QString::fromUtf8(ReadWholeFile(logFile)), "--scan|" + Target() + "\n") << "once, for the success";
}

// When the owner destroys the combiner while it works.
enum class DestroyAt { Construction, FirstProgress, HalfWay, FilesCombined };
const char* const DestroyAtNames[] = {"RightAfterConstruction", "InItsFirstProgress", "HalfWay", "InOnFilesCombined"};

void PrintTo(DestroyAt at, std::ostream* out)
{
    *out << DestroyAtNames[int(at)];
}

class CombinerDestroyed : public CombineParts, public testing::WithParamInterface<DestroyAt> {};

TEST_P(CombinerDestroyed, ReachesNeitherItNorTheRecordAndLeavesTheFilesJoinable)
{
    folder.Source = JoinFolder::Pattern(4 << 20);
    folder.WriteChain({0, 1 << 20, 2 << 20, 3 << 20});
    auto record = Record(4 << 20);
    int eventsAfterDestruction = 0;
    bool destroyed = false;
    std::unique_ptr<TCombineParts> combiner;
    combiner = std::make_unique<TCombineParts>(*record, [&](const TCombineResult&) {
        eventsAfterDestruction += destroyed;
        if (GetParam() == DestroyAt::FilesCombined) {
            combiner.reset();
            destroyed = true;
        }
    });
    const auto destroyIn = [&](const QString& status) {
        const bool now = (GetParam() == DestroyAt::FirstProgress && status.endsWith("(0%)")) ||
                         (GetParam() == DestroyAt::HalfWay && status.endsWith("(50%)"));
        if (now) {
            combiner.reset();
            destroyed = true;
        }
    };
    combiner->OnUpdateInfo = [&] {
        eventsAfterDestruction += destroyed;
        destroyIn(record->Status());
    };
    if (GetParam() == DestroyAt::Construction) {
        combiner.reset();
        destroyed = true;
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return destroyed && TCombineParts::RunningThreads() == 0; }));
    record.reset(); // the worker has ended: nothing may reach the record any more
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(eventsAfterDestruction, 0);

    if (GetParam() != DestroyAt::FilesCombined) {
        const auto again = Record(4 << 20);
        EXPECT_TRUE(Combine(*again).Ok);
    }
    EXPECT_EQ(ReadWholeFile(Target()), folder.Source);
    EXPECT_EQ(folder.Files(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(CombineParts, CombinerDestroyed,
                         testing::Values(DestroyAt::Construction, DestroyAt::FirstProgress, DestroyAt::HalfWay,
                                         DestroyAt::FilesCombined),
                         [](const auto& info) { return std::string(DestroyAtNames[int(info.param)]); });
}
