#include "records/ServerLists.h"
#include "records/StatisticsPages.h"

#include <QLocale>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <limits>

namespace {
QStringList Names(const TServerList& list)
{
    QStringList names;
    for (const TServer& s : list)
        names.append(s.Name);
    return names;
}

TServerList PingedHosts(int count)
{
    TServerList list;
    for (int i = 1; i <= count; ++i)
        RecordPing(list, QStringLiteral("h%1").arg(i), i * 10);
    return list;
}
}

TEST(ServerAverages, RoundHalvesToEvenExactly)
{
    constexpr qint64 big = std::numeric_limits<qint64>::max();
    const struct {
        qint64 Average, Count, Value, Expected;
    } cases[] = {
        {100, 1, 201, 150}, {100, 1, 203, 152}, {1, 1, 2, 2}, {2, 1, 3, 2}, {0, 0, 7, 7}, {10, 2, 11, 10},
        {10, 3, 12, 10}, {10, 3, 14, 11}, {big, 1, big, big}, {big - 1, 3, big, big - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunningAverage(c.Average, c.Count, c.Value), c.Expected)
            << c.Average << " x" << c.Count << " + " << c.Value;
}

TEST(ServerAverages, APingAveragesAndMovesTheEntryBeforeTheFirstSlowerOne)
{
    TServerList list;
    RecordPing(list, "a", 50);
    RecordPing(list, "b", 100);
    RecordPing(list, "c", 150);
    RecordPing(list, "d", 150);
    EXPECT_EQ(Names(list), QStringList({"a", "b", "c", "d"})) << "equal pings in order of arrival";
    RecordPing(list, "b", 201);
    EXPECT_EQ(list[3].Name, "b");
    EXPECT_EQ(list[3].AvgPing, 150) << "150.5 to even";
    EXPECT_EQ(list[3].PingCount, 2);
    EXPECT_EQ(Names(list), QStringList({"a", "c", "d", "b"}));
    RecordPing(list, "b", 0);
    EXPECT_EQ(Names(list), QStringList({"a", "b", "c", "d"})) << "(150*2+0)/3 = 100";
}

TEST(ServerAverages, TheCapKeepsTheHundredFastest)
{
    TServerList list = PingedHosts(MaxServerEntries);
    ASSERT_EQ(list.size(), 100u);
    RecordPing(list, "slow", 2000);
    RecordPing(list, "as slow as the slowest", 1000);
    EXPECT_EQ(FindServer(list, "slow"), nullptr);
    EXPECT_EQ(FindServer(list, "as slow as the slowest"), nullptr);
    RecordPing(list, "fast", 15);
    ASSERT_EQ(list.size(), 100u);
    EXPECT_EQ(list[1].Name, "fast");
    EXPECT_EQ(FindServer(list, "h100"), nullptr) << "the slowest drops out";
    EXPECT_EQ(list.back().Name, "h99");
}

TEST(ServerAverages, SpeedsOnlyForPingedNamesAndWithoutReordering)
{
    TServerList list;
    RecordPing(list, "a", 10);
    RecordPing(list, "b", 20);
    RecordSpeed(list, "never pinged", 5000);
    EXPECT_EQ(list.size(), 2u);
    RecordSpeed(list, "b", 1000);
    RecordSpeed(list, "b", 1001);
    EXPECT_EQ(list[1].AvgSpeed, 1000) << "1000.5 to even";
    EXPECT_EQ(list[1].SpeedCount, 2);
    EXPECT_EQ(Names(list), QStringList({"a", "b"}));
}

TEST(ServerAverages, DomainIsTheTextAfterTheLastDot)
{
    EXPECT_EQ(DomainOf("Ftp.Example.DE"), "de");
    EXPECT_EQ(DomainOf("localhost"), "");
    EXPECT_EQ(DomainOf("127.0.0.1"), "1");
    EXPECT_EQ(DomainOf("trailing."), "");
}

TEST(StatisticsFile, RoundTripKeepsBothListsAndTheirOrder)
{
    TServerStatsLists lists;
    RecordPing(lists.Servers, "b.example.com", 40);
    RecordPing(lists.Servers, "a.example.de", 20);
    RecordSpeed(lists.Servers, "a.example.de", 123456789012LL);
    RecordPing(lists.Domains, "de", 20);
    RecordPing(lists.Domains, "", 30);
    const QStringList lines = FormatServerStats(lists);
    EXPECT_EQ(lines, QStringList({"2", "a.example.de\t20\t1\t123456789012\t1", "b.example.com\t40\t1\t0\t0",
                                  "de\t20\t1\t0\t0", "\t30\t1\t0\t0"}));
    const TServerStatsLists back = ParseServerStats(lines.join("\r\n") + "\r\n");
    EXPECT_EQ(FormatServerStats(back), lines);
}

TEST(StatisticsFile, CountsAtTheCapStayThereAndTheEntryReadsBack)
{
    const QString capped = QString::number(MaxServerCount);
    TServerStatsLists lists = ParseServerStats("1\na\t10\t" + capped + "\t500\t" + capped + "\n");
    ASSERT_EQ(lists.Servers.size(), 1u);
    RecordPing(lists.Servers, "a", 20);
    RecordSpeed(lists.Servers, "a", 700);
    EXPECT_EQ(lists.Servers[0].PingCount, MaxServerCount);
    EXPECT_EQ(lists.Servers[0].SpeedCount, MaxServerCount);
    const TServerStatsLists back = ParseServerStats(FormatServerStats(lists).join("\n"));
    EXPECT_EQ(FormatServerStats(back), FormatServerStats(lists)) << "a count past the cap would drop the entry";
}

TEST(StatisticsFile, DamagedFilesLoadWhatTheyCan)
{
    const struct {
        const char* Name;
        QString Text;
        QStringList Servers, Domains;
    } cases[] = {
        {"count too large: every line is a server", "5\na\t1\t1\t0\t0\nb\t2\t1\t0\t0\n", {"a", "b"}, {}},
        {"count too small: the rest are domains", "1\na\t1\t1\t0\t0\nb\t2\t1\t0\t0\nc\t3\t1\t0\t0\n", {"a"}, {"b", "c"}},
        {"count that is no number: nothing", "x\na\t1\t1\t0\t0\n", {}, {}},
        {"negative count: nothing", "-1\na\t1\t1\t0\t0\n", {}, {}},
        {"empty file", "", {}, {}},
        {"line without tabs skipped", "2\ngarbage\nb\t2\t1\t0\t0\nde\t5\t1\t0\t0", {"b"}, {"de"}},
        {"text in the ping fields skipped", "2\na\tfast\t1\t0\t0\nb\t2\tmany\t0\t0\nc\t3\t1\t0\t0\n", {}, {"c"}},
        {"pings out of range skipped", "3\na\t-5\t1\t0\t0\nb\t9999\t1\t0\t0\nc\t3\t0\t0\t0\n", {}, {}},
        {"huge numbers skipped", "1\na\t99999999999999999999\t1\t0\t0\nb\t1\t9\t0\t0", {}, {"b"}},
        {"truncated last line", "1\na\t1\t1\t0\t0\nd\t4", {"a"}, {}},
        {"names lower-cased, repeats dropped, put in ping order",
         "3\nB\t9\t1\t0\t0\na\t5\t1\t0\t0\nb\t1\t1\t0\t0\n", {"a", "b"}, {}},
        {"NUL bytes and CR-only lines", QString::fromLatin1("1\ra\0b\t1\t1\t0\t0\r\0\r", 19), {QString::fromLatin1("a\0b", 3)}, {}},
    };
    for (const auto& c : cases) {
        const TServerStatsLists lists = ParseServerStats(c.Text);
        EXPECT_EQ(Names(lists.Servers), c.Servers) << c.Name;
        EXPECT_EQ(Names(lists.Domains), c.Domains) << c.Name;
    }
}

TEST(StatisticsFile, UnusableSpeedFieldsReadAsNoSpeed)
{
    const TServerStatsLists lists = ParseServerStats("3\na\t1\t2\tquick\t3\nb\t2\t1\t50\nc\t3\t1\t70\t-1\n");
    ASSERT_EQ(lists.Servers.size(), 3u);
    for (const TServer& s : lists.Servers) {
        EXPECT_EQ(s.AvgSpeed, 0) << s.Name.toStdString();
        EXPECT_EQ(s.SpeedCount, 0) << s.Name.toStdString();
    }
    EXPECT_EQ(lists.Servers[0].PingCount, 2);
}

TEST(StatisticsFile, OverlongListsAreCutToTheCap)
{
    QString text = "150\n";
    for (int i = 0; i < 150; ++i)
        text += QStringLiteral("h%1\t%2\t1\t0\t0\n").arg(i).arg(150 - i);
    const TServerStatsLists lists = ParseServerStats(text);
    ASSERT_EQ(lists.Servers.size(), 100u);
    EXPECT_EQ(lists.Servers.front().Name, "h149");
    EXPECT_EQ(lists.Servers.back().Name, "h50");
}

TEST(StatisticsFile, RandomDamageNeverCrashes)
{
    const QByteArray good = "3\na.example.com\t12\t3\t4567\t2\nb.example.de\t40\t1\t0\t0\nc\t1\t1\t1\t1\ncom\t12\t3\t4567\t2\n";
    QRandomGenerator random(42);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        for (int edits = random.bounded(1, 6); edits > 0; --edits) {
            const int at = random.bounded(bytes.size());
            switch (random.bounded(3)) {
            case 0: bytes[at] = char(random.bounded(256)); break;
            case 1: bytes.remove(at, random.bounded(1, 8)); break;
            default: bytes.insert(at, "\t\n9999999999999999999\0-"[random.bounded(22)]);
            }
        }
        const TServerStatsLists lists = ParseServerStats(QString::fromUtf8(bytes));
        for (const TServerList* list : {&lists.Servers, &lists.Domains})
            for (const TServer& s : *list) {
                ASSERT_GE(s.AvgPing, 0);
                ASSERT_LT(s.AvgPing, UnrecordedPing);
                ASSERT_GE(s.PingCount, 1);
                ASSERT_GE(s.AvgSpeed, 0);
                ASSERT_GE(s.SpeedCount, 0);
            }
    }
}

