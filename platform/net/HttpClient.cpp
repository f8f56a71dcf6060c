#include "platform/net/HttpClient.h"

#include "platform/base/Guard.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>

#include <cerrno>
#include <sys/socket.h>

namespace {
// The system's CAs plus those named by SSL_CERT_FILE and SSL_CERT_DIR (a ":"-separated
// list of folders), read for every connection so a changed environment takes effect.
QSslConfiguration TlsConfiguration()
{
    static const QList<QSslCertificate> systemCertificates = QSslConfiguration::systemCaCertificates();
    QList<QSslCertificate> certificates = systemCertificates;
    if (const QString file = qEnvironmentVariable("SSL_CERT_FILE"); !file.isEmpty())
        certificates += QSslCertificate::fromPath(file, QSsl::Pem);
    for (const QString& folder : qEnvironmentVariable("SSL_CERT_DIR").split(':', Qt::SkipEmptyParts))
        certificates += QSslCertificate::fromPath(folder + "/*", QSsl::Pem, QSslCertificate::PatternSyntax::Wildcard);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(certificates);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return config;
}
}

THttpClient::THttpClient(QObject* parent)
    : QObject(parent)
    , buffer(new char[ReadBufferSize])
{
}

THttpClient::~THttpClient()
{
    DropSocket();
}

void THttpClient::Get(const THttpRequest& newRequest)
{
    Guarded("procedure THttpClient.Get", [&] {
        DropSocket();
        ++serial;
        request = newRequest;
        parser.Reset();
        pipe.Discard(); // what a stopped request left in it is no part of this one
        spliceOff = false;
        splicedCount = 0;
        errorCode = httpOk;
        errorText.clear();
        tlsErrorText.clear();
        phase = Phase::Connecting;
        if (Start())
            OpenSocket();
    });
}

// Checks the request before anything is sent, so a bad one fails without a connection.
bool THttpClient::Start()
{
    QString error;
    if (!ParseHttpTarget(request.Url, target, error)) {
        Finish(httpBadRequest, error);
        return false;
    }
    const bool proxied = !request.ProxyHost.isEmpty();
    if (proxied && request.ProxyPort == 0) {
        Finish(httpBadRequest, QStringLiteral("The proxy %1 has no port").arg(request.ProxyHost));
        return false;
    }
    // https through a proxy runs inside a CONNECT tunnel: the request itself then goes
    // to the server, and the proxy's credentials must not travel with it.
    viaProxy = proxied && !target.Tls;
    if (BuildGetRequest(request, target, viaProxy, error).isEmpty()) {
        Finish(httpBadRequest, error);
        return false;
    }
    return true;
}

void THttpClient::OpenSocket()
{
    QSslSocket* tls = target.Tls ? new QSslSocket : nullptr;
    socket = tls ? tls : new QTcpSocket;
    socket->setProxy(QNetworkProxy::NoProxy);
    // Plain TCP is read by us (ReadyRead): straight into our buffer, or spliced into the
    // receiver's file. Qt reads a little itself before it tells us; a single byte can
    // never carry a block past the end a splice target set.
    socket->setReadBufferSize(tls ? ReadBufferSize : 1);
    connect(socket, &QAbstractSocket::connected, this, [this] { Connected(); });
    connect(socket, &QIODevice::readyRead, this, [this] { ReadyRead(); });
    connect(socket, &QAbstractSocket::disconnected, this, [this] { Closed(); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this] { SocketError(); });
    const bool proxied = !request.ProxyHost.isEmpty();
    const QString host = proxied ? request.ProxyHost : target.Host;
    const quint16 port = proxied ? request.ProxyPort : target.Port;
    if (!tls) {
        socket->connectToHost(host, port);
        return;
    }
    tls->setSslConfiguration(TlsConfiguration());
    tls->setPeerVerifyName(target.Host);
    connect(tls, &QSslSocket::encrypted, this, [this] { Encrypted(); });
    connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) { TlsErrors(errors); });
    if (proxied)
        tls->connectToHost(host, port);
    else
        tls->connectToHostEncrypted(host, port);
}

void THttpClient::Connected()
{
    Guarded("procedure THttpClient.Connected", [&] {
        if (phase != Phase::Connecting)
            return;
        if (!Raise(OnSessionConnected) || phase != Phase::Connecting)
            return;
        if (!request.ProxyHost.isEmpty() && target.Tls) {
            phase = Phase::Tunnel;
            parser.Reset(true);
            socket->write(BuildConnectRequest(request, target));
        } else if (target.Tls) {
            phase = Phase::Handshake;
        } else {
            SendRequest();
        }
    });
}

void THttpClient::Encrypted()
{
    Guarded("procedure THttpClient.Encrypted", [&] {
        if (phase == Phase::Handshake)
            SendRequest();
    });
}

