// TDownloader's work plan: splitting a fresh download into ranges, rebuilding the plan
// from the part files of an earlier run, and the chain of part files.
#include "engine/Downloader.h"

#include "platform/base/Guard.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {
// value / parts, rounded to the nearest integer with halves to even.
qint64 DivideRounded(qint64 value, qint64 parts)
{
    const qint64 quotient = value / parts;
    const qint64 twiceRest = 2 * (value % parts);
    if (twiceRest > parts || (twiceRest == parts && quotient % 2 != 0))
        return quotient + 1;
    return quotient;
}

// The start bytes of tempFileName's part files, ascending: every tempFileName + "." + a
// decimal number as the program writes it; the record file and anything else do not count.
std::vector<qint64> FindPartFiles(const QString& tempFileName)
{
    const QFileInfo temp(tempFileName);
    const QString prefix = temp.fileName() + QLatin1Char('.');
    std::vector<qint64> starts;
    for (const QString& name : temp.dir().entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(prefix))
            continue;
        const QString number = name.mid(prefix.size());
        bool ok = false;
        const qint64 start = number.toLongLong(&ok);
        if (ok && start >= 0 && QString::number(start) == number)
            starts.push_back(start);
    }
    std::sort(starts.begin(), starts.end());
    return starts;
}

void CreateEmptyFile(const QString& fileName)
{
    if (QFile::exists(fileName))
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        LogError("procedure TDownloader.CreateParts", "a part file cannot be created");
}
}

void TDownloader::CreateParts()
{
    Guarded("procedure TDownloader.CreateParts", [&] {
        if (ReadyToJoin())
            return Complete();
        // A record never split holds no plan in its part files: the folder is not read.
        std::vector<qint64> starts;
        if (DownloadInfo->NumOfParts != -1)
            starts = FindPartFiles(DownloadInfo->TempFileName());
        if (starts.empty())
            SplitFresh();
        else
            ResumeFromPartFiles(std::move(starts));
        StartFirstSlotIfIncomplete();
        // Cutting over-long part files back to their ranges may have completed the chain.
        if (ReadyToJoin())
            return Complete();
        ShareReading();
        AppendFinishedParts();
    });
}

void TDownloader::SplitFresh()
{
    const qint64 fileSize = DownloadInfo->FileSize;
    if (qint64(Read(Setting::SmallestSplitSize)) * 1024 >= fileSize)
        return; // slot 0 goes on alone
    const int parts = std::max(NumOfParts, 1);
    TPartDownloadSlot* first = Slots.GetSlot(0);
    const qint64 held = first->TransferCount();
    const qint64 rest = fileSize - held;
    const qint64 share = DivideRounded(rest, parts);
    // Every range must hold at least one byte, the last one included.
    if (share < 1 || rest - share * (parts - 1) < 1)
        return;
    first->SetPartDownloaderEndByte(share + held - 1);
    for (int k = 1; k < parts; ++k) {
        const qint64 start = held + share * k;
        const qint64 end = k == parts - 1 ? fileSize - 1 : held + share * (k + 1) - 1;
        TPartDownloadSlot* slot = NewSlot(start, end);
        CreateEmptyFile(slot->PartFileName);
        slot->SetMirror(ChooseMirror()); // each choice sees the ones before it
    }
    for (int k = 1; k < Slots.NumberOfSlots(); ++k)
        Slots.GetSlot(k)->Start();
}

// One slot per part file, each range reaching to the next part file's start. A missing
// ".0" counts as an empty one; a part file longer than its range is cut back to it.
void TDownloader::ResumeFromPartFiles(std::vector<qint64> starts)
{
    if (starts.front() != 0)
        starts.insert(starts.begin(), 0);
    NumOfParts = int(starts.size());
    const qint64 fileSize = DownloadInfo->FileSize;
    const qint64 lastEnd = fileSize > 0 ? fileSize - 1 : 0;
    for (size_t i = 1; i < starts.size(); ++i)
        NewSlot(starts[i], i + 1 < starts.size() ? starts[i + 1] - 1 : lastEnd);
    TPartDownloadSlot* first = Slots.GetSlot(0);
    first->SetPartDownloaderEndByte(starts.size() > 1 ? starts[1] - 1 : lastEnd);

    for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
        TPartDownloadSlot* slot = Slots.GetSlot(i);
        const bool last = i == Slots.NumberOfSlots() - 1;
        // Where the range ends, one past its last byte; none for an open last range.
        const qint64 end = !last ? Slots.GetSlot(i + 1)->StartByte : fileSize >= 0 ? fileSize : -1;
        slot->SavedCount = PartFileSize(slot->PartFileName);
        if (end >= 0 && slot->StartByte + slot->SavedCount > end) {
            TruncatePartFile(slot->PartFileName, end - slot->StartByte);
            slot->SavedCount = PartFileSize(slot->PartFileName);
        }
        slot->SetMirror(nullptr);
        if (slot->StartByte + slot->SavedCount == end) {
            slot->StatusText = StatusTexts().Done;
            continue;
        }
        slot->SetMirror(ChooseMirror());
        slot->Start();
    }
}

// So that a download rebuilt without part files still has something running.
void TDownloader::StartFirstSlotIfIncomplete()
{
    TPartDownloadSlot* first = Slots.GetSlot(0);
    if (!first || first->PartDownloader || first->StatusText == StatusTexts().Done)
        return;
    if (!first->Mirror)
        first->SetMirror(ChooseMirror());
    first->Start();
}

bool TDownloader::AllPartsDone() const
{
    bool done = false;
    Guarded("function TDownloader.AllPartsDone: boolean", [&] {
        const qint64 fileSize = DownloadInfo->FileSize;
        if (fileSize == -1) {
            done = true;
            return;
        }
        qint64 chained = 0;
        for (;;) {
            const QFileInfo part(PartFileName(chained));
            if (!part.isFile() || part.size() == 0)
                break;
            chained += part.size();
        }
        done = fileSize > 0 && chained == fileSize;
    });
    return done;
}
