#pragma once
#include "records/LDIList.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QString>
#include <array>
#include <functional>
#include <vector>

class TDownloadSystem;
class TPartFileSizeCache;
class TLocalDownloadinfo;

// One row of the download list: the record it shows and its texts, computed when the
// row is filled so that showing it formats nothing.
struct TDownloadRow {
    enum TColumn { FileName, Status, Completed, Total, TimeLeft, Speed, TimeAdded, SavePath, Description, ColumnCount };

    TLocalDownloadinfo* Record = nullptr; // not owned
    std::array<QString, ColumnCount> Texts;
    qint64 CompletedBytes = 0; // what the completed text shows, for sorting
};

// The download list's rows as a widget-free item model: a flat table of the nine
// columns of the list, one row per listed record, bound directly to its record, with a
// selection of its own (SelectionModel(), for the view to share). The download system
// chooses what is listed (its Show... filters) and refills a record's row on each
// change; a lookup from record to row makes that refill cost one row.
//
// Besides the display texts each cell answers RecordRole (the record), StateCodeRole
// (for the status colours), IconFileRole (the file name the icon is looked up by; the
// icon itself is the view's business) and SortRole. sort() orders rows by the list's
// rules and keeps the selection.
class TDownloadListModel : public QAbstractTableModel {
public:
    enum TRole { RecordRole = Qt::UserRole + 1, StateCodeRole, IconFileRole, SortRole };

    explicit TDownloadListModel(const TDownloadSystem& system);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Replaces the rows by rows for these records, sorted by the current sort column.
    void PopulateGrid(const TLDIList& records);
    // Refills the record's row; false when it has none.
    bool UpdateRow(TLocalDownloadinfo* record);
    // The record's row; -1 when it has none.
    int AssociatedRow(const TLocalDownloadinfo* record) const;
    // Drops the record's row, if any (the record is about to be freed).
    void RemoveRow(const TLocalDownloadinfo* record);
    const TDownloadRow* Row(int row) const;
    TLocalDownloadinfo* Record(int row) const;

    QItemSelectionModel* SelectionModel() { return &Selection; }
    // The records of the selected rows, in list order.
    TLDIList GetSelectedFromList() const;

    // What the list shows: the filter runs again on every Refresh.
    void SetFilter(std::function<TLDIList()> filter);
    // Lists what the filter gives; with keepSelection the selected and the current
    // records stay so where they are still listed, and without any selected before the
    // first row becomes selected and current.
    void Refresh(bool keepSelection);

    int SortColumn() const { return SortedBy; }
    Qt::SortOrder SortOrder() const { return Order; }

private:
    QVariant SortKey(const TDownloadRow& row, int column) const;
    bool Less(const TDownloadRow& a, const TDownloadRow& b, int column) const;
    void SortRows();
    void RebuildIndex();
    void Select(const TLDIList& records, const TLocalDownloadinfo* current);

    const TDownloadSystem& System;
    std::vector<TDownloadRow> Rows;
    QHash<const TLocalDownloadinfo*, int> RowOf;
    QItemSelectionModel Selection;
    std::function<TLDIList()> Filter;
    int SortedBy = 0;
    Qt::SortOrder Order = Qt::AscendingOrder;
};

// The texts a download's row shows now, from the record and its active downloader.
// sizes, when given, answers for the part files of a row without a downloader (one
// folder scan for a whole refill).
void FillDownloadRow(const TDownloadSystem& system, TDownloadRow& row, TPartFileSizeCache* sizes = nullptr);