void THttpClient::SendRequest()
{
    QString error;
    phase = Phase::Receiving;
    parser.Reset();
    socket->write(BuildGetRequest(request, target, viaProxy, error));
}

// Reads what has arrived: first all the socket holds (Qt would not tell us again of
// what stays in its buffer), then, for plain TCP, straight from the kernel: into the
// file the receiver names (splice), or into the reused buffer. At most ReadBudget
// bytes at a time so timers, windows and other connections get their turn; the
// socket's notifier brings us back for the rest.
void THttpClient::ReadyRead()
{
    Guarded("procedure THttpClient.ReadyRead", [&] {
        qint64 budget = qMax<qint64>(ReadBudget, 1);
        while (socket && (phase == Phase::Tunnel || phase == Phase::Receiving) && budget > 0) {
            qint64 size = socket->read(buffer.get(), ReadBufferSize);
            if (size == 0 && !target.Tls) {
                qint64 moved = 0;
                switch (Splice(budget, moved)) {
                case Spliced::Moved:
                    budget -= moved;
                    continue;
                case Spliced::Nothing:
                case Spliced::RequestOver:
                    return;
                case Spliced::PeerClosed:
                    Closed();
                    return;
                case Spliced::NotUsed:
                    break;
                }
                size = ReadDirect(qMin(budget, ReadBufferSize));
            }
            if (size == PeerClosed) {
                Closed();
                return;
            }
            if (size <= 0 || !Consume(buffer.get(), size))
                return;
            budget -= size;
        }
    });
}

bool THttpClient::MaySplice() const
{
    return phase == Phase::Receiving && !target.Tls && !viaProxy && !spliceOff && SpliceTarget &&
           !request.ReceiveStream && parser.InPlainBody();
}

THttpClient::Spliced THttpClient::Splice(qint64 budget, qint64& moved)
{
    THttpSpliceTarget where;
    if (!MaySplice() || !SpliceTarget(where) || where.File < 0 || where.MaxBytes <= 0)
        return Spliced::NotUsed;
    qint64 want = qMin(budget, where.MaxBytes);
    if (const qint64 left = parser.PlainBodyLeft(); left >= 0)
        want = qMin(want, left);
    const qint64 taken = pipe.FromSocket(int(socket->socketDescriptor()), want);
    if (taken == TSplicePipe::Nothing)
        return Spliced::Nothing;
    if (taken == TSplicePipe::Ended)
        return Spliced::PeerClosed;
    if (taken == TSplicePipe::Refused) {
        spliceOff = true;
        return Spliced::NotUsed;
    }
    const qint64 written = pipe.ToFile(where.File, where.Offset);
    if (written > 0) {
        parser.SkipBody(written);
        splicedCount += written;
        if (!Raise(OnDocData, nullptr, written))
            return Spliced::RequestOver;
    }
    if (pipe.Held() > 0 && !SpliceRefusedRest())
        return Spliced::RequestOver;
    if (!Consume(nullptr, 0)) // the body's end
        return Spliced::RequestOver;
    moved = taken;
    return Spliced::Moved;
}

// The file took only part of a spliced block: the rest is read back and handed over
// with its data, so the receiver writes it itself and meets the failure (a full disk)
// where it can report it. Splicing stays off for this request.
bool THttpClient::SpliceRefusedRest()
{
    spliceOff = true;
    while (pipe.Held() > 0) {
        const qint64 size = pipe.TakeBack(buffer.get(), ReadBufferSize);
        if (size < 0) {
            Finish(httpWriteFailed, QStringLiteral("Received data was lost between the socket and the file"));
            return false;
        }
        if (!Consume(buffer.get(), size))
            return false;
    }
    return true;
}

qint64 THttpClient::ReadDirect(qint64 most)
{
    const ssize_t size = ::recv(int(socket->socketDescriptor()), buffer.get(), size_t(most), MSG_DONTWAIT);
    if (size > 0)
        return size;
    // A reset is an end like a close: the caller counts the bytes.
    if (size == 0 || errno == ECONNRESET)
        return PeerClosed;
    return 0; // nothing yet; any other failure reaches Qt on its next read
}

// Hands the bytes to the parser and acts on each item; false once this request must
// not be touched any more (finished, replaced, or the client destroyed).
bool THttpClient::Consume(const char* data, qint64 size)
{
    for (;;) {
        const THttpResponseParser::Token token = parser.Next(data, size);
        if (token.item == THttpResponseParser::Item::NeedMore) {
            if (size <= 0)
                return true;
            continue;
        }
        if (!Handle(token))
            return false;
    }
}

