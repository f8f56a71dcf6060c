#pragma once
#include "records/ServerLists.h"
#include "records/Url.h"

#include <QString>
#include <functional>

// How fast servers answered pings and delivered data, per host and per top-level
// domain, remembered across runs in serverstats.txt of the data folder. Mirrors from
// the mirror list file are ordered by it before any new ping answers.
class TServerStats {
public:
    // Loads the statistics file of folder (the data folder by default) when it exists.
    explicit TServerStats(const QString& folder = QString());
    TServerStats(const TServerStats&) = delete;
    TServerStats& operator=(const TServerStats&) = delete;

    // Records a ping of the host and of its domain, then saves; ignored unless
    // 0 <= pingTime < 9999.
    void UpdatePing(const QString& host, int pingTime);
    // Records a download speed (bytes per second) of a host that has answered a
    // ping, and of its domain, then saves. A negative speed is ignored.
    void UpdateSpeed(const QString& host, qint64 speed);
    // Fills each mirror's server and domain averages (9999 and 0 without an entry)
    // and sorts the list by the server's ping, or the domain's where the server has
    // none.
    void SortMirrors(TMirrorList& mirrors) const;
    // Writes both report pages and opens the ping page.
    void ShowStatistics();
    // Deletes the statistics file and both pages and forgets everything.
    void ClearStats();

    const TServerList& Servers() const { return m_lists.Servers; }
    const TServerList& Domains() const { return m_lists.Domains; }
    QString StatsFileName() const { return m_folder + QStringLiteral("serverstats.txt"); }
    QString PingPageFileName() const { return m_folder + QStringLiteral("StatisticsPing.html"); }
    QString SpeedPageFileName() const { return m_folder + QStringLiteral("StatisticsSpeed.html"); }

    // Opens a report page; the desktop's "open" action unless a test replaces it.
    std::function<void(const QString&)> OpenDocument;

private:
    void LoadFromFile();
    // The whole file in one atomic replacement: a crash leaves the old or the new one.
    bool SaveToFile() const;

    QString m_folder;
    TServerStatsLists m_lists;
};

// The program's one statistics store, loaded at first use.
TServerStats& ServerStats();
