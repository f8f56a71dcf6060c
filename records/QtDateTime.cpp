#include "records/QtDateTime.h"

#include "platform/base/DateTime.h"

#include <cmath>
#include <optional>

namespace {
// 0001-01-01 and the day after 9999-12-31.
constexpr double FirstDay = -693593.0;
constexpr double EndDay = 2958466.0;

std::optional<DateTimeParts> Decoded(TDateTime value)
{
    if (!std::isfinite(value) || value <= FirstDay - 1 || value >= EndDay)
        return std::nullopt;
    const DateTimeParts parts = DecodeDateTime(value);
    if (!ValidDate(parts.year, parts.month, parts.day))
        return std::nullopt;
    return parts;
}
}

QDateTime ToQDateTime(TDateTime value)
{
    const QDate date = ToQDate(value);
    return date.isValid() ? QDateTime(date, ToQTime(value), Qt::LocalTime) : QDateTime();
}

QDate ToQDate(TDateTime value)
{
    const auto parts = Decoded(value);
    return parts ? QDate(parts->year, parts->month, parts->day) : QDate();
}

QTime ToQTime(TDateTime value)
{
    const auto parts = Decoded(value);
    return parts ? QTime(parts->hour, parts->minute, parts->second, parts->millisecond) : QTime();
}

TDateTime FromQDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return 0;
    const QDateTime local = value.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    return EncodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(),
                           time.second(), time.msec()});
}

TDateTime FromQDate(const QDate& value)
{
    return value.isValid() ? EncodeDate(value.year(), value.month(), value.day()) : 0;
}

TDateTime FromQTime(const QTime& value)
{
    return value.isValid() ? EncodeTime(value.hour(), value.minute(), value.second(), value.msec()) : 0;
}
