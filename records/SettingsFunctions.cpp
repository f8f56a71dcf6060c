#include "records/SettingsFunctions.h"

#include "platform/base/DateTime.h"
#include "platform/base/Guard.h"
#include "records/Settings.h"
#include "records/core/FileMask.h"

namespace {
QString DatePart(const QString& kind, const DateTimeParts& today)
{
    if (kind == "Year")
        return QString::number(today.year).rightJustified(4, '0');
    if (kind == "Month")
        return QString::number(today.month).rightJustified(2, '0');
    if (kind == "Day")
        return QString::number(today.day).rightJustified(2, '0');
    return {};
}

QString Divider(const StringSetting& setting)
{
    const QString divider = Read(setting);
    return divider == "none" ? QString() : divider;
}
}

bool ValidExtension(const QString& ext)
{
    bool valid = false;
    Guarded("function ValidExtension(Ext: string): boolean", [&] {
        const QString masks = Read(Setting::Extensions).toLower().trimmed();
        valid = MatchesAnyMask(ext.toStdString(), masks.toStdString());
    });
    return valid;
}

QString GetDateFolderName()
{
    QString name;
    Guarded("function GetDateFolderName: string", [&] {
        const DateTimeParts today = DecodeDateTime(Now());
        name = DatePart(Read(Setting::Date1), today) + Divider(Setting::DateDivider1) +
               DatePart(Read(Setting::Date2), today) + Divider(Setting::DateDivider2) +
               DatePart(Read(Setting::Date3), today);
    });
    return name;
}
