#include "platform/net/HttpRequest.h"

#include <QUrl>

namespace {
QByteArray BasicCredentials(const QString& user, const QString& password)
{
    return "Basic " + (user + ':' + password).toUtf8().toBase64();
}

// CR, LF and the other control characters would end a line early or smuggle one in.
bool SafeForHeader(const QByteArray& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

QByteArray HostText(const QString& host)
{
    const QByteArray encoded = host.toUtf8();
    return host.contains(':') ? '[' + encoded + ']' : encoded;
}
}

bool ParseHttpTarget(const QString& url, THttpTarget& target, QString& error)
{
    const QUrl parsed(url.trimmed(), QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != "http" && scheme != "https")) {
        error = QStringLiteral("Not an http or https URL: %1").arg(parsed.toDisplayString(QUrl::RemovePassword));
        return false;
    }
    target = {};
    target.Tls = scheme == "https";
    target.Host = parsed.host(QUrl::FullyEncoded);
    if (target.Host.isEmpty()) {
        error = QStringLiteral("The URL names no host");
        return false;
    }
    const int defaultPort = target.Tls ? 443 : 80;
    const int port = parsed.port(defaultPort);
    if (port <= 0 || port > 65535) {
        error = QStringLiteral("The URL names an invalid port");
        return false;
    }
    target.Port = quint16(port);
    const QByteArray host = HostText(target.Host);
    target.Origin = host + ':' + QByteArray::number(port);
    target.Authority = port == defaultPort ? host : target.Origin;
    target.PathAndQuery = parsed.path(QUrl::FullyEncoded).toUtf8();
    if (target.PathAndQuery.isEmpty())
        target.PathAndQuery = "/";
    if (parsed.hasQuery())
        target.PathAndQuery += '?' + parsed.query(QUrl::FullyEncoded).toUtf8();
    target.AbsoluteUrl = scheme.toUtf8() + "://" + target.Authority + target.PathAndQuery;
    return true;
}

QByteArray BuildGetRequest(const THttpRequest& request, const THttpTarget& target, bool viaProxy,
                           QString& error)
{
    const QByteArray path = viaProxy ? target.AbsoluteUrl : target.PathAndQuery;
    const QByteArray accept = request.Accept.toUtf8();
    const QByteArray agent = request.UserAgent.toUtf8();
    if (!SafeForHeader(path + accept + agent + target.Authority) || path.contains(' ')) {
        error = QStringLiteral("The request contains control characters");
        return {};
    }
    QByteArray head = "GET " + path + " HTTP/1.0\r\n";
    head += "Accept: " + accept + "\r\n";
    head += "User-Agent: " + agent + "\r\n";
    head += "Host: " + target.Authority + "\r\n";
    if (!request.User.isEmpty())
        head += "Authorization: " + BasicCredentials(request.User, request.Password) + "\r\n";
    if (viaProxy && !request.ProxyUser.isEmpty())
        head += "Proxy-Authorization: " + BasicCredentials(request.ProxyUser, request.ProxyPassword) + "\r\n";
    head += "Range: bytes=" + QByteArray::number(request.RangeStart) + "-\r\n";
    return head + "\r\n";
}

QByteArray BuildConnectRequest(const THttpRequest& request, const THttpTarget& target)
{
    QByteArray head = "CONNECT " + target.Origin + " HTTP/1.0\r\n";
    head += "Host: " + target.Origin + "\r\n";
    if (!request.ProxyUser.isEmpty())
        head += "Proxy-Authorization: " + BasicCredentials(request.ProxyUser, request.ProxyPassword) + "\r\n";
    return head + "\r\n";
}
