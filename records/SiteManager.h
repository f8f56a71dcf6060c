#pragma once
#include "records/Url.h"

#include <QList>
#include <QString>
#include <memory>
#include <vector>

class TPartDownloadSlot;

// Credentials for one host and realm, and the slots waiting for them (first in, first
// out). Url holds the host and, in its User and Password, the stored credentials.
struct TAuthInfo {
    TAuthInfo(const QString& url, const QString& realm) : Url(url), Realm(realm) {}

    TUrl Url;
    QString Realm;
    QList<TPartDownloadSlot*> WaitingSlots; // not owned
};

// The credentials typed while the program runs, by host and realm; nothing of it is
// stored on disk. Host and realm are compared exactly, letter case included.
class TSiteManager {
public:
    // The last entry with this host and realm; else the first one with this host, so
    // credentials typed for one realm of a host are tried for its other realms; else none.
    TAuthInfo* FindAuthInfo(const QString& host, const QString& realm) const;

    // Queues slot behind the entry for url's host and exactly this realm, creating that
    // entry from url's text when there is none.
    void AddWaitingSlot(const TUrl& url, const QString& realm, TPartDownloadSlot* slot);
    // Takes the first slot waiting in the entry found; none when it has none.
    TPartDownloadSlot* NextWaitingSlot(const TUrl& url, const QString& realm);
    // Forgets slot wherever it waits: a slot that is freed must not be handed out later.
    void RemoveWaitingSlot(const TPartDownloadSlot* slot);

    // Updates the entry found; no effect when there is none.
    void SetUserPass(const TUrl& url, const QString& realm, const QString& user, const QString& pass);
    // The stored credentials of the entry found; empty when there is none.
    QString GetUser(const TUrl& url, const QString& realm) const;
    QString GetPass(const TUrl& url, const QString& realm) const;

    int Count() const { return int(Entries.size()); }

private:
    std::vector<std::unique_ptr<TAuthInfo>> Entries; // in order of creation, never removed
};

// The program's one credentials store.
TSiteManager& SiteManager();
