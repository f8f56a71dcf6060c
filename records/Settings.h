#pragma once
#include "platform/base/Clock.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <type_traits>
#include <variant>
#include <vector>

// The program's settings: the typed operations on sections below
// HKEY_CURRENT_USER\Software\Corvane (records/core/SettingsStore.h has the rules), and
// the table of every setting with its section, value name, type and default, so code
// reads `Read(Setting::SplitParts)` and gets the stored value or the table's default.
// Nothing is cached: each read goes to the hive.

bool ReadBool(const QString& section, const QString& name, bool defaultValue);
bool WriteBool(const QString& section, const QString& name, bool value);
int32_t ReadInteger(const QString& section, const QString& name, int32_t defaultValue);
bool WriteInteger(const QString& section, const QString& name, int32_t value);
QString ReadString(const QString& section, const QString& name, const QString& defaultValue);
bool WriteString(const QString& section, const QString& name, const QString& value);
TDateTime ReadDateTime(const QString& section, const QString& name, TDateTime defaultValue);
bool WriteDateTime(const QString& section, const QString& name, TDateTime value);

// The desktop's proxies: "host:port", or "http=host:port;ftp=host:port", or "".
QString ReadProxySettings();
bool UseProxySettings();
// A host reached without any proxy: loopback, or listed in no_proxy.
bool BypassesProxy(const QString& host);
bool SetProgramPath();
bool WriteNSRegistrySettings();
bool CreateIERightClickEntry();
void AddIgnoredLink(const QString& url);
QStringList ReadIgnoredLinks();

// Defaults that depend on the machine.
QString StandardDownloadDirectory();          // the desktop's Downloads folder
QString StandardPartialDownloadsDirectory();  // data folder + "Partial Downloads"

template <class T> struct TSettingStorage { using Type = T; };
template <> struct TSettingStorage<QString> { using Type = const char*; };

template <class T>
struct TSetting {
    const char* Section;  // nullptr: given by the caller (the window position values)
    const char* Name;
    typename TSettingStorage<T>::Type Value;
    T (*Compute)() = nullptr;  // a default that is no constant

    T Default() const
    {
        if (Compute)
            return Compute();
        if constexpr (std::is_same_v<T, QString>)
            return QString::fromUtf8(Value);
        else
            return Value;
    }
    QString SectionName() const { return QString::fromUtf8(Section ? Section : ""); }
};

using BoolSetting = TSetting<bool>;
using IntegerSetting = TSetting<int32_t>;
using StringSetting = TSetting<QString>;
using DateTimeSetting = TSetting<TDateTime>;

bool Read(const BoolSetting& setting, const QString& section);
int32_t Read(const IntegerSetting& setting, const QString& section);
QString Read(const StringSetting& setting, const QString& section);
TDateTime Read(const DateTimeSetting& setting, const QString& section);
bool Write(const BoolSetting& setting, const QString& section, bool value);
bool Write(const IntegerSetting& setting, const QString& section, int32_t value);
bool Write(const StringSetting& setting, const QString& section, const QString& value);
bool Write(const DateTimeSetting& setting, const QString& section, TDateTime value);

template <class T>
T Read(const TSetting<T>& setting)
{
    return Read(setting, setting.SectionName());
}

template <class T>
bool Write(const TSetting<T>& setting, const std::type_identity_t<T>& value)
{
    return Write(setting, setting.SectionName(), value);
}

