#include "platform/power/WinReboot.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
struct Recorder : TPowerControl {
    bool EndSession(TSessionEnd end, bool force) override
    {
        requests.emplace_back(end, force);
        return answer;
    }
    bool answer = true;
    std::vector<std::pair<TSessionEnd, bool>> requests;
};

// Puts a recorder in place of the real control for one test; never powers anything off.
class WinRebootTest : public testing::Test {
protected:
    void SetUp() override { previous = SetPowerControl(std::make_unique<Recorder>()); }
    void TearDown() override { SetPowerControl(std::move(previous)); }
    Recorder& recorder() { return static_cast<Recorder&>(PowerControl()); }
    std::unique_ptr<TPowerControl> previous;
};
}

TEST_F(WinRebootTest, FlagsChooseTheRequest)
{
    const std::tuple<unsigned, TSessionEnd, bool> cases[] = {
        {EWX_POWEROFF, TSessionEnd::PowerOff, false},
        {EWX_POWEROFF | EWX_FORCE, TSessionEnd::PowerOff, true},
        {EWX_SHUTDOWN, TSessionEnd::PowerOff, false},
        {EWX_REBOOT, TSessionEnd::Reboot, false},
        {EWX_LOGOFF | EWX_FORCE, TSessionEnd::LogOff, true},
    };
    for (const auto& [flags, end, force] : cases) {
        recorder().requests.clear();
        EXPECT_TRUE(TWinReboot::WinExit(flags));
        ASSERT_EQ(recorder().requests.size(), 1u);
        EXPECT_EQ(recorder().requests[0], std::make_pair(end, force)) << flags;
    }
    recorder().answer = false;
    EXPECT_FALSE(TWinReboot::WinExit(EWX_POWEROFF)) << "a refused request is reported";
    EXPECT_TRUE(TWinReboot::SetPrivilege("SeShutdownPrivilege", true));
}

TEST(SystemdPowerControl, CommandsForEachRequest)
{
    using Q = QStringList;
    EXPECT_EQ(TSystemdPowerControl::Command(TSessionEnd::PowerOff, false), (Q{"systemctl", "poweroff"}));
    EXPECT_EQ(TSystemdPowerControl::Command(TSessionEnd::PowerOff, true),
              (Q{"systemctl", "poweroff", "--ignore-inhibitors"}));
    EXPECT_EQ(TSystemdPowerControl::Command(TSessionEnd::Reboot, false), (Q{"systemctl", "reboot"}));
    qputenv("XDG_SESSION_ID", "7");
    EXPECT_EQ(TSystemdPowerControl::Command(TSessionEnd::LogOff, false), (Q{"loginctl", "terminate-session", "7"}));
    // Without a session of ours there is nothing to end, and nothing is run.
    qunsetenv("XDG_SESSION_ID");
    EXPECT_FALSE(TSystemdPowerControl().EndSession(TSessionEnd::LogOff, false));
}
