// What TDownloadSystem lists, and how a download leaves the program.
#include "coordination/DownloadSystem.h"

#include "engine/CombineParts.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "records/CategoryList.h"
#include "records/LocalDownloadinfo.h"
#include "records/StatusTexts.h"

void TDownloadSystem::RemoveFromStringGrid(TDownloader* downloader)
{
    Guarded("procedure TDownloadSystem.RemoveFromStringGrid(Downloader: TDownloader)", [&] {
        TLDIList records;
        records.Add(downloader->DownloadInfo);
        DeleteItems(records);
    });
}

void TDownloadSystem::DeleteItems(const TLDIList& records)
{
    Guarded("procedure TForm_Main.DeleteItems(lstLDI: TLDIList; DeleteWarning: boolean)", [&] {
        const TLDIList items = records; // it may be the records list itself
        QList<TDownloader*> running;
        for (TLocalDownloadinfo* record : items) {
            if (TDownloader* downloader = AssociatedDownloader(record)) {
                running.append(downloader);
                RecordList.Remove(record);
            } else {
                RemoveDownload(record, false);
            }
        }
        for (TDownloader* downloader : running) {
            // A join in progress stops before the parts go.
            if (TDownloadForms* forms = FormsOf(downloader))
                forms->Combiner.reset();
            downloader->Abort();
        }
    });
    RefreshList();
}

void TDownloadSystem::RemoveDownload(TLocalDownloadinfo* record, bool refresh)
{
    Guarded("procedure TDownloadSystem.RemoveDownload(LDI: TLocalDownloadinfo)", [&] {
        if (!record)
            return;
        if (const auto handler = OnDownloadRemoved)
            handler(record);
        record->DeleteDatFile();
        record->DeletePartFiles();
        RecordList.Remove(record);
        ReleaseRecord(record);
    });
    if (refresh)
        RefreshList();
}

void TDownloadSystem::PopulateGrid(const TLDIList& records)
{
    ListModel->PopulateGrid(records);
}

bool TDownloadSystem::UpdateRow(TLocalDownloadinfo* record)
{
    const bool updated = ListModel->UpdateRow(record);
    NotifyChange(record);
    return updated;
}

int TDownloadSystem::AssociatedRow(const TLocalDownloadinfo* record) const
{
    return ListModel->AssociatedRow(record);
}

TLDIList TDownloadSystem::GetSelectedFromList() const
{
    return ListModel->GetSelectedFromList();
}

void TDownloadSystem::RefreshList()
{
    Guarded("procedure TForm_Main.PopulateVDT(KeepSelection: boolean)", [&] {
        if (Host.MainWindow)
            Host.MainWindow->PopulateVDT(true);
        else if (Host.KeepsList)
            ListModel->Refresh(true);
    });
}

void TDownloadSystem::Show(const char* signature, std::function<TLDIList()> filter)
{
    Guarded(signature, [&] {
        ListModel->SetFilter(std::move(filter));
        ListModel->Refresh(false);
    });
}

void TDownloadSystem::ShowAll()
{
    Show("procedure TDownloadSystem.ShowAll", [this] { return RecordList; });
}

void TDownloadSystem::ShowStatus(const QString& status)
{
    Show("procedure TDownloadSystem.ShowStatus(Status: string)", [this, status] {
        if (status != StatusTexts().Downloading)
            return RecordList.GetByStatus(status);
        // Everything with a downloader: also waiting in a dialog, for a retry, or joining.
        TLDIList running;
        for (const TDownloader* downloader : Active)
            running.Add(downloader->DownloadInfo);
        return running;
    });
}

void TDownloadSystem::ShowAllStatus()
{
    Show("procedure TDownloadSystem.ShowAllStatus", [this] { return RecordList.GetNotDone(); });
}

void TDownloadSystem::ShowCategory(const QString& categoryName)
{
    Show("procedure TDownloadSystem.ShowCategory(CategoryName: string)", [this, categoryName] {
        TLDIList listed;
        const TCategory* category = CategoryList().GetByName(categoryName);
        if (!category)
            return listed;
        listed = RecordList.GetByCategory(category);
        for (const TCategory* below : CategoryList().GetSubCategories(category)) {
            for (TLocalDownloadinfo* record : RecordList.GetByCategory(below))
                listed.Add(record);
        }
        return listed;
    });
}

void TDownloadSystem::ShowAllCategory()
{
    Show("procedure TDownloadSystem.ShowAllCategory", [this] { return RecordList.GetWithCategory(); });
}

void TDownloadSystem::ShowHistory(const QString& period)
{
    Show("procedure TDownloadSystem.ShowHistory(Period: string)", [this, period] {
        const TStatusTexts& texts = StatusTexts();
        const double days = period == texts.Hours24 ? 1 : period == texts.Days7 ? 7 : period == texts.Days30 ? 30 : 0;
        return RecordList.GetDoneSince(Now() - days);
    });
}
