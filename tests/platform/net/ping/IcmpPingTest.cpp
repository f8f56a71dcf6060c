#include "platform/net/IcmpPing.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

bool RawIcmpAllowed()
{
    const int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

TIcmpEchoOptions RawOnly()
{
    TIcmpEchoOptions options;
    options.Socket = TIcmpSocket::Raw;
    return options;
}

class IcmpRaw : public testing::Test {
protected:
    void SetUp() override
    {
        if (!RawIcmpAllowed())
            GTEST_SKIP() << "raw ICMP sockets need CAP_NET_RAW";
    }
};

class IcmpRawPath : public IcmpRaw, public testing::WithParamInterface<const char*> {};
}

TEST_P(IcmpRawPath, LoopbackAnswersAtOnce)
{
    const TIcmpEchoResult result = IcmpEcho(GetParam(), RawOnly());
    ASSERT_TRUE(result.Answered) << result.Error;
    EXPECT_EQ(result.Socket, TIcmpSocket::Raw);
    EXPECT_GE(result.RoundTripMs, 0);
    EXPECT_LT(result.RoundTripMs, 100);
}

INSTANTIATE_TEST_SUITE_P(Loopback, IcmpRawPath, testing::Values("127.0.0.1", "::1"));

TEST(IcmpPing, NoAnswerEndsWithinAboutTheTimeOut)
{
    // A name with an empty label is refused by the resolver without asking a name
    // server (which may be slow or absent here); TEST-NET-2 and the IPv6 discard
    // prefix are routed but answer nobody.
    for (const char* host : {"mirror..invalid", "", "198.51.100.1", "100::1"}) {
        SCOPED_TRACE(host);
        const Clock::time_point start = Clock::now();
        const TIcmpEchoResult result = IcmpEcho(host);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_FALSE(result.Answered);
        EXPECT_FALSE(result.Error.empty());
        EXPECT_LT(took.count(), 1500);
    }
}

TEST_F(IcmpRaw, RawSocketSkipsRepliesToOtherEchoes)
{
    // While one thread waits for an echo nobody answers, loopback replies keep
    // arriving at its raw socket; none of them may count as its answer.
    std::atomic<bool> done{false};
    TIcmpEchoResult silent;
    std::thread waiter([&] {
        silent = IcmpEcho("198.51.100.1", RawOnly());
        done = true;
    });
    int loopbackAnswers = 0;
    while (!done) {
        TIcmpEchoOptions options = RawOnly();
        options.TimeoutMs = 200;
        loopbackAnswers += IcmpEcho("127.0.0.1", options).Answered;
    }
    waiter.join();
    if (silent.Error.rfind("send", 0) == 0)
        GTEST_SKIP() << "TEST-NET-2 is not routed here: " << silent.Error;
    EXPECT_FALSE(silent.Answered);
    EXPECT_GT(loopbackAnswers, 10);
}

namespace {
// The probe's report, case name -> line, or empty when the namespace could not be made.
std::map<std::string, std::string> RunProbeInNetworkNamespace(QString& why)
{
    for (const QString& flags : {QStringLiteral("-n"), QStringLiteral("-rn")}) {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {flags, QStringLiteral(ICMP_PING_PROBE)});
        probe.waitForFinished(30000);
        const QList<QByteArray> lines = probe.readAllStandardOutput().split('\n');
        why += QStringLiteral("unshare %1: %2").arg(flags, QString::fromLocal8Bit(probe.readAllStandardError()));
        if (lines.value(0) != "started")
            continue;
        std::map<std::string, std::string> report;
        for (const QByteArray& line : lines.mid(1)) {
            const qsizetype blank = line.indexOf(' ');
            report[line.left(blank).toStdString()] = line.mid(blank + 1).toStdString();
        }
        return report;
    }
    return {};
}
}

TEST(IcmpPing, DatagramSocketFirstRawFallbackOrNoAnswer)
{
    QString why;
    const std::map<std::string, std::string> report = RunProbeInNetworkNamespace(why);
    if (report.empty())
        GTEST_SKIP() << "no network namespace allowed: " << why.toStdString();
    ASSERT_EQ(report.count("setup"), 0u) << report.at("setup");
    struct Case {
        const char* Name;
        const char* Start;
        const char* Error;
    };
    const Case cases[] = {
        {"denied-datagram", "answered=0 socket=any", "datagram ICMP socket"},
        {"raw-fallback", "answered=1 socket=raw", ""},
        {"datagram-v4", "answered=1 socket=datagram", ""},
        {"datagram-v6", "answered=1 socket=datagram", ""},
        {"datagram-first", "answered=1 socket=datagram", ""},
        // A user namespace cannot take datagram ICMP away again.
        {"no-icmp", "answered=0 socket=any", "raw ICMP socket"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(report.count(c.Name), 1u);
        const std::string& line = report.at(c.Name);
        if (std::string(c.Name) == "no-icmp" && line.rfind("skipped", 0) == 0)
            continue;
        EXPECT_EQ(line.rfind(c.Start, 0), 0u) << line;
        EXPECT_NE(line.find(c.Error), std::string::npos) << line;
    }
}
