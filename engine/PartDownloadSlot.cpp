#include "engine/PartDownloadSlot.h"

#include "engine/FtpPartDownloader.h"
#include "engine/HttpPartDownloader.h"
#include "platform/base/Guard.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"

#include <QFile>

namespace {
bool IsHttp(const QString& protocol)
{
    return protocol == QLatin1String("http") || protocol == QLatin1String("https");
}

bool SpeaksProtocol(TPartDownloader& part, const QString& protocol)
{
    if (protocol == QLatin1String("ftp"))
        return dynamic_cast<TFTPPartDownloader*>(&part) != nullptr;
    return IsHttp(protocol) && dynamic_cast<THTTPPartDownloader*>(&part) != nullptr;
}

std::unique_ptr<TPartDownloader> NewPartDownloader(const QString& protocol, const QString& url,
                                                   const QString& fileName, qint64 startB, qint64 endB)
{
    if (protocol == QLatin1String("ftp"))
        return std::make_unique<TFTPPartDownloader>(url, fileName, startB, endB);
    if (IsHttp(protocol))
        return std::make_unique<THTTPPartDownloader>(url, fileName, startB, endB);
    return nullptr;
}

// Whole seconds between two times, as the clock's milliseconds count them.
qint64 SecondsBetween(TDateTime later, TDateTime earlier)
{
    return qRound64((later - earlier) * 86400000.0) / 1000;
}
}

TPartDownloadSlot::TPartDownloadSlot()
{
    Guarded("constructor TPartDownloadSlot.Create(AOwner: TComponent)", [&] { StatusText = StatusTexts().Idle; });
}

TPartDownloadSlot::~TPartDownloadSlot()
{
    Guarded("destructor TPartDownloadSlot.Destroy", [&] {
        // A slot waiting for credentials must not be handed out once it is gone.
        SiteManager().RemoveWaitingSlot(this);
        PartDownloader.reset();
    });
}

void TPartDownloadSlot::SetPartDownloaderStartByte(qint64 startB)
{
    Guarded("procedure TPartDownloadSlot.SetPartDownloaderStartByte(Startb: integer)", [&] {
        if (!PartDownloader)
            StartByte = startB;
    });
}

void TPartDownloadSlot::SetPartDownloaderEndByte(qint64 endB)
{
    Guarded("procedure TPartDownloadSlot.SetPartDownloaderEndByte(Endb: integer)", [&] {
        EndByte = endB;
        if (PartDownloader)
            PartDownloader->EndByte = endB;
    });
}

void TPartDownloadSlot::SetMirror(TFileMirror* mirror)
{
    Mirror = mirror;
}

void TPartDownloadSlot::Start(TFileMirror* mirror)
{
    Guarded("procedure TPartDownloadSlot.Start(Mirror: TFileMirror)", [&] {
        if (mirror)
            Mirror = mirror;
        if (!Mirror || !AttachPartDownloader())
            return;
        TPartDownloader* part = PartDownloader.get();
        part->CredentialsTried = Authenticated;
        part->State = pdsContactingHost;
        StatusText = StatusTexts().ContactingHost;
        part->OnChange = [this](TPartDownloader* sender, TPartDownloaderState state) {
            OnPartdownloaderChange(sender, state);
        };
        part->Get();
        // Get may already have reported, and the listener moved or freed the part.
        if (PartDownloader)
            SavedCount = PartDownloader->TransferCount;
        BytesAtStart = SavedCount;
        AverageSpeed = 0;
        StartTime = Now();
    });
}

// Points the attached part downloader at the mirror and the slot's range, or makes a
// new one when there is none or it speaks another protocol; false for a protocol no
// part downloader speaks.
bool TPartDownloadSlot::AttachPartDownloader()
{
    const QString protocol = Mirror->Url.Protocol;
    const QString url = Mirror->Url.GetUrl();
    if (PartDownloader && SpeaksProtocol(*PartDownloader, protocol)) {
        PartDownloader->Url = TUrl(url);
        PartDownloader->FileName = PartFileName;
        PartDownloader->StartByte = StartByte;
        PartDownloader->EndByte = EndByte;
        return true;
    }
    std::unique_ptr<TPartDownloader> part = NewPartDownloader(protocol, url, PartFileName, StartByte, EndByte);
    if (!part)
        return false;
    PartDownloader = std::move(part);
    PartFileName = PartDownloader->FileName;
    return true;
}

void TPartDownloadSlot::SetErrorState(TFileMirrorError errorState)
{
    Guarded("procedure TPartDownloadSlot.SetErrorState(ErrorState: TFileMirrorError)", [&] {
        TPartDownloader* part = PartDownloader.get();
        if (!part)
            return;
        if (Mirror)
            Mirror->ErrorState = errorState;
        part->ErrorText = StatusTexts().CouldntLogin;
        part->State = pdsError;
        part->ErrorState = errorState;
        part->CredentialsTried = true;
        OnPartdownloaderChange(part, pdsError);
    });
}

