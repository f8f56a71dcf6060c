#include "coordination/DownloadListModel.h"

#include "coordination/DownloadSystem.h"
#include "coordination/PartFileSizes.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "records/GeneralFunctions.h"
#include "records/LocalDownloadinfo.h"
#include "records/QtDateTime.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QLocale>
#include <algorithm>

namespace {
QString FolderOf(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TimeAddedText(TDateTime created)
{
    const QDateTime moment = ToQDateTime(created);
    const QLocale locale;
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(moment.time(), QLocale::LongFormat);
}

// A rate text as a number; "N/A" and empty count 0.
double RateValue(const QString& text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    return ok ? value : text.toDouble();
}
}

void FillDownloadRow(const TDownloadSystem& system, TDownloadRow& row, TPartFileSizeCache* sizes)
{
    Guarded("procedure TDownloadSystem.FillRowData", [&] {
        TLocalDownloadinfo* record = row.Record;
        auto& texts = row.Texts;
        texts.fill(QString());
        texts[TDownloadRow::FileName] = NameOf(record->LocalFileName);
        texts[TDownloadRow::TimeAdded] = TimeAddedText(record->Created);
        texts[TDownloadRow::Status] = record->Status();
        if (record->RetryTimer)
            texts[TDownloadRow::Status] += QStringLiteral(" (") + QString::number(record->RetryCountdown) + QLatin1Char(')');
        texts[TDownloadRow::Total] =
            record->FileSize != 0 ? BytesToPresentableString(record->FileSize) : StatusTexts().Unknown;
        TDownloader* downloader = system.AssociatedDownloader(record);
        if (record->Status() == StatusTexts().Done) {
            texts[TDownloadRow::Completed] = texts[TDownloadRow::Total];
            row.CompletedBytes = record->FileSize;
        } else if (downloader) {
            row.CompletedBytes = downloader->TransferCount();
            texts[TDownloadRow::Completed] = BytesToPresentableString(row.CompletedBytes);
            if (!record->RetryTimer) {
                texts[TDownloadRow::TimeLeft] = downloader->TimeLeft();
                texts[TDownloadRow::Speed] = downloader->TransferRate();
            }
        } else {
            row.CompletedBytes = sizes ? sizes->BytesDownloaded(record->TempFileName())
                                       : TDownloadSystem::BytesDownloaded(record->TempFileName());
            texts[TDownloadRow::Completed] = BytesToPresentableString(row.CompletedBytes);
        }
        texts[TDownloadRow::SavePath] = FolderOf(record->LocalFileName);
        texts[TDownloadRow::Description] = record->Description;
    });
}

TDownloadListModel::TDownloadListModel(const TDownloadSystem& system)
    : System(system)
    , Selection(this)
{
}

int TDownloadListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Rows.size());
}

int TDownloadListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : TDownloadRow::ColumnCount;
}

QVariant TDownloadListModel::data(const QModelIndex& index, int role) const
{
    const TDownloadRow* row = index.isValid() ? Row(index.row()) : nullptr;
    if (!row || index.column() >= TDownloadRow::ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return row->Texts[index.column()];
    case RecordRole:
        return QVariant::fromValue(static_cast<void*>(row->Record));
    case StateCodeRole:
        return int(row->Record->StateCode);
    case IconFileRole:
        return row->Texts[TDownloadRow::FileName];
    case SortRole:
        return SortKey(*row, index.column());
    default:
        return {};
    }
}

QVariant TDownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= TDownloadRow::ColumnCount)
        return {};
    return Translate(QString::fromLatin1(Setting::DownloadColumn(section).HeaderText));
}

const TDownloadRow* TDownloadListModel::Row(int row) const
{
    return row >= 0 && row < int(Rows.size()) ? &Rows[size_t(row)] : nullptr;
}

TLocalDownloadinfo* TDownloadListModel::Record(int row) const
{
    const TDownloadRow* found = Row(row);
    return found ? found->Record : nullptr;
}

void TDownloadListModel::PopulateGrid(const TLDIList& records)
{
    Guarded("procedure TDownloadSystem.PopulateGrid(lstLDI: TLDIList)", [&] {
        beginResetModel();
        Rows.clear();
        Rows.reserve(size_t(records.Count()));
        TPartFileSizeCache sizes;
        for (TLocalDownloadinfo* record : records) {
            TDownloadRow& row = Rows.emplace_back();
            row.Record = record;
            FillDownloadRow(System, row, &sizes);
        }
        SortRows();
        RebuildIndex();
        endResetModel();
    });
}

