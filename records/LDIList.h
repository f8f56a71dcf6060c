#pragma once
#include "platform/base/Clock.h"

#include <QList>
#include <QString>

class QTimer;
class TCategory;
class TLocalDownloadinfo;

// An ordered list of download records that owns none of them: the download system's
// list of all records, and the views made from it. Views keep the list's order.
class TLDIList {
public:
    int Count() const { return int(m_items.size()); }
    void Add(TLocalDownloadinfo* record) { m_items.append(record); }
    void Remove(TLocalDownloadinfo* record) { m_items.removeOne(record); }
    void Clear() { m_items.clear(); }
    int IndexOf(const TLocalDownloadinfo* record) const { return int(m_items.indexOf(record)); }
    // None for an index outside the list.
    TLocalDownloadinfo* Get(int index) const;

    // The records of that category; none selects those without a category.
    TLDIList GetByCategory(const TCategory* category) const;
    TLDIList GetWithCategory() const;
    // The records whose status is not the translated "Done".
    TLDIList GetNotDone() const;
    // The records whose status is exactly that text.
    TLDIList GetByStatus(const QString& status) const;
    // The records that are "Done" with a LastActivity not earlier than since.
    TLDIList GetDoneSince(TDateTime since) const;
    // The last record whose RetryTimer is that timer; none when there is none (or no timer).
    TLocalDownloadinfo* GetByTimer(const QTimer* timer) const;
    // Some record saves to this local file name, letter case ignored.
    bool FileInUse(const QString& fileName) const;

    QList<TLocalDownloadinfo*>::const_iterator begin() const { return m_items.cbegin(); }
    QList<TLocalDownloadinfo*>::const_iterator end() const { return m_items.cend(); }

private:
    template <class Keep>
    TLDIList Filtered(Keep&& keep) const;

    QList<TLocalDownloadinfo*> m_items;
};
