#include "app/GetSession.h"

#include "app/CredentialsPrompt.h"
#include "app/GetOutput.h"
#include "app/InterruptWatch.h"
#include "coordination/DownloadSystem.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "records/GeneralFunctions.h"
#include "records/LocalDownloadinfo.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "services/InstanceManager.h"

#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {
constexpr int TimeOutCheckMs = 1000;
// How long an interrupted session waits for its downloads to pause.
constexpr int PauseWaitMs = 3000;

// "Combining files (37%)" is still the state "Combining files".
QString StateOf(const QString& status)
{
    const QString& combining = StatusTexts().CombiningFiles;
    return status.startsWith(combining) ? combining : status;
}

// What failed a download for good: a missing file and a refused login do not get
// better by asking again.
bool FailsForGood(const TDownloader& downloader)
{
    return downloader.StatusText == StatusTexts().FileNotFound || downloader.StatusText == StatusTexts().CouldntLogin;
}

int ReceivingParts(const TDownloader& downloader)
{
    int receiving = 0;
    for (int i = 0; i < downloader.Slots.NumberOfSlots(); ++i)
        receiving += downloader.Slots.GetSlot(i)->StatusText == StatusTexts().Downloading;
    return receiving;
}

// The downloader's rate (kB/s in the user's locale) as a size per second.
QString SpeedText(const TDownloader& downloader)
{
    bool ok = false;
    const double kilobytes = QLocale().toDouble(downloader.TransferRate(), &ok);
    return ok ? BytesToPresentableString(qint64(kilobytes * 1024)) + QStringLiteral("/s") : downloader.TransferRate();
}

QString Seconds(uint32_t ms)
{
    return QString::number(double(ms) / 1000.0, 'f', ms < 10'000 ? 1 : 0);
}
}

TGetSession::TGetSession(const TGetOptions& options, TGetOutput& output)
    : Options(options)
    , Output(output)
{
    TimeOutTimer.setInterval(TimeOutCheckMs);
    QObject::connect(&TimeOutTimer, &QTimer::timeout, &Context, [this] {
        if (System)
            System->CheckForTimeOuts();
    });
    InterruptTimer.setSingleShot(true);
    InterruptTimer.setInterval(PauseWaitMs);
    QObject::connect(&InterruptTimer, &QTimer::timeout, &Context, [this] { End(); });
}

TGetSession::~TGetSession()
{
    Guarded("destructor TGetSession.Destroy", [&] {
        Output.RunningFigures = nullptr;
        if (System) {
            System->OnDownloadChange = nullptr;
            System->OnDownloadRemoved = nullptr;
        }
        System.reset();
    });
}

int TGetSession::Run()
{
    int status = 1;
    Guarded("function TGetSession.Run: integer", [&] {
        if (!PrepareFolder())
            return;
        TDownloadSystemHost host;
        host.Windows = this;
        host.SplitParts = Options.Parts;
        if (Options.NoMirrors)
            host.TryLocalMirrorlist = false;
        host.AfterAllDownloads = false;
        host.KeepsList = false;
        host.GivesUpAt = FailsForGood;
        System = std::make_unique<TDownloadSystem>(host);
        System->OnDownloadChange = [this](TLocalDownloadinfo* record, TDownloader*) {
            if (Tracked(record))
                ScheduleCheck();
        };
        System->OnDownloadRemoved = [this](TLocalDownloadinfo* record) { Removed(record); };
        Output.RunningFigures = [this] { return Figures(); };
        for (const QString& url : Options.Urls)
            File(TUrl(url), false);
        TimeOutTimer.start();
        ScheduleCheck();
        status = Loop.exec();
    });
    return status;
}

