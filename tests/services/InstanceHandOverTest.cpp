// Two processes: the test starts a first instance and later instances of a small
// program that runs the same start-up check as corvane.
#include "platform/instance/HandOverClient.h"
#include "platform/instance/InstanceFiles.h"
#include "platform/process/Launch.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FileStatus.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
class InstanceHandOverTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        setenv("PROBE_RECEIVED", Path("received").toLocal8Bit().constData(), 1);
    }
    void TearDown() override
    {
        first.Stop();
        unsetenv("PROBE_RECEIVED");
        TempHomeTest::TearDown();
    }

    // Starts a first instance and waits until it serves.
    void StartFirst()
    {
        ASSERT_TRUE(first.Start(INSTANCE_PROBE, {}, Path(QString("first%1.log").arg(++starts))));
        ASSERT_TRUE(ProcessEventsUntil([&] { return first.Log().contains("first") || !first.Running(); }))
            << first.Log().toStdString();
        ASSERT_TRUE(first.Running()) << first.Log().toStdString();
        ASSERT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Live);
    }
    // Runs a later start with these arguments to its end; its exit code.
    static int StartLater(const QStringList& arguments)
    {
        QProcess later;
        later.start(INSTANCE_PROBE, arguments);
        if (!later.waitForFinished(20000) || later.exitStatus() != QProcess::NormalExit)
            return -1;
        return later.exitCode();
    }
    QList<QByteArray> Received() const
    {
        QList<QByteArray> texts = ReadWholeFile(Path("received")).split('\n');
        texts.removeLast(); // after the last line break
        for (QByteArray& text : texts)
            text = QByteArray::fromHex(text);
        return texts;
    }

    ServerProcess first;
    int starts = 0;
};
}

TEST_F(InstanceHandOverTest, LaterStartsHandOverTheirFirstArgumentAndEnd)
{
    StartFirst();
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"http://a.example/f.zip"}, "http://a.example/f.zip"},
        {{}, ""},
        {{"/uninstall"}, "/uninstall"},
        // A browser's unquoted command line: the blank splits the URL.
        {SplitCommandLine("corvane http://a.example/my file.zip").mid(1), "http://a.example/my"},
        {{"ftp://a.example/one", "ftp://a.example/two"}, "ftp://a.example/one"},
        {{"http://a.example/a\tb\x01"}, "http://a.example/a\tb\x01"},
    };
    QList<QByteArray> expected;
    for (const auto& [arguments, text] : cases) {
        EXPECT_EQ(StartLater(arguments), 0) << arguments.join(' ').toStdString();
        expected.append(text);
    }
    EXPECT_EQ(Received(), expected);
    EXPECT_TRUE(first.Running());
}

TEST_F(InstanceHandOverTest, KilledFirstInstanceLeavesASocketTheNextStartRecovers)
{
    StartFirst();
    kill(first.Pid(), SIGKILL);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !first.Running(); }));
    ASSERT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Refused);

    StartFirst();
    EXPECT_EQ(StartLater({"http://a.example/after-the-crash"}), 0);
    EXPECT_EQ(Received(), QList<QByteArray> {"http://a.example/after-the-crash"});
}

TEST_F(InstanceHandOverTest, LiveFirstInstanceKeepsItsSocketWhenItsLockFileIsGone)
{
    StartFirst();
    const ino_t socket = InodeOf(HandOverSocketPath());
    ASSERT_TRUE(QFile::remove(InstanceLockPath()));

    // Takes the new lock file, finds the live socket and hands over instead of serving.
    EXPECT_EQ(StartLater({"http://a.example/one"}), 0);
    EXPECT_EQ(StartLater({"http://a.example/two"}), 0);
    EXPECT_EQ(InodeOf(HandOverSocketPath()), socket);
    EXPECT_EQ(Received(), (QList<QByteArray> {"http://a.example/one", "http://a.example/two"}));
}

TEST_F(InstanceHandOverTest, AfterTheFirstInstanceEndsTheNextStartIsFirst)
{
    StartFirst();
    EXPECT_EQ(StartLater({"quit"}), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !first.Running(); }));
    EXPECT_FALSE(QFile::exists(HandOverSocketPath()));

    StartFirst();
    EXPECT_EQ(StartLater({"http://a.example/next"}), 0);
    EXPECT_EQ(Received(), (QList<QByteArray> {"quit", "http://a.example/next"}));
}
