#pragma once
#include "records/ServerLists.h"

#include <QStringList>

// The two report pages of the server statistics, line by line. Each table links
// to the other page by its full path. The lists are taken as they are and ordered
// here: the ping page by AvgPing ascending, the speed page by AvgSpeed descending.
QStringList BuildPingPage(const TServerStatsLists& lists, const QString& speedPagePath);
QStringList BuildSpeedPage(const TServerStatsLists& lists, const QString& pingPagePath);

// AvgPing in decimal, "N/A" for 0.
QString PingText(int avgPing);
// kB/s of 1000 bytes with at most one decimal (the tenths are cut, not rounded):
// 12345 gives "12.3" with the locale's decimal point, 12000 gives "12"; "N/A" for 0.
QString SpeedText(qint64 avgSpeed);
