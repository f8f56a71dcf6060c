#include "records/RecordDates.h"

#include "records/QtDateTime.h"

#include <QRegularExpression>

namespace {
QString FourDigitYear(QString format)
{
    static const QRegularExpression years(QStringLiteral("y+"));
    return format.replace(years, QStringLiteral("yyyy"));
}

QString WithoutTimeZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    return format.replace(zone, QStringLiteral(" ")).trimmed();
}
}

QString RecordDateTimeFormat(const QLocale& locale)
{
    // Every save of a record file formats two dates; the format is made once per locale.
    thread_local QLocale madeFor;
    thread_local QString format;
    if (format.isEmpty() || !(locale == madeFor)) {
        format = FourDigitYear(locale.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ')
            + WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
        madeFor = locale;
    }
    return format;
}

QString RecordDateTimeText(TDateTime value, const QLocale& locale)
{
    // A record's two dates rarely change between its saves, and formatting one costs
    // more than the rest of the save: the last two texts made are kept.
    struct TMadeText {
        TDateTime Value = 0;
        QLocale Locale;
        QString Text;
    };
    thread_local TMadeText made[2];
    thread_local unsigned next = 0;
    for (const TMadeText& entry : made)
        if (!entry.Text.isEmpty() && entry.Value == value && entry.Locale == locale)
            return entry.Text;
    const QDateTime moment = ToQDateTime(value);
    if (!moment.isValid())
        return QString();
    TMadeText& entry = made[next++ % 2];
    entry = {value, locale, locale.toString(moment, RecordDateTimeFormat(locale))};
    return entry.Text;
}

std::optional<TDateTime> ParseRecordDateTime(const QString& text, const QLocale& locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    QDateTime moment = locale.toDateTime(trimmed, RecordDateTimeFormat(locale));
    if (!moment.isValid())
        moment = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
    if (!moment.isValid())
        return std::nullopt;
    return FromQDateTime(moment);
}
