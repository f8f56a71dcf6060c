#include "HandOverServerTestBase.h"

#include "platform/base/Clock.h"
#include "tests/support/FileStatus.h"
#include "tests/support/LocalSockets.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <csignal>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST_F(HandOverServerTest, TakesTheTextAndAnswersOne)
{
    Serve();
    const THandOverResult result = HandOver("http://a.example/f.zip", 7);
    EXPECT_TRUE(result.Connected);
    EXPECT_EQ(result.Reply, 1);
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].Text, "http://a.example/f.zip");
    EXPECT_EQ(received[0].Data, 7u);
    EXPECT_TRUE(ServerSeesNoConnection());
}

TEST_F(HandOverServerTest, SocketAndFolderAreOwnerOnly)
{
    Serve();
    EXPECT_TRUE(S_ISSOCK(ModeOf(HandOverSocketPath())));
    EXPECT_EQ(ModeOf(HandOverSocketPath()) & 077, 0u);
    EXPECT_EQ(ModeOf(Home()) & 077, 0u);
}

TEST_F(HandOverServerTest, StaleSocketIsReplacedByTheLockHolder)
{
    ASSERT_TRUE(MakeStaleSocket(HandOverSocketPath()));
    ASSERT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Refused);
    Serve();
    EXPECT_EQ(HandOver("after a crash").Reply, 1);
    ASSERT_EQ(received.size(), 1);
}

TEST_F(HandOverServerTest, WithoutTheLockNothingIsRemovedOrServed)
{
    ASSERT_TRUE(MakeStaleSocket(HandOverSocketPath()));
    lock.Release();
    EXPECT_EQ(server->Listen(HandOverSocketPath(), lock), THandOverServer::Failed);
    EXPECT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Refused);
}

TEST_F(HandOverServerTest, LiveSocketIsNeverStolen)
{
    QLocalServer other;
    ASSERT_TRUE(other.listen(HandOverSocketPath()));
    const ino_t inode = InodeOf(HandOverSocketPath());

    EXPECT_EQ(server->Listen(HandOverSocketPath(), lock), THandOverServer::LiveElsewhere);
    EXPECT_FALSE(server->IsListening());
    EXPECT_EQ(InodeOf(HandOverSocketPath()), inode);
    server.reset(); // closing what never listened must not remove the other's socket
    EXPECT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Live);
    EXPECT_EQ(InodeOf(HandOverSocketPath()), inode);
}

TEST_F(HandOverServerTest, CloseRemovesTheSocketAndServingAgainWorks)
{
    Serve();
    server->Close();
    EXPECT_FALSE(QFile::exists(HandOverSocketPath()));
    Serve();
    EXPECT_EQ(HandOver("again").Reply, 1);
}

TEST_F(HandOverServerTest, MalformedMessagesAreDroppedUnansweredWithoutTheTimeOut)
{
    TestClock::Set(45000.0); // the time-out cannot fire: only the decoder drops these
    Serve();
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char(i * 131 + 17);
    QByteArray oversized = EncodeHandOver(0, "x");
    oversized[8] = oversized[9] = oversized[10] = oversized[11] = char(0xFF);
    const std::pair<const char*, QByteArray> cases[] = {
        {"bytes beyond the count", EncodeHandOver(0, "http://a.example/") + "junk"},
        {"no closing NUL", EncodeHandOver(0, "http://a.example/").chopped(1) + "x"},
        {"oversized count, body still coming", oversized + QByteArray(1000, 'a')},
        {"binary junk", junk},
    };
    for (const auto& [name, bytes] : cases) {
        RunBesideEventLoop([&] { EXPECT_EQ(ExchangeLocal(ConnectLocal(HandOverSocketPath()), bytes), QByteArray()) << name; });
        EXPECT_TRUE(ServerSeesNoConnection()) << name;
    }
    EXPECT_TRUE(received.isEmpty());
    EXPECT_EQ(HandOver("still serving").Reply, 1);
}

