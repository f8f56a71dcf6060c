#include "services/InstanceManager.h"

#include "platform/base/Clock.h"
#include "platform/instance/HandOverMessage.h"
#include "platform/instance/InstanceFiles.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LocalSockets.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
class InstanceManagerTest : public TempHomeTest {
protected:
    // A later instance's hand-over to this process, from a thread of its own.
    static THandOverResult HandOver(const QByteArray& text, quint64 data = 0)
    {
        THandOverResult result;
        RunBesideEventLoop([&] { result = SendHandOver(HandOverSocketPath(), text, data); });
        return result;
    }
    // Holds the lock as a first instance that is still starting does.
    void HoldLock()
    {
        QString error;
        ASSERT_TRUE(PrepareRuntimeFolder(error));
        ASSERT_EQ(held.Acquire(InstanceLockPath()), TInstanceLock::Acquired);
    }

    TInstanceLock held;
};

// Reads one whole message from the connection, then answers with reply (nothing when
// it is empty) and closes.
void AnswerOnce(int listening, const QByteArray& reply)
{
    const int fd = accept(listening, nullptr, nullptr);
    QByteArray bytes;
    THandOverMessage message;
    char block[256];
    while (DecodeHandOver(bytes, message) == THandOverDecode::Incomplete) {
        const ssize_t n = recv(fd, block, sizeof(block), 0);
        if (n <= 0)
            break;
        bytes.append(block, n);
    }
    if (!reply.isEmpty())
        send(fd, reply.constData(), reply.size(), MSG_NOSIGNAL);
    close(fd);
}
}

TEST_F(InstanceManagerTest, FirstInstanceStoresEveryTextAndRaisesOnNewInstance)
{
    TInstanceManager manager;
    ASSERT_EQ(manager.CheckInstance("http://a.example/own"), TInstanceManager::FirstInstance) << manager.Error().toStdString();
    EXPECT_TRUE(manager.IsFirstInstance());

    // Before anybody listens the text is only stored.
    EXPECT_EQ(HandOver("http://a.example/early").Reply, 1);
    EXPECT_EQ(manager.ReceivedText, "http://a.example/early");

    QStringList seen;
    manager.OnNewInstance = [&] { seen.append(manager.ReceivedText); };
    EXPECT_EQ(HandOver("http://a.example/ä.zip", 7).Reply, 1);
    EXPECT_EQ(manager.ReceivedData, 7u);
    EXPECT_EQ(HandOver("").Reply, 1);
    EXPECT_EQ(seen, (QStringList {"http://a.example/ä.zip", ""}));
    EXPECT_EQ(manager.ReceivedData, 0u);
}

TEST_F(InstanceManagerTest, ShutdownStopsServingAndTheEndFreesTheLock)
{
    auto manager = std::make_unique<TInstanceManager>();
    ASSERT_EQ(manager->CheckInstance(""), TInstanceManager::FirstInstance);
    manager->OnNewInstance = [] {};
    HandOver("http://a.example/f");
    manager->Shutdown();
    EXPECT_TRUE(manager->ReceivedText.isEmpty());
    EXPECT_FALSE(QFile::exists(HandOverSocketPath()));
    TInstanceLock probe;
    EXPECT_EQ(probe.Acquire(InstanceLockPath()), TInstanceLock::HeldElsewhere);

    manager.reset();
    TInstanceManager next;
    EXPECT_EQ(next.CheckInstance(""), TInstanceManager::FirstInstance);
}

TEST_F(InstanceManagerTest, OnNewInstanceMayDestroyTheManager)
{
    auto manager = std::make_unique<TInstanceManager>();
    ASSERT_EQ(manager->CheckInstance(""), TInstanceManager::FirstInstance);
    manager->OnNewInstance = [&] { manager.reset(); };
    HandOver("http://a.example/last");
    EXPECT_EQ(manager, nullptr);
    EXPECT_FALSE(QFile::exists(HandOverSocketPath()));
}

TEST_F(InstanceManagerTest, FirstInstanceStillStartingEndsTheLaterOneWithNothingSent)
{
    HoldLock();
    ASSERT_TRUE(MakeStaleSocket(HandOverSocketPath())); // not the later one's to remove
    TestClock::Set(45000.0);
    int paused = 0;
    TInstanceManager later(THandOverWait {5000, 50, [&](int ms) {
                                              paused += ms;
                                              TestClock::Advance(ms);
                                          }});
    EXPECT_EQ(later.CheckInstance("http://a.example/f.zip"), TInstanceManager::HandedOver);
    EXPECT_EQ(paused, 5000);
    EXPECT_FALSE(later.IsFirstInstance());
    EXPECT_EQ(ProbeHandOverSocket(HandOverSocketPath()), THandOverSocketState::Refused);
}

TEST_F(InstanceManagerTest, OnlyAPositiveAnswerEndsTheLaterInstance)
{
    HoldLock();
    const std::pair<QByteArray, TInstanceManager::TStartup> cases[] = {
        {EncodeHandOverReply(1), TInstanceManager::HandedOver},
        {EncodeHandOverReply(2), TInstanceManager::HandedOver},
        {EncodeHandOverReply(0), TInstanceManager::NotHandedOver},
        {EncodeHandOverReply(-1), TInstanceManager::NotHandedOver},
        {QByteArray(), TInstanceManager::NotHandedOver}, // closed unanswered
        {EncodeHandOverReply(1).first(4), TInstanceManager::NotHandedOver},
    };
    for (const auto& [reply, expected] : cases) {
        const int listening = ListenLocal(HandOverSocketPath());
        ASSERT_GE(listening, 0);
        std::thread first([&, reply = reply] { AnswerOnce(listening, reply); });
        TInstanceManager later;
        EXPECT_EQ(later.CheckInstance("http://a.example/f"), expected) << reply.toHex().constData();
        first.join();
        close(listening);
        QFile::remove(HandOverSocketPath());
    }
}

TEST_F(InstanceManagerTest, TextTooLongForAMessageIsNotSent)
{
    HoldLock();
    TestClock::Set(45000.0);
    int attempts = 0;
    TInstanceManager later(THandOverWait {5000, 50, [&](int ms) {
                                              ++attempts;
                                              TestClock::Advance(ms);
                                          }});
    EXPECT_EQ(later.CheckInstance(QByteArray(MaxHandOverBytes, 'a')), TInstanceManager::HandedOver);
    EXPECT_EQ(attempts, 0);
}

TEST_F(InstanceManagerTest, UnusableRuntimeFolderFailsTheStart)
{
    ASSERT_TRUE(WriteWholeFile(Path("file"), "x"));
    setenv("CORVANE_HOME", Path("file/home").toLocal8Bit().constData(), 1);
    TInstanceManager manager;
    EXPECT_EQ(manager.CheckInstance(""), TInstanceManager::StartFailed);
    EXPECT_FALSE(manager.Error().isEmpty());
    EXPECT_FALSE(manager.IsFirstInstance());
}
