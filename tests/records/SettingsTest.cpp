#include "records/Settings.h"

#include "platform/registry/Registry.h"
#include "records/QtDateTime.h"
#include "tests/support/TempHome.h"

#include <QFileInfo>
#include <map>

namespace {
// Every setting with its default as "type:value", written down from the settings table
// rather than from the code: b boolean, i integer, s string, d date-time; "*" marks a
// default that is computed (checked on its own below).
const std::map<QString, QString> Table = {
    {"Options/MaxSimultaneousDownloads", "i:3"}, {"Options/SplitParts", "i:4"},
    {"Options/SmallestSplitSize", "i:100"}, {"Options/TimeOutTime", "i:30000"},
    {"Options/MirrorTimeOutTime", "i:10000"}, {"Options/RetryDelay", "i:30"},
    {"Options/RetryTimes", "i:10"}, {"Options/TryLocalMirrorlist", "b:1"},
    {"Options/DefaultDownloadDirectory", "s:*"}, {"Options/PartialDownloadsDirectory", "s:*"},
    {"Options/DateFolders", "b:0"}, {"Options/Date1", "s:Month"}, {"Options/Date2", "s:Day"},
    {"Options/Date3", "s:Year"}, {"Options/DateDivider1", "s:-"}, {"Options/DateDivider2", "s:-"},
    {"Options/ShowSaveDialog", "b:1"}, {"Options/ShowDownloadWindow", "b:1"},
    {"Options/ShowCompletedDialog", "b:1"}, {"Options/ShowSystemTrayIcons", "b:0"},
    {"Options/RemoveSuccessfulDownloadFromList", "b:0"}, {"Options/RemoveUnexistingFilesFromList", "b:1"},
    {"Options/AutoCloseAfterDownloads", "b:0"}, {"Options/ShutDownComputerAfterDownloading", "b:0"},
    {"Options/DisconnectAfterDownload", "b:0"}, {"Options/AlwaysConnect", "b:1"},
    {"Options/ConnectUsingDialUp", "b:0"}, {"Options/AlwaysDownloadWhenConnected", "b:1"},
    {"Options/ModemConnectionEntry", "s:"}, {"Options/ConnectionType", "s:56.6k"},
    {"Options/ConnectionSpeed", "i:0"}, {"Options/UseHTTPProxy", "b:*"},
    {"Options/HTTPProxyAddress", "s:"}, {"Options/HTTPProxyPort", "s:"}, {"Options/HTTPProxyUser", "s:"},
    {"Options/HTTPProxyPass", "s:"}, {"Options/UseFTPProxy", "b:*"}, {"Options/FTPProxyAddress", "s:"},
    {"Options/FTPProxyPort", "s:"}, {"Options/PassiveMode", "b:0"}, {"Options/VirusChecking", "b:0"},
    {"Options/AntivirusExecutablePath", "s:"}, {"Options/AntivirusExecutableParameters", "s:"},
    {"Options/UseSchedule", "b:0"}, {"Options/ScheduledWeekly_Mon", "b:0"},
    {"Options/ScheduledWeekly_Tue", "b:0"}, {"Options/ScheduledWeekly_Wed", "b:0"},
    {"Options/ScheduledWeekly_Thu", "b:0"}, {"Options/ScheduledWeekly_Fri", "b:0"},
    {"Options/ScheduledWeekly_Sat", "b:0"}, {"Options/ScheduledWeekly_Sun", "b:0"},
    {"Options/StartTime", "d:*"}, {"Options/EndTime", "d:*"}, {"Options/ScheduledStartTime", "i:0"},
    {"Options/ScheduledEndTime", "i:0"}, {"Options/ScheduledRecurrence_StartTime", "d:*"},
    {"Options/ScheduledRecurrence_NoEnd", "b:1"}, {"Options/ScheduledRecurrence_EndBy", "b:0"},
    {"Options/ScheduledRecurrence_EndTime", "d:*"}, {"Options/EnableBrowserIntegration", "b:1"},
    {"Options/IntegrateWithInternetExplorer", "b:1"}, {"Options/IntegrateWithNetscape", "b:1"},
    {"Options/IntegrateWithOpera", "b:1"},
    {"Options/Extensions", "s:exe arj rar lzh z gz gzip zip tar bin mp3 avi mpg mpeg qt plj asf mov wma wmv "
                           "r0* r1* a0* a1* tif tiff ogg"},
    {"Options/MonitorClipboard", "b:1"}, {"Options/LaunchOnStartup", "b:0"}, {"Options/ShowDisabledIcon", "b:1"},
    {"Options/StartMinimized", "b:0"}, {"Options/MinimizeToTray", "b:0"}, {"Options/CheckForUpdates", "b:1"},
    {"Options/LastCheckedForUpdate", "i:0"}, {"Options/CurrentLanguage", "s:English <default>"},
    {"Options/TranslationFile", "s:"}, {"Options/DrawProgressBars", "b:1"}, {"Options/GridLines", "b:0"},
    {"Options/ColorTheme", "i:0"}, {"Options/ChoosenCategory", "i:0"}, {"Options/ShowCategories", "b:1"},
    {"Options/CategoriesPanelWidth", "i:115"}, {"Options/ButtonsVisible", "b:1"}, {"Options/LargeButtons", "b:1"},
    {"Options/Standard_Color_Background", "i:-2147483643"}, {"Options/Standard_Color_Downloading", "i:16711680"},
    {"Options/Standard_Color_Paused", "i:32896"}, {"Options/Standard_Color_Done", "i:32768"},
    {"Options/Standard_Color_Error", "i:255"}, {"Options/Standard_Color_Other", "i:0"},
    {"Options/Corvane_Color_Background", "i:15793151"}, {"Options/Corvane_Color_Downloading", "i:8388608"},
    {"Options/Corvane_Color_Paused", "i:-2147483631"}, {"Options/Corvane_Color_Done", "i:32768"},
    {"Options/Corvane_Color_Error", "i:128"}, {"Options/Corvane_Color_Other", "i:0"},
    {"Options/Custom_Color_Background", "i:-2147483643"}, {"Options/Custom_Color_Downloading", "i:16711680"},
    {"Options/Custom_Color_Paused", "i:32896"}, {"Options/Custom_Color_Done", "i:32768"},
    {"Options/Custom_Color_Error", "i:255"}, {"Options/Custom_Color_Other", "i:0"},
    {"Options/VDT_Downloads_ColWidth_FileName", "i:100"}, {"Options/VDT_Downloads_ColVisible_FileName", "b:1"},
    {"Options/VDT_Downloads_ColPos_FileName", "i:0"}, {"Options/VDT_Downloads_ColWidth_Status", "i:60"},
    {"Options/VDT_Downloads_ColVisible_Status", "b:1"}, {"Options/VDT_Downloads_ColPos_Status", "i:1"},
    {"Options/VDT_Downloads_ColWidth_Completed", "i:65"}, {"Options/VDT_Downloads_ColVisible_Completed", "b:1"},
    {"Options/VDT_Downloads_ColPos_Completed", "i:2"}, {"Options/VDT_Downloads_ColWidth_Total", "i:60"},
    {"Options/VDT_Downloads_ColVisible_Total", "b:1"}, {"Options/VDT_Downloads_ColPos_Total", "i:3"},
    {"Options/VDT_Downloads_ColWidth_TimeLeft", "i:60"}, {"Options/VDT_Downloads_ColVisible_TimeLeft", "b:1"},
    {"Options/VDT_Downloads_ColPos_TimeLeft", "i:4"}, {"Options/VDT_Downloads_ColWidth_kbps", "i:50"},
    {"Options/VDT_Downloads_ColVisible_kbps", "b:1"}, {"Options/VDT_Downloads_ColPos_kbps", "i:5"},
    {"Options/VDT_Downloads_ColWidth_TimeAdded", "i:105"}, {"Options/VDT_Downloads_ColVisible_TimeAdded", "b:0"},
    {"Options/VDT_Downloads_ColPos_TimeAdded", "i:7"}, {"Options/VDT_Downloads_ColWidth_SavePath", "i:80"},
    {"Options/VDT_Downloads_ColVisible_SavePath", "b:1"}, {"Options/VDT_Downloads_ColPos_SavePath", "i:6"},
    {"Options/VDT_Downloads_ColWidth_Description", "i:70"},
    {"Options/VDT_Downloads_ColVisible_Description", "b:0"}, {"Options/VDT_Downloads_ColPos_Description", "i:8"},
    {"Options/VDT_Downloads_SortByColumn", "i:0"}, {"Options/VDT_Downloads_SortDirectionAscending", "b:1"},
    {"Options/ConfigurationFormWidth", "i:500"}, {"Options/ConfigurationFormHeight", "i:400"},
    {"Options/Options_SectionsListWidth", "i:100"}, {"Options/Options_SelectedItem", "i:0"},
    {"Options/PropertiesFormWidth", "i:400"}, {"Options/PropertiesFormHeight", "i:200"},
    {"Options/DownloadCompleteFormWidth", "i:320"}, {"Options/DownloadCompleteFormHeight", "i:170"},
    {"/Path", "s:"}, {"IgnoreLinks/count", "i:0"},
    {"Form_Main Position/Top", "i:0"}, {"Form_Main Position/Left", "i:0"},
    {"Form_Main Position/Height", "i:480"}, {"Form_Main Position/Width", "i:640"},
    {"Form_Main Position/Maximized", "b:0"}, {"Form_Main Position/Minimized", "b:0"},
};

template <class T>
QString SectionFor(const TSetting<T>& setting)
{
    return setting.Section ? setting.SectionName() : QString("Form_Main Position");
}

// The setting's type letter and its current value as the table writes it.
struct TShown {
    QString Key;
    QString Text;
};

TShown Show(const Setting::TAnySetting& any)
{
    return std::visit(
        [](auto* setting) {
            using T = std::decay_t<decltype(setting->Default())>;
            const QString section = SectionFor(*setting);
            const QString key = section + "/" + setting->Name;
            const bool computed = setting->Compute != nullptr;
            const auto value = Read(*setting, section);
            if constexpr (std::is_same_v<T, bool>)
                return TShown{key, "b:" + (computed ? "*" : QString::number(value))};
            else if constexpr (std::is_same_v<T, int32_t>)
                return TShown{key, "i:" + QString::number(value)};
            else if constexpr (std::is_same_v<T, QString>)
                return TShown{key, "s:" + (computed ? "*" : value)};
            else
                return TShown{key, QString("d:*")};
        },
        any);
}

// Stores a value unlike the default for any setting; the same text again reads it back.
QString WriteUnusual(const Setting::TAnySetting& any, int n)
{
    return std::visit(
        [n](auto* setting) -> QString {
            using T = std::decay_t<decltype(setting->Default())>;
            const QString section = SectionFor(*setting);
            if constexpr (std::is_same_v<T, bool>) {
                const bool value = !setting->Default();
                EXPECT_TRUE(Write(*setting, section, value));
                return QString::number(value);
            } else if constexpr (std::is_same_v<T, int32_t>) {
                EXPECT_TRUE(Write(*setting, section, 7000 + n));
                return QString::number(7000 + n);
            } else if constexpr (std::is_same_v<T, QString>) {
                EXPECT_TRUE(Write(*setting, section, QString("stored %1").arg(n)));
                return QString("stored %1").arg(n);
            } else {
                EXPECT_TRUE(Write(*setting, section, 40000.5 + n));
                return QString::number(40000.5 + n);
            }
        },
        any);
}

QString ReadBack(const Setting::TAnySetting& any)
{
    return std::visit(
        [](auto* setting) {
            const auto value = Read(*setting, SectionFor(*setting));
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, QString>)
                return value;
            else
                return QString::number(value);
        },
        any);
}
}

