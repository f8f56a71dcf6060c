#include "platform/registry/Registry.h"

#include "tests/support/TempHome.h"

#include <chrono>
#include <cstdio>

using HiveSpeedTest = TempHomeTest;

// What one settings read does: open the section's key read-only, read one value, close.
// Prints the cost per read; the bound is loose so a loaded or sanitized build passes.
TEST_F(HiveSpeedTest, AValueReadCostsAFewMicroseconds)
{
    TRegistry setup;
    ASSERT_TRUE(setup.OpenKey("Software\\Corvane\\Options", true));
    for (int i = 0; i < 150; ++i)
        ASSERT_TRUE(setup.WriteInteger("Setting" + std::to_string(i), i));

    constexpr int Reads = 20000;
    int64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Reads; ++i) {
        TRegistry reg;
        if (reg.OpenKeyReadOnly("Software\\Corvane\\Options"))
            sum += reg.ReadInteger("Setting" + std::to_string(i % 150)).value_or(0);
    }
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    const double perRead = elapsed.count() / Reads;
    std::printf("hive read: %.2f microseconds per value (open key + read, %d reads)\n", perRead, Reads);
    RecordProperty("MicrosecondsPerRead", std::to_string(perRead));
    EXPECT_EQ(sum, int64_t(Reads / 150) * (149 * 150 / 2) + (Reads % 150) * (Reads % 150 - 1) / 2);
    EXPECT_LT(perRead, 50.0);
}
