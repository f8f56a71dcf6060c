#include "records/core/SettingsStore.h"

#include "platform/base/Paths.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>

using namespace SettingsStore;
using SettingsStoreTest = TempHomeTest;

namespace {
constexpr const char* OptionsKey = "Software\\Corvane\\Options";

TRegistry OpenOptions()
{
    TRegistry reg;
    EXPECT_TRUE(reg.OpenKey(OptionsKey, true));
    return reg;
}

std::string Bytes(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes += char(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return bytes;
}

std::string LittleEndian(double value)
{
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);  // this machine is little-endian
    return bytes;
}
}

TEST_F(SettingsStoreTest, AFreshUserReadsDefaultsAndNothingIsCreated)
{
    EXPECT_TRUE(ReadBool("Options", "ShowSaveDialog", true));
    EXPECT_FALSE(ReadBool("Options", "ShowSaveDialog", false));
    EXPECT_EQ(ReadInteger("Options", "SplitParts", 4), 4);
    EXPECT_EQ(ReadString("Options", "Date1", "Month"), "Month");
    EXPECT_EQ(ReadDateTime("Options", "StartTime", 123.5), 123.5);
    EXPECT_TRUE(ReadIgnoredLinks().empty());
    EXPECT_FALSE(TRegistry().KeyExists("Software\\Corvane"));
    EXPECT_FALSE(QFileInfo::exists(Path("registry.db")));

    ASSERT_TRUE(WriteInteger("Options", "SplitParts", 6));
    EXPECT_EQ(ReadInteger("Options", "SplitParts", 4), 6);
    EXPECT_FALSE(TRegistry().KeyExists("Software\\Corvane\\IgnoreLinks")) << "only the written section exists";
}

