#pragma once
#include <functional>
#include <memory>

struct termios;
class QSocketNotifier;

// SIGINT and SIGTERM as an event of the event loop: the first one raises OnInterrupt;
// a second one ends the process at once with status 130 (record files and part files
// are safe to leave at any moment), giving the terminal back its saved mode first.
// One watch per process; the signals get their default handling back when it goes.
class TInterruptWatch {
public:
    TInterruptWatch();
    ~TInterruptWatch();
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

    std::function<void()> OnInterrupt;

    // The terminal mode to set again should the process end from a second signal
    // (a password prompt has turned the echo off).
    static void RestoreOnExit(const termios& mode);

private:
    std::unique_ptr<QSocketNotifier> notifier;
};

inline constexpr int InterruptedExitStatus = 130;
