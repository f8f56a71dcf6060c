#include "platform/base/DateTime.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodesKnownDays)
{
    struct Case { int y, m, d; double days; } cases[] = {
        {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {1900, 3, 1, 61},
        {2000, 2, 29, 36585}, {2026, 12, 10, 46366}, {1899, 12, 29, -1}, {2999, 12, 31, 401768},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
}

TEST(DateTime, RoundTripsDateAndTime)
{
    const DateTimeParts samples[] = {
        {2026, 12, 10, 23, 59, 59, 999}, {1970, 1, 1, 0, 0, 0, 0}, {2000, 2, 29, 12, 30, 15, 500},
        {1899, 12, 29, 6, 0, 0, 0}, {9999, 12, 31, 23, 59, 59, 0},
    };
    for (const DateTimeParts& p : samples) {
        const DateTimeParts back = DecodeDateTime(EncodeDateTime(p));
        EXPECT_EQ(back.year, p.year);
        EXPECT_EQ(back.month, p.month);
        EXPECT_EQ(back.day, p.day);
        EXPECT_EQ(back.hour, p.hour);
        EXPECT_EQ(back.minute, p.minute);
        EXPECT_EQ(back.second, p.second);
        EXPECT_EQ(back.millisecond, p.millisecond);
    }
}

TEST(DateTime, NegativeValuesKeepAPositiveTimeOfDay)
{
    const DateTimeParts p = DecodeDateTime(-1.25);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
}

TEST(DateTime, DayOfTheWeekStartsOnMonday)
{
    EXPECT_EQ(DayOfTheWeek(EncodeDate(1899, 12, 30)), 6); // Saturday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2026, 12, 7)), 1);  // Monday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2026, 12, 13) + 0.99), 7);
    EXPECT_EQ(DayOfTheWeek(EncodeDate(1899, 12, 24)), 7);
}

TEST(DateTime, ValidatesCalendarDates)
{
    EXPECT_TRUE(ValidDate(2024, 2, 29));
    EXPECT_FALSE(ValidDate(2023, 2, 29));
    EXPECT_FALSE(ValidDate(1900, 2, 29));
    EXPECT_FALSE(ValidDate(2026, 13, 1));
    EXPECT_FALSE(ValidDate(2026, 4, 31));
}
