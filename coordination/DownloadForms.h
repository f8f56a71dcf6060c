#pragma once
#include "coordination/DownloadWindows.h"

#include <memory>
#include <vector>

class TCombineParts;
class TDownloader;
class TLocalDownloadinfo;

// Everything one downloader brings with it: its windows, the part combiner joining its
// parts, and the downloader itself, all destroyed together by the download system's
// reaper once AllowFree is set, never inside one of the downloader's events.
class TDownloadForms {
public:
    explicit TDownloadForms(std::unique_ptr<TDownloader> downloader);
    // Frees the file info window, the progress window, the completion dialog, the
    // combiner, the downloader and last a record left to this set, in this order.
    ~TDownloadForms();
    TDownloadForms(const TDownloadForms&) = delete;
    TDownloadForms& operator=(const TDownloadForms&) = delete;

    TDownloader* Downloader() const { return OwnedDownloader.get(); }

    std::unique_ptr<IFileInfoWindow> FileInfoWindow;
    std::unique_ptr<IProgressWindow> DownloadWindow;
    std::unique_ptr<ICompletionDialog> CompletionDialog;
    std::unique_ptr<TCombineParts> Combiner;
    // A record the download system has let go while the downloader still points at it.
    std::unique_ptr<TLocalDownloadinfo> OrphanedRecord;
    bool AllowFree = false;

private:
    std::unique_ptr<TDownloader> OwnedDownloader;
};

// The window sets of every downloader not reaped yet, in order of creation.
class TDownloadFormsList {
public:
    TDownloadForms* Add(std::unique_ptr<TDownloadForms> forms);
    // The first set whose downloader is this one; none for none.
    TDownloadForms* GetDownloadForms(const TDownloader* downloader) const;
    // The first set whose downloader works on this record; none.
    TDownloadForms* GetByRecord(const TLocalDownloadinfo* record) const;
    // Destroys every set marked AllowFree, first to last; the others stay in place.
    void Reap();
    void Clear();
    int Count() const { return int(Items.size()); }

private:
    std::vector<std::unique_ptr<TDownloadForms>> Items;
};
