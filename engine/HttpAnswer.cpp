#include "engine/HttpAnswer.h"

#include <QUrl>

namespace {
bool ParseNumber(const QByteArray& text, qint64& number)
{
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    number = digits.toLongLong();
    return true;
}

int DefaultPort(const QString& scheme)
{
    return scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("ftp") ? 21 : 80;
}

QUrl Parsed(const QString& url)
{
    return QUrl(url, QUrl::TolerantMode);
}
}

TContentRange ParseContentRange(const QByteArray& value)
{
    TContentRange range;
    const QByteArray text = value.trimmed();
    if (!text.toLower().startsWith("bytes "))
        return range;
    const QByteArray spec = text.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    const qsizetype slash = spec.indexOf('/');
    if (dash <= 0 || slash < dash)
        return range;
    qint64 first = 0, last = 0, total = -1;
    if (!ParseNumber(spec.left(dash), first) || !ParseNumber(spec.mid(dash + 1, slash - dash - 1), last) || last < first)
        return range;
    const QByteArray totalText = spec.mid(slash + 1).trimmed();
    if (totalText != "*" && (!ParseNumber(totalText, total) || total <= last))
        return range;
    range = {true, first, last, total};
    return range;
}

qint64 RemoteTotal(int status, qint64 rangeStart, qint64 contentLength, const TContentRange& range)
{
    if (status == 206 && range.Valid && range.Total >= 0)
        return range.Total;
    if (contentLength < 0)
        return -1;
    return status == 206 ? rangeStart + contentLength : contentLength;
}

QString RealmOf(const QByteArray& challenge)
{
    qsizetype at = challenge.toLower().indexOf("realm=");
    at = at >= 0 ? at + 5 : challenge.indexOf('=');
    if (at < 0)
        return {};
    QByteArray value = challenge.mid(at + 1);
    if (value.startsWith('"')) {
        value = value.mid(1);
        const qsizetype end = value.indexOf('"');
        return QString::fromUtf8(end >= 0 ? value.left(end) : value);
    }
    const qsizetype end = value.indexOf(',');
    return QString::fromUtf8(end >= 0 ? value.left(end) : value).trimmed();
}

QString ResolveLocation(const QString& currentUrl, const QByteArray& location)
{
    const QUrl reference(QString::fromUtf8(location.trimmed()), QUrl::TolerantMode);
    if (!reference.isValid())
        return {};
    return Parsed(currentUrl)
        .resolved(reference)
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment)
        .toString(QUrl::FullyEncoded);
}

bool IsFollowable(const QString& url)
{
    const QUrl parsed = Parsed(url);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !parsed.host().isEmpty();
}

bool SameResource(const QString& a, const QString& b)
{
    const QUrl x = Parsed(a), y = Parsed(b);
    const QString scheme = x.scheme().toLower();
    const auto path = [](const QUrl& url) {
        const QString p = url.path(QUrl::FullyEncoded);
        return p.isEmpty() ? QStringLiteral("/") : p;
    };
    return scheme == y.scheme().toLower() && x.host().toLower() == y.host().toLower() &&
           x.port(DefaultPort(scheme)) == y.port(DefaultPort(scheme)) && path(x) == path(y) &&
           x.query(QUrl::FullyEncoded) == y.query(QUrl::FullyEncoded);
}
