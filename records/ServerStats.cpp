#include "records/ServerStats.h"

#include "platform/base/Guard.h"
#include "platform/base/Paths.h"
#include "platform/ini/AtomicFile.h"
#include "platform/process/Launch.h"
#include "records/StatisticsPages.h"
#include "records/TextLines.h"

#include <QFile>
#include <algorithm>
#include <vector>

namespace {
struct MirrorKey {
    TFileMirror* Mirror;
    int Ping;
};

void FillFromEntry(const TServer* entry, int& ping, qint64& speed)
{
    ping = entry ? entry->AvgPing : PingTimeUnknown;
    speed = entry ? entry->AvgSpeed : 0;
}
}

TServerStats::TServerStats(const QString& folder)
    : OpenDocument([](const QString& path) { Callbrowser(path); })
{
    Guarded("constructor TServerStats.Create", [&] {
        m_folder = QString::fromStdString(WithTrailingSeparator(
            folder.isEmpty() ? DataFolder() : folder.toStdString()));
        LoadFromFile();
    });
}

void TServerStats::LoadFromFile()
{
    if (const std::optional<QString> text = ReadTextFile(StatsFileName()))
        m_lists = ParseServerStats(*text);
}

bool TServerStats::SaveToFile() const
{
    return WriteFileAtomically(StatsFileName(), JoinTextLines(FormatServerStats(m_lists)));
}

void TServerStats::UpdatePing(const QString& host, int pingTime)
{
    Guarded("procedure TServerStats.UpdatePing(Host: string; PingTime: integer)", [&] {
        if (pingTime < 0 || pingTime >= UnrecordedPing)
            return;
        const QString name = host.toLower();
        RecordPing(m_lists.Servers, name, pingTime);
        RecordPing(m_lists.Domains, DomainOf(name), pingTime);
        SaveToFile();
    });
}

void TServerStats::UpdateSpeed(const QString& host, qint64 speed)
{
    Guarded("procedure TServerStats.UpdateSpeed(Host: string; Speed: integer)", [&] {
        if (speed < 0)
            return;
        const QString name = host.toLower();
        RecordSpeed(m_lists.Servers, name, speed);
        RecordSpeed(m_lists.Domains, DomainOf(name), speed);
        SaveToFile();
    });
}

void TServerStats::SortMirrors(TMirrorList& mirrors) const
{
    Guarded("procedure TServerStats.SortMirrors(var MirrorList: TMirrorList)", [&] {
        std::vector<MirrorKey> keyed;
        for (TFileMirror* mirror : mirrors) {
            const QString host = mirror->Url.Host.toLower();
            FillFromEntry(FindServer(m_lists.Servers, host), mirror->ServerAvgPing, mirror->ServerAvgSpeed);
            FillFromEntry(FindServer(m_lists.Domains, DomainOf(host)), mirror->DomainAvgPing, mirror->DomainAvgSpeed);
            const bool known = mirror->ServerAvgPing != PingTimeUnknown;
            keyed.push_back({mirror, known ? mirror->ServerAvgPing : mirror->DomainAvgPing});
        }
        std::stable_sort(keyed.begin(), keyed.end(), [](const MirrorKey& a, const MirrorKey& b) { return a.Ping < b.Ping; });
        mirrors.Clear();
        for (const MirrorKey& key : keyed)
            mirrors.Add(key.Mirror);
    });
}

void TServerStats::ShowStatistics()
{
    Guarded("procedure TServerStats.ShowStatistics", [&] {
        const QString pingPage = PingPageFileName(), speedPage = SpeedPageFileName();
        WriteFileAtomically(pingPage, JoinTextLines(BuildPingPage(m_lists, speedPage)));
        WriteFileAtomically(speedPage, JoinTextLines(BuildSpeedPage(m_lists, pingPage)));
        if (OpenDocument)
            OpenDocument(pingPage);
        SaveToFile();
    });
}

void TServerStats::ClearStats()
{
    Guarded("procedure TServerStats.ClearStats", [&] {
        for (const QString& file : {StatsFileName(), PingPageFileName(), SpeedPageFileName()})
            QFile::remove(file);
        m_lists = {};
    });
}

TServerStats& ServerStats()
{
    static TServerStats instance;
    return instance;
}
