// downloader_child TEMPFILENAME
// Runs the download of the stored record TEMPFILENAME (+ ".dat") in a process of its own,
// so a test can kill it at any moment; ends with 0 when the parts are complete, 1 when
// the download failed.
#include "engine/Downloader.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
// Pings answer at once: the test is about part files, not about ICMP.
class TInstantPinger : public TPinger {
public:
    std::optional<int> Ping(const QString&) override { return 1; }
};
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: downloader_child TEMPFILENAME\n");
        return 2;
    }
    TLocalDownloadinfo record(nullptr, QString::fromLocal8Bit(argv[1]));
    TDownloader downloader(&record, 4, false, true, std::make_shared<TInstantPinger>());
    downloader.OnAllPartsDone = [&](TDownloader*) { app.exit(0); };
    downloader.OnDownloadError = [&](TDownloader*) { app.exit(1); };
    downloader.StartDownload();
    return app.exec();
}
