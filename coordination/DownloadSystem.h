#pragma once
#include "coordination/DownloadForms.h"
#include "coordination/DownloadListModel.h"
#include "coordination/DownloadWindows.h"
#include "records/LDIList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class TPinger;
struct TCombineResult;

// Who hosts the download system: the windows of each download, the main window's
// services, the dial-up connection, and the pinger the downloaders measure mirrors
// with. Any of them may be none: the system then goes on without that window or
// service (and pings by ICMP).
struct TDownloadSystemHost {
    IDownloadWindows* Windows = nullptr;
    IMainWindow* MainWindow = nullptr;
    IDialUp* DialUp = nullptr;
    std::shared_ptr<TPinger> Pinger;

    // What a host that runs downloads for one command (`corvane get`) sets instead of
    // the user's settings: the parts a new download is split into (for SplitParts),
    // whether the local mirror list is tried (for TryLocalMirrorlist), and whether the
    // after-the-last-download actions (hang-up, power-off, close) run at all.
    std::optional<int> SplitParts {};
    std::optional<bool> TryLocalMirrorlist {};
    bool AfterAllDownloads = true;
    // Whether List() keeps its rows without a main window; a host that shows no list
    // clears it, so a change does not refill hundreds of rows nobody reads.
    bool KeepsList = true;
    // An error the download is given up at without any retry; none retries every error
    // as RetryTimes says.
    std::function<bool(const TDownloader& downloader)> GivesUpAt {};
};

// The one coordinator of all downloads, between the engine and whoever hosts it (the
// GUI, `corvane get`). It owns every download record, loaded from the record files at
// creation; runs a downloader for each download that is to run, within the limit of
// MaxSimultaneousDownloads, queueing the others in list order; retries failed
// downloads after RetryDelay seconds up to RetryTimes times; joins finished parts;
// frees a downloader with its windows only later, from a 100 ms reaper; hangs up,
// powers off or closes the program after the last download; and keeps the download
// list's rows (List()).
//
// A queued download holds no downloader (and so no connection and no pings); it gets a
// new one when it leaves the queue. The host runs CheckForTimeOuts every second.
class TDownloadSystem {
public:
    explicit TDownloadSystem(const TDownloadSystemHost& host = {});
    ~TDownloadSystem();
    TDownloadSystem(const TDownloadSystem&) = delete;
    TDownloadSystem& operator=(const TDownloadSystem&) = delete;

    // Every known record, in load and add order: the queue order. A new download joins
    // when it is started or queued (not while it waits in its new-download dialog).
    const TLDIList& Records() const { return RecordList; }
    // Downloaders running, starting, waiting in their dialog, waiting for a retry or
    // combining.
    const QList<TDownloader*>& ActiveDownloaders() const { return Active; }
    TDownloadFormsList& WindowSets() { return FormsList; }
    TDownloadListModel& List() { return *ListModel; }

    // Takes a new record (made from a URL) and starts, queues or asks about it; the
    // record stays the system's from now on. Returns it.
    TLocalDownloadinfo* AddDownload(std::unique_ptr<TLocalDownloadinfo> record, bool refresh);
    // The same for a record the system holds (resume, re-download, the queue).
    void AddDownload(TLocalDownloadinfo* record, bool refresh);
    // Starts the download, or queues it when the limit is reached. Always true.
    bool TryToStartDownload(TDownloader* downloader);
    // Starts queued records in list order while there is room.
    void DownloadNextInQueue();
    // Active downloaders whose record is not combining files.
    int NumberOfDownloading() const;

    // The active downloader of the record; none.
    TDownloader* AssociatedDownloader(const TLocalDownloadinfo* record) const;
    // A record that is not "Done" saves to exactly this name (letter case counts).
    bool FileNameInUse(const QString& localFileName) const;
    // The record files in the partial-downloads folder, in the order the file system
    // lists them.
    static QStringList GetDatFileNames();
    // folder + the record URL's file name, made unique against the files there and the
    // names of every download the system holds: where a new download is saved.
    QString UniqueName(const QString& folder, const TLocalDownloadinfo* record) const;
    // The bytes in a download's part files (its record file not counted).
    static qint64 BytesDownloaded(const QString& tempFileName);

    void ShowDownloadForm(TDownloader* downloader);
    void HideDownloadForm(TDownloader* downloader);
    // Marks the set for the reaper and takes its downloader out of the active list.
    void AllowFree(TDownloadForms* forms);
    // Fails the silent connections of every active download not in error; the host
    // calls it once a second.
    void CheckForTimeOuts();
    // After the last download: hang up, power off, or close the program, as set.
    void OnAllDownloadsComplete();

