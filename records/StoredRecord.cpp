#include "records/StoredRecord.h"

#include "platform/base/Guard.h"
#include "records/RecordDates.h"

#include <limits>

QString SingleLine(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull())
            c = QLatin1Char(' ');
    }
    return text;
}

QString RecordText(const TIniContent& content, const QString& key)
{
    return content.ReadString(RecordFileSection(), key, QString());
}

qint64 RecordNumberOr(const TIniContent& content, const QString& key, qint64 minimum, qint64 maximum, qint64 fallback)
{
    bool ok = false;
    const qint64 value = RecordText(content, key).trimmed().toLongLong(&ok);
    return ok && value >= minimum && value <= maximum ? value : fallback;
}

namespace {
QString Text(const TIniContent& content, const char* key)
{
    return RecordText(content, QString::fromLatin1(key));
}

qint64 NumberOr(const TIniContent& content, const char* key, qint64 minimum, qint64 maximum, qint64 fallback)
{
    return RecordNumberOr(content, QString::fromLatin1(key), minimum, maximum, fallback);
}

QString DateText(const std::optional<TDateTime>& value)
{
    return value ? RecordDateTimeText(*value) : QString();
}
}

QString RecordFileSection()
{
    return QStringLiteral("Options");
}

TStoredRecord ReadStoredRecord(const TIniContent& content)
{
    TStoredRecord record;
    Guarded("function ReadStoredRecord(Content: TIniContent): TStoredRecord", [&] {
        record.Url = Text(content, "URL");
        record.LocalFileName = Text(content, "LocalFileName");
        record.Status = Text(content, "Status");
        record.FileSize = NumberOr(content, "FileSize", -1, std::numeric_limits<qint64>::max(), 0);
        record.NumOfParts = int(NumberOr(content, "NumOfParts", -1, std::numeric_limits<int>::max(), -1));
        record.Category = Text(content, "Category");
        record.LastActivity = ParseRecordDateTime(Text(content, "LastActivity"));
        record.Created = ParseRecordDateTime(Text(content, "Created"));
        record.Description = Text(content, "Description");
    });
    return record;
}

TIniContent::Values StoredRecordValues(const TStoredRecord& record)
{
    return {
        {QStringLiteral("URL"), SingleLine(record.Url)},
        {QStringLiteral("LocalFileName"), SingleLine(record.LocalFileName)},
        {QStringLiteral("Status"), SingleLine(record.Status)},
        {QStringLiteral("FileSize"), QString::number(record.FileSize)},
        {QStringLiteral("NumOfParts"), QString::number(record.NumOfParts)},
        {QStringLiteral("Category"), SingleLine(record.Category)},
        {QStringLiteral("LastActivity"), DateText(record.LastActivity)},
        {QStringLiteral("Created"), DateText(record.Created)},
        {QStringLiteral("Description"), SingleLine(record.Description)},
    };
}
