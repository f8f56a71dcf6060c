#pragma once
#include "engine/Downloader.h"
#include "tests/engine/ping/FakePinger.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempHome.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// What a downloader told its owner.
struct DownloadEvents {
    int fileSizeRequestDone = 0, startDownload = 0, downloadError = 0, allPartsDone = 0;
    int pause = 0, resume = 0, abort = 0, slotDelete = 0, authenticationRequired = 0, update = 0;
    std::vector<std::pair<QString, qint64>> serverSpeeds;
    std::vector<std::pair<TFileMirror*, int>> pingedMirrors;
    // The slots' ranges the first time more than one slot existed.
    std::vector<std::pair<qint64, qint64>> rangesAtSplit;
};

// A test that runs whole downloads through a TDownloader in its own CORVANE_HOME, with
// a fake pinger (every loopback host answers in 10 ms unless the test says otherwise).
class DownloaderTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new record for url, never split, whose target is Path("out.bin").
    TLocalDownloadinfo& NewRecord(const QString& url);
    // A record split before: its size and number of parts saved, and these part files
    // (start byte -> content) beside it.
    TLocalDownloadinfo& StoredRecord(const QString& url, qint64 fileSize, const QMap<qint64, QByteArray>& parts);
    // Creates the downloader on the record, wires every event into `events` and, unless
    // told otherwise, lets it start as the download system would.
    TDownloader& Start(int numOfParts = 4, bool mayStart = true, bool useLocalMirrorList = false,
                       bool startDownload = true);
    // NewRecord, Start and WaitForEnd.
    bool Run(const QString& url, bool useLocalMirrorList = false, int timeoutMs = 30000);
    // Frees the downloader and the record, so that the test can run another download.
    void Finish();
    // Runs the event loop until the parts are complete or the download failed.
    bool WaitForEnd(int timeoutMs = 30000);

    // Joins the parts with the part combiner and reads the target.
    QByteArray Combined();
    // The extensions of the record's part files, by start byte: "0", "250000", ...
    QStringList PartFiles() const;
    // Writes mirrors.lst with one group of these base URLs.
    void WriteMirrorList(const QStringList& baseUrls);

    TPartDownloadSlot& Slot(int index) const;

    std::shared_ptr<TFakePinger> pinger;
    std::unique_ptr<TLocalDownloadinfo> record;
    std::unique_ptr<TDownloader> downloader;
    DownloadEvents events;
};

// Answers every request with content from the byte its range asks for (206), shaped by
// the test for that start byte.
void ServeRanges(HttpTestServer& server, const QByteArray& content,
                 std::function<void(qint64 start, HttpTestAnswer& answer)> shape = {});

// The start byte of each request's "Range: bytes=N-" line, in arrival order, from the
// index `from` on.
std::vector<qint64> RangeStarts(const QList<QByteArray>& requests, qsizetype from = 0);
// The start byte a request asks for; -1 without a Range line.
qint64 RangeStart(const QByteArray& request);

// Part files as a finished download leaves them: ".0" and the split's last ranges, the
// ones before having been appended onto ".0" while the rest arrived.
bool ZeroAndLastRangesOf(const QStringList& partFiles, const QStringList& split);
