#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// How a worker thread hands its result to the thread of its owner: the worker queues
// a call for the owner's event loop and waits until it has run. The owner may go away
// at any moment, also while workers wait or from inside one of their calls: it closes
// the synchronizer first, after which no call runs and every waiting worker returns.
// Workers keep the synchronizer alive through their shared_ptr, never the owner.
class TSynchronizer : public std::enable_shared_from_this<TSynchronizer> {
public:
    // Calls will run on the event loop of the thread that creates the synchronizer.
    static std::shared_ptr<TSynchronizer> Create();
    ~TSynchronizer();
    TSynchronizer(const TSynchronizer&) = delete;
    TSynchronizer& operator=(const TSynchronizer&) = delete;

    // Worker thread (never the owner's: it would wait for itself). Returns once call has
    // run on the owner's thread, or as soon as the owner closes; call then never runs.
    void Synchronize(std::function<void()> call);
    // Owner thread. Idempotent.
    void Close();
    bool IsClosed() const;
    // Workers waiting in Synchronize right now.
    int Waiting() const;

private:
    struct TCall;
    TSynchronizer();
    void Run(TCall& call);

    mutable std::mutex Lock;
    std::condition_variable Changed;
    bool Closed = false;
    int WaitingWorkers = 0;
    // Lives on the owner's thread; deleting it drops the calls still queued for it.
    QObject* Receiver = nullptr;
};
