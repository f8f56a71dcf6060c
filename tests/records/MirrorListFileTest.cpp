#include "records/MirrorListFile.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
const QString Pub = QStringLiteral("ftp://ftp.example.org/pub/");
const QString MirrorPub = QStringLiteral("http://mirror.example.net/mirror/pub/");

QString Lines(std::initializer_list<QString> lines)
{
    return QStringList(lines).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}
}

TEST(MirrorLines, SecondServerOfAGroupGivesEveryServerOfItInGroupOrder)
{
    const QString text = Lines({"Archive,Main,7," + Pub, "Other,There,8,http://other.example.com/",
                                "Archive,Mirror,7," + MirrorPub});
    EXPECT_EQ(MirrorUrlsFor(text, MirrorPub + "tools/x.zip"),
              QStringList({Pub + "tools/x.zip", MirrorPub + "tools/x.zip"}));
}

TEST(MirrorLines, LineRules)
{
    const struct {
        const char* Name;
        QString Text;
        QString Url;
        QStringList Expected;
    } cases[] = {
        {"no server matches", Lines({"a,b,1,http://a.example/"}), "http://b.example/x", {}},
        {"empty file", "", "http://a.example/x", {}},
        {"base URL inside a query matches and is cut by length only",
         Lines({"a,b,1,http://a.example/", "c,d,1,http://c.example/"}),
         "http://xy.example/get?from=http://a.example/f.zip",
         {"http://a.example//get?from=http://a.example/f.zip", "http://c.example//get?from=http://a.example/f.zip"}},
        {"7 and 07 are two groups", Lines({"a,b,7,http://a.example/", "c,d,07,http://c.example/"}),
         "http://a.example/f", {"http://a.example/f"}},
        {"comments, blank and control-only lines are skipped",
         Lines({"// a,b,1,http://a.example/", "", "  \t", "\x01", "c,d,1,http://c.example/"}),
         "http://c.example/f", {"http://c.example/f"}},
        {"an indented comment is an entry", Lines({" //x,y,1,http://a.example/", "c,d,1,http://c.example/"}),
         "http://c.example/f", {"http://a.example/f", "http://c.example/f"}},
        {"the base URL keeps its commas", Lines({"a,b,1,http://a.example/x,y/"}), "http://a.example/x,y/f",
         {"http://a.example/x,y/f"}},
        {"fields are not trimmed", Lines({"a,b, 1,http://a.example/", "c,d,1,http://c.example/"}),
         "http://c.example/f", {"http://c.example/f"}},
        {"a later matching line wins",
         Lines({"a,b,1,http://a.example/", "a,b,2,http://a.example/pub/", "c,d,2,http://c.example/"}),
         "http://a.example/pub/f", {"http://a.example/pub/f", "http://c.example/f"}},
        {"letter case counts in the match", Lines({"a,b,1,http://a.example/"}), "http://A.example/f", {}},
        {"LF-only and CR-only line ends", "a,b,1,http://a.example/\nc,d,1,http://c.example/\rx,y,1,http://x.example/",
         "http://a.example/f", {"http://a.example/f", "http://c.example/f", "http://x.example/f"}},
        {"a line without commas joins the empty group; an empty base URL matches nothing and gives no mirror",
         Lines({"http://a.example/", "a,b,", "c,d,,http://c.example/"}), "http://c.example/f",
         {"http://a.example/f", "http://c.example/f"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MirrorUrlsFor(c.Text, c.Url), c.Expected) << c.Name;
}

TEST(MirrorLines, FewerThanThreeCommasLeaveFieldsEmptyAndTheRestAsBaseUrl)
{
    QString group;
    TMirrorServer server = SplitMirrorLine(QStringLiteral("site,http://a.example/"), group);
    EXPECT_EQ(server.Field1, "site");
    EXPECT_EQ(server.Field2, "");
    EXPECT_EQ(group, "");
    EXPECT_EQ(server.BaseUrl, "http://a.example/");
    server = SplitMirrorLine(QStringLiteral("s, loc ,g7,ftp://h/a,b"), group);
    EXPECT_EQ(server.Field2, " loc ");
    EXPECT_EQ(group, "g7");
    EXPECT_EQ(server.BaseUrl, "ftp://h/a,b");
}

TEST(MirrorLines, GroupsKeepFirstAppearanceOrder)
{
    const TMirrorGroupLists groups = ReadMirrorGroups(
        Lines({"a,,B,http://1/", "b,,A,http://2/", "c,,B,http://3/"}), QStringLiteral("http://none/"));
    ASSERT_EQ(groups.Groups.size(), 2u);
    EXPECT_EQ(groups.Groups[0].Group, "B");
    EXPECT_EQ(groups.Groups[0].Servers.size(), 2u);
    EXPECT_EQ(groups.Groups[0].Servers[1].Field1, "c");
    EXPECT_EQ(groups.Groups[1].Group, "A");
    EXPECT_FALSE(groups.Matched);
}

class MirrorListFileTest : public TempHomeTest {};

TEST_F(MirrorListFileTest, GetMirrorsReadsTheFileAfreshAndHandsOverNewMirrors)
{
    EXPECT_EQ(GetMirrors(MirrorPub + "x.zip"), nullptr) << "no file, no list";
    ASSERT_TRUE(WriteWholeFile(MirrorListPath(), Lines({"a,b,7," + Pub, "a,b,7," + MirrorPub}).toUtf8()));
    std::unique_ptr<TMirrorList> mirrors = GetMirrors(MirrorPub + "x.zip");
    ASSERT_NE(mirrors, nullptr);
    ASSERT_EQ(mirrors->Count(), 2);
    EXPECT_EQ(mirrors->Get(0)->Url.Url, Pub + "x.zip");
    EXPECT_EQ(mirrors->Get(0)->Url.Host, "ftp.example.org");
    EXPECT_EQ(mirrors->Get(1)->Url.Url, MirrorPub + "x.zip");
    mirrors->DeleteAndFreeAllMirrors();

    ASSERT_TRUE(WriteWholeFile(MirrorListPath(), ""));
    mirrors = GetMirrors(MirrorPub + "x.zip");
    ASSERT_NE(mirrors, nullptr);
    EXPECT_EQ(mirrors->Count(), 0);

    ASSERT_TRUE(QFile::remove(MirrorListPath()));
    ASSERT_TRUE(QDir(Home()).mkdir("mirrors.lst"));
    EXPECT_EQ(GetMirrors(MirrorPub + "x.zip"), nullptr) << "a folder in the way";
}

TEST_F(MirrorListFileTest, ShippedSampleIsCopiedOnlyWhenAbsentAndMatchesNothing)
{
    const QString shipped = QStringLiteral(CORVANE_BIN_DIR "/mirrors.lst");
    ASSERT_TRUE(QFile::exists(shipped));
    const QString target = Path("data/mirrors.lst");
    EXPECT_TRUE(InstallShippedMirrorList(shipped, target));
    EXPECT_EQ(ReadWholeFile(target), ReadWholeFile(shipped));
    EXPECT_EQ(MirrorUrlsFor(QString::fromUtf8(ReadWholeFile(target)), MirrorPub + "tools/x.zip"), QStringList())
        << "the sample's examples are commented out";

    ASSERT_TRUE(WriteWholeFile(target, "mine"));
    EXPECT_FALSE(InstallShippedMirrorList(shipped, target));
    EXPECT_EQ(ReadWholeFile(target), "mine") << "the user's own list wins";
    EXPECT_FALSE(InstallShippedMirrorList(Path("missing.lst"), Path("other.lst")));
}
