#include "records/StatisticsPages.h"

#include <QLocale>
#include <algorithm>

namespace {
const QString PageStart = QStringLiteral("<HTML><HEAD><TITLE>Server Statistics</TITLE></HEAD><BODY>");
const QString TableStart = QStringLiteral(R"(<table width="95%" border="0" cellspacing="0" cellpadding="0">)");
const QString TableBreak = QStringLiteral("</table><br><br>");
const QString PageEnd = QStringLiteral("</table></body></html>");
const QString Cell = QStringLiteral(R"(<td><font size="2" color="#000000" face="verdana,arial">)");
const QString CellSeparator = QStringLiteral(R"(</font></td><td><font size="2" color="#000000" face="verdana,arial">)");
const QString RowEnd = QStringLiteral("</font></td></tr>");

const char* const PingServerHeader[] = {
    R"(<tr bgcolor="#cccccc"><td><b>Server</b></td><td><b>Average Ping [ms]</b></td><td><b><a href=")",
    R"(">Average Download Speed per Connection [kB/s]</a></b></td></tr>)"};
const char* const PingDomainHeader[] = {
    R"(<tr bgcolor="#cccccc"><td><b>Top Domain</b></td><td><b>Average Ping [ms]</b></td><td><b><a href=")",
    R"(#section2">Average Download Speed per Connection[kB/s]</a></b></td></tr>)"};
const char* const SpeedServerHeader[] = {
    R"(<tr bgcolor="#cccccc"><td><b>Server</b></td><td><b><a href=")",
    R"(">Average Ping [ms]</a></b></td><td><b>Average Download Speed [kB/s]</b></td></tr>)"};
const char* const SpeedDomainHeader[] = {
    R"(<tr bgcolor="#cccccc"><td><b>Top Domain</b></td><td><b><a href=")",
    R"(#section2">Average Ping [ms]</a></b></td><td><b>Average Download Speed [kB/s]</b></td></tr>)"};

enum class RowKind { Framed, Plain };

// Host names come from URLs anyone can hand us; the page is opened in a browser.
QString Escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString Header(const char* const (&texts)[2], const QString& otherPage)
{
    return QString::fromLatin1(texts[0]) + Escaped(otherPage) + QString::fromLatin1(texts[1]);
}

QString RowStart(size_t position)
{
    return position % 2 ? QStringLiteral(R"(<tr bgcolor="#eeeeee">)") : QStringLiteral("<tr>");
}

QString Row(const TServer& entry, size_t position, const QString& namePrefix, RowKind kind)
{
    const QString name = namePrefix + Escaped(entry.Name);
    const QString ping = PingText(entry.AvgPing), speed = SpeedText(entry.AvgSpeed);
    if (kind == RowKind::Plain)
        return RowStart(position) + QStringLiteral("<td>") + name + QStringLiteral("</td><td>") + ping
            + QStringLiteral("</td><td>") + speed + QStringLiteral("</td></tr>");
    return RowStart(position) + Cell + name + CellSeparator + ping + CellSeparator + speed + RowEnd;
}

void AppendRows(QStringList& page, const TServerList& list, const QString& namePrefix, RowKind kind)
{
    for (size_t i = 0; i < list.size(); ++i)
        page.append(Row(list[i], i, namePrefix, kind));
}

TServerStatsLists Ordered(TServerStatsLists lists, bool bySpeed)
{
    const auto byPing = [](const TServer& a, const TServer& b) { return a.AvgPing < b.AvgPing; };
    const auto fastestFirst = [](const TServer& a, const TServer& b) { return a.AvgSpeed > b.AvgSpeed; };
    for (TServerList* list : {&lists.Servers, &lists.Domains}) {
        if (bySpeed)
            std::stable_sort(list->begin(), list->end(), fastestFirst);
        else
            std::stable_sort(list->begin(), list->end(), byPing);
    }
    return lists;
}

// What tells the two pages apart.
struct PageShape {
    bool BySpeed;
    const char* const (&ServerHeader)[2];
    const char* const (&DomainHeader)[2];
    const char* DomainAnchor;
    RowKind DomainRows;
};

QStringList BuildPage(const PageShape& shape, const TServerStatsLists& unordered, const QString& otherPage)
{
    const TServerStatsLists lists = Ordered(unordered, shape.BySpeed);
    QStringList page{PageStart, TableStart, Header(shape.ServerHeader, otherPage)};
    AppendRows(page, lists.Servers, QString(), RowKind::Framed);
    page << TableBreak << QString::fromLatin1(shape.DomainAnchor) + TableStart << Header(shape.DomainHeader, otherPage);
    AppendRows(page, lists.Domains, QStringLiteral("."), shape.DomainRows);
    page << PageEnd;
    return page;
}
}

QString PingText(int avgPing)
{
    return avgPing == 0 ? QStringLiteral("N/A") : QString::number(avgPing);
}

QString SpeedText(qint64 avgSpeed)
{
    if (avgSpeed == 0)
        return QStringLiteral("N/A");
    const qint64 tenths = avgSpeed / 100;
    QString text = QString::number(tenths / 10);
    if (tenths % 10 != 0)
        text += QLocale().decimalPoint() + QString::number(tenths % 10);
    return text;
}

QStringList BuildPingPage(const TServerStatsLists& lists, const QString& speedPagePath)
{
    return BuildPage({false, PingServerHeader, PingDomainHeader, R"(<A name="section2">)", RowKind::Framed}, lists,
                     speedPagePath);
}

QStringList BuildSpeedPage(const TServerStatsLists& lists, const QString& pingPagePath)
{
    return BuildPage({true, SpeedServerHeader, SpeedDomainHeader, R"(<A name="section2"></A>)", RowKind::Plain}, lists,
                     pingPagePath);
}
