#include "records/LDIList.h"

#include "platform/base/Guard.h"
#include "records/LocalDownloadinfo.h"
#include "records/StatusTexts.h"

template <class Keep>
TLDIList TLDIList::Filtered(Keep&& keep) const
{
    TLDIList view;
    Guarded("function TLDIList.Filtered: TLDIList", [&] {
        for (TLocalDownloadinfo* record : m_items) {
            if (keep(*record))
                view.Add(record);
        }
    });
    return view;
}

TLocalDownloadinfo* TLDIList::Get(int index) const
{
    return index >= 0 && index < Count() ? m_items[index] : nullptr;
}

TLDIList TLDIList::GetByCategory(const TCategory* category) const
{
    return Filtered([&](const TLocalDownloadinfo& r) { return r.Category == category; });
}

TLDIList TLDIList::GetWithCategory() const
{
    return Filtered([](const TLocalDownloadinfo& r) { return r.Category != nullptr; });
}

TLDIList TLDIList::GetNotDone() const
{
    const QString done = StatusTexts().Done;
    return Filtered([&](const TLocalDownloadinfo& r) { return r.Status() != done; });
}

TLDIList TLDIList::GetByStatus(const QString& status) const
{
    return Filtered([&](const TLocalDownloadinfo& r) { return r.Status() == status; });
}

TLDIList TLDIList::GetDoneSince(TDateTime since) const
{
    const QString done = StatusTexts().Done;
    return Filtered([&](const TLocalDownloadinfo& r) { return r.Status() == done && r.LastActivity >= since; });
}

TLocalDownloadinfo* TLDIList::GetByTimer(const QTimer* timer) const
{
    TLocalDownloadinfo* found = nullptr;
    if (!timer)
        return found;
    for (TLocalDownloadinfo* record : m_items) {
        if (record->RetryTimer == timer)
            found = record;
    }
    return found;
}

bool TLDIList::FileInUse(const QString& fileName) const
{
    for (const TLocalDownloadinfo* record : m_items) {
        if (record->LocalFileName.compare(fileName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
