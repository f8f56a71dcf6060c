#include "platform/registry/Registry.h"

#include "tests/support/TempHome.h"

#include <QFileInfo>

using RegistryTest = TempHomeTest;
using Names = std::vector<std::string>;

TEST_F(RegistryTest, OpenKeyCreatesMissingParentsOnlyWhenAsked)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Corvane\\Options", false));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Corvane\\Options"));
    EXPECT_FALSE(QFileInfo::exists(Path("registry.db"))) << "reading creates no hive";

    ASSERT_TRUE(reg.OpenKey("Software\\Corvane\\Options", true));
    EXPECT_TRUE(reg.KeyExists("Software"));
    EXPECT_TRUE(reg.KeyExists("Software\\Corvane"));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Corvane\\Options");
    EXPECT_TRUE(QFileInfo::exists(Path("registry.db")));
}

TEST_F(RegistryTest, TypedValuesRoundTripAndRefuseOtherTypes)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Corvane", true));
    const std::string binary("\x00\x01\xff\x00", 4);
    ASSERT_TRUE(reg.WriteString("sz", "Grüße"));
    ASSERT_TRUE(reg.WriteExpandString("expand", "%HOME%/x"));
    ASSERT_TRUE(reg.WriteDword("dword", 0xFFFFFFFFu));
    ASSERT_TRUE(reg.WriteBinaryData("binary", binary));
    ASSERT_TRUE(reg.WriteBinaryData("empty", ""));

    EXPECT_EQ(reg.ReadString("sz"), "Grüße");
    EXPECT_EQ(reg.ReadString("expand"), "%HOME%/x") << "read unexpanded";
    EXPECT_EQ(reg.ReadDword("dword"), 0xFFFFFFFFu);
    EXPECT_EQ(reg.ReadInteger("dword"), -1);
    EXPECT_EQ(reg.ReadBinaryData("binary"), binary);
    EXPECT_EQ(reg.ReadBinaryData("empty"), "");

    const struct { const char* name; TRegDataType type; } types[] = {
        {"sz", REG_SZ}, {"expand", REG_EXPAND_SZ}, {"dword", REG_DWORD},
        {"binary", REG_BINARY}, {"missing", REG_NONE}};
    for (const auto& row : types) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(reg.GetDataType(row.name), row.type);
        EXPECT_EQ(reg.ValueExists(row.name), row.type != REG_NONE);
        EXPECT_EQ(reg.ReadString(row.name).has_value(), row.type == REG_SZ || row.type == REG_EXPAND_SZ);
        EXPECT_EQ(reg.ReadDword(row.name).has_value(), row.type == REG_DWORD);
        EXPECT_EQ(reg.ReadBinaryData(row.name).has_value(), row.type == REG_BINARY);
    }

    TRegistry unopened;
    EXPECT_EQ(unopened.ReadValueAt("\\software\\CORVANE", "SZ")->AsString(), "Grüße");
    EXPECT_EQ(unopened.ReadValueAt("Software\\Corvane", "dword")->AsInteger(), -1);
    EXPECT_FALSE(unopened.ReadValueAt("Software\\Corvane", "dword")->AsString());
    EXPECT_FALSE(unopened.ReadValueAt("Software\\Other", "sz"));
    EXPECT_FALSE(TRegistry(HKEY_LOCAL_MACHINE).ReadValueAt("Software\\Corvane", "sz"));

    ASSERT_TRUE(reg.WriteDword("sz", 7));
    EXPECT_EQ(reg.GetDataType("sz"), REG_DWORD) << "a write replaces the value with its own type";
    EXPECT_FALSE(reg.ReadString("sz"));
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Corvane", true));
    ASSERT_TRUE(reg.WriteString("ShowSaveDialog", "a"));
    ASSERT_TRUE(reg.WriteString("SHOWSAVEDIALOG", "b"));
    EXPECT_EQ(reg.GetValueNames(), Names{"ShowSaveDialog"});
    EXPECT_EQ(reg.ReadString("showsavedialog"), "b");

    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\corvane\\Options", true));
    ASSERT_TRUE(reg.OpenKeyReadOnly("software"));
    EXPECT_EQ(reg.GetKeyNames(), Names{"Corvane"});
    // Only ASCII letters fold, as in the registry's own comparison of these names.
    ASSERT_TRUE(reg.OpenKey("Software\\Ä", true));
    EXPECT_FALSE(reg.KeyExists("Software\\ä"));
}

