#include "platform/base/Guard.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <stdexcept>

TEST(Guard, CatchesAndCarriesOn)
{
    int result = 1;
    Guarded("function Test: integer", [&] {
        result = 2;
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(result, 2) << "the result holds what it held when the failure came";
    Guarded("procedure Test", [] { throw 42; });
}

TEST(Guard, LogErrorIsSilentUnlessDebugging)
{
    unsetenv("CORVANE_DEBUG");
    testing::internal::CaptureStderr();
    LogError("procedure Quiet");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    setenv("CORVANE_DEBUG", "1", 1);
    testing::internal::CaptureStderr();
    Guarded("procedure TDownloader.CreateParts", [] { throw std::runtime_error("disk full"); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "corvane: error in procedure TDownloader.CreateParts: disk full\n");
    unsetenv("CORVANE_DEBUG");
}