void TPartDownloadSlot::OnPartdownloaderChange(TPartDownloader* part, TPartDownloaderState state)
{
    Guarded("procedure TPartDownloadSlot.OnPartdownloaderChange(Sender: TPartDownloader; State: TPartDownloaderState)", [&] {
        if (!part)
            return;
        switch (state) {
        case pdsContactingHost:
            StatusText = StatusTexts().ContactingHost;
            break;
        case pdsGettingFileInfo:
            StatusText = StatusTexts().GettingFileInfo;
            break;
        case pdsDownloading:
            StatusText = StatusTexts().Downloading;
            break;
        case pdsAuthRequired:
            Realm = part->Realm;
            break;
        case pdsFileSizeKnown:
            RemoteFileSize = part->RemoteFileSize;
            // The slot learns where the file ends; the part downloader stays open-ended.
            if (EndByte == 0 && RemoteFileSize > 0)
                EndByte = RemoteFileSize - 1;
            break;
        case pdsPartDone: {
            SavedCount = EndByte > 0 ? EndByte - StartByte + 1 : part->TransferCount;
            const qint64 seconds = SecondsBetween(Now(), StartTime);
            if (seconds >= 1)
                AverageSpeed = qRound64(double(SavedCount - BytesAtStart) / double(seconds));
            StatusText = StatusTexts().Done;
            break;
        }
        case pdsError:
            Failed = true;
            if (Mirror)
                Mirror->ErrorState = part->ErrorState;
            StatusText = part->ErrorText;
            part->CredentialsTried = false;
            break;
        default:
            break;
        }
        const TPartDownloaderState now = part->State;
        if (OnChange) {
            const auto handler = OnChange; // the listener may rebind it inside the call
            handler(this, now);
        }
    });
}

void TPartDownloadSlot::Pause()
{
    Guarded("procedure TPartDownloadSlot.Pause", [&] {
        if (PartDownloader)
            PartDownloader->Pause();
    });
}

void TPartDownloadSlot::Abort()
{
    Guarded("procedure TPartDownloadSlot.Abort", [&] {
        if (PartDownloader)
            PartDownloader->Abort();
        else
            QFile::remove(PartFileName);
    });
}

void TPartDownloadSlot::ResizePartFile()
{
    Guarded("procedure TPartDownloadSlot.ResizePartFile", [&] {
        if (PartDownloader && PartDownloader->EndByte != 0)
            TruncatePartFile(PartFileName, PartDownloader->EndByte - StartByte + 1);
    });
}

qint64 TPartDownloadSlot::TransferCount() const
{
    qint64 count = SavedCount;
    Guarded("function TPartDownloadSlot.TransferCount: integer", [&] {
        if (!PartDownloader)
            return;
        count = PartDownloader->TransferCount;
        if (EndByte > 0)
            count = qMin(count, EndByte - StartByte + 1);
    });
    return count;
}

TPartDownloadSlots::~TPartDownloadSlots()
{
    Guarded("destructor TPartDownloadSlots.Destroy", [&] {
        active.clear();
        retired.clear();
    });
}

TPartDownloadSlot* TPartDownloadSlots::NewSlot()
{
    TPartDownloadSlot* slot = nullptr;
    Guarded("function TPartDownloadSlots.NewSlot: TPartDownloadSlot", [&] {
        active.push_back(std::make_unique<TPartDownloadSlot>());
        slot = active.back().get();
    });
    return slot;
}

void TPartDownloadSlots::DeleteSlot(int index)
{
    Guarded("procedure TPartDownloadSlots.DeleteSlot(Index: integer)", [&] {
        if (index < 0 || index >= NumberOfSlots())
            return;
        retired.push_back(std::move(active[size_t(index)]));
        active.erase(active.begin() + index);
    });
}

void TPartDownloadSlots::RemovePartDownloader(TPartDownloader* partDownloader)
{
    Guarded("procedure TPartDownloadSlots.RemovePartDownloader(PartDownloader: TPartDownloader)", [&] {
        if (!partDownloader)
            return;
        for (const auto& slot : active) {
            if (slot->PartDownloader.get() == partDownloader) {
                slot->PartDownloader.reset();
                return;
            }
        }
    });
}

TPartDownloadSlot* TPartDownloadSlots::GetSlot(int index) const
{
    return index >= 0 && index < NumberOfSlots() ? active[size_t(index)].get() : nullptr;
}

// By index: an abort or pause may report at once, and the listener change the list.
void TPartDownloadSlots::AbortAll()
{
    Guarded("procedure TPartDownloadSlots.AbortAll", [&] {
        for (int i = 0; i < NumberOfSlots(); ++i)
            GetSlot(i)->Abort();
    });
}

void TPartDownloadSlots::PauseAll()
{
    Guarded("procedure TPartDownloadSlots.PauseAll", [&] {
        for (int i = 0; i < NumberOfSlots(); ++i)
            GetSlot(i)->Pause();
    });
}

bool TPartDownloadSlots::AllInState(TPartDownloaderState state) const
{
    for (const auto& slot : active)
        if (slot->PartDownloader && slot->PartDownloader->State != state)
            return false;
    return true;
}

int TPartDownloadSlots::NumberOfSlotsUsingFileMirror(const TFileMirror* fileMirror) const
{
    int count = 0;
    for (const auto& slot : active)
        if (slot->Mirror == fileMirror)
            ++count;
    return count;
}