// X(kind, name, default value, computed default): every setting of section Options.
#define CORVANE_OPTIONS(X)                                                                            \
    /* downloading and performance */                                                                 \
    X(Integer, MaxSimultaneousDownloads, 3, nullptr)                                                  \
    X(Integer, SplitParts, 4, nullptr)                                                                \
    X(Integer, SmallestSplitSize, 100, nullptr)     /* KB */                                          \
    X(Integer, TimeOutTime, 30000, nullptr)         /* ms */                                          \
    X(Integer, MirrorTimeOutTime, 10000, nullptr)   /* ms */                                          \
    X(Integer, RetryDelay, 30, nullptr)             /* s */                                           \
    X(Integer, RetryTimes, 10, nullptr)                                                               \
    X(Bool, TryLocalMirrorlist, true, nullptr)                                                        \
    /* folders and file placement */                                                                  \
    X(String, DefaultDownloadDirectory, "", &StandardDownloadDirectory)                               \
    X(String, PartialDownloadsDirectory, "", &StandardPartialDownloadsDirectory)                      \
    X(Bool, DateFolders, false, nullptr)                                                              \
    X(String, Date1, "Month", nullptr)                                                                \
    X(String, Date2, "Day", nullptr)                                                                  \
    X(String, Date3, "Year", nullptr)                                                                 \
    X(String, DateDivider1, "-", nullptr)           /* "none": no divider */                          \
    X(String, DateDivider2, "-", nullptr)                                                             \
    /* dialogs and windows during a download */                                                       \
    X(Bool, ShowSaveDialog, true, nullptr)                                                            \
    X(Bool, ShowDownloadWindow, true, nullptr)                                                        \
    X(Bool, ShowCompletedDialog, true, nullptr)                                                       \
    X(Bool, ShowSystemTrayIcons, false, nullptr)                                                      \
    /* after downloads */                                                                             \
    X(Bool, RemoveSuccessfulDownloadFromList, false, nullptr)                                         \
    X(Bool, RemoveUnexistingFilesFromList, true, nullptr)                                             \
    X(Bool, AutoCloseAfterDownloads, false, nullptr)                                                  \
    X(Bool, ShutDownComputerAfterDownloading, false, nullptr)                                         \
    X(Bool, DisconnectAfterDownload, false, nullptr)                                                  \
    /* connection */                                                                                  \
    X(Bool, AlwaysConnect, true, nullptr)                                                             \
    X(Bool, ConnectUsingDialUp, false, nullptr)                                                       \
    X(Bool, AlwaysDownloadWhenConnected, true, nullptr)                                               \
    X(String, ModemConnectionEntry, "", nullptr)                                                      \
    X(String, ConnectionType, "56.6k", nullptr)                                                       \
    X(Integer, ConnectionSpeed, 0, nullptr)         /* bits per second */                             \
    /* proxies; a new user inherits the desktop's choice */                                           \
    X(Bool, UseHTTPProxy, false, &UseProxySettings)                                                   \
    X(String, HTTPProxyAddress, "", nullptr)                                                          \
    X(String, HTTPProxyPort, "", nullptr)           /* text */                                        \
    X(String, HTTPProxyUser, "", nullptr)                                                             \
    X(String, HTTPProxyPass, "", nullptr)                                                             \
    X(Bool, UseFTPProxy, false, &UseProxySettings)                                                    \
    X(String, FTPProxyAddress, "", nullptr)                                                           \
    X(String, FTPProxyPort, "", nullptr)                                                              \
    X(Bool, PassiveMode, false, nullptr)                                                              \
    /* virus checking */                                                                              \
    X(Bool, VirusChecking, false, nullptr)                                                            \
    X(String, AntivirusExecutablePath, "", nullptr)                                                   \
    X(String, AntivirusExecutableParameters, "", nullptr)                                             \
    /* scheduler */                                                                                   \
    X(Bool, UseSchedule, false, nullptr)                                                              \
    X(Bool, ScheduledWeekly_Mon, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Tue, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Wed, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Thu, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Fri, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Sat, false, nullptr)                                                      \
    X(Bool, ScheduledWeekly_Sun, false, nullptr)                                                      \
    X(DateTime, StartTime, 0, &Now)                 /* only the time of day counts */                 \
    X(DateTime, EndTime, 0, &Now)                                                                     \
    X(Integer, ScheduledStartTime, 0, nullptr)      /* positions in the dialog's time lists */        \
    X(Integer, ScheduledEndTime, 0, nullptr)                                                          \
    X(DateTime, ScheduledRecurrence_StartTime, 0, &Now)                                               \
    X(Bool, ScheduledRecurrence_NoEnd, true, nullptr)                                                 \
    X(Bool, ScheduledRecurrence_EndBy, false, nullptr)                                                \
    X(DateTime, ScheduledRecurrence_EndTime, 0, &Now)                                                 \
    /* browser integration and start-up */                                                            \
    X(Bool, EnableBrowserIntegration, true, nullptr)                                                  \
    X(Bool, IntegrateWithInternetExplorer, true, nullptr)                                             \
    X(Bool, IntegrateWithNetscape, true, nullptr)                                                     \
    X(Bool, IntegrateWithOpera, true, nullptr)                                                        \
    X(String, Extensions, "exe arj rar lzh z gz gzip zip tar bin mp3 avi mpg mpeg qt plj asf mov wma " \
                          "wmv r0* r1* a0* a1* tif tiff ogg", nullptr)                                \
    /* the configuration dialog and the re-applied settings read it with false */                     \
    X(Bool, MonitorClipboard, true, nullptr)                                                          \
    X(Bool, LaunchOnStartup, false, nullptr)                                                          \
    X(Bool, ShowDisabledIcon, true, nullptr)                                                          \
    X(Bool, StartMinimized, false, nullptr)                                                           \
    X(Bool, MinimizeToTray, false, nullptr)                                                           \
    X(Bool, CheckForUpdates, true, nullptr)                                                           \
    X(Integer, LastCheckedForUpdate, 0, nullptr)    /* day number */                                  \
    /* appearance and language */                                                                     \
    X(String, CurrentLanguage, "English <default>", nullptr)                                          \
    X(String, TranslationFile, "", nullptr)                                                           \
    X(Bool, DrawProgressBars, true, nullptr)                                                          \
    X(Bool, GridLines, false, nullptr)                                                                \
    X(Integer, ColorTheme, 0, nullptr)              /* 0 Standard, 1 Corvane, 2 Custom */             \
    X(Integer, ChoosenCategory, 0, nullptr)                                                           \
    X(Bool, ShowCategories, true, nullptr)                                                            \
    /* 115 when the main window is made; showing the panel again reads it with 150 */                 \
    X(Integer, CategoriesPanelWidth, 115, nullptr)                                                    \
    X(Bool, ButtonsVisible, true, nullptr)                                                            \
    X(Bool, LargeButtons, true, nullptr)                                                              \
    /* colour themes: 0x00BBGGRR, or 0x80000000 + a system colour index */                            \
    X(Integer, Standard_Color_Background, int32_t(0x80000005u), nullptr)                              \
    X(Integer, Standard_Color_Downloading, 0x00FF0000, nullptr)                                       \
    X(Integer, Standard_Color_Paused, 0x00008080, nullptr)                                            \
    X(Integer, Standard_Color_Done, 0x00008000, nullptr)                                              \
    X(Integer, Standard_Color_Error, 0x000000FF, nullptr)                                             \
    X(Integer, Standard_Color_Other, 0x00000000, nullptr)                                             \
    X(Integer, Corvane_Color_Background, 0x00F0FBFF, nullptr)                                         \
    X(Integer, Corvane_Color_Downloading, 0x00800000, nullptr)                                        \
    X(Integer, Corvane_Color_Paused, int32_t(0x80000011u), nullptr)                                   \
    X(Integer, Corvane_Color_Done, 0x00008000, nullptr)                                               \
    X(Integer, Corvane_Color_Error, 0x00000080, nullptr)                                              \
    X(Integer, Corvane_Color_Other, 0x00000000, nullptr)                                              \
    X(Integer, Custom_Color_Background, int32_t(0x80000005u), nullptr)                                \
    X(Integer, Custom_Color_Downloading, 0x00FF0000, nullptr)                                         \
    X(Integer, Custom_Color_Paused, 0x00008080, nullptr)                                              \
    X(Integer, Custom_Color_Done, 0x00008000, nullptr)                                                \
    X(Integer, Custom_Color_Error, 0x000000FF, nullptr)                                               \
    X(Integer, Custom_Color_Other, 0x00000000, nullptr)                                               \
    /* download list columns, in creation order */                                                    \
    X(Integer, VDT_Downloads_ColWidth_FileName, 100, nullptr)                                         \
    X(Bool, VDT_Downloads_ColVisible_FileName, true, nullptr)                                         \
    X(Integer, VDT_Downloads_ColPos_FileName, 0, nullptr)                                             \
    X(Integer, VDT_Downloads_ColWidth_Status, 60, nullptr)                                            \
    X(Bool, VDT_Downloads_ColVisible_Status, true, nullptr)                                           \
    X(Integer, VDT_Downloads_ColPos_Status, 1, nullptr)                                               \
    X(Integer, VDT_Downloads_ColWidth_Completed, 65, nullptr)                                         \
    X(Bool, VDT_Downloads_ColVisible_Completed, true, nullptr)                                        \
    X(Integer, VDT_Downloads_ColPos_Completed, 2, nullptr)                                            \
    X(Integer, VDT_Downloads_ColWidth_Total, 60, nullptr)                                             \
    X(Bool, VDT_Downloads_ColVisible_Total, true, nullptr)                                            \
    X(Integer, VDT_Downloads_ColPos_Total, 3, nullptr)                                                \
    X(Integer, VDT_Downloads_ColWidth_TimeLeft, 60, nullptr)                                          \
    X(Bool, VDT_Downloads_ColVisible_TimeLeft, true, nullptr)                                         \
    X(Integer, VDT_Downloads_ColPos_TimeLeft, 4, nullptr)                                             \
    X(Integer, VDT_Downloads_ColWidth_kbps, 50, nullptr)                                              \
    X(Bool, VDT_Downloads_ColVisible_kbps, true, nullptr)                                             \
    X(Integer, VDT_Downloads_ColPos_kbps, 5, nullptr)                                                 \
    X(Integer, VDT_Downloads_ColWidth_TimeAdded, 105, nullptr)                                        \
    X(Bool, VDT_Downloads_ColVisible_TimeAdded, false, nullptr)                                       \
    X(Integer, VDT_Downloads_ColPos_TimeAdded, 7, nullptr)                                            \
    X(Integer, VDT_Downloads_ColWidth_SavePath, 80, nullptr)                                          \
    X(Bool, VDT_Downloads_ColVisible_SavePath, true, nullptr)                                         \
    X(Integer, VDT_Downloads_ColPos_SavePath, 6, nullptr)                                             \
    X(Integer, VDT_Downloads_ColWidth_Description, 70, nullptr)                                       \
    X(Bool, VDT_Downloads_ColVisible_Description, false, nullptr)                                     \
    X(Integer, VDT_Downloads_ColPos_Description, 8, nullptr)                                          \
    X(Integer, VDT_Downloads_SortByColumn, 0, nullptr)                                                \
    X(Bool, VDT_Downloads_SortDirectionAscending, true, nullptr)                                      \
    /* window sizes */                                                                                \
    X(Integer, ConfigurationFormWidth, 500, nullptr)                                                  \
    X(Integer, ConfigurationFormHeight, 400, nullptr)                                                 \
    X(Integer, Options_SectionsListWidth, 100, nullptr)                                               \
    X(Integer, Options_SelectedItem, 0, nullptr)                                                      \
    X(Integer, PropertiesFormWidth, 400, nullptr)                                                     \
    X(Integer, PropertiesFormHeight, 200, nullptr)                                                    \
    X(Integer, DownloadCompleteFormWidth, 320, nullptr)                                               \
    X(Integer, DownloadCompleteFormHeight, 170, nullptr)

