#include "engine/WorkerThreads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
// How long a thread whose work ended waits for more before it ends too: a download
// starts a ping and a combiner, and a list of small files starts them many times a
// second.
constexpr auto IdleTime = std::chrono::seconds(2);
}

struct TWorkerThreads::TState {
    mutable std::mutex Lock;
    mutable std::condition_variable Ended;
    std::condition_variable Work;
    std::deque<std::function<void()>> Waiting; // bodies handed to idle threads
    int Running = 0; // bodies started and not yet ended
    int Idle = 0; // threads waiting for a body

    void Ran()
    {
        {
            std::lock_guard lock(Lock);
            --Running;
        }
        Ended.notify_all();
    }

    // Runs body, then the bodies handed over until none comes within IdleTime.
    void Serve(std::function<void()> body)
    {
        for (;;) {
            body();
            body = nullptr; // what it holds goes before the count says it ended
            std::unique_lock lock(Lock);
            // Idle before the count says it ended: a job started by whoever waited
            // for the end finds this thread.
            ++Idle;
            --Running;
            Ended.notify_all();
            const bool handed = Work.wait_for(lock, IdleTime, [&] { return !Waiting.empty(); });
            --Idle;
            if (!handed)
                return;
            body = std::move(Waiting.front());
            Waiting.pop_front();
        }
    }
};

TWorkerThreads::TWorkerThreads() : State(new TState) {}

void TWorkerThreads::Start(std::function<void()> body)
{
    TState* state = State;
    {
        std::lock_guard lock(state->Lock);
        ++state->Running;
        if (int(state->Waiting.size()) < state->Idle) {
            state->Waiting.push_back(std::move(body));
            state->Work.notify_one();
            return;
        }
    }
    try {
        std::thread([state, body = std::move(body)]() mutable { state->Serve(std::move(body)); }).detach();
    } catch (...) {
        state->Ran();
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
