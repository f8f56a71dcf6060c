#include "records/ServerStats.h"

#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
class ServerStatsTest : public TempHomeTest {
protected:
    // Never the desktop's browser in a test.
    std::unique_ptr<TServerStats> Stats()
    {
        auto stats = std::make_unique<TServerStats>();
        stats->OpenDocument = [this](const QString& path) { opened.append(path); };
        return stats;
    }
    QStringList opened;
};
}

TEST_F(ServerStatsTest, PingsAndSpeedsGoToHostAndDomainAndSurviveARestart)
{
    auto stats = Stats();
    stats->UpdatePing("Mirror.Example.DE", 100);
    stats->UpdatePing("mirror.example.de", 201);
    stats->UpdatePing("ftp.example.com", 30);
    stats->UpdateSpeed("MIRROR.example.de", 12345);
    stats->UpdateSpeed("never.pinged.org", 999);
    for (int ignored : {-1, 9999, 20000})
        stats->UpdatePing("ignored.example.net", ignored);

    ASSERT_EQ(stats->Servers().size(), 2u);
    EXPECT_EQ(stats->Servers()[0].Name, "ftp.example.com");
    const TServer& mirror = stats->Servers()[1];
    EXPECT_EQ(mirror.Name, "mirror.example.de");
    EXPECT_EQ(mirror.AvgPing, 150);
    EXPECT_EQ(mirror.PingCount, 2);
    EXPECT_EQ(mirror.AvgSpeed, 12345);
    ASSERT_EQ(stats->Domains().size(), 2u);
    EXPECT_EQ(stats->Domains()[0].Name, "com");
    EXPECT_EQ(stats->Domains()[1].Name, "de");
    EXPECT_EQ(stats->Domains()[1].SpeedCount, 1);

    EXPECT_EQ(ReadWholeFile(stats->StatsFileName()),
              "2\r\nftp.example.com\t30\t1\t0\t0\r\nmirror.example.de\t150\t2\t12345\t1\r\n"
              "com\t30\t1\t0\t0\r\nde\t150\t2\t12345\t1\r\n");
    auto again = Stats();
    EXPECT_EQ(FormatServerStats({again->Servers(), again->Domains()}),
              FormatServerStats({stats->Servers(), stats->Domains()}));
}

TEST_F(ServerStatsTest, MirrorsSortByServerPingElseDomainPing)
{
    auto stats = Stats();
    stats->UpdatePing("known.example.com", 300);
    stats->UpdateSpeed("known.example.com", 5000);
    stats->UpdatePing("other.example.de", 100);
    TMirrorList mirrors;
    for (const char* url : {"http://nothing.example.org/f", "http://KNOWN.example.com/f", "http://unknown.example.de/f"})
        mirrors.Add(new TFileMirror(QString::fromLatin1(url)));

    stats->SortMirrors(mirrors);
    ASSERT_EQ(mirrors.Count(), 3);
    EXPECT_EQ(mirrors.Get(0)->Url.Host, "unknown.example.de") << "domain de answers in 100 ms";
    EXPECT_EQ(mirrors.Get(1)->Url.Host, "KNOWN.example.com");
    EXPECT_EQ(mirrors.Get(2)->Url.Host, "nothing.example.org");

    const TFileMirror* unknownHost = mirrors.Get(0);
    EXPECT_EQ(unknownHost->ServerAvgPing, PingTimeUnknown);
    EXPECT_EQ(unknownHost->ServerAvgSpeed, 0);
    EXPECT_EQ(unknownHost->DomainAvgPing, 100);
    const TFileMirror* known = mirrors.Get(1);
    EXPECT_EQ(known->ServerAvgPing, 300);
    EXPECT_EQ(known->ServerAvgSpeed, 5000);
    EXPECT_EQ(known->DomainAvgSpeed, 5000);
    const TFileMirror* nothing = mirrors.Get(2);
    EXPECT_EQ(nothing->ServerAvgPing, PingTimeUnknown);
    EXPECT_EQ(nothing->DomainAvgPing, PingTimeUnknown);
    mirrors.DeleteAndFreeAllMirrors();
}

TEST_F(ServerStatsTest, ShowStatisticsWritesBothPagesAndOpensThePingPage)
{
    auto stats = Stats();
    stats->UpdatePing("a.example.com", 20);
    stats->UpdatePing("b.example.com", 10);
    stats->UpdateSpeed("a.example.com", 9000);
    stats->ShowStatistics();
    EXPECT_EQ(opened, QStringList{stats->PingPageFileName()});
    const QString ping = QString::fromUtf8(ReadWholeFile(stats->PingPageFileName()));
    const QString speed = QString::fromUtf8(ReadWholeFile(stats->SpeedPageFileName()));
    EXPECT_TRUE(ping.contains("href=\"" + stats->SpeedPageFileName() + "\""));
    EXPECT_TRUE(speed.contains("href=\"" + stats->PingPageFileName() + "#section2\""));
    EXPECT_LT(ping.indexOf("b.example.com"), ping.indexOf("a.example.com"));
    EXPECT_LT(speed.indexOf("a.example.com"), speed.indexOf("b.example.com"));
    EXPECT_EQ(stats->Servers()[0].Name, "b.example.com") << "the lists stay in ping order";
}

TEST_F(ServerStatsTest, ClearStatsRemovesFileAndPagesAndForgets)
{
    auto stats = Stats();
    stats->UpdatePing("a.example.com", 20);
    stats->ShowStatistics();
    stats->ClearStats();
    EXPECT_TRUE(stats->Servers().empty());
    EXPECT_TRUE(stats->Domains().empty());
    for (const QString& file : {stats->StatsFileName(), stats->PingPageFileName(), stats->SpeedPageFileName()})
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
    EXPECT_TRUE(Stats()->Servers().empty());
}

TEST_F(ServerStatsTest, ADamagedFileLoadsWhatItCanAndIsRewrittenWhole)
{
    ASSERT_TRUE(WriteWholeFile(Path("serverstats.txt"), "7\nok.example.com\t12\t2\t100\t1\nbroken line\nx.example.com\tfast\n"));
    auto stats = Stats();
    ASSERT_EQ(stats->Servers().size(), 1u);
    EXPECT_EQ(stats->Servers()[0].Name, "ok.example.com");
    stats->UpdatePing("ok.example.com", 12);
    EXPECT_EQ(ReadWholeFile(Path("serverstats.txt")), "1\r\nok.example.com\t12\t3\t100\t1\r\ncom\t12\t1\t0\t0\r\n");
}

TEST_F(ServerStatsTest, AnUnwritableFolderLosesNothingInMemory)
{
    ASSERT_TRUE(WriteWholeFile(Path("plain"), "x"));
    TServerStats stats(Path("plain/sub"));
    stats.UpdatePing("a.example.com", 5);
    ASSERT_EQ(stats.Servers().size(), 1u);
    EXPECT_EQ(stats.Servers()[0].AvgPing, 5);
}