bool THttpClient::Handle(const THttpResponseParser::Token& token)
{
    using Item = THttpResponseParser::Item;
    if (phase == Phase::Tunnel)
        return TunnelAnswer(token);
    switch (token.item) {
    case Item::StatusLine:
        return Raise(OnHeaderBegin) && Raise(OnHeaderData, QByteArray(token.data, token.size));
    case Item::HeaderLine:
        return Raise(OnHeaderData, QByteArray(token.data, token.size));
    case Item::HeaderEnd:
        return Raise(OnHeaderEnd);
    case Item::Body:
        return Deliver(token.data, token.size);
    case Item::End:
        Finish(httpOk, {});
        return false;
    case Item::Error:
    case Item::NeedMore:
        break;
    }
    Finish(httpProtocolError, parser.ErrorText());
    return false;
}

// The proxy's answer to CONNECT. A success stays between us and the proxy; anything
// else is the answer to the request, as if the proxy had been asked for the file.
bool THttpClient::TunnelAnswer(const THttpResponseParser::Token& token)
{
    using Item = THttpResponseParser::Item;
    if (token.item == Item::StatusLine && (parser.StatusCode() < 200 || parser.StatusCode() > 299)) {
        phase = Phase::Receiving;
        return Handle(token);
    }
    if (token.item == Item::Error) {
        Finish(httpProtocolError, QStringLiteral("The proxy %1: %2").arg(request.ProxyHost, parser.ErrorText()));
        return false;
    }
    if (token.item != Item::End)
        return true;
    phase = Phase::Handshake;
    parser.Reset();
    static_cast<QSslSocket*>(socket)->startClientEncryption();
    return false;
}

bool THttpClient::Deliver(const char* data, qint64 size)
{
    if (QIODevice* stream = request.ReceiveStream; stream && stream->write(data, size) != size) {
        Finish(httpWriteFailed, QStringLiteral("Could not write the received data: %1").arg(stream->errorString()));
        return false;
    }
    return Raise(OnDocData, data, size);
}

void THttpClient::Closed()
{
    Guarded("procedure THttpClient.Closed", [&] {
        if (phase != Phase::Tunnel && phase != Phase::Receiving) {
            if (phase == Phase::Connecting || phase == Phase::Handshake)
                SocketError();
            return;
        }
        // What the socket still holds came before the close.
        while (socket->bytesAvailable() > 0) {
            const qint64 size = socket->read(buffer.get(), ReadBufferSize);
            if (size <= 0)
                break;
            if (!Consume(buffer.get(), size))
                return;
        }
        Handle(parser.Close());
    });
}

void THttpClient::SocketError()
{
    Guarded("procedure THttpClient.SocketError", [&] {
        if (!socket || phase == Phase::Idle || phase == Phase::Finished)
            return;
        const QAbstractSocket::SocketError error = socket->error();
        if (error == QAbstractSocket::RemoteHostClosedError && phase != Phase::Connecting && phase != Phase::Handshake) {
            Closed();
            return;
        }
        const QString where = request.ProxyHost.isEmpty() ? target.Host : request.ProxyHost;
        if (phase == Phase::Handshake || error == QAbstractSocket::SslHandshakeFailedError) {
            Finish(httpTlsFailed, !tlsErrorText.isEmpty() ? tlsErrorText
                                  : QStringLiteral("TLS handshake with %1 failed: %2").arg(target.Host, socket->errorString()));
        } else if (error == QAbstractSocket::HostNotFoundError) {
            Finish(httpConnectFailed, QStringLiteral("Host not found: %1").arg(where));
        } else {
            Finish(httpConnectFailed, QStringLiteral("Connection to %1 failed: %2").arg(where, socket->errorString()));
        }
    });
}

void THttpClient::TlsErrors(const QList<QSslError>& errors)
{
    Guarded("procedure THttpClient.TlsErrors", [&] {
        QStringList texts;
        for (const QSslError& error : errors)
            texts.append(error.errorString());
        tlsErrorText = QStringLiteral("The certificate of %1 could not be verified: %2").arg(target.Host, texts.join("; "));
    });
}

void THttpClient::Abort()
{
    Guarded("procedure THttpClient.Abort", [&] {
        Finish(httpAborted, QStringLiteral("The request was aborted"));
    });
}

void THttpClient::Finish(int code, const QString& text)
{
    if (phase == Phase::Idle || phase == Phase::Finished)
        return;
    phase = Phase::Finished;
    errorCode = code;
    errorText = text;
    DropSocket();
    QMetaObject::invokeMethod(
        this,
        [this, mine = serial] {
            Guarded("procedure THttpClient.RequestDone", [&] {
                if (serial != mine || phase != Phase::Finished)
                    return;
                phase = Phase::Idle;
                const QString text = errorText; // the handler may destroy us
                if (OnRequestDone)
                    OnRequestDone(errorCode, text);
            });
        },
        Qt::QueuedConnection);
}

void THttpClient::DropSocket()
{
    if (!socket)
        return;
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}
