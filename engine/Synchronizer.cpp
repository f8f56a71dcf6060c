#include "engine/Synchronizer.h"

#include "platform/base/Guard.h"

#include <QObject>
#include <utility>

// The worker's call belongs to whoever holds it last: if the owner closes from inside
// it, the worker returns while the call is still on the owner's stack.
struct TSynchronizer::TCall {
    std::function<void()> Body;
    bool Done = false;
};

std::shared_ptr<TSynchronizer> TSynchronizer::Create()
{
    return std::shared_ptr<TSynchronizer>(new TSynchronizer);
}

TSynchronizer::TSynchronizer() : Receiver(new QObject) {}

TSynchronizer::~TSynchronizer()
{
    // Only when the owner forgot to close; the last reference may be a worker's.
    if (Receiver)
        Receiver->deleteLater();
}

void TSynchronizer::Synchronize(std::function<void()> call)
{
    Guarded("procedure TSynchronizer.Synchronize", [&] {
        auto queued = std::make_shared<TCall>(TCall{std::move(call)});
        std::unique_lock lock(Lock);
        if (Closed)
            return;
        // Queued while holding the lock, so Close cannot delete the receiver meanwhile.
        QMetaObject::invokeMethod(
            Receiver, [self = shared_from_this(), queued] { self->Run(*queued); }, Qt::QueuedConnection);
        ++WaitingWorkers;
        Changed.wait(lock, [&] { return queued->Done || Closed; });
        --WaitingWorkers;
    });
}

void TSynchronizer::Run(TCall& call)
{
    if (IsClosed())
        return;
    Guarded("procedure TSynchronizer.Run", [&] { call.Body(); });
    {
        std::lock_guard lock(Lock);
        call.Done = true;
    }
    Changed.notify_all();
}

void TSynchronizer::Close()
{
    QObject* receiver = nullptr;
    {
        std::lock_guard lock(Lock);
        Closed = true;
        receiver = std::exchange(Receiver, nullptr);
    }
    Changed.notify_all();
    delete receiver;
}

bool TSynchronizer::IsClosed() const
{
    std::lock_guard lock(Lock);
    return Closed;
}

int TSynchronizer::Waiting() const
{
    std::lock_guard lock(Lock);
    return WaitingWorkers;
}
