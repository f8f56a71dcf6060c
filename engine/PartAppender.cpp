#include "engine/PartAppender.h"

#include "engine/WorkerThreads.h"
#include "platform/base/Guard.h"

#include <QFile>

TPartAppender::TPartAppender(const QString& tmpFileName)
    : TmpFileName(QFile::encodeName(tmpFileName).toStdString()), Synchronizer(TSynchronizer::Create())
{
}

TPartAppender::~TPartAppender()
{
    // First, so that the worker's result reaches nothing of this object.
    Synchronizer->Close();
    if (StopRequest)
        StopRequest->store(true);
}

bool TPartAppender::Append(qint64 end)
{
    bool started = false;
    Guarded("procedure TPartAppender.Append", [&] {
        if (Running)
            return;
        auto stop = std::make_shared<std::atomic<bool>>(false);
        TJoinJob job;
        job.TmpFileName = TmpFileName;
        JoinThreads().Start([job, end, stop, synchronizer = Synchronizer, self = this] {
            TJoinResult result{TJoinFailure::Stopped, {}};
            Guarded("procedure TPartAppender.Execute", [&] {
                result = AppendParts(job, end, [&](qint64, qint64) { return !stop->load() && !synchronizer->IsClosed(); });
            });
            synchronizer->Synchronize([self, end, result] { self->Finished(end, result); });
        });
        StopRequest = std::move(stop);
        Running = started = true;
    });
    return started;
}

void TPartAppender::Stop()
{
    if (StopRequest)
        StopRequest->store(true);
}

void TPartAppender::Finished(qint64 end, const TJoinResult& result)
{
    Guarded("procedure TPartAppender.Finished", [&] {
        Running = false;
        StopRequest.reset();
        if (const auto handler = OnAppended) // a copy: the handler may destroy us
            handler(end, result);
    });
}
