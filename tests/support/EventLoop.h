#pragma once
#include <functional>

// Runs the event loop until condition() holds; false when timeoutMs passed first.
// For waiting on sockets and processes in real time, never for testing a time-out.
bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Runs body on a thread of its own while this thread's event loop keeps running (a
// blocking client beside a server on the loop). Aborts the test program when body has
// not finished after timeoutMs: a blocked thread cannot be taken back.
void RunBesideEventLoop(const std::function<void()>& body, int timeoutMs = 60000);
