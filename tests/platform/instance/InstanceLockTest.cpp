#include "platform/instance/InstanceFiles.h"
#include "platform/instance/InstanceLock.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FileStatus.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
class InstanceLockTest : public TempHomeTest {};
}

TEST_F(InstanceLockTest, OnlyOneHolderAtATime)
{
    TInstanceLock first, second;
    ASSERT_EQ(first.Acquire(InstanceLockPath()), TInstanceLock::Acquired) << first.Error().toStdString();
    EXPECT_EQ(ModeOf(InstanceLockPath()) & 07777, 0600u);
    EXPECT_EQ(second.Acquire(InstanceLockPath()), TInstanceLock::HeldElsewhere);
    EXPECT_FALSE(second.Held());

    first.Release();
    EXPECT_EQ(second.Acquire(InstanceLockPath()), TInstanceLock::Acquired);
}

TEST_F(InstanceLockTest, ProgramsTheHolderStartsDoNotKeepIt)
{
    TInstanceLock lock;
    ASSERT_EQ(lock.Acquire(InstanceLockPath()), TInstanceLock::Acquired);
    pid_t child = -1;
    char program[] = "/bin/sleep", seconds[] = "30";
    char* argv[] = {program, seconds, nullptr};
    ASSERT_EQ(posix_spawn(&child, program, nullptr, nullptr, argv, environ), 0);

    lock.Release();
    // The kernel lets the parent run on a moment before the new program's
    // close-on-exec descriptors are closed; a leaked one would hold the lock for good.
    TInstanceLock next;
    EXPECT_TRUE(ProcessEventsUntil([&] { return next.Acquire(InstanceLockPath()) == TInstanceLock::Acquired; }, 2000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(InstanceLockTest, FailsWhereNoLockFileCanBe)
{
    ASSERT_TRUE(WriteWholeFile(Path("file"), "x"));
    ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("link")));
    for (const QString& path : {Path("file/instance.lock"), Path("link")}) {
        TInstanceLock lock;
        EXPECT_EQ(lock.Acquire(path), TInstanceLock::Failed) << path.toStdString();
        EXPECT_FALSE(lock.Error().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(Path("elsewhere")));
}

TEST_F(InstanceLockTest, RuntimeFolderBecomesOwnerOnly)
{
    const QString folder = Path("runtime");
    setenv("CORVANE_HOME", folder.toLocal8Bit().constData(), 1);
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(chmod(folder.toLocal8Bit().constData(), 0755), 0);
    QString error;
    ASSERT_TRUE(PrepareRuntimeFolder(error)) << error.toStdString();
    EXPECT_EQ(ModeOf(folder) & 07777, 0700u);
    EXPECT_TRUE(InstanceLockPath().startsWith(folder + "/"));
    EXPECT_TRUE(HandOverSocketPath().startsWith(folder + "/"));
}

TEST_F(InstanceLockTest, RuntimeFolderOfAnotherUserIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the folder away";
    const QString folder = Path("theirs");
    setenv("CORVANE_HOME", folder.toLocal8Bit().constData(), 1);
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(chown(folder.toLocal8Bit().constData(), 65534, 65534), 0);
    QString error;
    EXPECT_FALSE(PrepareRuntimeFolder(error));
    EXPECT_TRUE(error.contains("another user")) << error.toStdString();
}
