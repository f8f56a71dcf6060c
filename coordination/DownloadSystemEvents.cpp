// TDownloadSystem's reactions to its downloaders' events, the retries and the joining
// of finished parts.
#include "coordination/DownloadSystem.h"

#include "engine/CombineParts.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "records/Category.h"
#include "records/GeneralFunctions.h"
#include "records/LocalDownloadinfo.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QObject>

namespace {
QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

IProgressWindow* VisibleWindow(const TDownloadForms* forms)
{
    IProgressWindow* window = forms ? forms->DownloadWindow.get() : nullptr;
    return window && window->IsVisible() ? window : nullptr;
}

IProgressWindow* WindowOf(const TDownloadForms* forms)
{
    return forms ? forms->DownloadWindow.get() : nullptr;
}
}

void TDownloadSystem::NotifyChange(TLocalDownloadinfo* record)
{
    if (const auto handler = OnDownloadChange)
        handler(record, AssociatedDownloader(record));
}

void TDownloadSystem::CloseDownloadWindow(TDownloadForms* forms)
{
    if (IProgressWindow* window = WindowOf(forms))
        window->Close();
}

void TDownloadSystem::OnFileSizeRequestDone(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnFileSizeRequestDone(Downloader: TDownloader)", [&] {
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        record->SaveToDatFile();
        const TDownloadForms* forms = FormsOf(downloader);
        if (forms && forms->FileInfoWindow)
            forms->FileInfoWindow->SetSizeText(BytesToPresentableString(record->FileSize));
        NotifyChange(record);
    });
}

void TDownloadSystem::OnStartDownload(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnStartDownload(Downloader: TDownloader)", [&] {
        downloader->DownloadInfo->SaveToDatFile();
        if (Read(Setting::ShowDownloadWindow))
            ShowDownloadForm(downloader);
        NotifyChange(downloader->DownloadInfo);
    });
}

void TDownloadSystem::OnUpdate(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnUpdate(Downloader: TDownloader)", [&] {
        if (IProgressWindow* window = VisibleWindow(FormsOf(downloader)))
            window->UpdateInfo(*downloader);
        UpdateRow(downloader->DownloadInfo);
    });
}

void TDownloadSystem::OnResume(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnResume(Downloader: TDownloader)", [&] {
        if (IProgressWindow* window = WindowOf(FormsOf(downloader)))
            window->UpdateInfo(*downloader);
        UpdateRow(downloader->DownloadInfo);
    });
}

void TDownloadSystem::OnSlotChange(TDownloader* downloader, TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloadSystem.OnSlotChange(Downloader: TDownloader; Slot: TPartDownloadSlot)", [&] {
        if (IProgressWindow* window = WindowOf(FormsOf(downloader)))
            window->UpdateSlot(slot);
        NotifyChange(downloader->DownloadInfo);
    });
}

void TDownloadSystem::OnSlotDelete(TDownloader* downloader, TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloadSystem.OnSlotDelete(Downloader: TDownloader; Slot: TPartDownloadSlot)", [&] {
        if (IProgressWindow* window = VisibleWindow(FormsOf(downloader)))
            window->DeleteSlot(slot);
    });
}

void TDownloadSystem::OnAuthenticationRequired(TDownloader* downloader, TPartDownloadSlot* slot)
{
    Guarded("procedure TDownloadSystem.OnAuthenticationRequired(Downloader: TDownloader; Slot: TPartDownloadSlot)",
            [&] {
                if (Host.Windows)
                    Host.Windows->ShowAuthWindow(TAuthRequest(downloader, slot));
            });
}

void TDownloadSystem::OnPause(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnPause(Downloader: TDownloader)", [&] {
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        TDownloadForms* forms = FormsOf(downloader);
        const bool scheduled = record->Status() == StatusTexts().Scheduled;
        // It found out about the file and stopped because it may not run yet; the user
        // is still deciding in its dialog, which must stay.
        if (!downloader->MayStart && forms && forms->FileInfoWindow && !scheduled) {
            NotifyChange(record);
            return;
        }
        StopRetryTimer(record);
        RemoveFromActive(downloader);
        if (forms)
            forms->Combiner.reset(); // joining runs again when the download is resumed
        CloseDownloadWindow(forms);
        AllowFree(forms);
        if (!scheduled) {
            record->SetStatus(StatusTexts().Paused);
            record->StateCode = pdsPaused;
            record->SaveToDatFile();
        }
        if (UpdateRow(record))
            RefreshList();
        DownloadNextInQueue();
    });
}

void TDownloadSystem::OnAbort(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnAbort(Downloader: TDownloader)", [&] {
        StopRetryTimer(downloader->DownloadInfo);
        RemoveFromActive(downloader);
        TDownloadForms* forms = FormsOf(downloader);
        if (forms)
            forms->Combiner.reset();
        RemoveFromStringGrid(downloader);
        CloseDownloadWindow(forms);
        AllowFree(forms);
        DownloadNextInQueue();
    });
}

void TDownloadSystem::OnAllPartsDone(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnAllPartsDone(Downloader: TDownloader)", [&] {
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        downloader->UpdateTimer.stop();
        TDownloadForms* forms = FormsOf(downloader);
        CloseDownloadWindow(forms);
        if (!record->LocalFileName.isEmpty() && forms && !forms->Combiner) {
            record->SetStatus(StatusTexts().CombiningFiles);
            record->StateCode = pdsDone;
            forms->Combiner = std::make_unique<TCombineParts>(
                *record, [this, downloader](const TCombineResult& result) { OnFilesCombined(downloader, result); });
            forms->Combiner->OnUpdateInfo = [this, record] { UpdateRow(record); };
        }
        record->SaveToDatFile();
        UpdateRow(record);
        DownloadNextInQueue();
    });
}

