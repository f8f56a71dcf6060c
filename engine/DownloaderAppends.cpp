// TDownloader's part in joining early, for downloads that the thread's speed limits:
// reading shares that make the ranges complete in order, and appends onto ".0" of
// what is final while later ranges still arrive, on a TPartAppender's worker.
#include "engine/Downloader.h"

#include "engine/PartAppender.h"
#include "platform/base/Guard.h"
#include "records/StatusTexts.h"

#include <QFile>

namespace {
qint64 RangeLengthOf(const TPartDownloadSlot& slot)
{
    return slot.EndByte - slot.StartByte + 1;
}
}

// When the thread is what limits the speed, the connections compete for it: the first
// running range reads the most per wake-up, so the ranges complete in order and each
// can be appended while later ones arrive. A connection that is not kept waiting by
// the others reads all it has either way, just in smaller steps.
void TDownloader::ShareReading()
{
    bool lead = true;
    for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
        TPartDownloader* part = Slots.GetSlot(i)->PartDownloader.get();
        if (!part || part->State == pdsIdle || part->State == pdsPaused || part->State == pdsError)
            continue;
        part->SetReadBudget(lead ? LeadReadBudget : TrailReadBudget);
        lead = false;
    }
}

// Ranges complete after ".0" go onto it whole (nothing writes them any more); then the
// range right after ".0" goes on in steps while it still arrives, up to its final bytes
// (what its part file holds within the range). The combiner is left with what came last.
void TDownloader::AppendFinishedParts()
{
    Guarded("procedure TDownloader.AppendFinishedParts", [&] {
        if (Aborted || Paused || AppendsOff || DownloadInfo->FileSize <= 0 || DownloadInfo->StateCode == pdsDone
            || Slots.NumberOfSlots() < 2 || (Appender && Appender->Busy()))
            return;
        if (GrowingStart >= 0)
            return AppendGrowingRange();
        const QString& done = StatusTexts().Done;
        int next = 0;
        while (next < Slots.NumberOfSlots() && Slots.GetSlot(next)->StatusText == done
               && !Slots.GetSlot(next)->PartDownloader)
            ++next;
        if (next == 0)
            return; // ".0" is still written
        const TPartDownloadSlot* after = Slots.GetSlot(next);
        const qint64 end = after ? after->StartByte : DownloadInfo->FileSize;
        if (next >= 2 && end > AppendedUpTo)
            return StartAppend(end, {});
        // ".0" now ends where the range after it begins.
        if (after && after->EndByte > 0 && after->TransferCount() >= AppendStep) {
            GrowingStart = after->StartByte;
            GrowingCopied = 0;
            AppendGrowingRange();
        }
    });
}

void TDownloader::AppendGrowingRange()
{
    const TPartDownloadSlot* slot = nullptr;
    for (int i = 1; i < Slots.NumberOfSlots() && !slot; ++i)
        if (Slots.GetSlot(i)->StartByte == GrowingStart)
            slot = Slots.GetSlot(i);
    if (!slot) {
        DropGrowingRange();
        return;
    }
    const bool whole = slot->StatusText == StatusTexts().Done && !slot->PartDownloader;
    // Short of the range's end until it is whole: ".0" must not look like a chain.
    const qint64 final = whole ? slot->TransferCount() : qMin(slot->TransferCount(), RangeLengthOf(*slot) - 1);
    if (!whole && final - GrowingCopied < AppendStep)
        return;
    StartAppend(GrowingStart + final, TGrowingPart{GrowingStart, final, RangeLengthOf(*slot), whole});
}

void TDownloader::StartAppend(qint64 end, std::optional<TGrowingPart> growing)
{
    if (!Appender) {
        Appender = std::make_unique<TPartAppender>(DownloadInfo->TempFileName());
        Appender->OnAppended = [this](qint64 appended, const TJoinResult& result) {
            PartsAppended(appended, result.Ok());
        };
    }
    PendingGrowing = growing;
    if (growing ? Appender->Append(*growing) : Appender->Append(end))
        return;
    PendingGrowing.reset();
    AppendsOff = true; // no worker: the combiner does it all
    DropGrowingRange();
}

// What is of the growing range on ".0" goes again, so ".0" ends where that range
// begins; its part file still holds it all. The journal would say the same.
void TDownloader::DropGrowingRange()
{
    if (GrowingStart < 0)
        return;
    TruncatePartFile(PartFileName(0), GrowingStart);
    QFile::remove(DownloadInfo->TempFileName() + ".join");
    GrowingStart = -1;
    GrowingCopied = 0;
}

void TDownloader::PartsAppended(qint64 end, bool ok)
{
    Guarded("procedure TDownloader.PartsAppended", [&] {
        if (Aborted || Paused)
            return; // a downloader made afresh finds the parts as this append left them
        const std::optional<TGrowingPart> growing = std::exchange(PendingGrowing, std::nullopt);
        if (!ok) {
            AppendsOff = true; // the combiner meets the same trouble and reports it
            DropGrowingRange();
        } else if (growing && !growing->Whole) {
            GrowingCopied = growing->Final;
        } else {
            AppendedUpTo = end;
            GrowingStart = -1;
            GrowingCopied = 0;
        }
        if (ReadyToJoin())
            Complete();
        else
            AppendFinishedParts();
    });
}

// The append running now stops (its step undone) before the appender goes; the files
// it worked on are then as the journal rules leave them, and appends begin afresh.
void TDownloader::ForgetAppends()
{
    Appender.reset();
    PendingGrowing.reset();
    AppendedUpTo = 0;
    GrowingStart = -1;
    GrowingCopied = 0;
    AppendsOff = false;
}
