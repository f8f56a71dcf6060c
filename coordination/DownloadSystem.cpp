#include "coordination/DownloadSystem.h"

#include "coordination/PartFileSizes.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "platform/power/WinReboot.h"
#include "records/Category.h"
#include "records/CategoryList.h"
#include "records/GeneralFunctions.h"
#include "records/LocalDownloadinfo.h"
#include "records/ServerStats.h"
#include "records/Settings.h"
#include "records/SettingsFunctions.h"
#include "records/StatusTexts.h"

#include <QDir>
#include <QFile>
#include <QObject>

namespace {
QString WithoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// A file name may have 255 bytes; this leaves room for the "(N)" of a unique name.
constexpr qsizetype MaxSaveNameBytes = 240;

// The name cut to whole characters that fit, keeping a short extension.
QString Fitted(const QString& name)
{
    if (QFile::encodeName(name).size() <= MaxSaveNameBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    QString stem = name.left(name.size() - extension.size());
    while (!stem.isEmpty() && QFile::encodeName(stem + extension).size() > MaxSaveNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + extension;
}

// The name a URL's file is saved under; a URL without one, or whose name is the
// folder itself or the one above it, saves as "Unknown".
QString SaveName(const TLocalDownloadinfo& record)
{
    const QString name = record.URL ? DecodeSpaces(record.URL->FileName) : QString();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return StatusTexts().Unknown;
    return Fitted(name);
}

template <class... Events>
void ClearEvents(Events&... events)
{
    ((events = nullptr), ...);
}

// A downloader that is let go reports nothing more.
void Silence(TDownloader& d)
{
    ClearEvents(d.OnAuthenticationRequired, d.OnFileSizeRequestDone, d.OnStartDownload, d.OnUpdate, d.OnPause,
                d.OnAbort, d.OnAllPartsDone, d.OnDownloadError, d.OnResume, d.OnSlotChange, d.OnSlotDelete,
                d.OnPingedMirror, d.OnServerSpeed);
}
}

TDownloadSystem::TDownloadSystem(const TDownloadSystemHost& host)
    : Host(host)
    , Context(std::make_unique<QObject>())
    , ListModel(std::make_unique<TDownloadListModel>(*this))
{
    Guarded("constructor TDownloadSystem.Create(VirtualDrawTree: TVirtualDrawTree)", [&] {
        FreeTimer.setInterval(100);
        QObject::connect(&FreeTimer, &QTimer::timeout, Context.get(), [this] { OnFreeTimer(); });
        FreeTimer.start();
        ListModel->SetFilter([this] { return RecordList; });
        UpdateGridInfo();
        ListModel->sort(Read(Setting::VDT_Downloads_SortByColumn),
                        Read(Setting::VDT_Downloads_SortDirectionAscending) ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
}

TDownloadSystem::~TDownloadSystem()
{
    Guarded("destructor TDownloadSystem.Destroy", [&] {
        FreeTimer.stop();
        Active.clear();
        // The downloaders and combiners before the records they point at.
        FormsList.Clear();
        ListModel->PopulateGrid({});
    });
}

void TDownloadSystem::UpdateGridInfo()
{
    Guarded("procedure TDownloadSystem.UpdateGridInfo", [&] {
        for (const QString& path : GetDatFileNames()) {
            TLocalDownloadinfo* record = Own(std::make_unique<TLocalDownloadinfo>(nullptr, path.chopped(4)));
            RecordList.Add(record);
            const QString& status = record->Status();
            if (status != StatusTexts().Downloading && status != StatusTexts().Queued)
                continue;
            record->SetStatus(StatusTexts().Paused);
            record->StateCode = pdsPaused;
            record->SaveToDatFile();
        }
    });
}

QStringList TDownloadSystem::GetDatFileNames()
{
    QStringList names;
    Guarded("function TDownloadSystem.GetDatFileNames: TStringList", [&] {
        const QString folder = WithTrailingBackslash(Read(Setting::PartialDownloadsDirectory));
        const QStringList found =
            QDir(folder).entryList({QStringLiteral("*.dat")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
        for (const QString& name : found)
            names.append(folder + name);
    });
    return names;
}

TLocalDownloadinfo* TDownloadSystem::Own(std::unique_ptr<TLocalDownloadinfo> record)
{
    if (!record)
        return nullptr;
    OwnedRecords.push_back(std::move(record));
    return OwnedRecords.back().get();
}

// A record a downloader still points at waits in the downloader's window set and goes
// with it; any other goes now.
void TDownloadSystem::ReleaseRecord(TLocalDownloadinfo* record)
{
    const auto owned = std::find_if(OwnedRecords.begin(), OwnedRecords.end(),
                                    [&](const auto& item) { return item.get() == record; });
    if (owned == OwnedRecords.end())
        return;
    std::unique_ptr<TLocalDownloadinfo> released = std::move(*owned);
    OwnedRecords.erase(owned);
    StopRetryTimer(record);
    ListModel->RemoveRow(record);
    if (TDownloadForms* forms = FormsList.GetByRecord(record))
        forms->OrphanedRecord = std::move(released);
}

TLocalDownloadinfo* TDownloadSystem::AddDownload(std::unique_ptr<TLocalDownloadinfo> record, bool refresh)
{
    TLocalDownloadinfo* owned = Own(std::move(record));
    AddDownload(owned, refresh);
    return owned;
}

void TDownloadSystem::AddDownload(TLocalDownloadinfo* record, bool refresh)
{
    Guarded("procedure TDownloadSystem.AddDownload(LDI: TLocalDownloadinfo; Refresh: boolean)", [&] {
        // Two downloaders on one record would write the same part files.
        if (!record || AssociatedDownloader(record))
            return;
        record->SaveToDatFile();
        ChooseLocalFileName(record);
        const bool mayStart = NumberOfDownloading() < Read(Setting::MaxSimultaneousDownloads);
        if (!record->LocalFileName.isEmpty() && !mayStart) {
            // It would be queued at once: it gets no downloader, so no connection is made.
            Enlist(record);
            Queue(record, nullptr);
            return;
        }
        TDownloader* downloader = CreateDownloader(record, mayStart);
        TDownloadForms* forms = FormsOf(downloader);
        if (record->LocalFileName.isEmpty() && forms && Host.Windows)
            forms->FileInfoWindow = Host.Windows->CreateFileInfoWindow(*this, *forms);
        if (forms && forms->FileInfoWindow) {
            forms->FileInfoWindow->SetSizeText(StatusTexts().ContactingHost);
            return;
        }
        if (record->LocalFileName.isEmpty())
            record->LocalFileName = UniqueName(Read(Setting::DefaultDownloadDirectory), record);
        TryToStartDownload(downloader);
    });
    if (refresh)
        RefreshList();
}

// A new download's local file name from the date folders, its category or the default
// folder, as the settings say; it stays empty when the user is to be asked.
void TDownloadSystem::ChooseLocalFileName(TLocalDownloadinfo* record)
{
    if (!record->LocalFileName.isEmpty())
        return;
    record->Category = record->URL ? CategoryList().GetByFileName(record->URL->FileName) : nullptr;
    const TCategory* category = record->Category;
    const QString defaultFolder = Read(Setting::DefaultDownloadDirectory);
    if (category && category->AutoSave()) {
        // A category without a folder of its own saves into the default one.
        const QString folder = category->SaveFolder().isEmpty() ? defaultFolder : category->SaveFolder();
        record->LocalFileName = UniqueName(folder, record);
    } else if (Read(Setting::DateFolders)) {
        const QString folder = WithoutTrailingSeparator(defaultFolder) + QLatin1Char('/') + GetDateFolderName();
        QDir().mkpath(folder);
        record->LocalFileName = UniqueName(folder, record);
    }
    const bool asks = Read(Setting::ShowSaveDialog) && Host.Windows && Host.Windows->AsksForFileNames();
    if (record->LocalFileName.isEmpty() && !asks)
        record->LocalFileName = UniqueName(defaultFolder, record);
}

QString TDownloadSystem::UniqueName(const QString& folder, const TLocalDownloadinfo* record) const
{
    return GetUniqueFileName(WithTrailingBackslash(folder) + SaveName(*record),
                             [this](const QString& name) { return NameUsedByRecord(name); });
}

bool TDownloadSystem::NameUsedByRecord(const QString& name) const
{
    return std::any_of(OwnedRecords.begin(), OwnedRecords.end(), [&](const auto& record) {
        return record->LocalFileName.compare(name, Qt::CaseInsensitive) == 0;
    });
}

TDownloader* TDownloadSystem::CreateDownloader(TLocalDownloadinfo* record, bool mayStart)
{
    auto created = std::make_unique<TDownloader>(record, Host.SplitParts.value_or(Read(Setting::SplitParts)),
                                                 Host.TryLocalMirrorlist.value_or(Read(Setting::TryLocalMirrorlist)),
                                                 mayStart, Host.Pinger ? Host.Pinger : IcmpPinger());
    TDownloader* downloader = created.get();
    Active.append(downloader);
    WireDownloader(downloader);
    FormsList.Add(std::make_unique<TDownloadForms>(std::move(created)));
    return downloader;
}

void TDownloadSystem::WireDownloader(TDownloader* d)
{
    d->OnAuthenticationRequired = [this](TDownloader* s, TPartDownloadSlot* slot) { OnAuthenticationRequired(s, slot); };
    d->OnFileSizeRequestDone = [this](TDownloader* s) { OnFileSizeRequestDone(s); };
    d->OnStartDownload = [this](TDownloader* s) { OnStartDownload(s); };
    d->OnUpdate = [this](TDownloader* s) { OnUpdate(s); };
    d->OnPause = [this](TDownloader* s) { OnPause(s); };
    d->OnAbort = [this](TDownloader* s) { OnAbort(s); };
    d->OnAllPartsDone = [this](TDownloader* s) { OnAllPartsDone(s); };
    d->OnDownloadError = [this](TDownloader* s) { OnDownloadError(s); };
    d->OnResume = [this](TDownloader* s) { OnResume(s); };
    d->OnSlotChange = [this](TDownloader* s, TPartDownloadSlot* slot) { OnSlotChange(s, slot); };
    d->OnSlotDelete = [this](TDownloader* s, TPartDownloadSlot* slot) { OnSlotDelete(s, slot); };
    d->OnPingedMirror = [](TDownloader*, TFileMirror* mirror, int) {
        ServerStats().UpdatePing(mirror->Url.Host, mirror->PingTime);
    };
    d->OnServerSpeed = [](const QString& host, qint64 speed) { ServerStats().UpdateSpeed(host, speed); };
}

void TDownloadSystem::Enlist(TLocalDownloadinfo* record)
{
    record->SaveToDatFile();
    if (RecordList.IndexOf(record) < 0)
        RecordList.Add(record);
}

bool TDownloadSystem::TryToStartDownload(TDownloader* downloader)
{
    Guarded("function TDownloadSystem.TryToStartDownload(Downloader: TDownloader): boolean", [&] {
        if (!downloader)
            return;
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        Enlist(record);
        if (Read(Setting::MaxSimultaneousDownloads) < NumberOfDownloading())
            return Queue(record, downloader);
        if (downloader->Paused)
            return Restart(downloader);
        downloader->MayStart = true;
        downloader->StartDownload();
    });
    RefreshList();
    return true;
}

// The queued download gives its downloader up at once: nothing of it stays connected
// or pinging while it waits; it gets a new one when it leaves the queue.
void TDownloadSystem::Queue(TLocalDownloadinfo* record, TDownloader* downloader)
{
    if (downloader) {
        RemoveFromActive(downloader);
        Silence(*downloader);
        downloader->Pause();
        AllowFree(FormsOf(downloader));
    }
    record->SetStatus(StatusTexts().Queued);
    record->StateCode = pdsQueued;
    record->SaveToDatFile();
    UpdateRow(record);
}

// A downloader that paused itself in its dialog because it might not start cannot
// split any more: a fresh one takes over.
void TDownloadSystem::Restart(TDownloader* downloader)
{
    TLocalDownloadinfo* record = downloader->DownloadInfo;
    Silence(*downloader);
    AllowFree(FormsOf(downloader));
    AddDownload(record, false);
}

void TDownloadSystem::DownloadNextInQueue()
{
    Guarded("procedure TDownloadSystem.DownloadNextInQueue", [&] {
        const TLDIList records = RecordList;
        // Once per call, not once per queued record: a long queue would read it hundreds of times.
        const int most = Read(Setting::MaxSimultaneousDownloads);
        for (TLocalDownloadinfo* record : records) {
            if (RecordList.IndexOf(record) < 0 || record->Status() != StatusTexts().Queued)
                continue;
            if (NumberOfDownloading() < most)
                AddDownload(record, false);
        }
    });
    RefreshList();
}

int TDownloadSystem::NumberOfDownloading() const
{
    int count = 0;
    Guarded("function TDownloadSystem.NumberOfDownloading: integer", [&] {
        for (const TDownloader* downloader : Active) {
            if (!downloader->DownloadInfo->Status().contains(StatusTexts().CombiningFiles))
                ++count;
        }
    });
    return count;
}

TDownloader* TDownloadSystem::AssociatedDownloader(const TLocalDownloadinfo* record) const
{
    for (TDownloader* downloader : Active) {
        if (downloader->DownloadInfo == record)
            return downloader;
    }
    return nullptr;
}

bool TDownloadSystem::FileNameInUse(const QString& localFileName) const
{
    for (const TLocalDownloadinfo* record : RecordList) {
        if (record->Status() != StatusTexts().Done && record->LocalFileName == localFileName)
            return true;
    }
    return false;
}

qint64 TDownloadSystem::BytesDownloaded(const QString& tempFileName)
{
    qint64 bytes = 0;
    Guarded("function TDownloadSystem.BytesDownloaded(TempFileName: string): integer",
            [&] { bytes = TPartFileSizeCache().BytesDownloaded(tempFileName); });
    return bytes;
}

void TDownloadSystem::ShowDownloadForm(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.ShowDownloadForm(Downloader: TDownloader)", [&] {
        TDownloadForms* forms = FormsOf(downloader);
        if (!forms)
            return;
        if (!forms->DownloadWindow && Host.Windows)
            forms->DownloadWindow = Host.Windows->CreateProgressWindow(*this, *downloader);
        if (!forms->DownloadWindow)
            return;
        forms->DownloadWindow->UpdateInfo(*downloader);
        forms->DownloadWindow->Show();
    });
}

void TDownloadSystem::HideDownloadForm(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.HideDownloadForm(Downloader: TDownloader)", [&] {
        TDownloadForms* forms = FormsOf(downloader);
        if (forms && forms->DownloadWindow)
            forms->DownloadWindow->Hide();
    });
}

void TDownloadSystem::AllowFree(TDownloadForms* forms)
{
    Guarded("procedure TDownloadSystem.AllowFree(DownloadForms: TDownloadForms)", [&] {
        if (!forms)
            return;
        forms->AllowFree = true;
        RemoveFromActive(forms->Downloader());
    });
}

void TDownloadSystem::RemoveFromActive(TDownloader* downloader)
{
    Active.removeAll(downloader);
}

void TDownloadSystem::OnFreeTimer()
{
    FormsList.Reap();
}

void TDownloadSystem::CheckForTimeOuts()
{
    Guarded("procedure TDownloadSystem.CheckForTimeOuts", [&] {
        const uint32_t tick = GetTickCount();
        const QList<TDownloader*> downloaders = Active;
        for (TDownloader* downloader : downloaders) {
            // An earlier check may have ended this one.
            if (Active.contains(downloader) && downloader->DownloadInfo->StateCode != pdsError)
                downloader->CheckSlotsForTimeOut(tick);
        }
    });
}

void TDownloadSystem::OnAllDownloadsComplete()
{
    Guarded("procedure TDownloadSystem.OnAllDownloadsComplete", [&] {
        if (!Host.AfterAllDownloads)
            return;
        if (Read(Setting::ConnectUsingDialUp) && Read(Setting::DisconnectAfterDownload) && Host.DialUp)
            Host.DialUp->Disconnect();
        if (Read(Setting::ShutDownComputerAfterDownloading)) {
            const QString privilege = QStringLiteral("SeShutdownPrivilege");
            TWinReboot::SetPrivilege(privilege, true);
            TWinReboot::WinExit(EWX_POWEROFF);
            TWinReboot::SetPrivilege(privilege, false);
        } else if (Read(Setting::AutoCloseAfterDownloads) && Host.MainWindow) {
            Host.MainWindow->CloseProgram();
        }
    });
}

void TDownloadSystem::SlotAuthenticated(TDownloader*, TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloadSystem.SlotAuthenticated(Downloader: TDownloader; Slot: TPartDownloadSlot)", [&] {
        if (!slot)
            return;
        slot->Authenticated = true;
        slot->Start();
    });
}

void TDownloadSystem::AbortSlotAuthenticated(TDownloader*, TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloadSystem.AbortSlotAuthenticated(Downloader: TDownloader; Slot: TPartDownloadSlot)", [&] {
        if (!slot)
            return;
        slot->Authenticated = true;
        slot->SetErrorState(fmeCouldNotLogin);
    });
}
