#include "records/Settings.h"

#include "platform/base/Paths.h"
#include "records/core/SettingsStore.h"

namespace {
std::string Utf8(const QString& text)
{
    return text.toStdString();
}

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}
}

bool ReadBool(const QString& section, const QString& name, bool defaultValue)
{
    return SettingsStore::ReadBool(Utf8(section), Utf8(name), defaultValue);
}

bool WriteBool(const QString& section, const QString& name, bool value)
{
    return SettingsStore::WriteBool(Utf8(section), Utf8(name), value);
}

int32_t ReadInteger(const QString& section, const QString& name, int32_t defaultValue)
{
    return SettingsStore::ReadInteger(Utf8(section), Utf8(name), defaultValue);
}

bool WriteInteger(const QString& section, const QString& name, int32_t value)
{
    return SettingsStore::WriteInteger(Utf8(section), Utf8(name), value);
}

QString ReadString(const QString& section, const QString& name, const QString& defaultValue)
{
    // The default is passed through untouched: it may hold text UTF-8 cannot carry.
    const std::string stored = SettingsStore::ReadString(Utf8(section), Utf8(name), std::string());
    return stored.empty() ? defaultValue : FromUtf8(stored);
}

bool WriteString(const QString& section, const QString& name, const QString& value)
{
    return SettingsStore::WriteString(Utf8(section), Utf8(name), Utf8(value));
}

TDateTime ReadDateTime(const QString& section, const QString& name, TDateTime defaultValue)
{
    return SettingsStore::ReadDateTime(Utf8(section), Utf8(name), defaultValue);
}

bool WriteDateTime(const QString& section, const QString& name, TDateTime value)
{
    return SettingsStore::WriteDateTime(Utf8(section), Utf8(name), value);
}

QString ReadProxySettings()
{
    return FromUtf8(SettingsStore::ReadProxySettings());
}

bool UseProxySettings()
{
    return SettingsStore::UseProxySettings();
}

bool BypassesProxy(const QString& host)
{
    return SettingsStore::BypassesProxy(Utf8(host));
}

bool SetProgramPath()
{
    return SettingsStore::SetProgramPath();
}

bool WriteNSRegistrySettings()
{
    return SettingsStore::WriteNSRegistrySettings();
}

bool CreateIERightClickEntry()
{
    return SettingsStore::CreateIERightClickEntry();
}

void AddIgnoredLink(const QString& url)
{
    SettingsStore::AddIgnoredLink(Utf8(url));
}

QStringList ReadIgnoredLinks()
{
    QStringList links;
    for (const std::string& link : SettingsStore::ReadIgnoredLinks())
        links << FromUtf8(link);
    return links;
}

QString StandardDownloadDirectory()
{
    QString folder = FromUtf8(DefaultDownloadFolder());
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

QString StandardPartialDownloadsDirectory()
{
    return FromUtf8(DataFolder()) + "Partial Downloads";
}

bool Read(const BoolSetting& setting, const QString& section)
{
    return ReadBool(section, setting.Name, setting.Default());
}

int32_t Read(const IntegerSetting& setting, const QString& section)
{
    return ReadInteger(section, setting.Name, setting.Default());
}

QString Read(const StringSetting& setting, const QString& section)
{
    return ReadString(section, setting.Name, setting.Default());
}

TDateTime Read(const DateTimeSetting& setting, const QString& section)
{
    return ReadDateTime(section, setting.Name, setting.Default());
}

bool Write(const BoolSetting& setting, const QString& section, bool value)
{
    return WriteBool(section, setting.Name, value);
}

bool Write(const IntegerSetting& setting, const QString& section, int32_t value)
{
    return WriteInteger(section, setting.Name, value);
}

bool Write(const StringSetting& setting, const QString& section, const QString& value)
{
    return WriteString(section, setting.Name, value);
}

bool Write(const DateTimeSetting& setting, const QString& section, TDateTime value)
{
    return WriteDateTime(section, setting.Name, value);
}

namespace Setting {

const IntegerSetting& ThemeColor(int theme, TColorRole role)
{
    static const IntegerSetting* const colors[ColorThemeCount][6] = {
        {&Standard_Color_Background, &Standard_Color_Downloading, &Standard_Color_Paused,
         &Standard_Color_Done, &Standard_Color_Error, &Standard_Color_Other},
        {&Corvane_Color_Background, &Corvane_Color_Downloading, &Corvane_Color_Paused,
         &Corvane_Color_Done, &Corvane_Color_Error, &Corvane_Color_Other},
        {&Custom_Color_Background, &Custom_Color_Downloading, &Custom_Color_Paused,
         &Custom_Color_Done, &Custom_Color_Error, &Custom_Color_Other},
    };
    const int row = theme >= 0 && theme < ColorThemeCount ? theme : 0;
    const int column = role >= crBackground && role <= crOther ? role : crOther;
    return *colors[row][column];
}

const TColumnSettings& DownloadColumn(int index)
{
#define CORVANE_COLUMN(name, header)                                                         \
    TColumnSettings{header, VDT_Downloads_ColWidth_##name, VDT_Downloads_ColVisible_##name, \
                    VDT_Downloads_ColPos_##name}
    static const TColumnSettings columns[DownloadColumnCount] = {
        CORVANE_COLUMN(FileName, "File Name"), CORVANE_COLUMN(Status, "Status"),
        CORVANE_COLUMN(Completed, "Completed"), CORVANE_COLUMN(Total, "Total"),
        CORVANE_COLUMN(TimeLeft, "Time Left"), CORVANE_COLUMN(kbps, "kB/s"),
        CORVANE_COLUMN(TimeAdded, "Time Added"), CORVANE_COLUMN(SavePath, "Save Path"),
        CORVANE_COLUMN(Description, "Description"),
    };
#undef CORVANE_COLUMN
    return columns[index >= 0 && index < DownloadColumnCount ? index : 0];
}

const BoolSetting& ScheduledWeekly(int dayOfTheWeek)
{
    static const BoolSetting* const days[7] = {
        &ScheduledWeekly_Mon, &ScheduledWeekly_Tue, &ScheduledWeekly_Wed, &ScheduledWeekly_Thu,
        &ScheduledWeekly_Fri, &ScheduledWeekly_Sat, &ScheduledWeekly_Sun,
    };
    return *days[dayOfTheWeek >= 1 && dayOfTheWeek <= 7 ? dayOfTheWeek - 1 : 0];
}

const std::vector<TAnySetting>& AllSettings()
{
#define CORVANE_LIST_OPTION(kind, name, value, compute) TAnySetting(&name),
    static const std::vector<TAnySetting> all = {
        CORVANE_OPTIONS(CORVANE_LIST_OPTION)
        TAnySetting(&ProgramPath), TAnySetting(&IgnoreLinksCount),
        TAnySetting(&PositionTop), TAnySetting(&PositionLeft), TAnySetting(&PositionHeight),
        TAnySetting(&PositionWidth), TAnySetting(&PositionMaximized), TAnySetting(&PositionMinimized),
    };
#undef CORVANE_LIST_OPTION
    return all;
}

}