using SettingsTest = TempHomeTest;

TEST_F(SettingsTest, AFreshUserReadsEveryDefaultOfTheTable)
{
    std::map<QString, QString> seen;
    for (const Setting::TAnySetting& setting : Setting::AllSettings()) {
        const TShown shown = Show(setting);
        EXPECT_TRUE(seen.emplace(shown.Key, shown.Text).second) << "twice: " << shown.Key.toStdString();
    }
    for (const auto& [key, text] : Table)
        EXPECT_EQ(seen.count(key) ? seen[key] : QString("missing"), text) << key.toStdString();
    for (const auto& [key, text] : seen)
        EXPECT_TRUE(Table.count(key)) << "not in the table: " << key.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("registry.db"))) << "reading created the hive";
}

TEST_F(SettingsTest, EverySettingReadsBackWhatWasWrittenWithItsType)
{
    const auto& all = Setting::AllSettings();
    std::vector<QString> written;
    for (size_t i = 0; i < all.size(); ++i)
        written.push_back(WriteUnusual(all[i], int(i)));
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(ReadBack(all[i]), written[i]) << Show(all[i]).Key.toStdString();

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Corvane\\Options"));
    EXPECT_EQ(reg.GetDataType("ShowSaveDialog"), REG_DWORD);
    EXPECT_EQ(reg.GetDataType("SplitParts"), REG_DWORD);
    EXPECT_EQ(reg.GetDataType("HTTPProxyPort"), REG_SZ);
    EXPECT_EQ(reg.GetDataType("StartTime"), REG_BINARY);
}

