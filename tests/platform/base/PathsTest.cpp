#include "platform/base/Paths.h"

#include <gtest/gtest.h>
#include <cstdlib>

TEST(Paths, CorvaneHomeHoldsEverything)
{
    setenv("CORVANE_HOME", "/tmp/ch", 1);
    EXPECT_EQ(DataFolder(), "/tmp/ch/");
    EXPECT_EQ(HivePath(), "/tmp/ch/registry.db");
    EXPECT_EQ(RuntimeFolder(), "/tmp/ch/");
}

TEST(Paths, XdgFoldersWithoutCorvaneHome)
{
    unsetenv("CORVANE_HOME");
    setenv("HOME", "/home/u", 1);
    setenv("XDG_DATA_HOME", "/d", 1);
    setenv("XDG_CONFIG_HOME", "/c", 1);
    setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
    EXPECT_EQ(DataFolder(), "/d/corvane/");
    EXPECT_EQ(HivePath(), "/c/corvane/registry.db");
    EXPECT_EQ(RuntimeFolder(), "/run/user/7/corvane/");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DataFolder(), "/home/u/.local/share/corvane/");
    EXPECT_EQ(HivePath(), "/home/u/.config/corvane/registry.db");
    EXPECT_EQ(RuntimeFolder(), "/home/u/.local/share/corvane/");
    EXPECT_EQ(DefaultDownloadFolder(), "/home/u/Downloads/");
}

TEST(Paths, JoinsWithOneSeparator)
{
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(WithTrailingSeparator("/x"), "/x/");
    EXPECT_EQ(WithTrailingSeparator("/x/"), "/x/");
}

TEST(Paths, MakeFoldersFailsThroughARegularFile)
{
    char dir[] = "/tmp/corvane-paths-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/file";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_FALSE(MakeFolders(file + "/sub"));
    EXPECT_TRUE(MakeFolders(std::string(dir) + "/a/b/c"));
    EXPECT_FALSE(ExecutableFolder().empty());
}
