#include "platform/ini/IniContent.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(IniContent, NamesAreFoundWhateverBlanksSurroundThem)
{
    TIniContent content("[Options]\r\nStatus=Paused\r\n");
    EXPECT_EQ(content.ReadString(" options\t", " status ", "-"), "Paused");

    // A section written with blanks around its name is the same section when read
    // and when written again, not a new one on every write.
    ASSERT_TRUE(content.WriteStrings(" New ", {{"Key", "one"}}));
    ASSERT_TRUE(content.WriteStrings(" New ", {{"Key", "two"}}));
    EXPECT_EQ(content.ReadString(" New ", "Key", "-"), "two");
    EXPECT_EQ(content.ReadString("new", "key", "-"), "two");
    EXPECT_EQ(content.Bytes(), "[Options]\r\nStatus=Paused\r\n[ New ]\r\nKey=two\r\n");
}

TEST(IniContent, LetterCaseOfNamesIsIgnoredAlsoBeyondAscii)
{
    const TIniContent content("[Ümlaut]\r\nKëy=umlaut\r\n[Plain]\r\nKey=plain\r\n");
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"ümlaut", "KËY", "umlaut"}, {"ÜMLAUT", "këy", "umlaut"}, {"PLAIN", "kEY", "plain"},
        {"Umlaut", "Key", "-"},      {"Plain", "Këy", "-"},       {"Plai", "Key", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " " + c.key);
        EXPECT_EQ(content.ReadString(QString::fromUtf8(c.section), QString::fromUtf8(c.key), "-"), c.value);
    }
}