    // The credentials window's answers for one slot (TAuthRequest uses them).
    static void SlotAuthenticated(TDownloader* downloader, TPartDownloadSlot* slot);
    static void AbortSlotAuthenticated(TDownloader* downloader, TPartDownloadSlot* slot);

    // Deletes the downloader's record from the program (an aborted or a completed
    // download): DeleteItems with it, after the downloader left the active list.
    void RemoveFromStringGrid(TDownloader* downloader);
    // The delete command after its question: running records leave the records list
    // and their downloaders are aborted (which removes them), the others are removed
    // at once; then the list is refreshed. A finished target file always stays.
    void DeleteItems(const TLDIList& records);
    // Removes a record that has no running downloader: its record and part files go,
    // it leaves the records list and the rows, and it is freed.
    void RemoveDownload(TLocalDownloadinfo* record, bool refresh = true);

    // The download list (the model keeps the rows; these choose what it lists).
    void PopulateGrid(const TLDIList& records);
    bool UpdateRow(TLocalDownloadinfo* record);
    int AssociatedRow(const TLocalDownloadinfo* record) const;
    TLDIList GetSelectedFromList() const;
    void ShowAll();
    void ShowStatus(const QString& status);
    void ShowAllStatus();
    void ShowCategory(const QString& categoryName);
    void ShowAllCategory();
    void ShowHistory(const QString& period);
    // The main window's refill keeping the selection, or the list's own without one.
    void RefreshList();

    // A record's state, status or progress changed (every 100 ms while it runs, and on
    // every change of its status); the download's downloader when it has one.
    std::function<void(TLocalDownloadinfo* record, TDownloader* downloader)> OnDownloadChange;
    // The record is about to leave the program.
    std::function<void(TLocalDownloadinfo* record)> OnDownloadRemoved;

    // The timers' handlers, public so a test can drive them without waiting.
    void OnFreeTimer();
    void OnRetryTimer(QTimer* timer);

private:
    void UpdateGridInfo();
    // Lists what filter gives from now on.
    void Show(const char* signature, std::function<TLDIList()> filter);
    TDownloader* CreateDownloader(TLocalDownloadinfo* record, bool mayStart);
    void WireDownloader(TDownloader* downloader);
    void ChooseLocalFileName(TLocalDownloadinfo* record);
    bool NameUsedByRecord(const QString& name) const;
    void Enlist(TLocalDownloadinfo* record);
    void Queue(TLocalDownloadinfo* record, TDownloader* downloader);
    void Restart(TDownloader* downloader);
    TLocalDownloadinfo* Own(std::unique_ptr<TLocalDownloadinfo> record);
    void ReleaseRecord(TLocalDownloadinfo* record);
    void StopRetryTimer(TLocalDownloadinfo* record);
    void StartRetryTimer(TLocalDownloadinfo* record);
    void RemoveFromActive(TDownloader* downloader);
    void Release(TDownloadForms* forms);
    void NotifyChange(TLocalDownloadinfo* record);
    TDownloadForms* FormsOf(const TDownloader* downloader) const { return FormsList.GetDownloadForms(downloader); }

    // Engine events (DownloadSystemEvents.cpp).
    void OnFileSizeRequestDone(TDownloader* downloader);
    void OnStartDownload(TDownloader* downloader);
    void OnUpdate(TDownloader* downloader);
    void OnResume(TDownloader* downloader);
    void OnSlotChange(TDownloader* downloader, TPartDownloadSlot* slot);
    void OnSlotDelete(TDownloader* downloader, TPartDownloadSlot* slot);
    void OnAuthenticationRequired(TDownloader* downloader, TPartDownloadSlot* slot);
    void OnPause(TDownloader* downloader);
    void OnAbort(TDownloader* downloader);
    void OnAllPartsDone(TDownloader* downloader);
    void OnFilesCombined(TDownloader* downloader, const TCombineResult& result);
    void CombiningFailed(TDownloader* downloader, const QString& message);
    void OnDownloadError(TDownloader* downloader);
    void GiveUp(TDownloader* downloader);
    void CloseDownloadWindow(TDownloadForms* forms);

    TDownloadSystemHost Host;
    std::unique_ptr<QObject> Context; // parent of the retry timers
    QTimer FreeTimer;
    TDownloadFormsList FormsList;
    std::vector<std::unique_ptr<TLocalDownloadinfo>> OwnedRecords;
    TLDIList RecordList;
    QList<TDownloader*> Active;
    std::unique_ptr<TDownloadListModel> ListModel;
};
