#include "JoinFolder.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

// One join in a child process, which can be killed while it runs.
class ChildJoin {
public:
    ChildJoin(const JoinFolder& folder, const QString& target, int pauseMicros)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        const QByteArray tmp = QFile::encodeName(folder.Tmp()), out = QFile::encodeName(target),
                         size = QByteArray::number(folder.Source.size()), pause = QByteArray::number(pauseMicros);
        char* arguments[] = {const_cast<char*>(JOIN_PARTS_CHILD), const_cast<char*>(tmp.constData()),
                             const_cast<char*>(out.constData()), const_cast<char*>(size.constData()),
                             const_cast<char*>(pause.constData()), nullptr};
        if (posix_spawn(&Pid, JOIN_PARTS_CHILD, &actions, nullptr, arguments, environ) != 0)
            Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        char started = 0;
        Started = Pid > 0 && read(pipeFds[0], &started, 1) == 1;
        close(pipeFds[0]);
    }

    bool Started = false;

    // Kills the child; true when it was still joining then.
    bool Kill()
    {
        kill(Pid, SIGKILL);
        return Wait() == -SIGKILL;
    }
    // The exit code, or minus the signal that ended it.
    int Wait()
    {
        int status = 0;
        if (waitpid(Pid, &status, 0) != Pid)
            return -1000;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

private:
    pid_t Pid = -1;
};

// What a killed join may leave: a target only when complete, ".0" and the parts only
// as copies of the source at their places, and together still covering the file.
void ExpectNothingLost(const JoinFolder& folder, const QString& target, const std::vector<qint64>& starts)
{
    if (QFile::exists(target)) {
        EXPECT_EQ(ReadWholeFile(target), folder.Source) << "a target appears only complete";
        if (!QFile::exists(folder.Part(0)))
            return;
    }
    const QByteArray zero = ReadWholeFile(folder.Part(0));
    ASSERT_TRUE(QFile::exists(folder.Part(0))) << "neither the target nor .0";
    ASSERT_EQ(zero, folder.Source.left(zero.size())) << "no part appended twice, none out of place";
    qint64 covered = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        const qint64 start = starts[i];
        const qint64 end = i + 1 < starts.size() ? starts[i + 1] : folder.Source.size();
        if (start == 0 || !QFile::exists(folder.Part(start)))
            continue;
        EXPECT_EQ(ReadWholeFile(folder.Part(start)), folder.Source.mid(start, end - start)) << "part " << start;
        if (start <= qMax<qint64>(covered, zero.size()))
            covered = end;
    }
    EXPECT_GE(qMax<qint64>(covered, zero.size()), folder.Source.size()) << "bytes lost";
}

struct KillCase {
    const char* Name;
    bool OtherFileSystem;
};

void PrintTo(const KillCase& c, std::ostream* out)
{
    *out << c.Name;
}

class KilledJoin : public testing::TestWithParam<KillCase> {};

TEST_P(KilledJoin, NeverLosesOrDoublesAByteAndTheNextJoinCompletes)
{
    JoinFolder folder;
    const OtherFileSystem other(folder.Path(""));
    if (GetParam().OtherFileSystem && !other.IsValid())
        GTEST_SKIP() << "no second file system: " << other.Why.toStdString();
    const QString target = (GetParam().OtherFileSystem ? other.Folder : folder.Path("")) + "/out/file.bin";
    folder.Source = JoinFolder::Pattern((3 << 20) + 12345);
    const std::vector<qint64> starts{0, 700000, 1500000, 1500001, 2600000};
    constexpr int PauseMicros = 200;
    constexpr int Rounds = 40;

    // How long an undisturbed join takes, so the kills spread over all of it.
    folder.WriteChain(starts);
    ChildJoin calibration(folder, target, PauseMicros);
    const auto begin = Clock::now();
    ASSERT_TRUE(calibration.Started);
    ASSERT_EQ(calibration.Wait(), 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin).count();
    ASSERT_EQ(ReadWholeFile(target), folder.Source);

    QRandomGenerator random(20240611);
    int killedWhileJoining = 0;
    for (int round = 0; round < Rounds; ++round) {
        QFile::remove(target);
        folder.WriteChain(starts);
        const int kills = 1 + int(random.bounded(3));
        bool joined = false; // a kill may come after the join's last step
        for (int k = 0; k < kills && !joined; ++k) {
            ChildJoin child(folder, target, PauseMicros);
            ASSERT_TRUE(child.Started);
            // A random moment of the join, not a time-out.
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(qint64(span + 1))));
            killedWhileJoining += child.Kill() ? 1 : 0;
            ExpectNothingLost(folder, target, starts);
            if (HasFailure())
                FAIL() << "after kill " << k << " of round " << round;
            joined = !QFile::exists(folder.Part(0));
        }
        if (!joined) {
            ChildJoin last(folder, target, PauseMicros);
            ASSERT_EQ(last.Wait(), 0) << "round " << round;
        }
        ASSERT_EQ(ReadWholeFile(target), folder.Source) << "round " << round;
        ASSERT_EQ(folder.Files(), QStringList()) << "round " << round;
    }
    EXPECT_GE(killedWhileJoining, Rounds / 2) << "the kills should mostly land inside joins";
}

INSTANTIATE_TEST_SUITE_P(JoinParts, KilledJoin,
                         testing::Values(KillCase{"SameFileSystem", false}, KillCase{"TargetOnAnotherFileSystem", true}),
                         [](const auto& info) { return std::string(info.param.Name); });
}
