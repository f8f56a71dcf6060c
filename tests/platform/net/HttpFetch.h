#pragma once
#include "platform/net/HttpClient.h"
#include "tests/support/EventLoop.h"

#include <QRegularExpression>

#include <QBuffer>
#include <QStringList>

// Runs one request and writes down every event the client raised, in order:
// "connected", "begin", "line <text>", "end", "data <size>", "done <code>".
struct HttpFetch {
    THttpClient client;
    QStringList events;
    QBuffer body;
    bool done = false;
    int code = -1;
    QString text;

    HttpFetch()
    {
        body.open(QIODevice::ReadWrite);
        client.OnSessionConnected = [this] { events << "connected"; };
        client.OnHeaderBegin = [this] { events << "begin"; };
        client.OnHeaderData = [this](const QByteArray& line) { events << "line " + QString::fromLatin1(line); };
        client.OnHeaderEnd = [this] { events << "end"; };
        client.OnDocData = [this](const char*, qint64 size) { events << QStringLiteral("data %1").arg(size); };
        client.OnRequestDone = [this](int error, const QString& errorText) {
            events << QStringLiteral("done %1").arg(error);
            done = true;
            code = error;
            text = errorText;
        };
    }

    // Starts the request with the body going into `body`; true once it is done.
    bool Run(THttpRequest request, int timeoutMs = 20000)
    {
        Start(request);
        return Wait(timeoutMs);
    }
    void Start(THttpRequest request)
    {
        done = false;
        events.clear();
        if (!request.ReceiveStream)
            request.ReceiveStream = &body;
        client.Get(request);
    }
    bool Wait(int timeoutMs = 20000)
    {
        return ProcessEventsUntil([this] { return done; }, timeoutMs);
    }
    int Count(const QString& event) const { return int(events.filter(QRegularExpression("^" + event)).size()); }
};

inline THttpRequest Request(const QString& url, qint64 rangeStart = 0)
{
    THttpRequest request;
    request.Url = url;
    request.RangeStart = rangeStart;
    return request;
}
