#include "engine/PartAppender.h"

#include "engine/WorkerThreads.h"
#include "platform/base/Guard.h"

#include <QFile>
#include <chrono>

TPartAppender::TPartAppender(const QString& tmpFileName)
    : TmpFileName(QFile::encodeName(tmpFileName).toStdString()), Synchronizer(TSynchronizer::Create())
{
}

TPartAppender::~TPartAppender()
{
    // First, so that the worker's result reaches nothing of this object.
    Synchronizer->Close();
    const std::shared_ptr<TRun> run = Current;
    if (!run)
        return;
    run->Stop = true;
    std::unique_lock lock(run->Lock);
    // Bounded, for a file system that hangs; the journal covers a worker left behind.
    if (!run->Changed.wait_for(lock, std::chrono::seconds(10), [&] { return run->Ended; }))
        LogError("destructor TPartAppender.Destroy", "the append did not stop");
}

bool TPartAppender::Append(qint64 end)
{
    return Start(end, [end](const TJoinJob& job, const TJoinProgress& progress) {
        return AppendParts(job, end, progress);
    });
}

bool TPartAppender::Append(const TGrowingPart& part)
{
    return Start(part.Start + part.Final, [part](const TJoinJob& job, const TJoinProgress& progress) {
        return AppendGrowingPart(job, part, progress);
    });
}

bool TPartAppender::Start(qint64 end, TWork work)
{
    bool started = false;
    Guarded("procedure TPartAppender.Append", [&] {
        if (Running)
            return;
        auto run = std::make_shared<TRun>();
        TJoinJob job;
        job.TmpFileName = TmpFileName;
        JoinThreads().Start([job, end, work = std::move(work), run, synchronizer = Synchronizer, self = this] {
            TJoinResult result{TJoinFailure::Stopped, {}};
            Guarded("procedure TPartAppender.Execute", [&] {
                result = work(job, [&](qint64, qint64) { return !run->Stop && !synchronizer->IsClosed(); });
            });
            synchronizer->Synchronize([self, end, result] { self->Finished(end, result); });
            {
                std::lock_guard lock(run->Lock);
                run->Ended = true;
            }
            run->Changed.notify_all();
        });
        Current = std::move(run);
        Running = started = true;
    });
    return started;
}

void TPartAppender::Stop()
{
    if (Current)
        Current->Stop = true;
}

void TPartAppender::Finished(qint64 end, const TJoinResult& result)
{
    Guarded("procedure TPartAppender.Finished", [&] {
        Running = false;
        Current.reset();
        if (const auto handler = OnAppended) // a copy: the handler may destroy us
            handler(end, result);
    });
}
