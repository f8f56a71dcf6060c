#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What the HTTP part downloader reads out of an answer's header, as pure functions.

// A Content-Range value "bytes <first>-<last>/<total>"; total -1 for "*".
struct TContentRange {
    bool Valid = false;
    qint64 First = -1;
    qint64 Last = -1;
    qint64 Total = -1;
};
TContentRange ParseContentRange(const QByteArray& value);

// The remote file's total size an answer to a request from rangeStart tells: the
// Content-Range total, else what the Content-Length adds to rangeStart (a 206) or the
// Content-Length itself (a 200); -1 when the answer does not say.
qint64 RemoteTotal(int status, qint64 rangeStart, qint64 contentLength, const TContentRange& range);

// The realm of a WWW-Authenticate challenge: the value after "realm=" (else after the
// first "="), without its quotation marks; empty when there is none.
QString RealmOf(const QByteArray& challenge);

// Where a Location leads from currentUrl, made absolute, without user information
// (credentials come from the store, for the host they belong to) and fragment.
QString ResolveLocation(const QString& currentUrl, const QByteArray& location);
// An http or https URL with a host: what the HTTP part downloader can follow.
bool IsFollowable(const QString& url);
// Whether two URLs ask for the same thing: scheme, host, port (the default one
// spelled or not), path and query.
bool SameResource(const QString& a, const QString& b);
