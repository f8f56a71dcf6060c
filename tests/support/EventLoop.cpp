#include "tests/support/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // processEvents with a time limit returns at once when nothing is pending, so the
    // loop would spin; this wake-up bounds each wait for more events instead.
    QTimer wakeUp;
    wakeUp.start(10);
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void RunBesideEventLoop(const std::function<void()>& body, int timeoutMs)
{
    std::atomic<bool> done = false;
    std::thread worker([&] {
        body();
        done = true;
    });
    if (!ProcessEventsUntil([&] { return done.load(); }, timeoutMs)) {
        std::fprintf(stderr, "RunBesideEventLoop: the body did not finish within %d ms\n", timeoutMs);
        std::abort();
    }
    worker.join();
}
