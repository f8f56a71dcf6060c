#pragma once
#include "engine/MirrorPing.h"
#include "engine/Pinger.h"
#include "engine/Synchronizer.h"
#include "records/Url.h"

#include <functional>
#include <memory>
#include <vector>

// Pings mirrors, at most MaxSimPings at once, the others waiting in arrival order.
// Each answer (or its absence) sets the mirror's PingTime and is reported through
// OnPingReply on the thread that created the ping system. Pings still running when it
// is destroyed are dropped: their threads end on their own and report to nobody. The
// mirrors are not owned; they must outlive the ping system.
class TPingSystem {
public:
    explicit TPingSystem(int maxSimPings, std::shared_ptr<TPinger> pinger = IcmpPinger());
    ~TPingSystem();
    TPingSystem(const TPingSystem&) = delete;
    TPingSystem& operator=(const TPingSystem&) = delete;

    // Queues the mirror (again, if it is already queued: it is then pinged and
    // reported once more) and starts what the limit allows.
    void AddMirror(TFileMirror* fileMirror);
    void AddMirrors(const TMirrorList& newMirrors);
    void StartNewPings();

    int MaxSimPings;
    // The mirror whose PingTime was just set. The handler may destroy this ping system.
    std::function<void(TFileMirror*)> OnPingReply;

    // Mirrors not answered yet, the ones being pinged included.
    int QueueCount() const { return Queue.Count(); }
    int RunningCount() const { return int(Running.size()); }
    // Pings that have their answer and wait for this thread's event loop to take it.
    int RepliesWaiting() const { return Synchronizer->Waiting(); }

private:
    void MirrorPingReply(TMirrorPing* mirrorPing);

    // Not answered yet, in arrival order; the running pings belong to its first
    // entries, one each.
    TMirrorList Queue;
    std::vector<std::unique_ptr<TMirrorPing>> Running;
    std::shared_ptr<TPinger> Pinger;
    std::shared_ptr<TSynchronizer> Synchronizer;
};
