#include "engine/TransferSpeed.h"

#include "platform/base/Clock.h"
#include "platform/base/DateTime.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <vector>

namespace {
struct Step {
    qint64 AdvanceMs; // may be negative: the clock is set back
    qint64 Count;
};

struct SpeedCase {
    const char* Name;
    int Values; // NumberOfValuesToMeasureOn
    std::vector<Step> Steps;
    const char* Rate;
    qint64 BytesLeft;
    const char* TimeLeft;
    int StartMs = 12 * 3600 * 1000; // time of day of the first sample
};

void PrintTo(const SpeedCase& c, std::ostream* out)
{
    *out << c.Name;
}

constexpr qint64 GiB = 1024LL * 1024 * 1024;

const SpeedCase Cases[] = {
    {"one sample", 200, {{0, 4096}}, "N/A", 1000, "N/A"},
    {"constant count", 200, {{0, 500}, {100, 500}, {900, 500}}, "0.0", 1000, "N/A"},
    {"1024 bytes in a second", 200, {{0, 0}, {1000, 1024}}, "1.0", 2048, "00:00:02"},
    {"half a second rounds down to even", 200, {{0, 0}, {1000, 1024}}, "1.0", 2560, "00:00:02"},
    {"half a second rounds up to even", 200, {{0, 0}, {1000, 1024}}, "1.0", 3584, "00:00:04"},
    {"nothing left", 200, {{0, 0}, {1000, 1024}}, "1.0", 0, "N/A"},
    {"less than nothing left", 200, {{0, 0}, {1000, 1024}}, "1.0", -5, "N/A"},
    {"one decimal", 200, {{0, 0}, {1000, 1264128}}, "1234.5", 1264128 * 60, "00:01:00"},
    // 5 values keep 3 samples: the rate is over the last 200 ms only (over all 400 it would be 50.0).
    {"window of the newest samples", 5, {{0, 0}, {100, 0}, {100, 0}, {100, 10240}, {100, 20480}}, "100.0",
     102400, "00:00:01"},
    {"same millisecond keeps the rate", 200, {{0, 0}, {0, 100}}, "N/A", 1000, "N/A"},
    {"same millisecond after a rate", 4, {{0, 0}, {1000, 1024}, {0, 2048}}, "1.0", 1000, "N/A"},
    {"across midnight", 200, {{0, 0}, {1000, 2048}}, "2.0", 4096, "00:00:02", 86'400'000 - 500},
    {"beyond 4 GiB", 200, {{0, 5 * GiB}, {1000, 5 * GiB + 1024 * 1024}}, "1024.0", 10 * GiB, "02:50:40"},
    {"clock set back starts afresh", 200, {{0, 0}, {1000, 1024}, {-3'600'000, 2048}}, "N/A", 1000, "N/A"},
    {"clock set back measures again", 200, {{0, 0}, {1000, 1024}, {-3'600'000, 2048}, {1000, 4096}}, "2.0", 4096,
     "00:00:02"},
    {"count gone back starts afresh", 200, {{0, 5000}, {1000, 6024}, {1000, 0}, {1000, 1024}}, "1.0", 1024,
     "00:00:01"},
};

class TransferSpeedTest : public testing::TestWithParam<SpeedCase> {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override
    {
        TestClock::Release();
        QLocale::setDefault(QLocale::c());
    }
    static void SetClock(int msOfDay) { TestClock::Set(EncodeDate(2026, 3, 1) + msOfDay / double(MillisecondsPerDay)); }
    static void StepClock(qint64 ms)
    {
        if (ms >= 0)
            TestClock::Advance(uint32_t(ms));
        else
            TestClock::Set(Now() + ms / double(MillisecondsPerDay));
    }
};
}

TEST_P(TransferSpeedTest, RateAndTimeLeft)
{
    const SpeedCase& c = GetParam();
    SetClock(c.StartMs);
    TTransferSpeed speed(c.Values);
    EXPECT_EQ(speed.TransferRate, "N/A");
    for (const Step& step : c.Steps) {
        StepClock(step.AdvanceMs);
        speed.Update(step.Count);
    }
    EXPECT_EQ(speed.TransferRate, c.Rate);
    EXPECT_EQ(speed.TimeLeft(c.BytesLeft), c.TimeLeft);
    EXPECT_LE(speed.SampleCount(), std::max(c.Values - 2, 1));
}

INSTANTIATE_TEST_SUITE_P(Speed, TransferSpeedTest, testing::ValuesIn(Cases), [](const auto& info) {
    std::string name = info.param.Name;
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST_F(TransferSpeedTest, WindowNeverHoldsMoreThanTwoFewerThanItsValues)
{
    SetClock(0);
    TTransferSpeed speed(200);
    for (int i = 0; i < 1000; ++i) {
        TestClock::Advance(100);
        speed.Update(qint64(i) * 1024);
        ASSERT_LE(speed.SampleCount(), 198);
    }
    EXPECT_EQ(speed.SampleCount(), 198);
    EXPECT_EQ(speed.TransferRate, "10.0");
}

TEST_F(TransferSpeedTest, RateInTheUsersLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetClock(0);
    TTransferSpeed speed(200);
    speed.Update(0);
    TestClock::Advance(1000);
    speed.Update(1264128);
    EXPECT_EQ(speed.TransferRate, "1234,5") << "decimal comma, no group separator";
}
