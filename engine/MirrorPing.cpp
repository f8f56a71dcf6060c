#include "engine/MirrorPing.h"

#include "engine/WorkerThreads.h"
#include "platform/base/Guard.h"
#include "records/Url.h"

namespace {
// A round trip measured as 0 ms is stored as this: the downloader weighs a mirror by
// its ping time times the slots using it, which a 0 would make blind to the load.
constexpr int FastestPingTime = 5;

TWorkerThreads& Threads()
{
    static TWorkerThreads threads;
    return threads;
}

int PingTimeOf(std::optional<int> roundTrip)
{
    if (!roundTrip || *roundTrip < 0 || *roundTrip > PingTimeOut)
        return PingTimeUnknown;
    return *roundTrip == 0 ? FastestPingTime : *roundTrip;
}
}

TMirrorPing::TMirrorPing(TFileMirror* mirror, std::shared_ptr<TPinger> pinger,
                         std::shared_ptr<TSynchronizer> synchronizer)
    : theMirror(mirror), Pinger(std::move(pinger)), Synchronizer(std::move(synchronizer))
{
}

void TMirrorPing::Start()
{
    Threads().Start([host = theMirror->Url.Host, pinger = Pinger, synchronizer = Synchronizer, self = this]() mutable {
        Execute(std::move(host), std::move(pinger), std::move(synchronizer), self);
    });
}

void TMirrorPing::Execute(QString host, std::shared_ptr<TPinger> pinger, std::shared_ptr<TSynchronizer> synchronizer,
                          TMirrorPing* self)
{
    Guarded("procedure TMirrorPing.Execute", [&] {
        std::optional<int> roundTrip;
        Guarded("procedure TMirrorPing.PingEchoReply", [&] { roundTrip = pinger->Ping(host); });
        synchronizer->Synchronize([self, roundTrip] { self->UpdatePingTime(roundTrip); });
    });
}

void TMirrorPing::UpdatePingTime(std::optional<int> roundTrip)
{
    Guarded("procedure TMirrorPing.UpdatePingTime", [&] {
        theMirror->PingTime = PingTimeOf(roundTrip);
        // A copy: the handler may free this object and with it OnPingReply.
        if (const auto handler = OnPingReply)
            handler(this);
    });
}

int TMirrorPing::RunningThreads()
{
    return Threads().Running();
}

bool TMirrorPing::WaitForThreads(int timeoutMs)
{
    return Threads().WaitForAll(timeoutMs);
}
