#pragma once
#include "app/GetOptions.h"
#include "coordination/DownloadWindows.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

class TCredentialsPrompt;
class TDownloadSystem;
class TGetOutput;
class TLocalDownloadinfo;
struct TProgressFigures;

// The download system hosted without any window for `corvane get`: every URL becomes a
// record whose local file name is chosen already (so no dialog is asked), the session
// runs until each download is done or has failed for good, and reports through its
// output. The same URL and target again finds the earlier record and resumes it from
// its part files. A missing file or a refused login fails at once; other errors retry
// as RetryTimes and RetryDelay say. A server wanting credentials gets those of the URL,
// else those typed on the terminal, else the slot fails to log in.
class TGetSession : public IDownloadWindows {
public:
    TGetSession(const TGetOptions& options, TGetOutput& output);
    ~TGetSession() override;
    TGetSession(const TGetSession&) = delete;
    TGetSession& operator=(const TGetSession&) = delete;

    // Files the options' URLs and runs the event loop until the end; the exit status:
    // 0 all done, 1 some failed (or the folder cannot be used), 130 interrupted.
    int Run();
    // A text another start handed over: a URL is saved into this session's folder.
    void HandedOver(const QString& text);
    // Pauses every download (the records say "Paused") and ends with 130.
    void Interrupt();

    bool AsksForFileNames() const override { return false; }
    std::unique_ptr<IFileInfoWindow> CreateFileInfoWindow(TDownloadSystem&, TDownloadForms&) override { return nullptr; }
    std::unique_ptr<IProgressWindow> CreateProgressWindow(TDownloadSystem&, TDownloader&) override { return nullptr; }
    std::unique_ptr<ICompletionDialog> CreateCompletionDialog(TDownloadSystem&, TDownloadForms&) override
    {
        return nullptr;
    }
    void ShowAuthWindow(const TAuthRequest& request) override;

private:
    enum class TOutcome { Running, Done, Failed };
    struct TGetDownload {
        TLocalDownloadinfo* Record; // none once the system has let it go
        QString Name;
        QString Shown; // the state last reported
        uint32_t StartTick;
        qint64 BytesAtStart; // what the part files held when this run took it up
        TOutcome Outcome = TOutcome::Running;
    };

    bool PrepareFolder();
    void File(const TUrl& url, bool handedOver);
    TLocalDownloadinfo* FindEarlier(const TUrl& url, bool handedOver) const;
    bool SameTarget(const TLocalDownloadinfo& record, bool handedOver) const;
    void Renew(TLocalDownloadinfo& record);
    TGetDownload* Track(TLocalDownloadinfo* record);
    TGetDownload* Tracked(const TLocalDownloadinfo* record);
    void Removed(TLocalDownloadinfo* record);
    void ScheduleCheck();
    void Check();
    void Report(TGetDownload& download);
    void ReportState(TGetDownload& download, TDownloader* downloader);
    void Finish(TGetDownload& download, bool done);
    void End();
    std::vector<TProgressFigures> Figures() const;
    void Later(std::function<void()> call);

    const TGetOptions Options;
    TGetOutput& Output;
    QObject Context; // of the calls made later
    std::unique_ptr<TDownloadSystem> System;
    std::unique_ptr<TCredentialsPrompt> Prompt;
    std::deque<TGetDownload> Downloads; // a deque: what Track returns stays valid
    QTimer TimeOutTimer;
    QTimer InterruptTimer;
    QEventLoop Loop;
    bool CheckScheduled = false;
    bool Interrupted = false;
    bool Ended = false;
};
