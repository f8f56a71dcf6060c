#include "app/GetOutput.h"
#include "app/ProgressLine.h"

#include <gtest/gtest.h>

TEST(ProgressLine, FitsTheWidthAndShortensTheNameFromTheMiddle)
{
    TProgressFigures running {.Name = "a-rather-long-file-name-of-a-download.iso", .Done = 5'000, .Size = 10'000,
                              .Speed = "1.20 MB/s", .TimeLeft = "00:01:02", .Parts = 4, .ReceivingParts = 3};
    TProgressFigures connecting {.Name = "short.zip", .Status = "Contacting host"};
    TProgressFigures unknownSize {.Name = "s.bin", .Done = 2048, .Size = -1, .Speed = "N/A", .TimeLeft = "N/A",
                                  .Parts = 1, .ReceivingParts = 1};
    struct Case { TProgressFigures figures; int width; QString line; } cases[] = {
        {running, 120, "a-rather-long-file-name-of-a-download.iso   50.0%     1.20 MB/s  00:01:02 left  3/4 parts"},
        {running, 60, "a-rather-lo~ownload.iso   50.0%     1.20 MB/s  00:01:02 left"},
        {running, 40, "a-rather~nload.iso   50.0%     1.20 MB/s"},
        {running, 10, "a-~so   50"},
        {connecting, 40, "short.zip  Contacting host"},
        {unknownSize, 80, "s.bin    2 kB           N/A  N/A left  1 parts"},
    };
    for (const Case& c : cases) {
        const QString line = ProgressLine(c.figures, c.width);
        EXPECT_EQ(line, c.line) << c.width;
        EXPECT_LE(line.size(), c.width);
    }
}

TEST(ProgressLine, ShowsHundredPercentOnlyWhenEverythingIsThere)
{
    TProgressFigures almost {.Name = "f", .Done = 9'999, .Size = 10'000, .Parts = 1, .ReceivingParts = 1};
    EXPECT_TRUE(ProgressLine(almost, 80).contains(" 99.9%"));
    almost.Done = 10'000;
    EXPECT_TRUE(ProgressLine(almost, 80).contains("100.0%"));
}

TEST(TerminalFrame, MovesBackOverTheBlockKeepsLastingLinesAndClearsBelow)
{
    EXPECT_EQ(TerminalFrame(0, {}, {"a 1%"}), "\r" "a 1%\x1b[K\x1b[J");
    EXPECT_EQ(TerminalFrame(1, {}, {"a 2%", "b 1%"}), "\r" "a 2%\x1b[K\nb 1%\x1b[K\x1b[J");
    EXPECT_EQ(TerminalFrame(3, {"a: Done"}, {"b 5%"}), "\r\x1b[2A" "a: Done\x1b[K\nb 5%\x1b[K\x1b[J");
    EXPECT_EQ(TerminalFrame(2, {}, {}), "\r\x1b[1A\x1b[J");
    EXPECT_EQ(TerminalFrame(0, {"evil\x1b]0;title\x07 name\r\n"}, {}), "\revil name\x1b[K\n\x1b[J")
        << "what a server or URL carries cannot move the cursor";
}
