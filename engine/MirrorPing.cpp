#include "engine/MirrorPing.h"

#include "platform/base/Guard.h"
#include "records/Url.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// A round trip measured as 0 ms is stored as this: the downloader weighs a mirror by
// its ping time times the slots using it, which a 0 would make blind to the load.
constexpr int FastestPingTime = 5;

// Never destroyed: detached ping threads may still count themselves out while the
// program's static objects are being torn down at exit.
struct TThreadCount {
    std::mutex Lock;
    std::condition_variable Ended;
    int Running = 0;
};

TThreadCount& Threads()
{
    static auto* threads = new TThreadCount;
    return *threads;
}

void ThreadStarts()
{
    std::lock_guard lock(Threads().Lock);
    ++Threads().Running;
}

void ThreadEnds()
{
    TThreadCount& threads = Threads();
    {
        std::lock_guard lock(threads.Lock);
        --threads.Running;
    }
    threads.Ended.notify_all();
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
    std::lock_guard lock(Threads().Lock);
    return Threads().Running;
}

bool TMirrorPing::WaitForThreads(int timeoutMs)
{
    TThreadCount& threads = Threads();
    std::unique_lock lock(threads.Lock);
    return threads.Ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return threads.Running == 0; });
}
