#include "platform/registry/Registry.h"

#include "tests/support/TempHome.h"

#include <chrono>
#include <cstdio>
#include <functional>

using HiveSpeedTest = TempHomeTest;

namespace {
constexpr const char* Options = "Software\\Corvane\\Options";
constexpr int Values = 150;

std::string Name(int i)
{
    return "Setting" + std::to_string(i % Values);
}

// Microseconds per call of read, which returns the value it found for name i.
double MicrosecondsPerRead(const char* what, const std::function<int64_t(int)>& read)
{
    constexpr int Reads = 20000;
    int64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Reads; ++i)
        sum += read(i);
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    int64_t expected = 0;
    for (int i = 0; i < Reads; ++i)
        expected += i % Values;
    EXPECT_EQ(sum, expected) << what;
    const double perRead = elapsed.count() / Reads;
    std::printf("hive read, %s: %.2f microseconds (%d reads)\n", what, perRead, Reads);
    return perRead;
}
}

// Prints what a read costs; the bound is loose so a loaded or sanitized build passes.
TEST_F(HiveSpeedTest, AValueReadCostsAFewMicroseconds)
{
    TRegistry setup;
    ASSERT_TRUE(setup.OpenKey(Options, true));
    for (int i = 0; i < Values; ++i)
        ASSERT_TRUE(setup.WriteInteger(Name(i), i));

    // What every settings read does.
    const double settingsRead = MicrosecondsPerRead("one value by key path", [](int i) {
        return TRegistry().ReadValueAt(Options, Name(i))->AsInteger().value_or(0);
    });
    const double openAndRead = MicrosecondsPerRead("open key, read value", [](int i) {
        TRegistry reg;
        return reg.OpenKeyReadOnly(Options) ? reg.ReadInteger(Name(i)).value_or(0) : 0;
    });
    RecordProperty("MicrosecondsPerSettingsRead", std::to_string(settingsRead));
    RecordProperty("MicrosecondsPerOpenAndRead", std::to_string(openAndRead));
    EXPECT_LT(settingsRead, 50.0);
    EXPECT_LT(openAndRead, 100.0);
}
