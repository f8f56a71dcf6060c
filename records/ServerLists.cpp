#include "records/ServerLists.h"

#include "platform/base/Guard.h"
#include "records/TextLines.h"

#include <QSet>
#include <algorithm>
#include <limits>
#include <optional>

namespace {
const QLatin1Char Tab('\t');
constexpr qint64 MaxSpeed = std::numeric_limits<qint64>::max();

qsizetype FindIndex(const TServerList& list, const QString& name)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](const TServer& s) { return s.Name == name; });
    return found == list.end() ? -1 : found - list.begin();
}

// Before the first entry whose AvgPing is greater than ping; the end when none is.
qsizetype InsertPosition(const TServerList& list, int ping)
{
    const auto after = std::find_if(list.begin(), list.end(), [&](const TServer& s) { return s.AvgPing > ping; });
    return after - list.begin();
}

// One more, unless the count is at the cap already: a count past it would not be
// read back, and the entry with it would be lost at the next start.
qint64 Counted(qint64 count)
{
    return count < MaxServerCount ? count + 1 : count;
}

std::optional<qint64> Number(const QStringList& fields, qsizetype index, qint64 minimum, qint64 maximum)
{
    if (index >= fields.size())
        return std::nullopt;
    bool ok = false;
    const qint64 value = fields[index].toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<TServer> ParseEntry(const QString& line)
{
    const QStringList fields = line.split(Tab);
    const std::optional<qint64> ping = Number(fields, 1, 0, UnrecordedPing - 1);
    const std::optional<qint64> pings = Number(fields, 2, 1, MaxServerCount);
    if (!ping || !pings)
        return std::nullopt;
    TServer server{fields[0].toLower(), int(*ping), *pings};
    const std::optional<qint64> speed = Number(fields, 3, 0, MaxSpeed);
    const std::optional<qint64> speeds = Number(fields, 4, 0, MaxServerCount);
    if (speed && speeds) {
        server.AvgSpeed = *speed;
        server.SpeedCount = *speeds;
    }
    return server;
}

void Tidy(TServerList& list)
{
    QSet<QString> seen;
    std::erase_if(list, [&](const TServer& s) {
        const bool repeated = seen.contains(s.Name);
        seen.insert(s.Name);
        return repeated;
    });
    std::stable_sort(list.begin(), list.end(), [](const TServer& a, const TServer& b) { return a.AvgPing < b.AvgPing; });
    if (list.size() > size_t(MaxServerEntries))
        list.resize(MaxServerEntries);
}

QString EntryLine(const TServer& s)
{
    return s.Name + Tab + QString::number(s.AvgPing) + Tab + QString::number(s.PingCount) + Tab
        + QString::number(s.AvgSpeed) + Tab + QString::number(s.SpeedCount);
}
}

QString DomainOf(const QString& host)
{
    const QString name = host.toLower();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

qint64 RunningAverage(qint64 average, qint64 count, qint64 value)
{
    const __int128 sum = __int128(average) * count + value;
    const __int128 divisor = __int128(count) + 1;
    __int128 quotient = sum / divisor;
    __int128 twiceRemainder = (sum % divisor) * 2;
    if (twiceRemainder < 0) { // floor the quotient so the remainder counts upwards
        quotient -= 1;
        twiceRemainder += divisor * 2;
    }
    if (twiceRemainder > divisor || (twiceRemainder == divisor && quotient % 2 != 0))
        quotient += 1;
    return qint64(quotient);
}

void RecordPing(TServerList& list, const QString& name, int pingTime)
{
    const qsizetype index = FindIndex(list, name);
    if (index >= 0) {
        TServer server = list[size_t(index)];
        server.AvgPing = int(RunningAverage(server.AvgPing, server.PingCount, pingTime));
        server.PingCount = Counted(server.PingCount);
        list.erase(list.begin() + index);
        list.insert(list.begin() + InsertPosition(list, server.AvgPing), server);
        return;
    }
    const qsizetype position = InsertPosition(list, pingTime);
    if (position >= MaxServerEntries)
        return;
    list.insert(list.begin() + position, TServer{name, pingTime, 1});
    if (list.size() > size_t(MaxServerEntries))
        list.resize(MaxServerEntries);
}

void RecordSpeed(TServerList& list, const QString& name, qint64 speed)
{
    const qsizetype index = FindIndex(list, name);
    if (index < 0)
        return;
    TServer& server = list[size_t(index)];
    server.AvgSpeed = RunningAverage(server.AvgSpeed, server.SpeedCount, speed);
    server.SpeedCount = Counted(server.SpeedCount);
}

const TServer* FindServer(const TServerList& list, const QString& name)
{
    const qsizetype index = FindIndex(list, name);
    return index < 0 ? nullptr : &list[size_t(index)];
}

QStringList FormatServerStats(const TServerStatsLists& lists)
{
    QStringList lines{QString::number(lists.Servers.size())};
    for (const TServer& server : lists.Servers)
        lines.append(EntryLine(server));
    for (const TServer& domain : lists.Domains)
        lines.append(EntryLine(domain));
    return lines;
}

TServerStatsLists ParseServerStats(const QString& text)
{
    TServerStatsLists lists;
    Guarded("function ParseServerStats(Text: string): TServerStatsLists", [&] {
        const QStringList lines = SplitTextLines(text);
        bool ok = false;
        const qint64 count = lines.isEmpty() ? 0 : lines[0].trimmed().toLongLong(&ok);
        if (!ok || count < 0)
            return;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            TServerList& list = i <= count ? lists.Servers : lists.Domains;
            if (const std::optional<TServer> entry = ParseEntry(lines[i]))
                list.push_back(*entry);
        }
        Tidy(lists.Servers);
        Tidy(lists.Domains);
    });
    return lists;
}
