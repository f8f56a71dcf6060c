#include "platform/instance/HandOverServer.h"

#include "platform/base/Clock.h"
#include "platform/base/Guard.h"
#include "platform/instance/HandOverClient.h"
#include "platform/instance/InstanceLock.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Everything one connection may send before the decoder has its answer.
constexpr qint64 MaxReceived = HandOverHeaderSize + MaxHandOverBytes + 1;

bool FromOwnUser(int fd)
{
    ucred peer {};
    socklen_t size = sizeof(peer);
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof(peer)
        && peer.uid == geteuid();
}
}

// Closes connections from other users before Qt makes a socket of them.
class THandOverServer::TLocalServer : public QLocalServer {
public:
    using QLocalServer::QLocalServer;

protected:
    void incomingConnection(quintptr descriptor) override
    {
        Guarded("procedure THandOverServer.IncomingConnection", [&] {
            if (FromOwnUser(int(descriptor))) {
                QLocalServer::incomingConnection(descriptor);
                return;
            }
            ::close(int(descriptor));
            LogError("procedure THandOverServer.IncomingConnection", "connection from another user refused");
        });
    }
};

THandOverServer::THandOverServer(QObject* parent) : QObject(parent) {}

THandOverServer::~THandOverServer()
{
    Guarded("destructor THandOverServer.Destroy", [&] { Close(); });
}

THandOverServer::TListen THandOverServer::Listen(const QString& path, const TInstanceLock& lock)
{
    TListen result = Failed;
    Guarded("function THandOverServer.Listen(Path: string): TListen", [&] {
        Close();
        error.clear();
        if (!lock.Held()) {
            error = QStringLiteral("the instance lock is not held");
            return;
        }
        switch (ProbeHandOverSocket(path)) {
        case THandOverSocketState::Live:
            result = LiveElsewhere;
            return;
        case THandOverSocketState::Refused:
            if (!QFile::remove(path)) {
                error = QStringLiteral("cannot remove the stale socket %1").arg(path);
                return;
            }
            break;
        case THandOverSocketState::Absent:
            break;
        case THandOverSocketState::Failed:
            error = QStringLiteral("cannot use the socket path %1").arg(path);
            return;
        }
        server = new TLocalServer(this);
        // Qt binds in a private folder, sets the mode and renames into place, so the
        // socket is never reachable with wider permissions.
        server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server, &QLocalServer::newConnection, this, [this] { Accept(); });
        if (!server->listen(path)) {
            error = server->errorString();
            delete server;
            server = nullptr;
            return;
        }
        sweeper = new QTimer(this);
        sweeper->setInterval(SweepIntervalMs);
        connect(sweeper, &QTimer::timeout, this, [this] { Sweep(); });
        sweeper->start();
        result = Listening;
    });
    if (result == Failed)
        LogError("function THandOverServer.Listen(Path: string): TListen", error.toLocal8Bit().constData());
    return result;
}

void THandOverServer::Close()
{
    Guarded("procedure THandOverServer.Close", [&] {
        for (QLocalSocket* socket : connections.keys())
            Drop(socket);
        if (sweeper) {
            sweeper->stop();
            sweeper->deleteLater();
            sweeper = nullptr;
        }
        if (server) {
            server->close(); // removes the socket file
            server->deleteLater();
            server = nullptr;
        }
    });
}

bool THandOverServer::IsListening() const
{
    return server && server->isListening();
}

void THandOverServer::Accept()
{
    Guarded("procedure THandOverServer.Accept", [&] {
        while (server && server->hasPendingConnections()) {
            QLocalSocket* socket = server->nextPendingConnection();
            socket->setReadBufferSize(MaxReceived);
            connections.insert(socket, TConnection {QByteArray(), GetTickCount(), TConnection::Receiving});
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
            connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Drop(socket); });
            if (socket->bytesAvailable() > 0)
                Read(socket);
        }
    });
}

void THandOverServer::Read(QLocalSocket* socket)
{
    Guarded("procedure THandOverServer.Read", [&] {
        const auto found = connections.find(socket);
        if (found == connections.end() || found->phase != TConnection::Receiving)
            return;
        found->received += socket->read(MaxReceived - found->received.size());
        THandOverMessage message;
        switch (DecodeHandOver(found->received, message)) {
        case THandOverDecode::Incomplete:
            return;
        case THandOverDecode::Rejected:
            LogError("procedure THandOverServer.Read", "malformed hand-over message dropped");
            Drop(socket);
            return;
        case THandOverDecode::Complete:
            found->phase = TConnection::Answering;
            found->received.clear();
            // Raised from the event loop, not inside the socket's own signal, so the
            // handler may close or destroy the server.
            QMetaObject::invokeMethod(
                this, [this, socket = QPointer<QLocalSocket>(socket), message] { Answer(socket, message); },
                Qt::QueuedConnection);
            return;
        }
    });
}

void THandOverServer::Answer(QLocalSocket* socket, const THandOverMessage& message)
{
    Guarded("procedure THandOverServer.Answer", [&] {
        if (!socket || !connections.contains(socket))
            return; // dropped meanwhile: the sender never learns it was taken
        const QPointer<THandOverServer> alive(this);
        const QPointer<QLocalSocket> answered(socket);
        // A copy, so the handler may replace OnMessage or destroy the server.
        if (const auto handler = OnMessage)
            handler(message);
        if (!alive || !answered || !connections.contains(socket))
            return;
        TConnection& connection = connections[socket];
        connection.phase = TConnection::Closing;
        connection.since = GetTickCount();
        // Out at once: the handler may have asked the program to end, and the sender
        // goes on starting when the answer never comes.
        socket->write(EncodeHandOverReply(1));
        socket->flush();
        socket->disconnectFromServer();
    });
}

void THandOverServer::Drop(QLocalSocket* socket)
{
    Guarded("procedure THandOverServer.Drop", [&] {
        if (!connections.remove(socket))
            return;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    });
}

void THandOverServer::Sweep()
{
    Guarded("procedure THandOverServer.Sweep", [&] {
        const uint32_t now = GetTickCount();
        QList<QLocalSocket*> expired;
        for (auto it = connections.cbegin(); it != connections.cend(); ++it)
            if (it->phase != TConnection::Answering && now - it->since >= ConnectionTimeoutMs)
                expired.append(it.key());
        for (QLocalSocket* socket : expired)
            Drop(socket);
    });
}
