#include "records/Category.h"
#include "records/CategoryList.h"
#include "records/Settings.h"

#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
// The Part's example: Music with two extensions and a folder, below it Live with
// neither.
const QString MusicLine = QStringLiteral("Music\tmp3 wma\tYes\t/data/Music/\tYes");
const QString LiveLine = QStringLiteral("\tLive\t\tNo\t\tYes");

class CategoryTest : public TempHomeTest {};
}

TEST_F(CategoryTest, NewCategoriesTakeTheirFlagsFromTheSettings)
{
    TCategory standard;
    EXPECT_FALSE(standard.AutoSave());
    EXPECT_TRUE(standard.ShowCompleteDialog());
    ASSERT_TRUE(Write(Setting::ShowSaveDialog, false));
    ASSERT_TRUE(Write(Setting::ShowCompletedDialog, false));
    TCategory changed;
    EXPECT_TRUE(changed.AutoSave());
    EXPECT_FALSE(changed.ShowCompleteDialog());
}

TEST(Category, ExtensionsAreTheWordsBetweenBlanks)
{
    TCategory category(false, true);
    const struct {
        const char* Text;
        QStringList Entries;
    } cases[] = {
        {"  zip   rar ", {"zip", "rar"}}, {"zip", {"zip"}}, {"", {}}, {"   ", {}},
        {"Mp3 r0* tar.gz", {"Mp3", "r0*", "tar.gz"}}, {"a\tb", {"a", "b"}},
    };
    for (const auto& c : cases) {
        category.SetExtensions(QString::fromLatin1(c.Text));
        EXPECT_EQ(category.Extensions(), c.Entries) << '"' << c.Text << '"';
    }
}

TEST(Category, BelongsByTheLastExtensionIgnoringCase)
{
    TCategory category(false, true);
    category.SetExtensions("exe gz r0*");
    const struct {
        const char* FileName;
        bool Belongs;
    } cases[] = {
        {"setup.EXE", true}, {"/home/u/a.tar.gz", true}, {"a.gz ", true}, {"a.tar", false}, {"noextension", false},
        {"a.r01", false}, {"a.r0*", true}, {"/dir.exe/readme", false}, {"exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(category.BelongsToCategory(QString::fromLatin1(c.FileName)), c.Belongs) << c.FileName;
    category.SetExtensions("tar.gz");
    EXPECT_FALSE(category.BelongsToCategory("a.tar.gz")) << "only the text after the last dot counts";
}

TEST(Category, SettersAndTheLineOfCatDat)
{
    TCategory music(true, true);
    music.SetName("Music");
    music.SetExtensions("mp3 wma");
    music.SetSaveFolder("/data/Music");
    EXPECT_EQ(music.SaveFolder(), "/data/Music/");
    EXPECT_EQ(music.toString(), MusicLine);

    TCategory live(false, true);
    live.SetName("Live");
    live.SetSaveFolder("");
    EXPECT_EQ(live.SaveFolder(), "") << "no separator for an empty folder";
    EXPECT_EQ(live.toString(), LiveLine.mid(1));

    TCategory hostile(false, false);
    hostile.SetName("a\tb\r\nc");
    hostile.SetSaveFolder("/x\ty/");
    EXPECT_EQ(hostile.toString(), "a b  c\t\tNo\t/x y/\tNo") << "one line, five fields";
}

TEST_F(CategoryTest, LinesReadBackWithFiveOrFourFields)
{
    TCategory music(false, false);
    ReadCategoryLine(MusicLine, music);
    EXPECT_EQ(music.Name(), "Music");
    EXPECT_EQ(music.Extensions(), QStringList({"mp3", "wma"}));
    EXPECT_TRUE(music.AutoSave());
    EXPECT_EQ(music.SaveFolder(), "/data/Music/");
    EXPECT_TRUE(music.ShowCompleteDialog());

    TCategory live(true, false);
    ReadCategoryLine(LiveLine, live);
    EXPECT_EQ(live.Name(), "Live");
    EXPECT_TRUE(live.Extensions().isEmpty());
    EXPECT_FALSE(live.AutoSave());
    EXPECT_EQ(live.SaveFolder(), "");

    ASSERT_TRUE(Write(Setting::ShowCompletedDialog, false));
    const auto older = ParseCategories("Old\tzip\tNo\t/data/old", false, Read(Setting::ShowCompletedDialog));
    ASSERT_EQ(older.size(), 1u);
    EXPECT_EQ(older[0]->SaveFolder(), "/data/old/");
    EXPECT_FALSE(older[0]->ShowCompleteDialog()) << "a four-field line keeps the setting's default";
}

TEST(Category, MalformedLinesGiveEmptyFieldsAndNamelessLinesNoCategory)
{
    const auto categories = ParseCategories("OnlyName\r\n\r\n\t\t\r\nTwo\tzip\r\n\tDeep\tx\tYes\t/f/\tNo\textra\r\n",
                                            false, true);
    ASSERT_EQ(categories.size(), 3u);
    EXPECT_EQ(categories[0]->Name(), "OnlyName");
    EXPECT_TRUE(categories[0]->Extensions().isEmpty());
    EXPECT_EQ(categories[1]->Name(), "Two");
    EXPECT_EQ(categories[1]->Extensions(), QStringList{"zip"});
    EXPECT_FALSE(categories[1]->AutoSave());
    EXPECT_FALSE(categories[2]->ShowCompleteDialog()) << "\"No\\textra\" is not \"Yes\"";
}
