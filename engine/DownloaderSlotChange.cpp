// TDownloader's reactions to its slots' state changes.
#include "engine/Downloader.h"

#include "platform/base/Guard.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"

#include <QFile>

void TDownloader::SlotChange(TPartDownloadSlot* slot, TPartDownloaderState state)
{
    Guarded("procedure TDownloader.SlotChange(Slot: TPartDownloadSlot; State: TPartDownloaderState)", [&] {
        if (!slot)
            return;
        bool report = true;
        switch (state) {
        case pdsContactingHost:
        case pdsGettingFileInfo:
            SlotConnecting(state);
            break;
        case pdsAuthRequired:
            SlotAuthRequired(slot);
            break;
        case pdsFileSizeKnown:
            report = SlotFileSizeKnown(slot);
            break;
        case pdsResumeInfoKnown:
            report = RemoteVersionKept(slot) && SlotResumeInfoKnown(slot);
            break;
        case pdsDownloading:
            SlotDownloading();
            break;
        case pdsPartDone:
            SlotPartDone(slot);
            break;
        case pdsEndReached:
            SlotEndReached(slot);
            break;
        case pdsError:
            SlotError(slot);
            break;
        case pdsPaused:
            if (Slots.AllPaused())
                Raise(OnPause, this);
            break;
        default:
            break;
        }
        ShareReading();
        if (report)
            Raise(OnSlotChange, this, slot);
    });
}

void TDownloader::SlotConnecting(TPartDownloaderState state)
{
    // Why the download begins again stays shown until data flows.
    if (DownloadInfo->StateCode == pdsDownloading || DownloadInfo->Status() == StartingAgainStatus())
        return;
    DownloadInfo->SetStatus(state == pdsContactingHost ? StatusTexts().ContactingHost : StatusTexts().GettingFileInfo);
    DownloadInfo->StateCode = pdsContactingHost;
}

void TDownloader::SlotAuthRequired(TPartDownloadSlot* slot)
{
    if (!OnAuthenticationRequired)
        return;
    if (slot->Mirror)
        SiteManager().AddWaitingSlot(slot->Mirror->Url, slot->Realm, slot);
    OnAuthenticationRequired(this, slot);
}

// False when the download paused itself here: the change is not reported then.
bool TDownloader::SlotFileSizeKnown(TPartDownloadSlot* slot)
{
    if (DownloadInfo->FileSize != 0) {
        RefuseOtherFile(slot);
        return true;
    }
    DownloadInfo->FileSize = slot->RemoteFileSize;
    if (slot == Slots.GetSlot(0))
        Raise(OnFileSizeRequestDone, this);
    if (ResumeSupport != 2 && !MayStart) {
        Pause();
        return false;
    }
    if (ResumeSupport == 0 && Slots.NumberOfSlots() < NumOfParts)
        SplitAndSave();
    return true;
}

// A part downloader new to this download learns the remote size for itself; when it
// differs from the download's, the file changed on the server (or this mirror holds
// another one), and its bytes must not join the others. The part is failed before its
// body is taken, and keeps the download's size to compare a restart's answer with.
void TDownloader::RefuseOtherFile(TPartDownloadSlot* slot)
{
    TPartDownloader* part = slot->PartDownloader.get();
    const qint64 expected = DownloadInfo->FileSize;
    if (!part || expected <= 0 || part->RemoteFileSize <= 0 || part->RemoteFileSize == expected)
        return;
    part->RemoteFileSize = expected;
    part->State = pdsError;
    part->ErrorState = fmeFileSizeMismatch;
    part->ErrorText = StatusTexts().FilesizeMismatch;
    part->Stop();
}

// HTTP learns resume support before the size, FTP after it: the second of the two splits.
bool TDownloader::SlotResumeInfoKnown(TPartDownloadSlot* slot)
{
    const TPartDownloader* part = slot->PartDownloader.get();
    if (ResumeSupport != 2 || !part)
        return true;
    ResumeSupport = part->ResumeSupport;
    AllowResume = part->AllowResume;
    Raise(OnResume, this);
    if (DownloadInfo->FileSize != 0 && !MayStart) {
        Pause();
        return false;
    }
    if (ResumeSupport == 0 && Slots.NumberOfSlots() < NumOfParts && slot->RemoteFileSize > 0)
        SplitAndSave();
    return true;
}

void TDownloader::SplitAndSave()
{
    CreateParts();
    SaveNumOfParts();
}

