#include "engine/CombineParts.h"

#include "engine/PartDownloader.h"
#include "engine/WorkerThreads.h"
#include "platform/base/Guard.h"
#include "platform/process/Launch.h"
#include "records/LocalDownloadinfo.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QFile>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace {
std::string FileSystemName(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

QString MessageOf(const TJoinResult& result)
{
    const QString name = QFile::decodeName(QByteArray::fromStdString(result.FileName));
    if (result.Failure != TJoinFailure::CouldntWrite)
        return Translate(QStringLiteral("Couldn't open")) + " " + name;
    if (result.Error)
        return CouldntWriteText(name, QString::fromLocal8Bit(std::strerror(result.Error)));
    return Translate(QStringLiteral("Couldn't write")) + " " + name;
}
}

int RoundedPercent(qint64 done, qint64 total)
{
    if (total <= 0)
        return 100;
    done = std::clamp<qint64>(done, 0, total);
    return int((200 * done + total) / (2 * total));
}

TCombineParts::TCombineParts(TLocalDownloadinfo& downloadInfo,
                             std::function<void(const TCombineResult&)> onFilesCombined)
    : TmpFileName(downloadInfo.TempFileName()), LclFileName(downloadInfo.LocalFileName),
      RemoteFSize(downloadInfo.FileSize), OnFilesCombined(std::move(onFilesCombined)), DownloadInfo(&downloadInfo),
      Synchronizer(TSynchronizer::Create()), Context(std::make_unique<QObject>())
{
    Guarded("constructor TCombineParts.Create(Downloader: TDownloader; procOnFilesCombined: TNotifyEvent)", [&] {
        TJoinJob job{FileSystemName(TmpFileName), FileSystemName(LclFileName), RemoteFSize};
        try {
            JoinThreads().Start([job = std::move(job), synchronizer = Synchronizer, self = this]() mutable {
                Execute(std::move(job), std::move(synchronizer), self);
            });
        } catch (...) {
            // Reported from the event loop like a worker's result, never from in here.
            TJoinResult failed{TJoinFailure::CouldntOpen, FileSystemName(LclFileName)};
            QTimer::singleShot(0, Context.get(), [this, failed] { OnTerminateProc(failed); });
            throw;
        }
    });
}

TCombineParts::~TCombineParts()
{
    // First, so that no call of the worker reaches this object or the record any more.
    Synchronizer->Close();
}

void TCombineParts::Execute(TJoinJob job, std::shared_ptr<TSynchronizer> synchronizer, TCombineParts* self)
{
    // A failure unless the join itself says otherwise.
    TJoinResult result{TJoinFailure::CouldntOpen, job.LclFileName};
    bool handedOver = false;
    Guarded("procedure TCombineParts.Execute", [&] {
        int shown = -1;
        const auto showProgress = [&](qint64 done, qint64 total) {
            const int percent = RoundedPercent(done, total);
            if (percent != shown) {
                shown = percent;
                synchronizer->Synchronize([self, percent] { self->UpdateInfo(percent); });
            }
            return !synchronizer->IsClosed();
        };
        // The success reaches the owner while ".0" is still there: killed before the
        // owner has recorded it, the next join finds the parts joined and places them again.
        const auto handOver = [&] {
            handedOver = true;
            auto ran = std::make_shared<std::atomic<bool>>(false);
            synchronizer->Synchronize([self, ran] {
                ran->store(true);
                self->OnTerminateProc({});
            });
            return ran->load();
        };
        if (showProgress(0, 1))
            result = JoinParts(job, showProgress, handOver);
    });
    if (!handedOver)
        synchronizer->Synchronize([self, result] { self->OnTerminateProc(result); });
}

void TCombineParts::UpdateInfo(int percent)
{
    Guarded("procedure TCombineParts.UpdateInfo", [&] {
        const QString text = StatusTexts().CombiningFiles + " (" + QString::number(percent) + "%)";
        if (DownloadInfo->Status() == text)
            return;
        DownloadInfo->SetStatus(text);
        if (const auto handler = OnUpdateInfo)
            handler();
    });
}

void TCombineParts::OnTerminateProc(const TJoinResult& result)
{
    Guarded("procedure TCombineParts.OnTerminateProc(Sender: TObject)", [&] {
        HasFinished = true;
        FinalResult = {result.Ok(), result.Ok() ? QString() : MessageOf(result)};
        if (FinalResult.Ok)
            StartVirusCheck();
        // Copies: the handler may destroy this combiner.
        const TCombineResult reported = FinalResult;
        if (const auto handler = OnFilesCombined)
            handler(reported);
    });
}

void TCombineParts::StartVirusCheck() const
{
    if (!Read(Setting::VirusChecking))
        return;
    ExecuteCommandLine(Read(Setting::AntivirusExecutablePath) + " " + Read(Setting::AntivirusExecutableParameters) +
                       " \"" + LclFileName + "\"");
}

int TCombineParts::RunningThreads()
{
    return JoinThreads().Running();
}

bool TCombineParts::WaitForThreads(int timeoutMs)
{
    return JoinThreads().WaitForAll(timeoutMs);
}
