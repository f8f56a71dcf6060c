#pragma once
#include "platform/net/HttpRequest.h"
#include "platform/net/HttpResponseParser.h"
#include "platform/net/SplicePipe.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QTcpSocket;
class QSslError;

// Where body bytes may go straight from the socket: the receiver's file, the offset
// the next byte belongs at, and how many bytes it wants at most.
struct THttpSpliceTarget {
    int File = -1;
    qint64 Offset = 0;
    qint64 MaxBytes = 0;
};

// Values of OnRequestDone's error code.
enum THttpError : int {
    httpOk = 0,
    httpConnectFailed = 1, // host not found, refused, network failure
    httpTlsFailed = 2, // handshake or certificate verification failed
    httpAborted = 3, // Abort() was called
    httpProtocolError = 4, // not HTTP, header beyond its limits, broken chunked body
    httpWriteFailed = 5, // the receive stream did not take the data
    httpBadRequest = 6, // no usable URL, or a field that would break the request
};

// An asynchronous HTTP/1.0 GET client, one request per connection, on the caller's
// event loop. Every socket gets an explicit proxy (none; proxies are spoken to
// directly), a bounded read buffer, and https verifies the peer against the system's
// CA store plus SSL_CERT_FILE / SSL_CERT_DIR.
//
// Events come in this order: OnSessionConnected (TCP connection to the server or the
// proxy), OnHeaderBegin, OnHeaderData for each header line (the status line first),
// OnHeaderEnd (status and header fields readable from here on), OnDocData for each
// body block (already written to the receive stream), and always, once and
// asynchronously, OnRequestDone. Any event may call Abort(), Get() or destroy the
// client. OnRequestDone's code is httpOk when the connection ended without a
// failure; whether the body is whole is BodyComplete() (a reset looks like a close).
//
// A body sent as it is (not chunked) over plain TCP without a proxy may skip our
// memory: while SpliceTarget names a file, each block is moved from the socket into
// it by the kernel (splice), never more than the target wants, and OnDocData reports
// the block with data null (already written). Where splicing does not work, the
// blocks take the usual way: a file that refuses spliced bytes gets them again
// through OnDocData with data, so the receiver meets the failure itself.
class THttpClient : public QObject {
public:
    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    std::function<void()> OnSessionConnected;
    std::function<void()> OnHeaderBegin;
    std::function<void(const QByteArray& line)> OnHeaderData;
    std::function<void()> OnHeaderEnd;
    std::function<void(const char* data, qint64 size)> OnDocData;
    std::function<void(int error, const QString& errorText)> OnRequestDone;
    // Asked before each block that could be spliced; false (or no MaxBytes): the block
    // is read into memory and handed over with its data. Must not touch the client.
    std::function<bool(THttpSpliceTarget& target)> SpliceTarget;

    // Starts the request (a running one is dropped without an event).
    void Get(const THttpRequest& request);
    // Ends the running request; OnRequestDone(httpAborted) follows asynchronously.
    // Does nothing when no request is running.
    void Abort();
    // A request is running: OnRequestDone has not been raised for it yet.
    bool Busy() const { return phase != Phase::Idle; }

    // The answer, once OnHeaderEnd was raised.
    int StatusCode() const { return parser.StatusCode(); }
    QByteArray ReasonPhrase() const { return parser.ReasonPhrase(); }
    QByteArray Header(const QByteArray& name) const { return parser.Header(name); }
    QList<QByteArray> HeaderValues(const QByteArray& name) const { return parser.HeaderValues(name); }
    const QList<THttpHeaderField>& Headers() const { return parser.Headers(); }
    QByteArray Location() const { return parser.Header("Location"); }
    // Content-Length, -1 when the answer has none (or is chunked).
    qint64 ContentLength() const { return parser.ContentLength(); }
    // Body bytes received in this request (decoded when chunked).
    qint64 ReceivedCount() const { return parser.BodyReceived(); }
    bool BodyComplete() const { return parser.BodyComplete(); }
    // The last request's result, as handed to OnRequestDone.
    int ErrorCode() const { return errorCode; }
    const QString& ErrorText() const { return errorText; }

    // The client reads in blocks of up to this size into one buffer it keeps; a TLS
    // socket keeps at most this much unread.
    static constexpr qint64 ReadBufferSize = 256 * 1024;
    static constexpr qint64 MaxReadPerEvent = 4 * ReadBufferSize;

    // The most bytes taken from the connection per readiness event: less than the
    // default gives a connection a smaller share when reading is what limits speed.
    qint64 ReadBudget = MaxReadPerEvent;

    // Bytes of the running request's body that went straight into a file.
    qint64 SplicedCount() const { return splicedCount; }

private:
    enum class Phase { Idle, Connecting, Tunnel, Handshake, Receiving, Finished };

    bool Start();
    void OpenSocket();
    void Connected();
    void Encrypted();
    void SendRequest();
    void ReadyRead();
    // Reads at most `most` bytes from the plain socket's descriptor into the buffer:
    // bytes read, 0 when nothing is there, PeerClosed at the end of the stream.
    qint64 ReadDirect(qint64 most);
    static constexpr qint64 PeerClosed = -2;
    // What Splice did with the bytes waiting on the socket.
    enum class Spliced { Moved, Nothing, PeerClosed, NotUsed, RequestOver };
    Spliced Splice(qint64 budget, qint64& moved);
    bool MaySplice() const;
    bool SpliceRefusedRest();
    void Closed();
    void SocketError();
    void TlsErrors(const QList<QSslError>& errors);
    bool Consume(const char* data, qint64 size);
    bool Handle(const THttpResponseParser::Token& token);
    bool TunnelAnswer(const THttpResponseParser::Token& token);
    bool Deliver(const char* data, qint64 size);
    void Finish(int code, const QString& text);
    void DropSocket();

    // Raises an event; false when the handler destroyed the client, ended this request
    // or started another one, so the caller must not go on with it.
    template <class Event, class... Args>
    bool Raise(const Event& event, Args&&... args)
    {
        if (!event)
            return true;
        const QPointer<THttpClient> alive(this);
        const quint64 mine = serial;
        event(std::forward<Args>(args)...);
        return alive && serial == mine && phase != Phase::Finished && phase != Phase::Idle;
    }

    THttpRequest request;
    THttpTarget target;
    bool viaProxy = false;
    Phase phase = Phase::Idle;
    quint64 serial = 0; // tells a pending OnRequestDone from a newer request
    QTcpSocket* socket = nullptr; // freed with deleteLater: it may be inside its own signal
    THttpResponseParser parser;
    std::unique_ptr<char[]> buffer;
    TSplicePipe pipe;
    bool spliceOff = false; // splicing failed once in this request: the usual way from here on
    qint64 splicedCount = 0;
    QString tlsErrorText;
    int errorCode = httpOk;
    QString errorText;
};
