#pragma once
#include <functional>

// Runs the event loop until condition() holds; false when timeoutMs passed first.
// For waiting on sockets and processes in real time, never for testing a time-out.
bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
