#include "engine/MirrorPing.h"

#include "platform/base/Guard.h"
#include "records/Url.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// A round trip measured as 0 ms is stored as this, so it still sorts by a cost.
constexpr int FastestPingTime = 5;

std::mutex threadsLock;
std::condition_variable threadsEnded;
int runningThreads = 0;

void ThreadStarts()
{
    std::lock_guard lock(threadsLock);
    ++runningThreads;
}

void ThreadEnds()
{
    {
        std::lock_guard lock(threadsLock);
        --runningThreads;
    }
    threadsEnded.notify_all();
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
    ThreadStarts();
    try {
        std::thread([host = theMirror->Url.Host, pinger = Pinger, synchronizer = Synchronizer, self = this]() mutable {
            Execute(std::move(host), std::move(pinger), std::move(synchronizer), self);
            ThreadEnds();
        }).detach();
    } catch (...) {
        ThreadEnds();
        throw;
    }
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
    std::lock_guard lock(threadsLock);
    return runningThreads;
}

bool TMirrorPing::WaitForThreads(int timeoutMs)
{
    std::unique_lock lock(threadsLock);
    return threadsEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return runningThreads == 0; });
}
