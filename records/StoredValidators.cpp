#include "records/StoredValidators.h"

#include "records/StoredRecord.h"

#include <algorithm>

namespace {
const QString ValidatorCount = QStringLiteral("Validators");
constexpr qint64 MaxStoredValidators = 64;

QString ValidatorKey(qsizetype index, const char* field)
{
    return QStringLiteral("Validator") + QString::number(index + 1) + QLatin1String(field);
}
}

qint64 StoredValidatorCount(const TIniContent& content)
{
    return RecordNumberOr(content, ValidatorCount, 0, MaxStoredValidators, 0);
}

THostValidatorList ReadStoredValidators(const TIniContent& content)
{
    THostValidatorList list;
    const qint64 count = StoredValidatorCount(content);
    for (qsizetype i = 0; i < count; ++i) {
        const QString host = RecordText(content, ValidatorKey(i, "Host")).trimmed().toLower();
        const TRemoteValidators validators{ValidatorText(RecordText(content, ValidatorKey(i, "ETag"))),
                                           ValidatorText(RecordText(content, ValidatorKey(i, "LastModified")))};
        if (!host.isEmpty() && !validators.IsEmpty() && !FindValidators(list, host))
            list.append({host, validators});
    }
    return list;
}

void AppendStoredValidators(TIniContent::Values& values, const THostValidatorList& list, qint64 storedBefore)
{
    if (list.isEmpty() && storedBefore == 0)
        return;
    values.append({ValidatorCount, QString::number(list.size())});
    const qsizetype entries = std::max<qsizetype>(list.size(), storedBefore);
    for (qsizetype i = 0; i < entries; ++i) {
        const THostValidators entry = i < list.size() ? list[i] : THostValidators{};
        values.append({ValidatorKey(i, "Host"), SingleLine(entry.Host)});
        values.append({ValidatorKey(i, "ETag"), SingleLine(entry.Validators.ETag)});
        values.append({ValidatorKey(i, "LastModified"), SingleLine(entry.Validators.LastModified)});
    }
}
