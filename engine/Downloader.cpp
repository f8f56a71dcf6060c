#include "engine/Downloader.h"

#include "engine/PartAppender.h"
#include "engine/PingSystem.h"
#include "platform/base/Guard.h"
#include "records/MirrorListFile.h"
#include "records/ServerStats.h"
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"

#include <QFile>

namespace {
// Protocols a part downloader speaks; a mirror of any other is no source at all.
bool Fetchable(const TFileMirror& mirror)
{
    const QString& protocol = mirror.Url.Protocol;
    return protocol == QLatin1String("http") || protocol == QLatin1String("https") || protocol == QLatin1String("ftp");
}
}

TDownloader::TDownloader(TLocalDownloadinfo* downloadInfo, int numOfParts, bool useLocalMirrorList, bool mayStart,
                         std::shared_ptr<TPinger> pinger)
    : DownloadInfo(downloadInfo)
    , NumOfParts(numOfParts)
    , UseLocalMirrorList(useLocalMirrorList)
    , MayStart(mayStart)
    , PartsWanted(numOfParts)
{
    Guarded("constructor TDownloader.Create(DownloadInfo: TLocalDownloadinfo; NumOfParts: integer; "
            "UseLocalMirrorList, MayStart: boolean)",
            [&] {
                UpdateTimer.setInterval(100);
                QObject::connect(&UpdateTimer, &QTimer::timeout, &UpdateTimer, [this] { OnUpdateTimer(); });
                DownloadInfo->SetStatus(StatusTexts().ContactingHost);
                DownloadInfo->StateCode = pdsContactingHost;
                AllowResume = StatusTexts().Unknown;

                const QString url = DownloadInfo->URL ? DownloadInfo->URL->Url : QString();
                TFileMirror* mainMirror = new TFileMirror(url);
                Mirrors.Add(mainMirror);
                PingSystem = std::make_unique<TPingSystem>(8, std::move(pinger));
                PingSystem->OnPingReply = [this](TFileMirror* mirror) { MirrorPinged(mirror); };
                PingSystem->AddMirror(mainMirror);
                if (UseLocalMirrorList)
                    mainMirror = AddLocalMirrors(url, mainMirror);

                TPartDownloadSlot* first = NewSlot(0, 0);
                first->SetMirror(mainMirror);
                if (DownloadInfo->NumOfParts == -1)
                    first->Start(mainMirror); // the first request is the probe
                else
                    CreateParts();
            });
}

TDownloader::~TDownloader()
{
    Guarded("destructor TDownloader.Destroy", [&] {
        UpdateTimer.stop();
        // First, so that no ping still running reaches a mirror or this object.
        PingSystem.reset();
    });
}

// The mirror list file's mirrors of url, sorted by the server statistics, join the
// download's own; the returned mirror is the one slot 0 starts on.
TFileMirror* TDownloader::AddLocalMirrors(const QString& url, TFileMirror* mainMirror)
{
    std::unique_ptr<TMirrorList> found = GetMirrors(url);
    if (!found)
        return mainMirror;
    ServerStats().SortMirrors(*found);
    TFileMirror* chosen = found->GetMirror(url);
    for (TFileMirror* mirror : *found) {
        if (!Fetchable(*mirror) && mirror != chosen) {
            delete mirror;
            continue;
        }
        Mirrors.Add(mirror);
        PingSystem->AddMirror(mirror);
    }
    found->Clear();
    return chosen ? chosen : mainMirror;
}

TPartDownloadSlot* TDownloader::NewSlot(qint64 startByte, qint64 endByte)
{
    TPartDownloadSlot* slot = Slots.NewSlot();
    slot->SetPartDownloaderStartByte(startByte);
    slot->SetPartDownloaderEndByte(endByte);
    slot->PartFileName = PartFileName(startByte);
    slot->OnChange = [this](TPartDownloadSlot* sender, TPartDownloaderState state) { SlotChange(sender, state); };
    return slot;
}

