#pragma once
#include "platform/instance/HandOverClient.h"
#include "platform/instance/HandOverServer.h"
#include "platform/instance/InstanceFiles.h"
#include "platform/instance/InstanceLock.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TempHome.h"

#include <QList>
#include <memory>

// A first instance's server on this test's event loop, holding the lock, recording
// what it receives.
class HandOverServerTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        QString error;
        ASSERT_TRUE(PrepareRuntimeFolder(error)) << error.toStdString();
        ASSERT_EQ(lock.Acquire(InstanceLockPath()), TInstanceLock::Acquired) << lock.Error().toStdString();
        server->OnMessage = [this](const THandOverMessage& message) { received.append(message); };
    }
    void Serve() { ASSERT_EQ(server->Listen(HandOverSocketPath(), lock), THandOverServer::Listening) << server->Error().toStdString(); }

    // A later instance's hand-over, from a thread of its own.
    THandOverResult HandOver(const QByteArray& text, quint64 data = 0)
    {
        THandOverResult result;
        RunBesideEventLoop([&] { result = SendHandOver(HandOverSocketPath(), text, data); });
        return result;
    }
    bool ServerSeesNoConnection()
    {
        return ProcessEventsUntil([&] { return server->OpenConnections() == 0; });
    }

    TInstanceLock lock;
    std::unique_ptr<THandOverServer> server = std::make_unique<THandOverServer>();
    QList<THandOverMessage> received;
};
