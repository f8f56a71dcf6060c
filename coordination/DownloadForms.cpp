#include "coordination/DownloadForms.h"

#include "engine/CombineParts.h"
#include "engine/Downloader.h"
#include "platform/base/Guard.h"
#include "records/LocalDownloadinfo.h"

#include <algorithm>

TDownloadForms::TDownloadForms(std::unique_ptr<TDownloader> downloader)
    : OwnedDownloader(std::move(downloader))
{
}

TDownloadForms::~TDownloadForms()
{
    Guarded("destructor TDownloadForms.Destroy", [&] {
        FileInfoWindow.reset();
        DownloadWindow.reset();
        CompletionDialog.reset();
        Combiner.reset();
        OwnedDownloader.reset();
        OrphanedRecord.reset();
    });
}

TDownloadForms* TDownloadFormsList::Add(std::unique_ptr<TDownloadForms> forms)
{
    Items.push_back(std::move(forms));
    return Items.back().get();
}

TDownloadForms* TDownloadFormsList::GetDownloadForms(const TDownloader* downloader) const
{
    if (!downloader)
        return nullptr;
    for (const auto& forms : Items) {
        if (forms->Downloader() == downloader)
            return forms.get();
    }
    return nullptr;
}

TDownloadForms* TDownloadFormsList::GetByRecord(const TLocalDownloadinfo* record) const
{
    for (const auto& forms : Items) {
        if (forms->Downloader() && forms->Downloader()->DownloadInfo == record)
            return forms.get();
    }
    return nullptr;
}

void TDownloadFormsList::Reap()
{
    Guarded("procedure TDownloadSystem.OnFreeTimer(Sender: TObject)", [&] {
        // Taken out of the list before they go: a destructor that reaches the list
        // finds only the sets that stay.
        std::vector<std::unique_ptr<TDownloadForms>> freed;
        auto kept = std::stable_partition(Items.begin(), Items.end(), [](const auto& forms) { return !forms->AllowFree; });
        std::move(kept, Items.end(), std::back_inserter(freed));
        Items.erase(kept, Items.end());
        freed.clear();
    });
}

void TDownloadFormsList::Clear()
{
    std::vector<std::unique_ptr<TDownloadForms>> freed = std::move(Items);
    Items.clear();
    freed.clear();
}
