// corvane_download URL OUTPUT [--parts N]
// Downloads URL into OUTPUT as the program does: a TDownloader splits it into N parts
// (default 4) and the part combiner joins them. Exit status 0 only when the file was
// joined. On stderr: the parts, how long fetching and joining took, the heap allocations made while the parts arrived (after
// the split), and the CPU time of the main thread (the one that runs every socket,
// timer and slot; the combiner works on its own).
#include "bench/AllocationCounter.h"
#include "engine/CombineParts.h"
#include "engine/Downloader.h"
#include "records/StatusTexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

namespace {
// Loopback needs no ping, and ICMP may need privileges the bench does not have.
class TNoPinger : public TPinger {
public:
    std::optional<int> Ping(const QString&) override { return 1; }
};

double MainThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    int parts = 4;
    if (arguments.size() == 5 && arguments[3] == "--parts")
        parts = arguments[4].toInt();
    if (arguments.size() != 3 && arguments.size() != 5) {
        std::fprintf(stderr, "usage: corvane_download URL OUTPUT [--parts N]\n");
        return 2;
    }
    // The settings and the part files must not land in the user's own folders.
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("CORVANE_HOME"))
        setenv("CORVANE_HOME", home.path().toLocal8Bit().constData(), 1);

    TLocalDownloadinfo record(std::make_unique<TUrl>(arguments[1]));
    record.LocalFileName = arguments[2];
    QFile::remove(record.LocalFileName);
    int status = 1;
    QElapsedTimer clock;
    clock.start();
    qint64 fetchedMs = 0;
    std::unique_ptr<TCombineParts> combiner;
    TDownloader downloader(&record, parts, false, true, std::make_shared<TNoPinger>());
    downloader.OnDownloadError = [&](TDownloader* d) {
        std::fprintf(stderr, "corvane_download: %s\n", qPrintable(d->StatusText));
        app.exit(1);
    };
    QString partsDone; // when each part was complete, in seconds
    QSet<const TPartDownloadSlot*> done;
    downloader.OnSlotChange = [&](TDownloader* d, TPartDownloadSlot* slot) {
        if (d->Slots.NumberOfSlots() == parts && d->DownloadInfo->StateCode == pdsDownloading)
            AllocationCounter::Start();
        if (slot->StatusText == StatusTexts().Done && !done.contains(slot)) {
            done.insert(slot);
            partsDone += QString::asprintf(" %.2f", clock.elapsed() / 1000.0);
        }
    };
    downloader.OnAllPartsDone = [&](TDownloader* d) {
        AllocationCounter::Stop();
        fetchedMs = clock.elapsed();
        d->UpdateTimer.stop();
        const int joined = d->Slots.NumberOfSlots();
        combiner = std::make_unique<TCombineParts>(record, [&, joined](const TCombineResult& result) {
            if (!result.Ok)
                std::fprintf(stderr, "corvane_download: %s\n", qPrintable(result.Message));
            std::fprintf(stderr, "parts %d (done at%s s), fetched in %.2f s, joined in %.2f s, allocations %llu, "
                         "main thread cpu %.3f s\n",
                         joined, qPrintable(partsDone), fetchedMs / 1000.0, (clock.elapsed() - fetchedMs) / 1000.0,
                         static_cast<unsigned long long>(AllocationCounter::Count()), MainThreadCpuSeconds());
            status = result.Ok ? 0 : 1;
            app.exit(status);
        });
    };
    downloader.StartDownload();
    app.exec();
    combiner.reset();
    TCombineParts::WaitForThreads(10000); // ".0" goes after the hand-over
    return status;
}