TEST_F(SettingsTest, ComputedDefaultsFollowTheMachine)
{
    TestClock::Set(46000.75);
    EXPECT_EQ(Read(Setting::StartTime), 46000.75);
    EXPECT_EQ(Read(Setting::ScheduledRecurrence_EndTime), 46000.75);
    TestClock::Advance(60'000);
    EXPECT_NEAR(Read(Setting::EndTime), 46000.75 + 1.0 / 1440, 1e-9);

    EXPECT_FALSE(Read(Setting::UseHTTPProxy));
    setenv("http_proxy", "http://proxy.example:3128", 1);
    EXPECT_TRUE(Read(Setting::UseHTTPProxy));
    EXPECT_TRUE(Read(Setting::UseFTPProxy));
    EXPECT_EQ(ReadProxySettings(), "http=proxy.example:3128");
    ASSERT_TRUE(Write(Setting::UseHTTPProxy, false));
    EXPECT_FALSE(Read(Setting::UseHTTPProxy)) << "a stored choice wins over the desktop's";
    unsetenv("http_proxy");

    EXPECT_EQ(Read(Setting::PartialDownloadsDirectory), Home() + "/Partial Downloads");
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CONFIG_HOME", Path("config").toLocal8Bit());
    EXPECT_EQ(Read(Setting::DefaultDownloadDirectory), "/home/someone/Downloads");
    qputenv("HOME", home);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
}

TEST_F(SettingsTest, ReadsAreNeverCached)
{
    EXPECT_EQ(Read(Setting::SplitParts), 4);
    ASSERT_TRUE(WriteInteger("options", "SPLITPARTS", 8));
    EXPECT_EQ(Read(Setting::SplitParts), 8);
    ASSERT_TRUE(TRegistry().DeleteKey("Software\\Corvane\\Options"));
    EXPECT_EQ(Read(Setting::SplitParts), 4);
}

TEST_F(SettingsTest, StringsKeepTheirCharactersAndEmptyReadsAsDefault)
{
    ASSERT_TRUE(Write(Setting::DefaultDownloadDirectory, QString::fromUtf8("/home/ünï/下载")));
    EXPECT_EQ(Read(Setting::DefaultDownloadDirectory), QString::fromUtf8("/home/ünï/下载"));
    ASSERT_TRUE(Write(Setting::Date1, ""));
    EXPECT_EQ(Read(Setting::Date1), "Month");
    EXPECT_EQ(ReadString("Options", "Date1", "x"), "x");
}

TEST_F(SettingsTest, GroupsOfTheTableReachTheirSettings)
{
    EXPECT_EQ(&Setting::ThemeColor(1, Setting::crPaused), &Setting::Corvane_Color_Paused);
    EXPECT_EQ(&Setting::ThemeColor(2, Setting::crBackground), &Setting::Custom_Color_Background);
    EXPECT_EQ(&Setting::ThemeColor(7, Setting::crError), &Setting::Standard_Color_Error);
    EXPECT_EQ(&Setting::DownloadColumn(6).Visible, &Setting::VDT_Downloads_ColVisible_TimeAdded);
    EXPECT_STREQ(Setting::DownloadColumn(5).HeaderText, "kB/s");
    EXPECT_EQ(&Setting::ScheduledWeekly(1), &Setting::ScheduledWeekly_Mon);
    EXPECT_EQ(&Setting::ScheduledWeekly(7), &Setting::ScheduledWeekly_Sun);
}

TEST(QtDateTime, ConvertsBothWaysInLocalTime)
{
    const QDateTime moment(QDate(2026, 12, 10), QTime(15, 30, 45, 250), Qt::LocalTime);
    const TDateTime value = FromQDateTime(moment);
    EXPECT_NEAR(value, 46366 + (15 * 3600 + 30 * 60 + 45.25) / 86400, 1e-9);
    EXPECT_EQ(ToQDateTime(value), moment);
    EXPECT_EQ(ToQDate(value), QDate(2026, 12, 10));
    EXPECT_EQ(ToQTime(value), QTime(15, 30, 45, 250));
    EXPECT_EQ(FromQDate(QDate(1899, 12, 30)), 0);
    EXPECT_DOUBLE_EQ(FromQTime(QTime(6, 0)), 0.25);
    EXPECT_EQ(ToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::LocalTime));
    for (const double bad : {std::nan(""), 1e300, -1e7, 2958466.0})
        EXPECT_FALSE(ToQDateTime(bad).isValid()) << bad;
    EXPECT_EQ(FromQDateTime(QDateTime()), 0);
}
