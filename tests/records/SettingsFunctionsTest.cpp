#include "records/SettingsFunctions.h"

#include "platform/base/DateTime.h"
#include "records/Settings.h"
#include "tests/support/TempHome.h"

using SettingsFunctionsTest = TempHomeTest;

TEST_F(SettingsFunctionsTest, ValidExtensionMatchesTheExtensionsMasks)
{
    EXPECT_TRUE(ValidExtension("zip")) << "the default list";
    EXPECT_TRUE(ValidExtension("r01"));
    EXPECT_FALSE(ValidExtension("html"));

    ASSERT_TRUE(Write(Setting::Extensions, "  ZIP   exe "));
    for (const char* ext : {"ZIP", "zip", "Exe"})
        EXPECT_TRUE(ValidExtension(ext)) << ext;
    for (const char* ext : {"zipx", "", "gz"})
        EXPECT_FALSE(ValidExtension(ext)) << ext;

    ASSERT_TRUE(Write(Setting::Extensions, "z*"));
    EXPECT_TRUE(ValidExtension("zipx"));
}

TEST_F(SettingsFunctionsTest, DateFolderNameFollowsTheDateSettings)
{
    TestClock::Set(EncodeDateTime({2026, 12, 10, 15, 30}));
    EXPECT_EQ(GetDateFolderName(), "12-10-2026");

    const struct {
        const char *date1, *date2, *date3, *divider1, *divider2, *name;
    } cases[] = {
        {"Year", "Month", "Day", "-", "-", "2026-12-10"},
        {"Day", "Month", "Year", ".", ".", "10.12.2026"},
        {"Year", "Month", "Day", "none", "none", "20261210"},
        {"Year", "Week", "Day", "_", "_", "2026__10"},   // an unknown part adds nothing
        {"year", "Month", "Day", "-", "-", "-12-10"},    // names are compared exactly
        {"Year", "Month", "Day", "", "", "2026-12-10"},  // an empty divider reads as "-"
    };
    for (const auto& c : cases) {
        Write(Setting::Date1, c.date1);
        Write(Setting::Date2, c.date2);
        Write(Setting::Date3, c.date3);
        Write(Setting::DateDivider1, c.divider1);
        Write(Setting::DateDivider2, c.divider2);
        EXPECT_EQ(GetDateFolderName(), c.name);
    }

    TestClock::Set(EncodeDateTime({987, 3, 4}));
    EXPECT_EQ(GetDateFolderName(), "0987-03-04");
}
