#include "records/SiteManager.h"

#include "platform/base/Guard.h"

TAuthInfo* TSiteManager::FindAuthInfo(const QString& host, const QString& realm) const
{
    TAuthInfo* result = nullptr;
    Guarded("function TSiteManager.FindAuthInfo(Host, Realm: string): TAuthInfo", [&] {
        for (const auto& entry : Entries) {
            if (entry->Url.Host != host)
                continue;
            if (entry->Realm == realm || !result)
                result = entry.get();
        }
    });
    return result;
}

void TSiteManager::AddWaitingSlot(const TUrl& url, const QString& realm, TPartDownloadSlot* slot)
{
    Guarded("procedure TSiteManager.AddWaitingSlot(Url: TUrl; Realm: string; Slot: TPartDownloadSlot)", [&] {
        TAuthInfo* entry = FindAuthInfo(url.Host, realm);
        if (!entry || entry->Realm != realm) {
            Entries.push_back(std::make_unique<TAuthInfo>(url.Url, realm));
            entry = Entries.back().get();
        }
        entry->WaitingSlots.append(slot);
    });
}

TPartDownloadSlot* TSiteManager::NextWaitingSlot(const TUrl& url, const QString& realm)
{
    TPartDownloadSlot* slot = nullptr;
    Guarded("function TSiteManager.NextWaitingSlot(Url: TUrl; Realm: string): TPartDownloadSlot", [&] {
        TAuthInfo* entry = FindAuthInfo(url.Host, realm);
        if (entry && !entry->WaitingSlots.isEmpty())
            slot = entry->WaitingSlots.takeFirst();
    });
    return slot;
}

void TSiteManager::RemoveWaitingSlot(const TPartDownloadSlot* slot)
{
    Guarded("procedure TSiteManager.RemoveWaitingSlot(Slot: TPartDownloadSlot)", [&] {
        for (const auto& entry : Entries)
            entry->WaitingSlots.removeAll(slot);
    });
}

void TSiteManager::SetUserPass(const TUrl& url, const QString& realm, const QString& user, const QString& pass)
{
    Guarded("procedure TSiteManager.SetUserPass(Url: TUrl; Realm, User, Pass: string)", [&] {
        if (TAuthInfo* entry = FindAuthInfo(url.Host, realm)) {
            entry->Url.User = user;
            entry->Url.Password = pass;
        }
    });
}

QString TSiteManager::GetUser(const TUrl& url, const QString& realm) const
{
    const TAuthInfo* entry = FindAuthInfo(url.Host, realm);
    return entry ? entry->Url.User : QString();
}

QString TSiteManager::GetPass(const TUrl& url, const QString& realm) const
{
    const TAuthInfo* entry = FindAuthInfo(url.Host, realm);
    return entry ? entry->Url.Password : QString();
}

TSiteManager& SiteManager()
{
    static TSiteManager instance;
    return instance;
}
