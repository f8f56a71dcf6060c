#include "platform/base/Clock.h"

#include "platform/base/DateTime.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>

namespace {
std::mutex frozenLock;
bool frozen = false;
TDateTime frozenNow = 0;
uint32_t frozenTicks = 0;
}

TDateTime Now()
{
    {
        std::lock_guard guard(frozenLock);
        if (frozen)
            return frozenNow;
    }
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour, local.tm_min, local.tm_sec, ms});
}

uint32_t GetTickCount()
{
    {
        std::lock_guard guard(frozenLock);
        if (frozen)
            return frozenTicks;
    }
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace TestClock {
void Set(TDateTime now, uint32_t ticks)
{
    std::lock_guard guard(frozenLock);
    frozen = true;
    frozenNow = now;
    frozenTicks = ticks;
}

void Advance(uint32_t ms)
{
    std::lock_guard guard(frozenLock);
    frozenNow += ms / double(MillisecondsPerDay);
    frozenTicks += ms;
}

void Release()
{
    std::lock_guard guard(frozenLock);
    frozen = false;
}

bool Frozen()
{
    std::lock_guard guard(frozenLock);
    return frozen;
}
}