bool TDownloadListModel::UpdateRow(TLocalDownloadinfo* record)
{
    bool updated = false;
    Guarded("function TDownloadSystem.UpdateRow(LDI: TLocalDownloadinfo): boolean", [&] {
        const int row = AssociatedRow(record);
        if (row < 0)
            return;
        FillDownloadRow(System, Rows[size_t(row)]);
        emit dataChanged(index(row, 0), index(row, TDownloadRow::ColumnCount - 1));
        updated = true;
    });
    return updated;
}

int TDownloadListModel::AssociatedRow(const TLocalDownloadinfo* record) const
{
    return record ? RowOf.value(record, -1) : -1;
}

void TDownloadListModel::RemoveRow(const TLocalDownloadinfo* record)
{
    const int row = AssociatedRow(record);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    Rows.erase(Rows.begin() + row);
    RebuildIndex();
    endRemoveRows();
}

TLDIList TDownloadListModel::GetSelectedFromList() const
{
    TLDIList selected;
    Guarded("function TDownloadSystem.GetSelectedFromList: TLDIList", [&] {
        QModelIndexList rows = Selection.selectedRows();
        std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
        for (const QModelIndex& index : rows) {
            if (TLocalDownloadinfo* record = Record(index.row()))
                selected.Add(record);
        }
    });
    return selected;
}

void TDownloadListModel::SetFilter(std::function<TLDIList()> filter)
{
    Filter = std::move(filter);
}

void TDownloadListModel::Refresh(bool keepSelection)
{
    Guarded("procedure TForm_Main.PopulateVDT(KeepSelection: boolean)", [&] {
        const TLDIList selected = keepSelection ? GetSelectedFromList() : TLDIList();
        const TLocalDownloadinfo* current = keepSelection ? Record(Selection.currentIndex().row()) : nullptr;
        PopulateGrid(Filter ? Filter() : TLDIList());
        if (keepSelection)
            Select(selected, current);
    });
}

void TDownloadListModel::Select(const TLDIList& records, const TLocalDownloadinfo* current)
{
    const auto rowFlags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    if (records.Count() == 0 && !Rows.empty()) {
        Selection.setCurrentIndex(index(0, 0), rowFlags);
        return;
    }
    for (const TLocalDownloadinfo* record : records) {
        const int row = AssociatedRow(record);
        if (row >= 0)
            Selection.select(index(row, 0), rowFlags);
    }
    const int currentRow = AssociatedRow(current);
    if (currentRow >= 0)
        Selection.setCurrentIndex(index(currentRow, 0), QItemSelectionModel::NoUpdate);
}

QVariant TDownloadListModel::SortKey(const TDownloadRow& row, int column) const
{
    switch (column) {
    case TDownloadRow::Completed:
        return row.CompletedBytes;
    case TDownloadRow::Total:
        return row.Record->FileSize;
    case TDownloadRow::TimeLeft:
        return TimeStringToSeconds(row.Texts[TDownloadRow::TimeLeft]);
    case TDownloadRow::Speed:
        return RateValue(row.Texts[TDownloadRow::Speed]);
    case TDownloadRow::TimeAdded:
        return row.Record->Created;
    case TDownloadRow::Status:
    case TDownloadRow::SavePath:
    case TDownloadRow::Description:
        return row.Texts[column].toLower();
    default:
        return row.Texts[TDownloadRow::FileName].toLower();
    }
}

bool TDownloadListModel::Less(const TDownloadRow& a, const TDownloadRow& b, int column) const
{
    const QVariant left = SortKey(a, column);
    const QVariant right = SortKey(b, column);
    return QVariant::compare(left, right) == QPartialOrdering::Less;
}

void TDownloadListModel::SortRows()
{
    if (SortedBy < 0 || SortedBy >= TDownloadRow::ColumnCount)
        return;
    const int column = SortedBy;
    const bool ascending = Order == Qt::AscendingOrder;
    std::stable_sort(Rows.begin(), Rows.end(), [&](const TDownloadRow& a, const TDownloadRow& b) {
        return ascending ? Less(a, b, column) : Less(b, a, column);
    });
}

void TDownloadListModel::sort(int column, Qt::SortOrder order)
{
    Guarded("procedure TForm_Main.VDT_DownloadsHeaderClick", [&] {
        SortedBy = column;
        Order = order;
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<const TLocalDownloadinfo*> shown;
        for (const QModelIndex& index : before)
            shown.push_back(Record(index.row()));
        SortRows();
        RebuildIndex();
        QModelIndexList after;
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(index(AssociatedRow(shown[size_t(i)]), before[i].column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    });
}

void TDownloadListModel::RebuildIndex()
{
    RowOf.clear();
    RowOf.reserve(qsizetype(Rows.size()));
    for (size_t row = 0; row < Rows.size(); ++row)
        RowOf.insert(Rows[row].Record, int(row));
}
