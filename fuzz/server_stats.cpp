// serverstats.txt: any file reads as lists the program could have written (ping
// order, the cap, unique lower-case names, usable numbers), and the lists written
// out read back the same, also after the pings and speeds recorded next. The input
// is the file up to its first NUL; what follows it are those pings and speeds.
#include "fuzz/FuzzCheck.h"
#include "records/ServerLists.h"
#include "records/TextLines.h"

#include <QSet>
#include <limits>

namespace {
bool SameEntries(const TServerList& a, const TServerList& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TServer& x, const TServer& y) {
        return x.Name == y.Name && x.AvgPing == y.AvgPing && x.PingCount == y.PingCount &&
               x.AvgSpeed == y.AvgSpeed && x.SpeedCount == y.SpeedCount;
    });
}

void CheckTidy(const TServerList& list)
{
    FUZZ_CHECK(list.size() <= size_t(MaxServerEntries));
    QSet<QString> names;
    int ping = 0;
    for (const TServer& server : list) {
        FUZZ_CHECK(server.AvgPing >= ping && server.AvgPing < UnrecordedPing);
        ping = server.AvgPing;
        FUZZ_CHECK(server.PingCount >= 1 && server.AvgSpeed >= 0 && server.SpeedCount >= 0);
        FUZZ_CHECK(server.Name == server.Name.toLower());
        FUZZ_CHECK(!names.contains(server.Name));
        names.insert(server.Name);
    }
}

// A host as UpdatePing and UpdateSpeed get it: from a TUrl, which holds no control
// characters, lower-cased.
QString Host(FuzzedDataProvider& provider)
{
    QString host = QString::fromStdString(provider.ConsumeRandomLengthString(16)).toLower();
    host.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    return host;
}

void Record(TServerStatsLists& lists, FuzzedDataProvider& provider)
{
    const QString host = Host(provider);
    if (provider.ConsumeBool()) {
        const int ping = provider.ConsumeIntegralInRange(0, UnrecordedPing - 1);
        RecordPing(lists.Servers, host, ping);
        RecordPing(lists.Domains, DomainOf(host), ping);
        return;
    }
    const qint64 speed = provider.ConsumeIntegralInRange<qint64>(0, std::numeric_limits<qint64>::max());
    RecordSpeed(lists.Servers, host, speed);
    RecordSpeed(lists.Domains, DomainOf(host), speed);
}

void CheckRoundTrip(const TServerStatsLists& lists)
{
    CheckTidy(lists.Servers);
    CheckTidy(lists.Domains);
    const TServerStatsLists read =
        ParseServerStats(QString::fromUtf8(JoinTextLines(FormatServerStats(lists))));
    FUZZ_CHECK(SameEntries(read.Servers, lists.Servers));
    FUZZ_CHECK(SameEntries(read.Domains, lists.Domains));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    TServerStatsLists lists = ParseServerStats(QString::fromUtf8(input.left(nul)));
    CheckRoundTrip(lists);
    if (nul < 0)
        return 0;
    FuzzedDataProvider provider(data + nul + 1, size - size_t(nul) - 1);
    for (int count = provider.ConsumeIntegralInRange(1, 8); count > 0 && provider.remaining_bytes(); --count)
        Record(lists, provider);
    CheckRoundTrip(lists);
    return 0;
}
