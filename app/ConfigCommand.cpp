#include "app/ConfigCommand.h"

#include "app/CliText.h"
#include "records/QtDateTime.h"
#include "records/Settings.h"

#include <optional>

namespace {
const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString Shown(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
QString Shown(int32_t value) { return QString::number(value); }
QString Shown(const QString& value) { return value; }
QString Shown(TDateTime value) { return ToQDateTime(value).toString(DateTimeFormat); }

std::optional<bool> ParseValue(const BoolSetting*, const QString& text)
{
    const QString word = text.toLower();
    if (word == "true" || word == "1" || word == "yes" || word == "on")
        return true;
    if (word == "false" || word == "0" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}

std::optional<int32_t> ParseValue(const IntegerSetting*, const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 0);
    return ok ? std::optional<int32_t>(value) : std::nullopt;
}

std::optional<QString> ParseValue(const StringSetting*, const QString& text)
{
    return text;
}

std::optional<TDateTime> ParseValue(const DateTimeSetting*, const QString& text)
{
    QDateTime value = QDateTime::fromString(text, Qt::ISODate);
    if (!value.isValid())
        value = QDateTime::fromString(text, DateTimeFormat);
    return value.isValid() ? std::optional<TDateTime>(FromQDateTime(value)) : std::nullopt;
}

const char* TypeName(const BoolSetting*) { return "true or false"; }
const char* TypeName(const IntegerSetting*) { return "a whole number"; }
const char* TypeName(const StringSetting*) { return "text"; }
const char* TypeName(const DateTimeSetting*) { return "a date and time such as 2026-12-10 08:30:00"; }

bool InOptions(const Setting::TAnySetting& any)
{
    return std::visit([](auto* s) { return s->Section && QLatin1String(s->Section) == "Options"; }, any);
}

QString NameOf(const Setting::TAnySetting& any)
{
    return std::visit([](auto* s) { return QString::fromLatin1(s->Name); }, any);
}

// "Name = value", and the default beside it when the stored value differs.
QString Line(const Setting::TAnySetting& any)
{
    return std::visit([](auto* s) {
        const QString value = Shown(Read(*s));
        const QString byDefault = Shown(s->Default());
        QString line = QString::fromLatin1(s->Name) + " = " + value;
        if (value != byDefault)
            line += "   (default: " + (byDefault.isEmpty() ? QStringLiteral("empty") : byDefault) + ")";
        return line;
    }, any);
}

const Setting::TAnySetting* Find(const QString& name)
{
    for (const Setting::TAnySetting& any : Setting::AllSettings()) {
        if (InOptions(any) && NameOf(any).compare(name, Qt::CaseInsensitive) == 0)
            return &any;
    }
    return nullptr;
}

int WriteSetting(const Setting::TAnySetting& any, const QString& text)
{
    return std::visit([&](auto* s) {
        const auto value = ParseValue(s, text);
        if (!value) {
            PrintError(QStringLiteral("corvane config: %1 takes %2").arg(s->Name, TypeName(s)));
            return 2;
        }
        if (!Write(*s, *value)) {
            PrintError(QStringLiteral("corvane config: could not write %1 (see CORVANE_DEBUG=1)").arg(s->Name));
            return 1;
        }
        return 0;
    }, any);
}
}

int RunConfigCommand(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        for (const Setting::TAnySetting& any : Setting::AllSettings()) {
            if (InOptions(any))
                PrintLine(Line(any));
        }
        return 0;
    }
    if (arguments.size() > 2) {
        PrintError("usage: corvane config [NAME [VALUE]]");
        return 2;
    }
    const Setting::TAnySetting* setting = Find(arguments[0]);
    if (!setting) {
        PrintError("corvane config: no setting named " + arguments[0] + " (corvane config lists them)");
        return 2;
    }
    if (arguments.size() == 1) {
        PrintLine(std::visit([](auto* s) { return Shown(Read(*s)); }, *setting));
        return 0;
    }
    return WriteSetting(*setting, arguments[1]);
}
