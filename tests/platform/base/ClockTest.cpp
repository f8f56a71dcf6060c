#include "platform/base/Clock.h"
#include "platform/base/DateTime.h"

#include <gtest/gtest.h>

TEST(Clock, FrozenClockStepsBothTimes)
{
    TestClock::Set(EncodeDate(2026, 12, 10), 0xFFFFFF00u);
    EXPECT_EQ(Now(), EncodeDate(2026, 12, 10));
    TestClock::Advance(0x200);
    EXPECT_EQ(GetTickCount(), 0x100u) << "tick count wraps at 2^32";
    EXPECT_NEAR(Now(), EncodeDate(2026, 12, 10) + 0x200 / 86400000.0, 1e-12);
    TestClock::Release();
    EXPECT_FALSE(TestClock::Frozen());
}

TEST(Clock, SystemClockIsLocalTimeToday)
{
    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    const uint32_t a = GetTickCount();
    const uint32_t b = GetTickCount();
    EXPECT_LE(uint32_t(b - a), 1000u);
}
