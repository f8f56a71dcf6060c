#include "tests/faults/FaultHarness.h"

#include "engine/CombineParts.h"
#include "records/Settings.h"
#include "tests/support/EventLoop.h"

#include <QFile>
#include <optional>

void PrintTo(TOutcome outcome, std::ostream* out)
{
    static const char* const names[] = {"Identical", "Failed", "Wrong", "Hung"};
    *out << names[int(outcome)];
}

void FaultTest::SetUp()
{
    DownloaderTest::SetUp();
    Write(Setting::SmallestSplitSize, 1);
}

void FaultTest::Begin(const QString& url)
{
    NewRecord(url);
    QFile::remove(record->LocalFileName); // an earlier case's
    Start();
}

TOutcome FaultTest::Download(const QString& url, int restarts)
{
    Begin(url);
    return Finish(restarts);
}

TOutcome FaultTest::Finish(int restarts)
{
    for (int round = 0;; ++round) {
        if (!WaitForEnd(20000))
            return TOutcome::Hung;
        if (const testing::AssertionResult parts = PartsHoldOnlyTrueBytes(); !parts) {
            ADD_FAILURE() << parts.message();
            return TOutcome::Wrong;
        }
        if (events.allPartsDone > 0)
            break;
        if (record->StateCode != pdsError || QFile::exists(record->LocalFileName))
            return TOutcome::Wrong;
        if (round == restarts)
            return TOutcome::Failed;
        events.downloadError = 0;
        downloader->RestartDownload();
    }
    return Join();
}

TOutcome FaultTest::Join()
{
    std::optional<TCombineResult> result;
    TCombineParts combiner(*record, [&](const TCombineResult& done) { result = done; });
    if (!ProcessEventsUntil([&] { return result.has_value(); }))
        return TOutcome::Hung;
    if (!result->Ok) {
        joinMessage = result->Message;
        return QFile::exists(record->LocalFileName) ? TOutcome::Wrong : TOutcome::Failed;
    }
    return ReadWholeFile(record->LocalFileName) == content ? TOutcome::Identical : TOutcome::Wrong;
}

testing::AssertionResult FaultTest::PartsHoldOnlyTrueBytes() const
{
    for (const QString& start : PartFiles()) {
        const QByteArray bytes = ReadWholeFile(record->TempFileName() + "." + start);
        if (bytes != content.mid(start.toLongLong(), bytes.size()) || start.toLongLong() + bytes.size() > content.size())
            return testing::AssertionFailure() << "part file ." << start.toStdString() << " of " << bytes.size()
                                               << " bytes holds bytes that are not the file's";
    }
    return testing::AssertionSuccess();
}

void ServedFaultTest::SetUp()
{
    FaultTest::SetUp();
    ASSERT_TRUE(server.Listen());
    ServeRanges(server, content);
}

HttpTestAnswer RawAnswer(const QByteArray& head, const QByteArray& body)
{
    HttpTestAnswer answer;
    answer.head = head;
    answer.body = body;
    return answer;
}

HttpTestAnswer RangeAnswer(const QByteArray& file, qint64 from, qint64 last, qint64 total)
{
    const QByteArray range = "Content-Range: bytes " + QByteArray::number(from) + "-" + QByteArray::number(last) + "/"
        + QByteArray::number(total) + "\r\n";
    return HttpTestAnswer::Status(206, "Partial Content", range, file.mid(from, last - from + 1));
}
