#pragma once
#include "records/Url.h"

#include <QString>
#include <cstdint>
#include <memory>

class TDownloadForms;
class TDownloadSystem;
class TDownloader;
class TPartDownloadSlot;

// What the download system asks of the windows of one download and of the program's
// main window. None of this is widget code: the GUI implements these interfaces with
// its windows, a headless host with progress lines and answers of its own. Every
// window belongs to its download's window set (TDownloadForms) and is destroyed with
// it, later, from the download system's reaper; a window must therefore never destroy
// itself.

// The new-download ("Save as...") dialog. The host shows it when it is created; on
// Start it sets the record's LocalFileName (and Category, Description) and calls
// TDownloadSystem::TryToStartDownload, on Abort or close it aborts the downloader.
class IFileInfoWindow {
public:
    virtual ~IFileInfoWindow() = default;
    virtual bool IsVisible() const = 0;
    // "Contacting host", then the size once known.
    virtual void SetSizeText(const QString& text) = 0;
    // The download failed while the dialog waits: "Error: " and the reason, in the
    // colour of the record's state; the dialog disables its Start button.
    virtual void ShowError(const QString& text, uint32_t color) = 0;
};

// The progress window of a running download.
class IProgressWindow {
public:
    virtual ~IProgressWindow() = default;
    virtual bool IsVisible() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // The download is over for this window: it closes and stays closed.
    virtual void Close() = 0;
    // Shows the downloader's data; called on every 100 ms update while visible.
    virtual void UpdateInfo(TDownloader& downloader) = 0;
    virtual void UpdateSlot(TPartDownloadSlot* slot) = 0;
    virtual void DeleteSlot(TPartDownloadSlot* slot) = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetStatus(const QString& text, uint32_t color) = 0;
};

// The download-complete dialog. The host shows it when it is created; when it closes
// (by any way) the host calls TDownloadSystem::AllowFree with its window set.
class ICompletionDialog {
public:
    virtual ~ICompletionDialog() = default;
};

// A server wants credentials for a slot. The host shows the request (host and realm)
// and answers it once, now or later: Answer gives every slot waiting for this host and
// realm the credentials and starts it again, Cancel fails them with "Couldn't login".
// Answering after the download has gone is harmless: only slots still waiting are
// reached. A request that is never answered leaves its slots waiting.
class TAuthRequest {
public:
    TAuthRequest(TDownloader* downloader, TPartDownloadSlot* slot);

    // The slot's mirror URL at the time of the request: its host is the one asked for.
    const TUrl& Url() const { return RequestUrl; }
    const QString& Host() const { return RequestUrl.Host; }
    const QString& Realm() const { return RequestRealm; }
    // The download and slot that asked first; valid only while the download runs.
    TDownloader* Downloader() const { return RequestDownloader; }
    TPartDownloadSlot* Slot() const { return RequestSlot; }

    void Answer(const QString& user, const QString& pass) const;
    void Cancel() const;

private:
    TDownloader* RequestDownloader;
    TPartDownloadSlot* RequestSlot;
    TUrl RequestUrl;
    QString RequestRealm;
};

// Makes the windows of one download. A factory may return none for a window it does
// not have; the download system then goes on without it (a download complete without
// a dialog is released at once).
class IDownloadWindows {
public:
    virtual ~IDownloadWindows() = default;
    // False for a host that has no new-download dialog: a new download without a
    // local file name is then named as when ShowSaveDialog is off.
    virtual bool AsksForFileNames() const = 0;
    virtual std::unique_ptr<IFileInfoWindow> CreateFileInfoWindow(TDownloadSystem& system, TDownloadForms& forms) = 0;
    // Created hidden; the download system shows it.
    virtual std::unique_ptr<IProgressWindow> CreateProgressWindow(TDownloadSystem& system, TDownloader& downloader) = 0;
    virtual std::unique_ptr<ICompletionDialog> CreateCompletionDialog(TDownloadSystem& system, TDownloadForms& forms) = 0;
    virtual void ShowAuthWindow(const TAuthRequest& request) = 0;
};

// The main window's services the download system uses.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Refills the download list for the chosen filter, keeping the selection.
    virtual void PopulateVDT(bool keepSelection) = 0;
    // Ends the program as closing the main form does (after the last download, when
    // AutoCloseAfterDownloads is on).
    virtual void CloseProgram() = 0;
};

// Hangs up every active dial-up connection.
class IDialUp {
public:
    virtual ~IDialUp() = default;
    virtual void Disconnect() = 0;
};