// The folder is made at once, so that a folder that cannot be used is said before
// anything is fetched; a download already begun keeps its parts for another try.
bool TGetSession::PrepareFolder()
{
    std::error_code error;
    std::filesystem::create_directories(Options.Folder.toStdString(), error);
    if (error) {
        Output.Error(QStringLiteral("cannot save into %1: %2").arg(Options.Folder, QString::fromStdString(error.message())));
        return false;
    }
    if (access(Options.Folder.toLocal8Bit().constData(), W_OK) != 0) {
        Output.Error(QStringLiteral("cannot save into %1: %2").arg(Options.Folder, QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    return true;
}

void TGetSession::HandedOver(const QString& text)
{
    Guarded("procedure TGetSession.HandedOver(Text: string)", [&] {
        if (Interrupted || Ended || !System)
            return;
        CheckInstances(text, [&](const TUrl& url) {
            Output.Event(QStringLiteral("Handed over: %1").arg(url.MaskedUrl()), true);
            File(url, true);
        });
        ScheduleCheck();
    });
}

void TGetSession::File(const TUrl& url, bool handedOver)
{
    if (TLocalDownloadinfo* earlier = FindEarlier(url, handedOver)) {
        if (const TGetDownload* running = Tracked(earlier); running && running->Outcome == TOutcome::Running) {
            Output.Event(QStringLiteral("%1: already being downloaded").arg(running->Name), true);
            return;
        }
        TGetDownload* download = Track(earlier);
        if (earlier->Status() == StatusTexts().Done && QFileInfo(earlier->LocalFileName).isFile()) {
            Output.Event(QStringLiteral("%1: Done already (%2)").arg(download->Name, earlier->LocalFileName), true);
            download->Outcome = TOutcome::Done;
            return;
        }
        if (earlier->Status() == StatusTexts().Done)
            Renew(*earlier);
        else
            Output.Event(QStringLiteral("%1: resuming %2 into %3")
                             .arg(download->Name, url.MaskedUrl(), earlier->LocalFileName), true);
        System->AddDownload(earlier, false);
        return;
    }
    auto record = std::make_unique<TLocalDownloadinfo>(std::make_unique<TUrl>(url));
    record->LocalFileName = !handedOver && !Options.OutputFile.isEmpty() ? Options.OutputFile
                                                                         : System->UniqueName(Options.Folder, record.get());
    TLocalDownloadinfo* added = record.get();
    TGetDownload* download = Track(added);
    Output.Event(QStringLiteral("%1: %2 into %3").arg(download->Name, url.MaskedUrl(), added->LocalFileName), true);
    System->AddDownload(std::move(record), false);
}

// The record of an earlier run of the same URL into the same target: one not done yet
// first, else a done one (its file may be gone).
TLocalDownloadinfo* TGetSession::FindEarlier(const TUrl& url, bool handedOver) const
{
    TLocalDownloadinfo* done = nullptr;
    for (TLocalDownloadinfo* record : System->Records()) {
        if (!record->URL || record->URL->Url != url.Url || !SameTarget(*record, handedOver))
            continue;
        if (record->Status() != StatusTexts().Done)
            return record;
        if (!done || QFileInfo(record->LocalFileName).isFile())
            done = record;
    }
    return done;
}

// A done download whose file has gone is fetched again from the start, under its name:
// what is left of its parts belongs to the old file.
void TGetSession::Renew(TLocalDownloadinfo& record)
{
    record.DeletePartFiles();
    record.NumOfParts = -1;
    record.FileSize = 0;
    Output.Event(QStringLiteral("%1: %2 into %3 again")
                     .arg(QFileInfo(record.LocalFileName).fileName(), record.URL->MaskedUrl(), record.LocalFileName),
                 true);
}

// -o names the target itself; otherwise any name the folder gave the URL's file.
bool TGetSession::SameTarget(const TLocalDownloadinfo& record, bool handedOver) const
{
    if (!handedOver && !Options.OutputFile.isEmpty())
        return record.LocalFileName == Options.OutputFile;
    return !record.LocalFileName.isEmpty() && QFileInfo(record.LocalFileName).absolutePath() == Options.Folder;
}

TGetSession::TGetDownload* TGetSession::Track(TLocalDownloadinfo* record)
{
    if (TGetDownload* download = Tracked(record)) {
        download->Outcome = TOutcome::Running;
        download->Shown.clear();
        download->StartTick = GetTickCount();
        download->BytesAtStart = TDownloadSystem::BytesDownloaded(record->TempFileName());
        return download;
    }
    Downloads.push_back({record, QFileInfo(record->LocalFileName).fileName(), {}, GetTickCount(),
                         TDownloadSystem::BytesDownloaded(record->TempFileName())});
    return &Downloads.back();
}

TGetSession::TGetDownload* TGetSession::Tracked(const TLocalDownloadinfo* record)
{
    for (TGetDownload& download : Downloads) {
        if (record && download.Record == record)
            return &download;
    }
    return nullptr;
}

// A done download leaves the list when RemoveSuccessfulDownloadFromList is on.
void TGetSession::Removed(TLocalDownloadinfo* record)
{
    Guarded("procedure TGetSession.Removed(LDI: TLocalDownloadinfo)", [&] {
        TGetDownload* download = Tracked(record);
        if (!download)
            return;
        if (download->Outcome == TOutcome::Running)
            Finish(*download, record->Status() == StatusTexts().Done);
        download->Record = nullptr;
        ScheduleCheck();
    });
}

void TGetSession::ScheduleCheck()
{
    if (CheckScheduled)
        return;
    CheckScheduled = true;
    // After the engine's event has run to its end, when the state is settled.
    Later([this] {
        CheckScheduled = false;
        Check();
    });
}

void TGetSession::Check()
{
    Guarded("procedure TGetSession.Check", [&] {
        if (Ended)
            return;
        for (TGetDownload& download : Downloads)
            Report(download);
        const auto running = [&](const TGetDownload& d) {
            return Interrupted ? d.Record && System->AssociatedDownloader(d.Record) : d.Outcome == TOutcome::Running;
        };
        if (std::none_of(Downloads.begin(), Downloads.end(), running))
            End();
    });
}

void TGetSession::Report(TGetDownload& download)
{
    TLocalDownloadinfo* record = download.Record;
    if (!record || download.Outcome != TOutcome::Running || Interrupted)
        return;
    TDownloader* downloader = System->AssociatedDownloader(record);
    const bool waiting = record->RetryTimer || record->Status() == StatusTexts().Queued;
    if (!downloader && !waiting)
        return Finish(download, record->Status() == StatusTexts().Done);
    ReportState(download, downloader);
}

void TGetSession::ReportState(TGetDownload& download, TDownloader* downloader)
{
    const TLocalDownloadinfo& record = *download.Record;
    const QString state = record.RetryTimer ? QStringLiteral("retry ") + record.Status() : StateOf(record.Status());
    if (state == download.Shown)
        return;
    download.Shown = state;
    if (record.RetryTimer && downloader) {
        Output.Error(QStringLiteral("%1: %2; retry %3 of %4 in %5 s")
                         .arg(download.Name, record.Status())
                         .arg(downloader->RestartCount + 1)
                         .arg(Read(Setting::RetryTimes))
                         .arg(record.RetryCountdown));
        return;
    }
    QString line = download.Name + QStringLiteral(": ") + state;
    if (state == StatusTexts().Downloading && record.FileSize > 0 && downloader)
        line += QStringLiteral(", %1 in %2 parts")
                    .arg(BytesToPresentableString(record.FileSize))
                    .arg(downloader->Slots.NumberOfSlots());
    Output.Event(line, state == StatusTexts().Queued);
}

void TGetSession::Finish(TGetDownload& download, bool done)
{
    download.Outcome = done ? TOutcome::Done : TOutcome::Failed;
    const TLocalDownloadinfo& record = *download.Record;
    if (!done) {
        Output.Error(QStringLiteral("%1: failed: %2").arg(download.Name, record.Status()));
        return;
    }
    const uint32_t ms = std::max<uint32_t>(GetTickCount() - download.StartTick, 1);
    QString line = QStringLiteral("%1: %2, %3 in %4 s").arg(download.Name, record.Status(),
                                                           BytesToPresentableString(record.FileSize), Seconds(ms));
    // The rate of what this run fetched, not of what earlier runs left in the parts.
    const qint64 fetched = record.FileSize - download.BytesAtStart;
    if (record.FileSize > 0 && fetched > 0)
        line += QStringLiteral(" (%1/s)").arg(BytesToPresentableString(fetched * 1000 / ms));
    Output.Event(line, true);
}

void TGetSession::Interrupt()
{
    Guarded("procedure TGetSession.Interrupt", [&] {
        if (Interrupted || Ended || !System)
            return;
        Interrupted = true;
        // The queued ones first: pausing a running one would start the next in the queue.
        for (const TGetDownload& download : Downloads) {
            TLocalDownloadinfo* record = download.Record;
            if (record && download.Outcome == TOutcome::Running && record->Status() == StatusTexts().Queued) {
                record->SetStatus(StatusTexts().Paused);
                record->StateCode = pdsPaused;
                record->SaveToDatFile();
            }
        }
        for (const TGetDownload& download : Downloads) {
            if (TDownloader* downloader = download.Record ? System->AssociatedDownloader(download.Record) : nullptr)
                downloader->Pause();
        }
        InterruptTimer.start();
        ScheduleCheck();
    });
}

void TGetSession::End()
{
    if (Ended)
        return;
    Ended = true;
    TimeOutTimer.stop();
    Output.RunningFigures = nullptr;
    int done = 0, failed = 0, paused = 0;
    for (const TGetDownload& download : Downloads) {
        done += download.Outcome == TOutcome::Done;
        failed += download.Outcome == TOutcome::Failed;
        paused += download.Outcome == TOutcome::Running;
    }
    const int total = int(Downloads.size());
    if (Interrupted) {
        Output.Summary(QStringLiteral("Interrupted: %1 of %2 downloads paused; run the same command again to resume")
                           .arg(paused)
                           .arg(total));
        return Loop.exit(InterruptedExitStatus);
    }
    QString summary = QStringLiteral("%1 of %2 downloads done").arg(done).arg(total);
    if (failed > 0)
        summary += QStringLiteral(", %1 failed").arg(failed);
    Output.Summary(summary);
    Loop.exit(failed > 0 ? 1 : 0);
}

std::vector<TProgressFigures> TGetSession::Figures() const
{
    std::vector<TProgressFigures> figures;
    Guarded("function TGetSession.Figures", [&] {
        for (const TGetDownload& download : Downloads) {
            const TLocalDownloadinfo* record = download.Record;
            TDownloader* downloader = record && download.Outcome == TOutcome::Running
                                          ? System->AssociatedDownloader(record)
                                          : nullptr;
            if (!downloader)
                continue;
            TProgressFigures f;
            f.Name = download.Name;
            if (record->RetryTimer)
                f.Status = QStringLiteral("%1, retry in %2 s").arg(record->Status()).arg(record->RetryCountdown);
            else if (record->Status() != StatusTexts().Downloading)
                f.Status = record->Status();
            f.Done = downloader->TransferCount();
            f.Size = record->FileSize;
            f.Speed = SpeedText(*downloader);
            f.TimeLeft = downloader->TimeLeft();
            f.Parts = downloader->Slots.NumberOfSlots();
            f.ReceivingParts = ReceivingParts(*downloader);
            figures.push_back(f);
        }
    });
    return figures;
}

void TGetSession::ShowAuthWindow(const TAuthRequest& request)
{
    Guarded("procedure TGetSession.ShowAuthWindow(Request: TAuthRequest)", [&] {
        const TUrl& url = request.Url();
        // Answered later, outside the engine's report of the 401. The engine fails a
        // slot that is refused again after an answer, so each answer is tried once.
        if (!url.User.isEmpty())
            return Later([request, user = url.User, pass = url.Password] { request.Answer(user, pass); });
        if (!TCredentialsPrompt::Available())
            return Later([request] { request.Cancel(); });
        if (!Prompt) {
            Prompt = std::make_unique<TCredentialsPrompt>();
            Prompt->OnBegin = [this] { Output.Suspend(); };
            Prompt->OnEnd = [this] { Output.Resume(); };
        }
        Prompt->Ask(request);
    });
}

void TGetSession::Later(std::function<void()> call)
{
    QTimer::singleShot(0, &Context, std::move(call));
}
