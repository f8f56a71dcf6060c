#include "engine/PingSystem.h"

#include "platform/base/Guard.h"

#include <algorithm>

TPingSystem::TPingSystem(int maxSimPings, std::shared_ptr<TPinger> pinger)
    : MaxSimPings(maxSimPings), Pinger(std::move(pinger)), Synchronizer(TSynchronizer::Create())
{
}

TPingSystem::~TPingSystem()
{
    // Before the running pings go: from here on no reply reaches them or their mirrors,
    // and workers waiting to hand one over return.
    Synchronizer->Close();
}

void TPingSystem::AddMirror(TFileMirror* fileMirror)
{
    Guarded("procedure TPingSystem.AddMirror(FileMirror: TFileMirror)", [&] {
        if (!fileMirror)
            return;
        Queue.Add(fileMirror);
        StartNewPings();
    });
}

void TPingSystem::AddMirrors(const TMirrorList& newMirrors)
{
    Guarded("procedure TPingSystem.AddMirrors(NewMirrors: TMirrorList)", [&] {
        for (TFileMirror* mirror : newMirrors)
            AddMirror(mirror);
    });
}

void TPingSystem::StartNewPings()
{
    Guarded("procedure TPingSystem.StartNewPings", [&] {
        while (RunningCount() < MaxSimPings && RunningCount() < Queue.Count()) {
            Running.push_back(std::make_unique<TMirrorPing>(Queue.Get(RunningCount()), Pinger, Synchronizer));
            TMirrorPing& ping = *Running.back();
            ping.OnPingReply = [this](TMirrorPing* replied) { MirrorPingReply(replied); };
            try {
                ping.Start();
            } catch (...) {
                Running.pop_back();
                throw;
            }
        }
    });
}

void TPingSystem::MirrorPingReply(TMirrorPing* mirrorPing)
{
    Guarded("procedure TPingSystem.OnPingReply(MirrorPing: TMirrorPing)", [&] {
        TFileMirror* mirror = std::exchange(mirrorPing->theMirror, nullptr);
        Queue.Remove(mirror);
        // Out of the running list before anyone hears of it, so pings started from the
        // handler go to the right queue entries.
        std::erase_if(Running, [&](const auto& ping) { return ping.get() == mirrorPing; });
        const std::shared_ptr<TSynchronizer> door = Synchronizer;
        if (const auto handler = OnPingReply)
            handler(mirror);
        if (door->IsClosed())
            return; // the handler destroyed this ping system
        StartNewPings();
    });
}
