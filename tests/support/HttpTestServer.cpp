#include "tests/support/HttpTestServer.h"

#include "tests/support/EventLoop.h"
#include "tests/support/TestCertificates.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {
constexpr qsizetype MaxRequestHead = 1024 * 1024;

// Accepts plain or TLS connections; a TLS socket is handed out before its handshake.
class Listener : public QTcpServer {
public:
    explicit Listener(bool tls)
        : tls(tls)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        if (auto* secure = qobject_cast<QSslSocket*>(socket)) {
            const TestCertificates& certificates = TestCertificates::Shared();
            secure->setLocalCertificate(QSslCertificate::fromPath(certificates.CertificateFile()).value(0));
            QFile key(certificates.KeyFile());
            key.open(QIODevice::ReadOnly);
            secure->setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
            secure->startServerEncryption();
        }
        addPendingConnection(socket);
    }

private:
    bool tls;
};

bool HasHeader(const QByteArray& headers, const QByteArray& name)
{
    return headers.toLower().contains("\n" + name.toLower() + ":") || headers.toLower().startsWith(name.toLower() + ":");
}
}

qint64 RequestedRangeStart(const QByteArray& request)
{
    const QByteArray marker = "\r\nRange: bytes=";
    const qsizetype at = request.indexOf(marker);
    if (at < 0)
        return 0;
    const qsizetype from = at + marker.size();
    return request.mid(from, request.indexOf('-', from) - from).toLongLong();
}

HttpTestAnswer HttpTestAnswer::Status(int code, const QByteArray& reason, const QByteArray& headers,
                                      const QByteArray& body)
{
    HttpTestAnswer answer;
    answer.head = "HTTP/1.1 " + QByteArray::number(code) + (reason.isEmpty() ? "" : " " + reason) + "\r\n" + headers;
    if (!HasHeader(headers, "Content-Length") && !HasHeader(headers, "Transfer-Encoding"))
        answer.head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    answer.body = body;
    return answer;
}

HttpTestAnswer HttpTestAnswer::Partial(const QByteArray& file, qint64 from)
{
    const QByteArray range = "Content-Range: bytes " + QByteArray::number(from) + "-"
        + QByteArray::number(file.size() - 1) + "/" + QByteArray::number(file.size()) + "\r\n";
    return Status(206, "Partial Content", range, file.mid(from));
}

HttpTestAnswer HttpTestAnswer::Chunked(const QByteArray& body, int chunkSize, const QByteArray& trailer)
{
    HttpTestAnswer answer = Status(200, "OK", "Transfer-Encoding: chunked\r\n");
    for (qsizetype at = 0; at < body.size(); at += chunkSize) {
        const QByteArray chunk = body.mid(at, chunkSize);
        answer.body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    answer.body += "0\r\n" + trailer + "\r\n";
    return answer;
}

// One accepted connection: reads the request head, then plays its answer.
class HttpTestServer::Connection : public QObject {
public:
    Connection(HttpTestServer* owner, QTcpSocket* socket)
        : QObject(socket)
        , owner(owner)
        , socket(socket)
    {
        ++owner->openConnections;
        ++owner->acceptedConnections;
        connect(socket, &QIODevice::readyRead, this, [this] { Read(); });
        connect(socket, &QAbstractSocket::disconnected, this, [this] { Gone(); });
        connect(&pace, &QTimer::timeout, this, [this] { SendSome(); });
    }

private:
    void Read()
    {
        if (answered) {
            socket->readAll();
            return;
        }
        received += socket->readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0) {
            if (received.size() > MaxRequestHead)
                socket->abort();
            return;
        }
        answered = true;
        const QByteArray request = received.left(end + 4);
        owner->requests.append(request);
        answer = owner->Next(request);
        if (answer.closeWithoutAnswer) {
            socket->disconnectFromHost();
            return;
        }
        if (answer.stallBeforeHead)
            return;
        socket->write(answer.head + "\r\n");
        if (answer.stallAfterHead)
            return;
        limit = answer.body.size();
        for (const qint64 cut : {answer.dropAfter, answer.stallAfter})
            if (cut >= 0)
                limit = qMin(limit, cut);
        if (answer.bytesPerSecond > 0) {
            pace.start(10);
            return;
        }
        socket->write(answer.body.constData(), limit);
        sent = limit;
        End();
    }

    void SendSome()
    {
        const qint64 step = qMax<qint64>(1, answer.bytesPerSecond / 100);
        const qint64 size = qMin(step, limit - sent);
        socket->write(answer.body.constData() + sent, size);
        sent += size;
        if (sent >= limit) {
            pace.stop();
            End();
        }
    }

    void End()
    {
        if (answer.stallAfter >= 0)
            return;
        if (!answer.reset) {
            socket->disconnectFromHost();
            return;
        }
        // A reset throws away what the kernel has not sent yet, so wait until the peer
        // has acknowledged every byte before sending it.
        connect(&pace, &QTimer::timeout, this, [this] { ResetWhenSent(); });
        pace.start(1);
    }

    void ResetWhenSent()
    {
        socket->flush();
        int unsent = 0;
        if (socket->bytesToWrite() > 0 || ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &unsent) != 0 || unsent > 0)
            return;
        pace.stop();
        const linger abrupt{1, 0};
        setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
        socket->abort();
        Gone();
    }

    void Gone()
    {
        if (gone)
            return;
        gone = true;
        --owner->openConnections;
        socket->deleteLater();
    }

    HttpTestServer* owner;
    QTcpSocket* socket;
    QByteArray received;
    bool answered = false;
    bool gone = false;
    HttpTestAnswer answer;
    qint64 limit = 0;
    qint64 sent = 0;
    QTimer pace;
};

HttpTestServer::HttpTestServer(bool tls)
    : tls(tls)
    , server(new Listener(tls))
{
    connect(server.get(), &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server->nextPendingConnection())
            Accept(socket);
    });
}

HttpTestServer::~HttpTestServer()
{
    // The connections live under the listener and go with it, while we still exist.
    server.reset();
}

bool HttpTestServer::Listen()
{
    if (tls && !TestCertificates::Shared().Generate())
        return false;
    return server->listen(QHostAddress::LocalHost, 0);
}

quint16 HttpTestServer::Port() const
{
    return server->serverPort();
}

QString HttpTestServer::Url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2/%3").arg(tls ? "https" : "http").arg(Port()).arg(path);
}

void HttpTestServer::Accept(QTcpSocket* socket)
{
    new Connection(this, socket);
}

HttpTestAnswer HttpTestServer::Next(const QByteArray& request)
{
    if (!queue.isEmpty())
        return queue.takeFirst();
    if (Handler)
        return Handler(request);
    return HttpTestAnswer::Status(404, "Not Found");
}

bool HttpTestServer::WaitForRequests(int count, int timeoutMs) const
{
    return ProcessEventsUntil([&] { return requests.size() >= count; }, timeoutMs);
}