namespace Setting {

#define CORVANE_DECLARE_OPTION(kind, name, value, compute) \
    inline constexpr kind##Setting name{"Options", #name, value, compute};
CORVANE_OPTIONS(CORVANE_DECLARE_OPTION)
#undef CORVANE_DECLARE_OPTION

// Software\Corvane itself: the program file the browser libraries start.
inline constexpr StringSetting ProgramPath{"", "Path", ""};
// Section IgnoreLinks: the number of ignored links stored as "1" ... count.
inline constexpr IntegerSetting IgnoreLinksCount{"IgnoreLinks", "count", 0};

// Window positions, in the section of each kind of window (PositionSection in
// records/WindowPosition.h): Read(Setting::PositionTop, section).
inline constexpr IntegerSetting PositionTop{nullptr, "Top", 0};
inline constexpr IntegerSetting PositionLeft{nullptr, "Left", 0};
inline constexpr IntegerSetting PositionHeight{nullptr, "Height", 480};
inline constexpr IntegerSetting PositionWidth{nullptr, "Width", 640};
inline constexpr BoolSetting PositionMaximized{nullptr, "Maximized", false};
inline constexpr BoolSetting PositionMinimized{nullptr, "Minimized", false};

enum TColorRole { crBackground, crDownloading, crPaused, crDone, crError, crOther };
constexpr int ColorThemeCount = 3;
// The colour of role in theme 0 (Standard), 1 (Corvane) or 2 (Custom); any other theme
// number reads as Standard.
const IntegerSetting& ThemeColor(int theme, TColorRole role);

struct TColumnSettings {
    const char* HeaderText;
    const IntegerSetting& Width;
    const BoolSetting& Visible;
    const IntegerSetting& Position;
};
constexpr int DownloadColumnCount = 9;
constexpr int MinimumColumnWidth = 20;
// Columns of the download list in creation order (0 = FileName ... 8 = Description).
const TColumnSettings& DownloadColumn(int index);

// 1 = Monday ... 7 = Sunday, as DayOfTheWeek counts.
const BoolSetting& ScheduledWeekly(int dayOfTheWeek);

using TAnySetting = std::variant<const BoolSetting*, const IntegerSetting*, const StringSetting*,
                                 const DateTimeSetting*>;
// Every setting above, for tools and tests that go through them all.
const std::vector<TAnySetting>& AllSettings();

}