QString TDownloader::PartFileName(qint64 startByte) const
{
    return DownloadInfo->TempFileName() + QLatin1Char('.') + QString::number(startByte);
}

int TDownloader::IndexOfSlot(const TPartDownloadSlot* slot) const
{
    for (int i = 0; i < Slots.NumberOfSlots(); ++i)
        if (Slots.GetSlot(i) == slot)
            return i;
    return -1;
}

void TDownloader::StartDownload()
{
    Guarded("procedure TDownloader.StartDownload", [&] {
        if (ReadyToJoin())
            return Complete();
        if (NothingCanRun()) {
            Slots.GetSlot(0)->StatusText = StatusTexts().CouldntConnect;
            return Fail(Slots.GetSlot(0));
        }
        const QString url = DownloadInfo->URL ? DownloadInfo->URL->Url : QString();
        if (!Mirrors.GetMirror(url))
            Mirrors.Add(new TFileMirror(url));
        UpdateTimer.start(100);
        Raise(OnStartDownload, this);
    });
}

void TDownloader::OnUpdateTimer()
{
    Guarded("procedure TDownloader.OnUpdateTimer(Sender: TObject)", [&] {
        Speed.Update(TransferCount());
        Raise(OnUpdate, this);
        AppendFinishedParts(); // the range after ".0" grows
    });
}

void TDownloader::MirrorPinged(TFileMirror* fileMirror)
{
    Guarded("procedure TDownloader.OnPingedMirror(FileMirror: TFileMirror)", [&] {
        if (!Mirrors.Remove(fileMirror))
            return;
        Mirrors.InsertSorted(fileMirror);
        Raise(OnPingedMirror, this, fileMirror, Mirrors.IndexOf(fileMirror));
    });
}

void TDownloader::Pause()
{
    Guarded("procedure TDownloader.Pause", [&] {
        Paused = true;
        if (Appender)
            Appender->Stop();
        Slots.PauseAll();
        Raise(OnPause, this);
    });
}

void TDownloader::Abort()
{
    Guarded("procedure TDownloader.Abort", [&] {
        Aborted = true;
        if (Appender)
            Appender->Stop();
        Slots.AbortAll();
        Raise(OnAbort, this);
    });
}

void TDownloader::RestartDownload()
{
    Guarded("procedure TDownloader.RestartDownload", [&] {
        ++RestartCount;
        DownloadInfo->SetStatus(StatusTexts().ContactingHost);
        DownloadInfo->StateCode = pdsContactingHost;
        for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
            TPartDownloadSlot* slot = Slots.GetSlot(i);
            if (slot->StatusText == StatusTexts().Done)
                continue;
            slot->Authenticated = false;
            slot->Start();
        }
    });
}

void TDownloader::CheckSlotsForTimeOut(uint32_t currentTick)
{
    Guarded("procedure TDownloader.CheckSlotsForTimeOut(CurrentTick: Cardinal)", [&] {
        const int timeOutTime = Read(Setting::TimeOutTime);
        const int mirrorTimeOutTime = Read(Setting::MirrorTimeOutTime);
        // By index: a stopped part may report at once and its slot move on.
        for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
            TPartDownloader* part = Slots.GetSlot(i)->PartDownloader.get();
            if (!part)
                continue;
            const int limit = TimeOutLimit(part->State, timeOutTime, mirrorTimeOutTime);
            const uint32_t elapsed = currentTick - part->LastActivity;
            if (limit <= 0 || elapsed == 0 || elapsed <= uint32_t(limit))
                continue;
            part->State = pdsError;
            part->ErrorState = fmeLostConnection;
            part->ErrorText = StatusTexts().Timeout;
            part->Stop();
        }
    });
}

