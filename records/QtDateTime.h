#pragma once
#include "platform/base/Clock.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

// TDateTime (days since 1899-12-30, local time, the fraction the time of day) to and
// from Qt's types. Values that are no date of the years 1 to 9999 (also NaN) give an
// invalid Qt value; an invalid Qt value gives 0.
QDateTime ToQDateTime(TDateTime value);
QDate ToQDate(TDateTime value);
QTime ToQTime(TDateTime value);  // the time of day
TDateTime FromQDateTime(const QDateTime& value);  // taken as local time
TDateTime FromQDate(const QDate& value);           // midnight
TDateTime FromQTime(const QTime& value);           // on day 0
