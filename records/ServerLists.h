#pragma once
#include <QString>
#include <QStringList>
#include <vector>

// Remembered ping times and speeds of servers: what serverstats.txt holds and how a
// new ping or speed enters it. Plain functions over lists; TServerStats
// (records/ServerStats.h) keeps the program's two lists and the file.

struct TServer {
    QString Name;          // lower-cased host name, or a top-level domain
    int AvgPing = 0;       // ms
    qint64 PingCount = 0;
    qint64 AvgSpeed = 0;   // bytes per second
    qint64 SpeedCount = 0;
};

// Ascending by AvgPing, equal values in order of arrival; at most MaxServerEntries.
using TServerList = std::vector<TServer>;
inline constexpr int MaxServerEntries = 100;
// Pings from this value on (the "no answer" time) and negative ones are not recorded.
inline constexpr int UnrecordedPing = 9999;
// Counts beyond this come from no real use: reading refuses them, which keeps every
// increment safe, and recording stops counting there.
inline constexpr qint64 MaxServerCount = qint64(1) << 62;

struct TServerStatsLists {
    TServerList Servers, Domains;
};

// The text after the last "." of the lower-cased host; empty without a ".".
QString DomainOf(const QString& host);
// round((value + average * count) / (count + 1)) with halves to even, exactly.
qint64 RunningAverage(qint64 average, qint64 count, qint64 value);

// Averages a ping into the entry of name and moves it to its place; a new name is
// inserted at its place unless that lies beyond the cap, and the slowest entry
// drops out when the list is full.
void RecordPing(TServerList& list, const QString& name, int pingTime);
// Averages a speed into the entry of name; no entry is made for it, nor is the
// list reordered.
void RecordSpeed(TServerList& list, const QString& name, qint64 speed);
// The entry of exactly that name, or none.
const TServer* FindServer(const TServerList& list, const QString& name);

// The file's lines: the number of server entries, the server entries, then the
// domain entries, each "Name<TAB>AvgPing<TAB>PingCount<TAB>AvgSpeed<TAB>SpeedCount".
QStringList FormatServerStats(const TServerStatsLists& lists);
// Reads what it can of such a file. A count line that is no number gives empty
// statistics (which lines are servers cannot be told); an entry line without a name
// field, a usable AvgPing (0 up to 9998) or a PingCount of at least 1 is skipped;
// unusable speed fields read as no speed. Names are lower-cased, a repeated name is
// dropped, each list is put in ping order and cut to the cap.
TServerStatsLists ParseServerStats(const QString& text);
