#include "app/CliText.h"

#include <gtest/gtest.h>

TEST(CliText, DropsControlCharactersAndEscapeSequences)
{
    struct Case { QString in, out; } cases[] = {
        {"plain text", "plain text"},
        {"tab\tkept", "tab\tkept"},
        {"line\r\nbreak", "linebreak"},
        {QString::fromUtf8("nul\0inside", 10), "nulinside"},
        {"bell\u0007 and del\u007f", "bell and del"},
        {"\u001b[31mred\u001b[0m", "red"},
        {"\u001b[2J\u001b[Hcleared", "cleared"},
        {"\u001b]0;evil title\u0007after", "after"},
        {"\u001b]8;;http://x\u001b\\link\u001b]8;;\u001b\\", "link"},
        {"\u009b31mc1 csi", "c1 csi"},
        {"\u001bcreset", "reset"},
        {"dangling\u001b", "dangling"},
        {"Grüße", "Grüße"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintableText(c.in), c.out) << c.in.toStdString();
}
