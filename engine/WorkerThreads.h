#pragma once
#include <functional>

// The detached worker threads of one kind (pings, part combiners) and a count of the
// work they have not finished, so program exit and tests can wait until none is
// left. A thread whose work ended waits a little for the next, so a burst of
// downloads does not start a thread for each. The state is never destroyed: a
// detached thread may still count itself out while static objects are being torn
// down at exit.
class TWorkerThreads {
public:
    TWorkerThreads();
    TWorkerThreads(const TWorkerThreads&) = delete;
    TWorkerThreads& operator=(const TWorkerThreads&) = delete;

    // Runs body on an idle thread or a new detached one, counted while it runs. Throws
    // when no thread can be started; body then never runs.
    void Start(std::function<void()> body);
    // Bodies started and not yet ended.
    int Running() const;
    // Waits (real time) at most timeoutMs for the count to reach 0; false when some run.
    bool WaitForAll(int timeoutMs) const;

private:
    struct TState;
    TState* State; // leaked on purpose, see above
};

// The threads that work on part files: the part combiners and the downloaders' early
// appends (TPartAppender). Program exit waits for these through TCombineParts.
TWorkerThreads& JoinThreads();
