#pragma once
#include <cstdint>

// Days since 1899-12-30 00:00 local time; the fraction is the time of day.
using TDateTime = double;

// The one source of time for the whole program. Tests freeze and step it so that
// speeds, time-outs, retries and the schedule are tested without sleeping.
TDateTime Now();
// Monotonic milliseconds, wrapping at 2^32 like the system tick count it stands for.
uint32_t GetTickCount();

namespace TestClock {
// Freezes Now() and GetTickCount() at the given values until Release().
void Set(TDateTime now, uint32_t ticks = 1000);
// Steps a frozen clock; both Now() and GetTickCount() move by ms.
void Advance(uint32_t ms);
void Release();
bool Frozen();
}