TEST_F(HandOverServerTest, MessageCutShortByTheSenderIsNotActedUpon)
{
    Serve();
    const QByteArray whole = EncodeHandOver(0, "http://a.example/f.zip");
    for (const qsizetype cut : {qsizetype(0), qsizetype(5), HandOverHeaderSize, whole.size() - 1}) {
        RunBesideEventLoop([&] { ExchangeLocal(ConnectLocal(HandOverSocketPath()), whole.first(cut), true); });
        EXPECT_TRUE(ServerSeesNoConnection()) << cut;
    }
    EXPECT_TRUE(received.isEmpty());
}

TEST_F(HandOverServerTest, SilentClientHoldsUpNobodyAndTimesOut)
{
    TestClock::Set(45000.0);
    Serve();
    const int silent = ConnectLocal(HandOverSocketPath());
    const int halfway = ConnectLocal(HandOverSocketPath());
    ASSERT_GE(silent, 0);
    ASSERT_GE(halfway, 0);
    ASSERT_EQ(send(halfway, EncodeHandOver(0, "http://a.example/").constData(), 10, MSG_NOSIGNAL), 10);
    ASSERT_TRUE(ProcessEventsUntil([&] { return server->OpenConnections() == 2; }));

    EXPECT_EQ(HandOver("meanwhile").Reply, 1);
    TestClock::Advance(THandOverServer::ConnectionTimeoutMs - 1);
    ProcessEventsUntil([] { return false; }, 3 * THandOverServer::SweepIntervalMs); // sweeps that must not drop
    EXPECT_EQ(server->OpenConnections(), 2);

    TestClock::Advance(1);
    EXPECT_TRUE(ServerSeesNoConnection());
    EXPECT_TRUE(PeerClosed(silent));
    EXPECT_TRUE(PeerClosed(halfway));
    close(silent);
    close(halfway);
    ASSERT_EQ(received.size(), 1);
}

TEST_F(HandOverServerTest, HandlerMayDestroyTheServer)
{
    Serve();
    server->OnMessage = [this](const THandOverMessage&) { server.reset(); };
    const THandOverResult result = HandOver("last");
    EXPECT_TRUE(result.Connected);
    EXPECT_EQ(result.Reply, 0); // the server went before it could answer
    EXPECT_FALSE(QFile::exists(HandOverSocketPath()));
}

// A child process connects as the given user and reports what happened: 0 answered
// with 1, 1 could not connect, 2 dropped without an answer.
TEST_F(HandOverServerTest, OnlyTheOwnersConnectionsAreServed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    Serve();
    const QByteArray path = HandOverSocketPath().toLocal8Bit();
    const QByteArray message = EncodeHandOver(0, "http://a.example/from-elsewhere");
    struct Case {
        const char* name;
        bool asNobody;
        bool openModes;
        int expected;
    };
    const Case cases[] = {
        {"owner", false, false, 0},
        {"other user, owner-only modes", true, false, 1},
        {"other user, modes opened: the peer check drops it", true, true, 2},
    };
    for (const Case& c : cases) {
        if (c.openModes) {
            ASSERT_EQ(chmod(Home().toLocal8Bit().constData(), 0777), 0);
            ASSERT_EQ(chmod(path.constData(), 0777), 0);
        }
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.asNobody && (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
                _exit(9);
            const int fd = ConnectLocal(QString::fromLocal8Bit(path));
            if (fd < 0)
                _exit(1);
            _exit(ExchangeLocal(fd, message) == EncodeHandOverReply(1) ? 0 : 2);
        }
        int status = -1;
        ASSERT_TRUE(ProcessEventsUntil([&] { return waitpid(child, &status, WNOHANG) == child; }));
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        EXPECT_EQ(WEXITSTATUS(status), c.expected) << c.name;
    }
    ASSERT_EQ(received.size(), 1);
    EXPECT_TRUE(ServerSeesNoConnection());
}
