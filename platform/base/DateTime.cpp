#include "platform/base/DateTime.h"

#include <cmath>

namespace {
// Days from 1970-01-01 to the given civil date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

const int64_t Epoch1899 = DaysFromCivil(1899, 12, 30);
}

bool ValidDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

TDateTime EncodeDate(int year, int month, int day)
{
    return double(DaysFromCivil(year, unsigned(month), unsigned(day)) - Epoch1899);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / double(MillisecondsPerDay);
}

TDateTime EncodeDateTime(const DateTimeParts& p)
{
    const double date = EncodeDate(p.year, p.month, p.day);
    const double time = EncodeTime(p.hour, p.minute, p.second, p.millisecond);
    return date < 0 ? date - time : date + time;
}

DateTimeParts DecodeDateTime(TDateTime value)
{
    DateTimeParts parts;
    const double whole = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - whole) * double(MillisecondsPerDay));
    int64_t days = int64_t(whole);
    if (ms >= MillisecondsPerDay) { // rounding carried into the next day
        ms -= MillisecondsPerDay;
        days += value < 0 ? -1 : 1;
    }
    CivilFromDays(days + Epoch1899, parts.year, parts.month, parts.day);
    parts.hour = int(ms / 3'600'000);
    parts.minute = int(ms / 60'000 % 60);
    parts.second = int(ms / 1000 % 60);
    parts.millisecond = int(ms % 1000);
    return parts;
}

int DayNumber(TDateTime value)
{
    return int(std::trunc(value));
}

int DayOfTheWeek(TDateTime value)
{
    // 1899-12-30 was a Saturday (6).
    const int64_t days = int64_t(std::trunc(value));
    return int(((days + 5) % 7 + 7) % 7) + 1;
}
