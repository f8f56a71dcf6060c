#include "tests/support/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
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
