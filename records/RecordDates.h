#pragma once
#include "platform/base/Clock.h"

#include <QLocale>
#include <QString>
#include <optional>

// Dates in record files: the locale's short date, always with a four-digit year (a
// two-digit one would read back as 19xx), then the locale's long time without a
// time zone (the text is local time).
QString RecordDateTimeFormat(const QLocale& locale = QLocale());
QString RecordDateTimeText(TDateTime value, const QLocale& locale = QLocale());
// Reads that text back with the same locale, or an ISO 8601 date and time; none when
// it is neither.
std::optional<TDateTime> ParseRecordDateTime(const QString& text, const QLocale& locale = QLocale());
