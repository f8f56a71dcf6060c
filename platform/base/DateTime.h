#pragma once
#include "platform/base/Clock.h"

constexpr int64_t MillisecondsPerDay = 86'400'000;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Conversions between TDateTime and calendar parts (proleptic Gregorian calendar).
// Negative values count days before 1899-12-30 with the fraction as a positive time
// of day, so -1.25 is 1899-12-29 06:00.
TDateTime EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(TDateTime value);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
bool ValidDate(int year, int month, int day);

// Whole days since 1899-12-30 (the day number of the value).
int DayNumber(TDateTime value);
// 1 = Monday ... 7 = Sunday.
int DayOfTheWeek(TDateTime value);
