#pragma once
#include "engine/PartDownloader.h"
#include "platform/base/Clock.h"
#include "records/Url.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// One row of a download's work plan: a byte range, the part file it fills, the mirror
// it is fetched from and, while it runs, the part downloader doing it. The slot turns
// its part downloader's states into a status text, keeps counters for the list and the
// statistics, and passes every change on through OnChange.
class TPartDownloadSlot {
public:
    TPartDownloadSlot();
    ~TPartDownloadSlot();
    TPartDownloadSlot(const TPartDownloadSlot&) = delete;
    TPartDownloadSlot& operator=(const TPartDownloadSlot&) = delete;

    // Only while no part downloader is attached.
    void SetPartDownloaderStartByte(qint64 startB);
    // Also moves the attached part downloader's end, so a running transfer sees it.
    void SetPartDownloaderEndByte(qint64 endB);
    void SetMirror(TFileMirror* mirror);
    // Starts (or restarts) the range on mirror, or on the current mirror when none is
    // given; reuses the attached part downloader when it speaks the mirror's protocol.
    void Start(TFileMirror* mirror = nullptr);
    // Gives the slot up after the user refused to log in.
    void SetErrorState(TFileMirrorError errorState);
    // The attached part downloader's OnChange.
    void OnPartdownloaderChange(TPartDownloader* part, TPartDownloaderState state);
    void Pause();
    // Aborts the part downloader, or deletes the part file when none is attached.
    void Abort();
    // Cuts what the part file holds beyond the range.
    void ResizePartFile();
    // Bytes of the range that arrived, capped at the range's length.
    qint64 TransferCount() const;

    qint64 StartByte = 0;
    qint64 EndByte = 0; // 0: open-ended
    QString PartFileName;
    TFileMirror* Mirror = nullptr; // not owned
    // Owned while attached; the downloader may move it to another slot or free it.
    std::unique_ptr<TPartDownloader> PartDownloader;
    QString StatusText;
    qint64 RemoteFileSize = 0;
    QString Realm;
    bool Authenticated = false;
    bool Failed = false;
    qint64 SavedCount = 0; // the byte count while no part downloader is attached
    TDateTime StartTime = 0;
    qint64 BytesAtStart = 0;
    qint64 AverageSpeed = 0; // bytes per second of the last completed run
    std::function<void(TPartDownloadSlot* slot, TPartDownloaderState state)> OnChange;

private:
    bool AttachPartDownloader();
};

// A download's slots in order (slot 0 covers the file's beginning), and the slots
// retired by DeleteSlot, kept until the collection goes so that windows still showing
// one do not hold a dangling pointer.
class TPartDownloadSlots {
public:
    TPartDownloadSlots() = default;
    ~TPartDownloadSlots();
    TPartDownloadSlots(const TPartDownloadSlots&) = delete;
    TPartDownloadSlots& operator=(const TPartDownloadSlots&) = delete;

    TPartDownloadSlot* NewSlot();
    void DeleteSlot(int index);
    // Frees the part downloader and detaches it from the active slot holding it.
    void RemovePartDownloader(TPartDownloader* partDownloader);
    // None outside 0 .. NumberOfSlots() - 1.
    TPartDownloadSlot* GetSlot(int index) const;
    void AbortAll();
    void PauseAll();
    // Every active slot with a part downloader has it in state; true for none.
    bool AllInState(TPartDownloaderState state) const;
    bool AllIdle() const { return AllInState(pdsIdle); }
    bool AllPaused() const { return AllInState(pdsPaused); }
    int NumberOfSlots() const { return int(active.size()); }
    int NumberOfSlotsUsingFileMirror(const TFileMirror* fileMirror) const;

private:
    std::vector<std::unique_ptr<TPartDownloadSlot>> active;
    std::vector<std::unique_ptr<TPartDownloadSlot>> retired;
};
