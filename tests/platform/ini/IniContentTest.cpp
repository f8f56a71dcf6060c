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
