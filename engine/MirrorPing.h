#pragma once
#include "engine/Pinger.h"
#include "engine/Synchronizer.h"

#include <functional>
#include <memory>
#include <optional>

struct TFileMirror;

// One ping of one mirror's host, on a short-lived worker thread of its own because
// the echo blocks. The worker touches nothing but its copy of the host name; it hands
// the round trip back through its owner's synchronizer, and the mirror is updated on
// the owner's thread. The owner keeps this object until its reply has been handled,
// or closes the synchronizer before freeing it.
class TMirrorPing {
public:
    TMirrorPing(TFileMirror* mirror, std::shared_ptr<TPinger> pinger, std::shared_ptr<TSynchronizer> synchronizer);
    TMirrorPing(const TMirrorPing&) = delete;
    TMirrorPing& operator=(const TMirrorPing&) = delete;

    // Starts the worker; throws when no thread can be started.
    void Start();

    // The mirror being pinged, not owned; cleared by the owner once the reply is handled.
    TFileMirror* theMirror;
    // Raised on the owner's thread after the mirror's PingTime was set; the handler may
    // free this object.
    std::function<void(TMirrorPing*)> OnPingReply;

    // Owner's thread: PingTime from the round trip (0 ms counts as 5, none or more
    // than PingTimeOut as unknown), then OnPingReply.
    void UpdatePingTime(std::optional<int> roundTrip);

    // Ping threads of the whole process that have not ended yet.
    static int RunningThreads();
    // Waits (real time) until every ping thread has ended, at most timeoutMs; false
    // when some still run. For program exit and tests: nothing of theirs is left then.
    static bool WaitForThreads(int timeoutMs);

private:
    static void Execute(QString host, std::shared_ptr<TPinger> pinger,
                        std::shared_ptr<TSynchronizer> synchronizer, TMirrorPing* self);

    std::shared_ptr<TPinger> Pinger;
    std::shared_ptr<TSynchronizer> Synchronizer;
};