// Until data flows a connection gets the connect limit: a server that accepts and then
// says nothing must not hold its slot for ever.
int TDownloader::TimeOutLimit(TPartDownloaderState state, int timeOutTime, int mirrorTimeOutTime) const
{
    switch (state) {
    case pdsContactingHost:
    case pdsGettingFileInfo:
    case pdsFileSizeKnown:
    case pdsResumeInfoKnown:
        return Slots.NumberOfSlots() == 1 ? timeOutTime : mirrorTimeOutTime;
    case pdsDownloading:
    case pdsEndReached:
        return timeOutTime;
    default:
        return 0;
    }
}

qint64 TDownloader::TransferCount()
{
    qint64 count = 0;
    Guarded("function TDownloader.TransferCount: integer", [&] {
        for (int i = 0; i < Slots.NumberOfSlots(); ++i)
            count += Slots.GetSlot(i)->TransferCount();
        LastTransferCount = count;
    });
    return count;
}

QString TDownloader::TimeLeft()
{
    QString text = QStringLiteral("N/A");
    Guarded("function TDownloader.TimeLeft: string", [&] {
        if (DownloadInfo->FileSize > 0)
            text = Speed.TimeLeft(DownloadInfo->FileSize - TransferCount());
    });
    return text;
}

TPartDownloadSlot* TDownloader::GetNextIdleSlot() const
{
    for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
        TPartDownloadSlot* slot = Slots.GetSlot(i);
        if (slot->PartDownloader && slot->PartDownloader->State == pdsIdle)
            return slot;
    }
    return nullptr;
}

TFileMirror* TDownloader::ChooseMirror() const
{
    TFileMirror* chosen = nullptr;
    Guarded("function TDownloader.ChooseMirror: TFileMirror", [&] {
        int32_t chosenCost = 0;
        for (TFileMirror* mirror : Mirrors) {
            if (!mirror || mirror->ErrorState != fmeNone)
                continue;
            const int32_t cost = (Slots.NumberOfSlotsUsingFileMirror(mirror) + 1) * mirror->PingTime;
            if (chosen && chosenCost <= cost)
                return;
            chosen = mirror;
            chosenCost = cost;
        }
    });
    return chosen;
}

// No slot got a part downloader (a record without a URL, or of a protocol none speaks):
// nothing would ever end the download, so it fails at its start.
bool TDownloader::NothingCanRun() const
{
    for (int i = 0; i < Slots.NumberOfSlots(); ++i)
        if (Slots.GetSlot(i)->PartDownloader)
            return false;
    return Slots.NumberOfSlots() > 0;
}

// A part downloader that is still connecting or receiving may still write.
bool TDownloader::AnySlotRunning() const
{
    for (int i = 0; i < Slots.NumberOfSlots(); ++i) {
        const TPartDownloader* part = Slots.GetSlot(i)->PartDownloader.get();
        if (!part)
            continue;
        switch (part->State) {
        case pdsIdle:
        case pdsPaused:
        case pdsError:
        case pdsAborted:
        case pdsPartDone:
        case pdsAuthRequired:
            break;
        default:
            return true;
        }
    }
    return false;
}

// The parts may be joined: the record has its target, nothing is written any more, and
// the chain is whole. Without a known size only a single first part whose answer ended
// complete counts.
bool TDownloader::ReadyToJoin() const
{
    if (DownloadInfo->LocalFileName.isEmpty() || AnySlotRunning() || (Appender && Appender->Busy()))
        return false;
    if (DownloadInfo->FileSize > 0)
        return AllPartsDone();
    const TPartDownloadSlot* first = Slots.GetSlot(0);
    return Slots.NumberOfSlots() == 1 && first && first->StatusText == StatusTexts().Done;
}

void TDownloader::Complete()
{
    DownloadInfo->StateCode = pdsDone;
    Raise(OnAllPartsDone, this);
}

void TDownloader::Fail(const TPartDownloadSlot* slot)
{
    StatusText = slot->StatusText;
    DownloadInfo->SetStatus(StatusText);
    DownloadInfo->StateCode = pdsError;
    Raise(OnDownloadError, this);
}
