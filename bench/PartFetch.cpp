// corvane_part_fetch URL OUTPUT [--start BYTE] [--end BYTE]
// Fetches one URL (or one range of it) into a file through the program's HTTP part
// downloader, as a slot runs it: the part file is OUTPUT + ".part", renamed to OUTPUT
// when the part is done. Exit status 0 only for pdsPartDone. On stderr: the state
// reached, and the heap allocations made while the data arrived.
#include "bench/AllocationCounter.h"
#include "engine/HttpPartDownloader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {
struct Arguments {
    QString url, output;
    qint64 start = 0, end = 0;
};

bool Parse(const QStringList& arguments, Arguments& parsed)
{
    if (arguments.size() < 3)
        return false;
    parsed.url = arguments[1];
    parsed.output = arguments[2];
    for (qsizetype i = 3; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--start")
            parsed.start = arguments[i + 1].toLongLong();
        else if (arguments[i] == "--end")
            parsed.end = arguments[i + 1].toLongLong();
        else
            return false;
    }
    return true;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Arguments arguments;
    if (!Parse(app.arguments(), arguments)) {
        std::fprintf(stderr, "usage: corvane_part_fetch URL OUTPUT [--start BYTE] [--end BYTE]\n");
        return 2;
    }
    // The settings the part downloader reads must not land in the user's own hive.
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("CORVANE_HOME"))
        setenv("CORVANE_HOME", home.path().toLocal8Bit().constData(), 1);

    const QString partFile = arguments.output + ".part";
    QFile::remove(partFile);
    THTTPPartDownloader part(arguments.url, partFile, arguments.start, arguments.end);
    part.OnChange = [&](TPartDownloader*, TPartDownloaderState state) {
        if (state == pdsDownloading)
            AllocationCounter::Start();
        if (state == pdsPartDone || state == pdsError || state == pdsAuthRequired)
            app.quit();
    };
    part.Get();
    app.exec();
    AllocationCounter::Stop();

    std::fprintf(stderr, "state %d %s, %lld bytes, allocations %llu\n", int(part.State), qPrintable(part.ErrorText),
                 part.TransferCount, static_cast<unsigned long long>(AllocationCounter::Count()));
    if (part.State != pdsPartDone)
        return 1;
    if (part.EndByte > 0 && !TruncatePartFile(partFile, part.RangeLength()))
        return 1;
    QFile::remove(arguments.output);
    return QFile::rename(partFile, arguments.output) ? 0 : 1;
}