TEST_F(SettingsStoreTest, ReadsTakeOnlyTheirOwnTypeAndSize)
{
    TRegistry reg = OpenOptions();
    using Plant = std::function<bool(TRegistry&)>;
    const double nan = std::nan("");
    const struct {
        const char* what;
        Plant plant;
        std::function<void()> check;
    } cases[] = {
        {"dword 1 is true", [](TRegistry& r) { return r.WriteDword("v", 1); },
         [] { EXPECT_TRUE(ReadBool("Options", "v", false)); }},
        {"any non-zero dword is true", [](TRegistry& r) { return r.WriteDword("v", 0x80000000u); },
         [] { EXPECT_TRUE(ReadBool("Options", "v", false)); }},
        {"dword 0 is false", [](TRegistry& r) { return r.WriteDword("v", 0); },
         [] { EXPECT_FALSE(ReadBool("Options", "v", true)); }},
        {"REG_SZ \"1\" is no boolean", [](TRegistry& r) { return r.WriteString("v", "1"); },
         [] {
             EXPECT_FALSE(ReadBool("Options", "v", false));
             EXPECT_TRUE(ReadBool("Options", "v", true));
         }},
        {"a dword is signed", [](TRegistry& r) { return r.WriteDword("v", 0xFFFFFFFEu); },
         [] { EXPECT_EQ(ReadInteger("Options", "v", 0), -2); }},
        {"REG_SZ \"5\" is no integer", [](TRegistry& r) { return r.WriteString("v", "5"); },
         [] { EXPECT_EQ(ReadInteger("Options", "v", 9), 9); }},
        {"binary is no integer", [](TRegistry& r) { return r.WriteBinaryData("v", "\x05\0\0\0"); },
         [] { EXPECT_EQ(ReadInteger("Options", "v", 9), 9); }},
        {"REG_EXPAND_SZ reads unexpanded", [](TRegistry& r) { return r.WriteExpandString("v", "$HOME/%TEMP%"); },
         [] { EXPECT_EQ(ReadString("Options", "v", "d"), "$HOME/%TEMP%"); }},
        {"an empty string reads as the default", [](TRegistry& r) { return r.WriteString("v", ""); },
         [] { EXPECT_EQ(ReadString("Options", "v", "x"), "x"); }},
        {"a dword is no string", [](TRegistry& r) { return r.WriteDword("v", 3); },
         [] { EXPECT_EQ(ReadString("Options", "v", "x"), "x"); }},
        {"8 bytes are a date-time", [](TRegistry& r) { return r.WriteBinaryData("v", Bytes("000000001076e640")); },
         [] { EXPECT_EQ(ReadDateTime("Options", "v", 1), 46000.5); }},
        {"4 bytes are no date-time", [](TRegistry& r) { return r.WriteBinaryData("v", Bytes("00001076")); },
         [] { EXPECT_EQ(ReadDateTime("Options", "v", 1), 1); }},
        {"16 bytes are no date-time",
         [](TRegistry& r) { return r.WriteBinaryData("v", Bytes("000000001076e640000000001076e640")); },
         [] { EXPECT_EQ(ReadDateTime("Options", "v", 1), 1); }},
        {"NaN is no date-time", [&](TRegistry& r) { return r.WriteBinaryData("v", LittleEndian(nan)); },
         [] { EXPECT_EQ(ReadDateTime("Options", "v", 1), 1); }},
        {"a string is no date-time", [](TRegistry& r) { return r.WriteString("v", "46000.5"); },
         [] { EXPECT_EQ(ReadDateTime("Options", "v", 1), 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.plant(reg));
        c.check();
    }
}

TEST_F(SettingsStoreTest, WritesStoreTheRegistryTypes)
{
    ASSERT_TRUE(WriteBool("Options", "b", true));
    ASSERT_TRUE(WriteInteger("Options", "i", -5));
    ASSERT_TRUE(WriteString("Options", "s", "Grüße"));
    ASSERT_TRUE(WriteDateTime("Options", "d", 45000.25));
    TRegistry reg = OpenOptions();
    EXPECT_EQ(reg.ReadDword("b"), 1u);
    EXPECT_EQ(reg.ReadDword("i"), 0xFFFFFFFBu);
    EXPECT_EQ(reg.GetDataType("s"), REG_SZ);
    EXPECT_EQ(reg.ReadString("s"), "Grüße");
    EXPECT_EQ(reg.ReadBinaryData("d"), Bytes("0000000008f9e540")) << "8 bytes, little-endian";
    EXPECT_EQ(ReadDateTime("Options", "d", 0), 45000.25);
    ASSERT_TRUE(WriteBool("Options", "b", false));
    EXPECT_EQ(reg.ReadDword("b"), 0u);
}

TEST_F(SettingsStoreTest, SectionsStayBelowTheProgramKey)
{
    ASSERT_TRUE(WriteString("..\\..\\Microsoft", "x", "y"));
    ASSERT_TRUE(WriteString("", "Path", "/p"));
    EXPECT_FALSE(TRegistry().KeyExists("Software\\Microsoft"));
    EXPECT_TRUE(TRegistry().KeyExists("Software\\Corvane\\..\\..\\Microsoft"));
    EXPECT_EQ(ReadString("..\\..\\Microsoft", "x", ""), "y");
    EXPECT_EQ(ReadString("\\", "Path", ""), "/p");
}

TEST_F(SettingsStoreTest, AFailedWriteIsLoggedAndReportedAsFalse)
{
    ASSERT_TRUE(WriteWholeFile(Path("file"), "x"));
    setenv("CORVANE_HOME", Path("file").toLocal8Bit().constData(), 1);
    setenv("CORVANE_DEBUG", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteBool("Options", "ShowSaveDialog", false));
    EXPECT_FALSE(WriteDateTime("Options", "StartTime", 1));
    EXPECT_TRUE(ReadBool("Options", "ShowSaveDialog", true));
    AddIgnoredLink("http://a/");
    const std::string err = testing::internal::GetCapturedStderr();
    unsetenv("CORVANE_DEBUG");
    EXPECT_NE(err.find("error in procedure WriteBool"), std::string::npos) << err;
    EXPECT_NE(err.find("error in procedure WriteDateTime"), std::string::npos) << err;
}

TEST_F(SettingsStoreTest, IgnoredLinksCountFirstThenStoreUnderTheNewNumber)
{
    AddIgnoredLink("http://a.example/one.zip");
    AddIgnoredLink("http://a.example/two.zip");
    EXPECT_EQ(ReadInteger("IgnoreLinks", "count", 0), 2);
    EXPECT_EQ(ReadString("IgnoreLinks", "1", ""), "http://a.example/one.zip");
    EXPECT_EQ(ReadString("IgnoreLinks", "2", ""), "http://a.example/two.zip");
    EXPECT_EQ(ReadIgnoredLinks(), (std::vector<std::string>{"http://a.example/one.zip", "http://a.example/two.zip"}));
}

TEST_F(SettingsStoreTest, IgnoredLinksReadOnlyNumbersUpToTheCount)
{
    for (const char* name : {"1", "3", "10", "11", "01", "x", "-1"})
        ASSERT_TRUE(WriteString("IgnoreLinks", name, std::string("link") + name));
    ASSERT_TRUE(WriteString("IgnoreLinks", "2", ""));
    ASSERT_TRUE(WriteInteger("IgnoreLinks", "count", 10));
    EXPECT_EQ(ReadIgnoredLinks(), (std::vector<std::string>{"link1", "link3", "link10"}));

    ASSERT_TRUE(WriteInteger("IgnoreLinks", "count", 0x7FFFFFFF));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadIgnoredLinks().size(), 4u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "a huge count costs nothing";
    AddIgnoredLink("wrapped");
    EXPECT_EQ(ReadInteger("IgnoreLinks", "count", 0), int32_t(0x80000000u));
}

TEST_F(SettingsStoreTest, BrowserEntriesPointAtTheProgram)
{
    ASSERT_TRUE(SetProgramPath());
    ASSERT_TRUE(WriteNSRegistrySettings());
    ASSERT_TRUE(CreateIERightClickEntry());
    EXPECT_EQ(ReadString("", "Path", ""), ExecutablePath());

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Netscape\\Netscape Navigator\\Automation Protocols"));
    EXPECT_EQ(reg.ReadString("ftp"), "CorvaneNS.ProtocolHandler");
    EXPECT_EQ(reg.ReadString("http"), "CorvaneNS.ProtocolHandler");
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Microsoft\\Internet Explorer\\MenuExt\\Download with Corvane"));
    EXPECT_EQ(reg.ReadString(""), Home().toStdString() + "/corvaneie.htm");
    EXPECT_EQ(reg.GetDataType("contexts"), REG_DWORD);
    EXPECT_EQ(reg.ReadDword("contexts"), 34u);
}
