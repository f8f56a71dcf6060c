#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

// What one GET asks for. The request always carries "Range: bytes=<RangeStart>-".
struct THttpRequest {
    QString Url; // http:// or https://; user information in it is ignored
    QString User, Password; // Basic authentication when User is not empty
    QString ProxyHost; // an HTTP proxy when not empty
    quint16 ProxyPort = 0;
    QString ProxyUser, ProxyPassword; // Basic proxy authentication when ProxyUser is not empty
    QString Accept = QStringLiteral("*/*");
    QString UserAgent = QStringLiteral("Corvane");
    qint64 RangeStart = 0;
    // Receives the body; written at its current position. May be null.
    QIODevice* ReceiveStream = nullptr;
};

// Where a URL's request goes and what its request line and Host header say.
struct THttpTarget {
    bool Tls = false;
    QString Host; // for connecting: no brackets around an IPv6 address
    quint16 Port = 0;
    QByteArray Authority; // "host" or "host:port" when the port is not the scheme's default
    QByteArray Origin; // "host:port" always, as CONNECT names it
    QByteArray PathAndQuery; // "/dir/file?query", never empty
    QByteArray AbsoluteUrl; // "http://authority/dir/file?query"
};

// False (with a reason in error) for anything but a usable http or https URL.
bool ParseHttpTarget(const QString& url, THttpTarget& target, QString& error);

// The GET request's bytes, its lines in this order: request line, Accept, User-Agent,
// Host, Authorization, Proxy-Authorization, Range, blank line. viaProxy: the request
// goes to an HTTP proxy as it is (absolute URL, proxy credentials); a request inside
// a CONNECT tunnel is not via the proxy. Empty (with error) when a field would break
// the request's lines.
QByteArray BuildGetRequest(const THttpRequest& request, const THttpTarget& target, bool viaProxy,
                           QString& error);
QByteArray BuildConnectRequest(const THttpRequest& request, const THttpTarget& target);