void TDownloadSystem::OnFilesCombined(TDownloader* downloader, const TCombineResult& result)
{
    Guarded("procedure TDownloadSystem.OnFilesCombined(Sender: TObject)", [&] {
        if (!result.Ok)
            return CombiningFailed(downloader, result.Message);
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        TDownloadForms* forms = FormsOf(downloader);
        if (record->FileSize == -1)
            Guarded("procedure TDownloadSystem.OnFilesCombined(Sender: TObject)",
                    [&] { record->FileSize = FileSizeOf(record->LocalFileName); });
        record->SetStatus(StatusTexts().Done);
        record->StateCode = pdsDone;
        RemoveFromActive(downloader);
        UpdateRow(record);
        RefreshList();
        if (!record->LocalFileName.isEmpty() && forms && !forms->CompletionDialog) {
            const bool show = record->Category ? record->Category->ShowCompleteDialog() : Read(Setting::ShowCompletedDialog);
            if (show && Host.Windows)
                forms->CompletionDialog = Host.Windows->CreateCompletionDialog(*this, *forms);
            if (!forms->CompletionDialog)
                AllowFree(forms);
        }
        if (Read(Setting::RemoveSuccessfulDownloadFromList))
            RemoveFromStringGrid(downloader);
        else
            record->SaveToDatFile();
        RefreshList();
        if (Active.isEmpty())
            OnAllDownloadsComplete();
    });
}

// A join that failed is no success and no network error: the record shows why, keeps
// its part files for another try, and is not retried by itself.
void TDownloadSystem::CombiningFailed(TDownloader* downloader, const QString& message)
{
    TLocalDownloadinfo* record = downloader->DownloadInfo;
    record->SetStatus(message);
    record->StateCode = pdsError;
    record->SaveToDatFile();
    AllowFree(FormsOf(downloader));
    UpdateRow(record);
    DownloadNextInQueue();
    if (Active.isEmpty())
        OnAllDownloadsComplete();
}

void TDownloadSystem::OnDownloadError(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.OnDownloadError(Downloader: TDownloader)", [&] {
        TLocalDownloadinfo* record = downloader->DownloadInfo;
        if (record->Status() == StatusTexts().Scheduled)
            return;
        TDownloadForms* forms = FormsOf(downloader);
        const uint32_t color = GetStatusColor(record->StateCode);
        if (forms && forms->FileInfoWindow && forms->FileInfoWindow->IsVisible())
            forms->FileInfoWindow->ShowError(Translate(QStringLiteral("Error:")) + QLatin1Char(' ') + downloader->StatusText,
                                             color);
        if (IProgressWindow* window = VisibleWindow(forms)) {
            window->SetCaption(downloader->StatusText + QStringLiteral(": ") + NameOf(record->LocalFileName));
            window->SetStatus(record->Status(), color);
            record->SetStatus(StatusTexts().CouldntConnect);
            record->StateCode = pdsError;
        }
        record->SaveToDatFile();
        UpdateRow(record);
        if (downloader->RestartCount >= Read(Setting::RetryTimes) || (Host.GivesUpAt && Host.GivesUpAt(*downloader)))
            GiveUp(downloader);
        else if (!record->RetryTimer)
            StartRetryTimer(record);
    });
}

void TDownloadSystem::GiveUp(TDownloader* downloader)
{
    TDownloadForms* forms = FormsOf(downloader);
    CloseDownloadWindow(forms);
    AllowFree(forms);
    RemoveFromActive(downloader);
    NotifyChange(downloader->DownloadInfo);
    DownloadNextInQueue();
    if (Active.isEmpty())
        OnAllDownloadsComplete();
}

void TDownloadSystem::StartRetryTimer(TLocalDownloadinfo* record)
{
    auto* timer = new QTimer(Context.get());
    timer->setInterval(1000);
    QObject::connect(timer, &QTimer::timeout, Context.get(), [this, timer] { OnRetryTimer(timer); });
    record->RetryTimer = timer;
    record->RetryCountdown = Read(Setting::RetryDelay);
    timer->start();
    UpdateRow(record);
}

void TDownloadSystem::StopRetryTimer(TLocalDownloadinfo* record)
{
    if (!record || !record->RetryTimer)
        return;
    QTimer* timer = record->RetryTimer;
    record->RetryTimer = nullptr;
    timer->stop();
    timer->disconnect();
    timer->deleteLater(); // it may be the timer whose tick runs now
}

void TDownloadSystem::OnRetryTimer(QTimer* timer)
{
    Guarded("procedure TDownloadSystem.OnRetryTimer(Sender: TObject)", [&] {
        TLocalDownloadinfo* record = nullptr;
        for (const TDownloader* downloader : Active) {
            if (timer && downloader->DownloadInfo->RetryTimer == timer)
                record = downloader->DownloadInfo;
        }
        if (!record)
            record = RecordList.GetByTimer(timer);
        if (!record)
            return;
        --record->RetryCountdown;
        TDownloader* downloader = AssociatedDownloader(record);
        IProgressWindow* window = WindowOf(FormsOf(downloader));
        const uint32_t color = GetStatusColor(record->StateCode);
        if (record->RetryCountdown <= 0) {
            StopRetryTimer(record);
            if (downloader)
                downloader->RestartDownload();
            if (window)
                window->SetStatus(StatusTexts().ContactingHost, color);
        } else if (window) {
            window->SetStatus(record->Status() + QStringLiteral(" (") + QString::number(record->RetryCountdown)
                                  + QLatin1Char(')'),
                              color);
        }
        UpdateRow(record);
    });
}