void TDownloader::SaveNumOfParts()
{
    DownloadInfo->NumOfParts = Slots.NumberOfSlots();
    DownloadInfo->SaveToDatFile();
}

void TDownloader::SlotDownloading()
{
    RestartCount = 0;
    if (DownloadInfo->StateCode == pdsDownloading)
        return;
    DownloadInfo->SetStatus(StatusTexts().Downloading);
    DownloadInfo->StateCode = pdsDownloading;
}

// The finished slot's part downloader (and for FTP its open connection) goes on with a
// range that is waiting for a usable mirror; otherwise it is freed.
void TDownloader::SlotPartDone(TPartDownloadSlot* slot)
{
    TPartDownloader* part = slot->PartDownloader.get();
    if (!part)
        return;
    if (!Aborted && !Paused && OnServerSpeed && slot->AverageSpeed > 0 && slot->Mirror)
        OnServerSpeed(slot->Mirror->Url.Host, slot->AverageSpeed);
    slot->ResizePartFile();
    if (TPartDownloadSlot* idle = GetNextIdleSlot()) {
        idle->PartDownloader = std::move(slot->PartDownloader);
        idle->Start(slot->Mirror);
        return;
    }
    Slots.RemovePartDownloader(part); // inside its own report: it looks before going on
    if (ReadyToJoin())
        Complete();
    else
        AppendFinishedParts();
}

// The slot's range is full while data keeps coming: when the next range has nothing
// yet, this transfer simply goes on into it.
void TDownloader::SlotEndReached(TPartDownloadSlot* slot)
{
    const int index = IndexOfSlot(slot);
    const TPartDownloadSlot* next = Slots.GetSlot(index + 1);
    if (index >= 0 && next && next->StatusText != StatusTexts().Done
        && next->StatusText != StatusTexts().Downloading && next->TransferCount() == 0)
        MergeSlot(slot, index + 1);
    if (slot->PartDownloader)
        slot->PartDownloader->State = pdsDownloading;
}

void TDownloader::MergeSlot(TPartDownloadSlot* slot, int nextIndex)
{
    TPartDownloadSlot* next = Slots.GetSlot(nextIndex);
    next->PartDownloader.reset();
    if (QFile::exists(next->PartFileName))
        QFile::remove(next->PartFileName);
    slot->SetPartDownloaderEndByte(next->EndByte);
    Raise(OnSlotDelete, this, next);
    // A retired slot must not be started again by a late answer to a credentials window.
    SiteManager().RemoveWaitingSlot(next);
    Slots.DeleteSlot(nextIndex);
    --NumOfParts;
    SaveNumOfParts();
}

void TDownloader::SlotError(TPartDownloadSlot* slot)
{
    const TPartDownloader* part = slot->PartDownloader.get();
    if (!part)
        return;
    const TPartDownloadSlot* first = Slots.GetSlot(0);
    if (ResumeSupport == 0 && part->ErrorState == fmeResumeNotSupported && first && first->Mirror
        && part->Url.Host == first->Mirror->Url.Host) {
        ResumeSupport = part->ResumeSupport;
        AllowResume = part->AllowResume;
        Raise(OnResume, this);
    }
    if (DownloadInfo->FileSize != 0)
        TryToChangeSlotMirror(slot);
    else
        Fail(slot); // the probe itself failed
}

void TDownloader::TryToChangeSlotMirror(TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloader.TryToChangeSlotMirror(Slot: TPartDownloadSlot)", [&] {
        if (!slot)
            return;
        const TFileMirror* failed = slot->Mirror;
        MoveSlot(slot);
        const TStatusTexts& texts = StatusTexts();
        for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
            TPartDownloadSlot* other = Slots.GetSlot(i);
            if (other->Mirror != failed || !other->PartDownloader || other->StatusText == texts.Done
                || other->StatusText == texts.Downloading || other->StatusText == texts.GettingFileInfo)
                continue;
            MoveSlot(other);
        }
    });
}

// Onto the best mirror left; without one the slot is parked until a finished slot hands
// it a connection, and the download fails when the last running slot parks. A slot
// parked already stays so, which is what makes that failure a single one.
void TDownloader::MoveSlot(TPartDownloadSlot* slot)
{
    if (TFileMirror* mirror = ChooseMirror()) {
        slot->PartDownloader.reset();
        slot->Start(mirror);
        return;
    }
    TPartDownloader* part = slot->PartDownloader.get();
    if (!part || part->State == pdsIdle)
        return;
    part->State = pdsIdle;
    if (Slots.AllIdle())
        Fail(slot);
}
