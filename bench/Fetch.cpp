// corvane_fetch URL OUTPUT [--range START] [--proxy HOST:PORT]
// Fetches one URL into a file with the program's HTTP client. Exit status 0 only when
// the answer was a 200 or 206 and its body arrived whole. On stderr: blocks received
// and heap allocations made between the first and the last block.
#include "bench/AllocationCounter.h"
#include "platform/net/HttpClient.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {
bool ParseArguments(const QStringList& arguments, THttpRequest& request, QString& output)
{
    if (arguments.size() < 3)
        return false;
    request.Url = arguments[1];
    output = arguments[2];
    for (qsizetype i = 3; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--range") {
            request.RangeStart = arguments[i + 1].toLongLong();
        } else if (arguments[i] == "--proxy") {
            request.ProxyHost = arguments[i + 1].section(':', 0, 0);
            request.ProxyPort = arguments[i + 1].section(':', 1).toUShort();
        } else {
            return false;
        }
    }
    return true;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    THttpRequest request;
    QString output;
    if (!ParseArguments(app.arguments(), request, output)) {
        std::fprintf(stderr, "usage: corvane_fetch URL OUTPUT [--range START] [--proxy HOST:PORT]\n");
        return 2;
    }
    QFile file(output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "corvane_fetch: cannot write %s\n", qPrintable(output));
        return 2;
    }
    request.ReceiveStream = &file;

    THttpClient client;
    qint64 blocks = 0;
    uint64_t allocations = 0;
    int status = 1;
    client.OnDocData = [&](const char*, qint64) {
        if (blocks++ == 0)
            AllocationCounter::Start();
    };
    client.OnRequestDone = [&](int error, const QString& text) {
        AllocationCounter::Stop();
        allocations = AllocationCounter::Count();
        const int code = client.StatusCode();
        if (error != httpOk)
            std::fprintf(stderr, "corvane_fetch: %s\n", qPrintable(text));
        else if (code != 200 && code != 206)
            std::fprintf(stderr, "corvane_fetch: %d %s\n", code, client.ReasonPhrase().constData());
        else if (!client.BodyComplete())
            std::fprintf(stderr, "corvane_fetch: %lld of %lld bytes\n", client.ReceivedCount(), client.ContentLength());
        else
            status = 0;
        app.quit();
    };
    client.Get(request);
    app.exec();
    std::fprintf(stderr, "blocks %lld allocations %llu\n", blocks, static_cast<unsigned long long>(allocations));
    return status;
}
