#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

// What the test server sends for one request.
struct HttpTestAnswer {
    // Status line and header lines, each ending in "\r\n"; the blank line is added.
    QByteArray head;
    QByteArray body; // sent as it stands (see Chunked for an encoded one)
    qint64 bytesPerSecond = 0; // 0 = as fast as possible
    bool closeWithoutAnswer = false; // read the request, then close
    bool stallBeforeHead = false; // read the request, then send nothing
    bool stallAfterHead = false; // send the head, then nothing
    qint64 dropAfter = -1; // end the connection after this many body bytes
    qint64 stallAfter = -1; // send this many body bytes, then nothing (the connection stays open)
    bool reset = false; // end it with a TCP reset instead of a close

    // A status with the given header lines (each ending "\r\n") and a Content-Length
    // of the body.
    static HttpTestAnswer Status(int code, const QByteArray& reason, const QByteArray& headers = {},
                                 const QByteArray& body = {});
    static HttpTestAnswer Ok(const QByteArray& body) { return Status(200, "OK", {}, body); }
    // 206 with file[from..] and its Content-Range; from need not be what was asked.
    static HttpTestAnswer Partial(const QByteArray& file, qint64 from);
    // 200 with the body in chunks of chunkSize bytes and Transfer-Encoding: chunked.
    static HttpTestAnswer Chunked(const QByteArray& body, int chunkSize, const QByteArray& trailer = {});
};

// Where a request's "Range: bytes=N-" starts; 0 without one.
qint64 RequestedRangeStart(const QByteArray& request);

// An HTTP server on a free loopback port (optionally TLS with TestCertificates) that
// answers each request as the test says and keeps the raw request bytes it received.
class HttpTestServer : public QObject {
public:
    explicit HttpTestServer(bool tls = false);
    ~HttpTestServer() override;

    bool Listen();
    quint16 Port() const;
    // "http://127.0.0.1:<port>/<path>" (https with TLS).
    QString Url(const QString& path = QStringLiteral("file")) const;

    // Answers in the order the requests come; Handler answers once the queue is empty,
    // and without either the answer is a 404.
    void Enqueue(const HttpTestAnswer& answer) { queue.append(answer); }
    std::function<HttpTestAnswer(const QByteArray& request)> Handler;

    // Each request's bytes up to and including its blank line, in arrival order.
    const QList<QByteArray>& Requests() const { return requests; }
    bool WaitForRequests(int count, int timeoutMs = 10000) const;
    // Connections currently open, and all ever accepted.
    int OpenConnections() const { return openConnections; }
    int AcceptedConnections() const { return acceptedConnections; }

private:
    class Connection;
    void Accept(QTcpSocket* socket);
    HttpTestAnswer Next(const QByteArray& request);

    bool tls;
    std::unique_ptr<QTcpServer> server;
    QList<HttpTestAnswer> queue;
    QList<QByteArray> requests;
    int openConnections = 0;
    int acceptedConnections = 0;
};
