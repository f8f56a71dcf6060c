#include "engine/WorkerThreads.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct TWorkerThreads::TState {
    mutable std::mutex Lock;
    mutable std::condition_variable Ended;
    int Running = 0;

    void Add(int delta)
    {
        {
            std::lock_guard lock(Lock);
            Running += delta;
        }
        Ended.notify_all();
    }
};

TWorkerThreads::TWorkerThreads() : State(new TState) {}

void TWorkerThreads::Start(std::function<void()> body)
{
    TState* state = State;
    state->Add(1);
    try {
        std::thread([state, body = std::move(body)]() mutable {
            body();
            body = nullptr; // what it holds goes before the count says the thread ended
            state->Add(-1);
        }).detach();
    } catch (...) {
        state->Add(-1);
        throw;
    }
}

int TWorkerThreads::Running() const
{
    std::lock_guard lock(State->Lock);
    return State->Running;
}

bool TWorkerThreads::WaitForAll(int timeoutMs) const
{
    std::unique_lock lock(State->Lock);
    return State->Ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return State->Running == 0; });
}

TWorkerThreads& JoinThreads()
{
    static TWorkerThreads threads;
    return threads;
}
