#include "records/core/FileMask.h"

#include <gtest/gtest.h>

TEST(FileMask, WildcardsAndCase)
{
    const struct { const char* text; const char* mask; bool matches; } cases[] = {
        {"zip", "zip", true},
        {"ZIP", "zip", true},
        {"zip", "ZiP", true},
        {"zipx", "zip", false},
        {"zi", "zip", false},
        {"zipx", "z*", true},
        {"z", "z*", true},
        {"r01", "r0*", true},
        {"r1", "r0*", false},
        {"tar", "t?r", true},
        {"tr", "t?r", false},
        {"", "*", true},
        {"", "?", false},
        {"", "", true},
        {"a", "", false},
        {"mpeg", "*e*g", true},
        {"abcabd", "*abd", true},    // the first "ab" is a false start
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*ac", false},  // no exponential backtracking
        {"año", "a?o", true},        // "?" is one character, not one byte
        {"ÄX", "äx", false},         // only ASCII letters fold
        {"a\xff" "b", "a?b", true},  // a stray byte is one character too
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches) << c.text << " / " << c.mask;
}

TEST(FileMask, AnyMaskOfABlankSeparatedList)
{
    EXPECT_TRUE(MatchesAnyMask("gz", "exe  gz"));
    EXPECT_TRUE(MatchesAnyMask("A01", "r0* a0*"));
    EXPECT_FALSE(MatchesAnyMask("7z", "exe zip"));
    EXPECT_FALSE(MatchesAnyMask("", "exe  zip ")) << "empty entries match nothing";
    EXPECT_FALSE(MatchesAnyMask("zip", ""));
}
