// TDownloader's watch over the version of the remote file: every answer whose body a
// part would take is compared with what its server said before, so that a file
// replaced on the server is never stitched together from two versions.
#include "engine/Downloader.h"

#include "platform/base/Guard.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QByteArray>

QString TDownloader::StartingAgainStatus()
{
    return Translate(QStringLiteral("Remote file changed, starting again"));
}

QString TDownloader::KeepsChangingStatus()
{
    return Translate(QStringLiteral("Remote file keeps changing"));
}

// False when the answer belongs to another version than the part files: the download
// then started again from scratch, or failed, and the answer's part downloader is gone.
// A server's first answer only tells its version.
bool TDownloader::RemoteVersionKept(TPartDownloadSlot* slot)
{
    const TPartDownloader* part = slot->PartDownloader.get();
    if (!part || part->Validators.IsEmpty())
        return true;
    const THostValidators seen{ValidatorHost(part->Url), part->Validators};
    THostValidatorList& known = DownloadInfo->RemoteValidators;
    const TRemoteValidators* stored = FindValidators(known, seen.Host);
    if (!stored) {
        known.append(seen);
        DownloadInfo->SaveToDatFile();
        return true;
    }
    if (!RemoteFileChanged(*stored, seen.Validators))
        return true;
    const QByteArray detail = (QStringLiteral("remote file changed: ") + part->Url.MaskedUrl() + QStringLiteral(": ")
                               + stored->ETag + QLatin1Char(' ') + stored->LastModified + QStringLiteral(" -> ")
                               + seen.Validators.ETag + QLatin1Char(' ') + seen.Validators.LastModified)
                                  .toUtf8();
    LogError("procedure TDownloader.SlotChange(Slot: TPartDownloadSlot; State: TPartDownloaderState)", detail.constData());
    StopEveryPart();
    // Twice within one run is a file that changes while it is fetched: starting again
    // would only loop.
    if (++RemoteChanges > 1) {
        slot->StatusText = KeepsChangingStatus();
        Fail(slot);
    } else {
        StartAgain(seen);
    }
    return false;
}

// Nothing writes into a part file any more; the part downloaders go without a report.
void TDownloader::StopEveryPart()
{
    for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
        TPartDownloadSlot* slot = Slots.GetSlot(i);
        slot->SavedCount = slot->TransferCount();
        slot->PartDownloader.reset();
    }
}

// As a new downloader would begin on a record never split: the part files go, slot 0
// probes the file again, and only the answer that told of the change stays known.
void TDownloader::StartAgain(const THostValidators& seen)
{
    ForgetAppends(); // before the files go: nothing of the old version may be written after
    for (int i = Slots.NumberOfSlots() - 1; i > 0; --i) {
        TPartDownloadSlot* slot = Slots.GetSlot(i);
        Raise(OnSlotDelete, this, slot);
        SiteManager().RemoveWaitingSlot(slot);
        Slots.DeleteSlot(i);
    }
    DownloadInfo->DeletePartFiles();
    DownloadInfo->FileSize = 0;
    DownloadInfo->NumOfParts = -1;
    DownloadInfo->RemoteValidators = {seen};
    DownloadInfo->SetStatus(StartingAgainStatus());
    DownloadInfo->StateCode = pdsContactingHost;
    DownloadInfo->SaveToDatFile();
    NumOfParts = PartsWanted;
    ResumeSupport = 2;
    AllowResume = StatusTexts().Unknown;
    Speed.Reset();
    // A mirror failed on the old version (a size that no longer matches) may serve the new one.
    for (TFileMirror* mirror : Mirrors)
        mirror->ErrorState = fmeNone;

    TPartDownloadSlot* first = Slots.GetSlot(0);
    first->SetPartDownloaderEndByte(0);
    first->RemoteFileSize = 0;
    first->SavedCount = 0;
    first->Failed = false;
    TFileMirror* main = DownloadInfo->URL ? Mirrors.GetMirror(DownloadInfo->URL->Url) : nullptr;
    first->Start(main ? main : ChooseMirror());
    Raise(OnSlotChange, this, first);
}
