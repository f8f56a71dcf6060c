#include "tests/engine/downloader/DownloadHarness.h"

#include "engine/CombineParts.h"
#include "engine/MirrorPing.h"
#include "records/SiteManager.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

void DownloaderTest::SetUp()
{
    TempHomeTest::SetUp();
    SiteManager() = TSiteManager();
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 10}});
}

void DownloaderTest::TearDown()
{
    Finish();
    // Pings still held at the gate end now and report to nobody.
    pinger->OpenGate();
    EXPECT_TRUE(TMirrorPing::WaitForThreads(5000));
    EXPECT_TRUE(TCombineParts::WaitForThreads(5000));
    TempHomeTest::TearDown();
}

TLocalDownloadinfo& DownloaderTest::NewRecord(const QString& url)
{
    record = std::make_unique<TLocalDownloadinfo>(std::make_unique<TUrl>(url));
    record->LocalFileName = Path("out.bin");
    return *record;
}

TLocalDownloadinfo& DownloaderTest::StoredRecord(const QString& url, qint64 fileSize,
                                                 const QMap<qint64, QByteArray>& parts)
{
    NewRecord(url);
    record->FileSize = fileSize;
    record->NumOfParts = int(parts.size());
    EXPECT_TRUE(record->SaveToDatFile());
    for (auto part = parts.begin(); part != parts.end(); ++part)
        EXPECT_TRUE(WriteWholeFile(record->TempFileName() + "." + QString::number(part.key()), part.value()));
    return *record;
}

TDownloader& DownloaderTest::Start(int numOfParts, bool mayStart, bool useLocalMirrorList, bool startDownload)
{
    events = {};
    downloader.reset(); // as the download system does: the old one goes before a new one reads the files
    downloader = std::make_unique<TDownloader>(record.get(), numOfParts, useLocalMirrorList, mayStart, pinger);
    TDownloader& d = *downloader;
    d.OnFileSizeRequestDone = [this](TDownloader*) { ++events.fileSizeRequestDone; };
    d.OnStartDownload = [this](TDownloader*) { ++events.startDownload; };
    d.OnDownloadError = [this](TDownloader*) { ++events.downloadError; };
    d.OnAllPartsDone = [this](TDownloader*) { ++events.allPartsDone; };
    d.OnPause = [this](TDownloader*) { ++events.pause; };
    d.OnResume = [this](TDownloader*) { ++events.resume; };
    d.OnAbort = [this](TDownloader*) { ++events.abort; };
    d.OnUpdate = [this](TDownloader*) { ++events.update; };
    d.OnSlotDelete = [this](TDownloader*, TPartDownloadSlot*) { ++events.slotDelete; };
    d.OnAuthenticationRequired = [this](TDownloader*, TPartDownloadSlot*) { ++events.authenticationRequired; };
    d.OnServerSpeed = [this](const QString& host, qint64 speed) { events.serverSpeeds.emplace_back(host, speed); };
    d.OnPingedMirror = [this](TDownloader*, TFileMirror* mirror, int index) {
        events.pingedMirrors.emplace_back(mirror, index);
    };
    d.OnSlotChange = [this](TDownloader* sender, TPartDownloadSlot*) {
        if (!events.rangesAtSplit.empty() || sender->Slots.NumberOfSlots() < 2)
            return;
        for (int i = 0; i < sender->Slots.NumberOfSlots(); ++i)
            events.rangesAtSplit.emplace_back(sender->Slots.GetSlot(i)->StartByte, sender->Slots.GetSlot(i)->EndByte);
    };
    if (startDownload)
        d.StartDownload();
    return d;
}

bool DownloaderTest::Run(const QString& url, bool useLocalMirrorList, int timeoutMs)
{
    NewRecord(url);
    Start(4, true, useLocalMirrorList);
    return WaitForEnd(timeoutMs);
}

void DownloaderTest::Finish()
{
    downloader.reset();
    record.reset();
}

bool DownloaderTest::WaitForEnd(int timeoutMs)
{
    return ProcessEventsUntil([&] { return events.allPartsDone > 0 || events.downloadError > 0; }, timeoutMs);
}

QByteArray DownloaderTest::Combined()
{
    std::optional<TCombineResult> result;
    TCombineParts combiner(*record, [&](const TCombineResult& done) { result = done; });
    if (!ProcessEventsUntil([&] { return result.has_value(); })) {
        ADD_FAILURE() << "the part combiner did not finish";
        return {};
    }
    EXPECT_TRUE(result->Ok) << result->Message.toStdString();
    return ReadWholeFile(record->LocalFileName);
}

QStringList DownloaderTest::PartFiles() const
{
    const QFileInfo temp(record->TempFileName());
    std::vector<qint64> starts;
    for (const QString& name : temp.dir().entryList({temp.fileName() + ".*"}, QDir::Files)) {
        bool number = false;
        const qint64 start = name.mid(temp.fileName().size() + 1).toLongLong(&number);
        if (number)
            starts.push_back(start);
    }
    std::sort(starts.begin(), starts.end());
    QStringList names;
    for (qint64 start : starts)
        names << QString::number(start);
    return names;
}

void DownloaderTest::WriteMirrorList(const QStringList& baseUrls)
{
    QByteArray text = "// two servers of one archive\r\n";
    for (const QString& url : baseUrls)
        text += "site,place,7," + url.toUtf8() + "\r\n";
    ASSERT_TRUE(WriteWholeFile(Path("mirrors.lst"), text));
}

TPartDownloadSlot& DownloaderTest::Slot(int index) const
{
    TPartDownloadSlot* slot = downloader->Slots.GetSlot(index);
    EXPECT_NE(slot, nullptr);
    return *slot;
}

void ServeRanges(HttpTestServer& server, const QByteArray& content,
                 std::function<void(qint64 start, HttpTestAnswer& answer)> shape)
{
    server.Handler = [&content, shape = std::move(shape)](const QByteArray& request) {
        const qint64 start = qMax<qint64>(RangeStart(request), 0);
        HttpTestAnswer answer = HttpTestAnswer::Partial(content, start);
        if (shape)
            shape(start, answer);
        return answer;
    };
}

qint64 RangeStart(const QByteArray& request)
{
    static const QRegularExpression range(QStringLiteral("\r\nRange: bytes=(\\d+)-\r\n"));
    const QRegularExpressionMatch match = range.match(QString::fromLatin1(request));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

std::vector<qint64> RangeStarts(const QList<QByteArray>& requests, qsizetype from)
{
    std::vector<qint64> starts;
    for (qsizetype i = from; i < requests.size(); ++i)
        starts.push_back(RangeStart(requests[i]));
    return starts;
}

bool ZeroAndLastRangesOf(const QStringList& partFiles, const QStringList& split)
{
    if (partFiles.isEmpty() || partFiles.size() > split.size() || partFiles.front() != "0")
        return false;
    return partFiles.mid(1) == split.mid(split.size() - partFiles.size() + 1);
}