TEST(StatisticsPages, SpeedAndPingTexts)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(SpeedText(12345), "12.3");
    EXPECT_EQ(SpeedText(12399), "12.3") << "cut, not rounded";
    EXPECT_EQ(SpeedText(12000), "12");
    EXPECT_EQ(SpeedText(99), "0");
    EXPECT_EQ(SpeedText(0), "N/A");
    EXPECT_EQ(PingText(0), "N/A");
    EXPECT_EQ(PingText(42), "42");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SpeedText(12345), "12,3");
    QLocale::setDefault(QLocale::c());
}

namespace {
TServerStatsLists PageFixture()
{
    TServerStatsLists lists;
    lists.Servers = {{"slow.example.com", 80, 1, 50000, 1}, {"fast.example.de", 10, 2, 0, 0},
                     {"mid.example.de", 40, 1, 12345, 1}};
    lists.Domains = {{"de", 25, 3, 12345, 1}, {"com", 80, 1, 50000, 1}};
    return lists;
}

const QString F = QStringLiteral(R"(<font size="2" color="#000000" face="verdana,arial">)");
const QString Sep = "</font></td><td>" + F;
}

TEST(StatisticsPages, PingPageLayout)
{
    const QStringList page = BuildPingPage(PageFixture(), "/data/StatisticsSpeed.html");
    const QStringList expected = {
        "<HTML><HEAD><TITLE>Server Statistics</TITLE></HEAD><BODY>",
        R"(<table width="95%" border="0" cellspacing="0" cellpadding="0">)",
        R"(<tr bgcolor="#cccccc"><td><b>Server</b></td><td><b>Average Ping [ms]</b></td><td><b><a href="/data/StatisticsSpeed.html">Average Download Speed per Connection [kB/s]</a></b></td></tr>)",
        "<tr><td>" + F + "fast.example.de" + Sep + "10" + Sep + "N/A</font></td></tr>",
        R"(<tr bgcolor="#eeeeee"><td>)" + F + "mid.example.de" + Sep + "40" + Sep + "12.3</font></td></tr>",
        "<tr><td>" + F + "slow.example.com" + Sep + "80" + Sep + "50</font></td></tr>",
        "</table><br><br>",
        R"(<A name="section2"><table width="95%" border="0" cellspacing="0" cellpadding="0">)",
        R"(<tr bgcolor="#cccccc"><td><b>Top Domain</b></td><td><b>Average Ping [ms]</b></td><td><b><a href="/data/StatisticsSpeed.html#section2">Average Download Speed per Connection[kB/s]</a></b></td></tr>)",
        "<tr><td>" + F + ".de" + Sep + "25" + Sep + "12.3</font></td></tr>",
        R"(<tr bgcolor="#eeeeee"><td>)" + F + ".com" + Sep + "80" + Sep + "50</font></td></tr>",
        "</table></body></html>",
    };
    EXPECT_EQ(page, expected);
}

TEST(StatisticsPages, SpeedPageLayout)
{
    const QStringList page = BuildSpeedPage(PageFixture(), "/data/StatisticsPing.html");
    const QStringList expected = {
        "<HTML><HEAD><TITLE>Server Statistics</TITLE></HEAD><BODY>",
        R"(<table width="95%" border="0" cellspacing="0" cellpadding="0">)",
        R"(<tr bgcolor="#cccccc"><td><b>Server</b></td><td><b><a href="/data/StatisticsPing.html">Average Ping [ms]</a></b></td><td><b>Average Download Speed [kB/s]</b></td></tr>)",
        "<tr><td>" + F + "slow.example.com" + Sep + "80" + Sep + "50</font></td></tr>",
        R"(<tr bgcolor="#eeeeee"><td>)" + F + "mid.example.de" + Sep + "40" + Sep + "12.3</font></td></tr>",
        "<tr><td>" + F + "fast.example.de" + Sep + "10" + Sep + "N/A</font></td></tr>",
        "</table><br><br>",
        R"(<A name="section2"></A><table width="95%" border="0" cellspacing="0" cellpadding="0">)",
        R"(<tr bgcolor="#cccccc"><td><b>Top Domain</b></td><td><b><a href="/data/StatisticsPing.html#section2">Average Ping [ms]</a></b></td><td><b>Average Download Speed [kB/s]</b></td></tr>)",
        "<tr><td>.com</td><td>80</td><td>50</td></tr>",
        R"(<tr bgcolor="#eeeeee"><td>.de</td><td>25</td><td>12.3</td></tr>)",
        "</table></body></html>",
    };
    EXPECT_EQ(page, expected);
}

TEST(StatisticsPages, NamesAndPathsCannotInjectMarkup)
{
    TServerStatsLists lists;
    lists.Servers = {{"<script>x</script>", 5, 1, 0, 0}};
    const QString page = BuildPingPage(lists, "/a\"b/<p>.html").join('\n');
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_TRUE(page.contains("href=\"/a&quot;b/&lt;p&gt;.html\""));
}
