#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

#include <QProcess>

namespace {
struct Result {
    int status;
    QString out, err;
};

class ConfigCommandTest : public TempHomeTest {
protected:
    Result Corvane(const QStringList& arguments)
    {
        QProcess process;
        process.start(CORVANE_BIN_DIR "/corvane", arguments);
        EXPECT_TRUE(process.waitForFinished(20000));
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    TRegDataType StoredType(const char* name)
    {
        TRegistry registry;
        EXPECT_TRUE(registry.OpenKeyReadOnly("Software\\Corvane\\Options"));
        return registry.GetDataType(name);
    }
};
}

TEST_F(ConfigCommandTest, ListsEveryOptionWithItsDefault)
{
    const Result listed = Corvane({"config"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_TRUE(listed.out.contains("SplitParts = 4\n"));
    EXPECT_TRUE(listed.out.contains("Extensions = exe arj rar"));
    EXPECT_FALSE(listed.out.startsWith("Path =") || listed.out.contains("\nPath =")) << "only section Options";

    EXPECT_EQ(Corvane({"config", "SplitParts", "6"}).status, 0);
    EXPECT_TRUE(Corvane({"config"}).out.contains("SplitParts = 6   (default: 4)\n"));
    EXPECT_EQ(Corvane({"config", "splitparts"}).out, "6\n") << "names are found in any letter case";
}

TEST_F(ConfigCommandTest, WritesEachValueWithTheTypeOfTheTable)
{
    struct Case { const char* name; const char* value; TRegDataType type; const char* readBack; } cases[] = {
        {"SplitParts", "8", REG_DWORD, "8\n"},
        {"HTTPProxyPort", "3128", REG_SZ, "3128\n"},
        {"PassiveMode", "yes", REG_DWORD, "true\n"},
        {"DefaultDownloadDirectory", "/srv/in", REG_SZ, "/srv/in\n"},
        {"StartTime", "2026-12-10 08:30:00", REG_BINARY, "2026-12-10 08:30:00\n"},
        {"Standard_Color_Paused", "0x00008080", REG_DWORD, "32896\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Corvane({"config", c.name, c.value}).status, 0) << c.name;
        EXPECT_EQ(StoredType(c.name), c.type) << c.name;
        EXPECT_EQ(Corvane({"config", c.name}).out, c.readBack) << c.name;
    }
}

TEST_F(ConfigCommandTest, RefusesUnknownNamesAndBadValues)
{
    struct Case { QStringList arguments; const char* message; } cases[] = {
        {{"config", "NoSuchSetting"}, "no setting named NoSuchSetting"},
        {{"config", "PassiveMode", "maybe"}, "PassiveMode takes true or false"},
        {{"config", "SplitParts", "four"}, "SplitParts takes a whole number"},
        {{"config", "SplitParts", "99999999999"}, "SplitParts takes a whole number"},
        {{"config", "StartTime", "tomorrow"}, "StartTime takes a date and time"},
        {{"config", "a", "b", "c"}, "usage: corvane config"},
    };
    for (const Case& c : cases) {
        const Result result = Corvane(c.arguments);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
    }
    EXPECT_EQ(Corvane({"config", "SplitParts"}).out, "4\n") << "nothing was written";
}