TEST_F(RegistryTest, PathsIgnoreStraySeparatorsAndRootsAreSeparate)
{
    TRegistry user(HKEY_CURRENT_USER);
    ASSERT_TRUE(user.OpenKey("\\Software\\\\Corvane\\", true));
    EXPECT_EQ(user.CurrentPath(), "Software\\Corvane");
    ASSERT_TRUE(user.WriteString("Path", "/usr/bin/corvane"));

    TRegistry machine(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(machine.KeyExists("Software\\Corvane"));
    ASSERT_TRUE(machine.OpenKey("Software\\Corvane", true));
    EXPECT_FALSE(machine.ReadString("Path"));
    EXPECT_FALSE(TRegistry(HKEY_CLASSES_ROOT).KeyExists("Software"));
    EXPECT_EQ(SplitKeyPath("a\\\\b\\"), (Names{"a", "b"}));
}

TEST_F(RegistryTest, EnumeratesSubKeysAndValuesIncludingTheDefaultValue)
{
    TRegistry reg;
    for (const char* key : {"K\\beta", "K\\Alpha", "K\\gamma\\deeper"})
        ASSERT_TRUE(reg.CreateKey(key));
    ASSERT_TRUE(reg.OpenKey("K", false));
    ASSERT_TRUE(reg.WriteString("", "default text"));
    ASSERT_TRUE(reg.WriteDword("contexts", 34));
    EXPECT_EQ(reg.GetKeyNames(), (Names{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(reg.GetValueNames(), (Names{"", "contexts"}));
    EXPECT_EQ(reg.ReadString(""), "default text");
}

TEST_F(RegistryTest, DeleteKeyTakesItsSubKeysAndValues)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Corvane\\Options\\Deep", true));
    ASSERT_TRUE(reg.WriteDword("x", 1));
    ASSERT_TRUE(reg.OpenKey("Software\\Corvane", false));
    ASSERT_TRUE(reg.WriteString("Path", "p"));

    EXPECT_TRUE(reg.DeleteKey("software\\CORVANE"));
    EXPECT_FALSE(reg.KeyExists("Software\\Corvane\\Options\\Deep"));
    EXPECT_FALSE(reg.KeyExists("Software\\Corvane"));
    EXPECT_TRUE(reg.KeyExists("Software"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Corvane")) << "already gone";
    EXPECT_FALSE(reg.DeleteKey("")) << "a root stays";

    ASSERT_TRUE(reg.OpenKey("Software\\Corvane\\Options\\Deep", true));
    EXPECT_FALSE(reg.ValueExists("x")) << "a re-created key starts empty";
    ASSERT_TRUE(reg.WriteDword("x", 2));
    EXPECT_TRUE(reg.DeleteValue("X"));
    EXPECT_FALSE(reg.DeleteValue("x"));
}

TEST_F(RegistryTest, AnOpenKeyDeletedElsewhereReadsEmptyAndRefusesWrites)
{
    TRegistry holder, other;
    ASSERT_TRUE(holder.OpenKey("Software\\Corvane", true));
    ASSERT_TRUE(holder.WriteDword("count", 1));
    ASSERT_TRUE(other.DeleteKey("Software\\Corvane"));
    ASSERT_TRUE(other.CreateKey("Software\\Corvane"));

    EXPECT_FALSE(holder.ReadDword("count"));
    EXPECT_FALSE(holder.WriteDword("count", 2));
    ASSERT_TRUE(other.OpenKeyReadOnly("Software\\Corvane"));
    EXPECT_FALSE(other.ValueExists("count"));
}

TEST_F(RegistryTest, ReadOnlyKeysRefuseWrites)
{
    TRegistry reg;
    ASSERT_TRUE(reg.CreateKey("Software\\Corvane"));
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Corvane"));
    EXPECT_FALSE(reg.WriteString("Path", "x"));
    EXPECT_FALSE(reg.DeleteValue("Path"));
    reg.CloseKey();
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(reg.WriteString("Path", "x")) << "no key open";
}

TEST_F(RegistryTest, RefusesKeysBeyondTheRegistryLimits)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(std::string(256, 'k'), true));
    EXPECT_TRUE(reg.OpenKey(std::string(255, 'k'), true));
    std::string deep;
    for (int i = 0; i < 513; ++i)
        deep += "d\\";
    EXPECT_FALSE(reg.CreateKey(deep));
}

TEST_F(RegistryTest, FollowsTheHivePathWhenItChanges)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Corvane", true));
    ASSERT_TRUE(reg.WriteString("Path", "first"));

    QTemporaryDir second;
    setenv("CORVANE_HOME", second.path().toLocal8Bit().constData(), 1);
    EXPECT_FALSE(reg.ReadString("Path")) << "the open key belongs to the other hive";
    EXPECT_FALSE(reg.KeyExists("Software\\Corvane"));

    setenv("CORVANE_HOME", Home().toLocal8Bit().constData(), 1);
    EXPECT_EQ(reg.ReadString("Path"), "first");
}
