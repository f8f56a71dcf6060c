#pragma once
#include "platform/instance/HandOverMessage.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QLocalSocket;
class QTimer;
class TInstanceLock;

// The first instance's side of the hand-over, standing for its hidden window: a local
// socket on the caller's event loop. Each connection carries one message; it is
// answered with 1 after OnMessage returned, then closed. Connections from other users
// are closed unread; a message the decoder rejects closes its connection without an
// answer; a connection that has not sent its message, or not closed after the
// answer, within ConnectionTimeoutMs (program clock) is dropped, so a silent client
// holds up nobody else. A message being answered is never timed out.
class THandOverServer : public QObject {
public:
    enum TListen { Listening, LiveElsewhere, Failed };

    explicit THandOverServer(QObject* parent = nullptr);
    ~THandOverServer() override;

    // Serves the socket at path (owner-only). Only the holder of the instance lock may
    // serve, and so only it may clear the way: a socket file nobody accepts on is
    // stale and removed; one that accepts is somebody's live server and left alone.
    TListen Listen(const QString& path, const TInstanceLock& lock);
    // Stops serving and removes the socket file. Safe inside OnMessage.
    void Close();
    bool IsListening() const;
    const QString& Error() const { return error; }

    // Raised on the event loop for every complete message, in the order the messages
    // completed. The handler may close or destroy the server.
    std::function<void(const THandOverMessage& message)> OnMessage;

    static constexpr uint32_t ConnectionTimeoutMs = 2000;
    static constexpr int SweepIntervalMs = 200;
    // Connections accepted and not yet closed.
    int OpenConnections() const { return int(connections.size()); }

private:
    class TLocalServer;
    struct TConnection {
        enum TPhase { Receiving, Answering, Closing };
        QByteArray received;
        // When the connection was accepted, or when its answer went out.
        uint32_t since = 0;
        TPhase phase = Receiving;
    };

    void Accept();
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, const THandOverMessage& message);
    void Drop(QLocalSocket* socket);
    void Sweep();

    TLocalServer* server = nullptr;
    QTimer* sweeper = nullptr;
    QHash<QLocalSocket*, TConnection> connections;
    QString error;
};
