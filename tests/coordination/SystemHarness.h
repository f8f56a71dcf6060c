#pragma once
#include "coordination/DownloadSystem.h"
#include "platform/power/WinReboot.h"
#include "records/LocalDownloadinfo.h"
#include "tests/engine/ping/FakePinger.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TempHome.h"

#include <QMap>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class FakeWindows;

// A new-download dialog the test answers.
class FakeFileInfoWindow : public IFileInfoWindow {
public:
    FakeFileInfoWindow(FakeWindows& owner, TDownloadSystem& system, TDownloadForms& forms);
    ~FakeFileInfoWindow() override;

    bool IsVisible() const override { return visible; }
    void SetSizeText(const QString& text) override { sizeText = text; }
    void ShowError(const QString& text, uint32_t) override { errorText = text; }

    TDownloader* Downloader() const { return forms.Downloader(); }
    // Start with this target, as the dialog's Start button does.
    void Start(const QString& localFileName);
    // Cancel, as closing the dialog does.
    void Abort();

    QString sizeText, errorText;
    bool visible = true;

private:
    FakeWindows& owner;
    TDownloadSystem& system;
    TDownloadForms& forms;
};

// The windows of a host: dialogs the test answers, no progress windows, completion
// dialogs counted, credentials answered at once as the test says.
class FakeWindows : public IDownloadWindows {
public:
    bool AsksForFileNames() const override { return asks; }
    std::unique_ptr<IFileInfoWindow> CreateFileInfoWindow(TDownloadSystem& system, TDownloadForms& forms) override;
    std::unique_ptr<IProgressWindow> CreateProgressWindow(TDownloadSystem&, TDownloader&) override { return nullptr; }
    std::unique_ptr<ICompletionDialog> CreateCompletionDialog(TDownloadSystem& system, TDownloadForms& forms) override;
    void ShowAuthWindow(const TAuthRequest& request) override;

    bool asks = true;
    // Open dialogs, oldest first; a dialog leaves when its window set is freed.
    std::vector<FakeFileInfoWindow*> dialogs;
    int completionDialogs = 0;
    TDownloadForms* completionForms = nullptr; // the last one's window set
    // The credentials given to every request; none cancels.
    std::optional<std::pair<QString, QString>> credentials;
    QStringList authRequests; // "host realm"
};

class FakeMainWindow : public IMainWindow {
public:
    void PopulateVDT(bool keepSelection) override;
    void CloseProgram() override { ++closes; }

    TDownloadSystem* system = nullptr;
    int refills = 0, closes = 0;
};

class FakeDialUp : public IDialUp {
public:
    void Disconnect() override { ++disconnects; }
    int disconnects = 0;
};

class PowerRecorder : public TPowerControl {
public:
    bool EndSession(TSessionEnd end, bool) override
    {
        requests.push_back(end);
        return true;
    }
    std::vector<TSessionEnd> requests;
};

// A test of the download system in its own CORVANE_HOME with fake windows, main window,
// dial-up and power control, a fake pinger, and downloads into Path("dl").
class DownloadSystemTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A system loading whatever record files there are, hosted by the fakes (and what
    // edit adds to the host).
    TDownloadSystem& Create(const std::function<void(TDownloadSystemHost&)>& edit = {});
    // A new download of url into Path(name) (a dialog is asked for when name is empty).
    TLocalDownloadinfo* Add(const QString& url, const QString& name = {});
    // A record file written as the program would have left it; its temporary name.
    QString StoreRecord(const QString& localFileName, const QString& status, qint64 fileSize = 0,
                        const std::function<void(TLocalDownloadinfo&)>& edit = {});
    // Runs the event loop until condition holds (real time, for servers).
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
    bool WaitForStatus(const TLocalDownloadinfo* record, const QString& status, int timeoutMs = 20000);
    // The row texts of the record, or none when it has no row.
    std::optional<TDownloadRow> RowOf(const TLocalDownloadinfo* record);
    // Serves each file of files at "/<name>" from the scriptable server, shaped per file.
    void Serve(const QMap<QString, QByteArray>& files,
               std::function<void(const QString& name, HttpTestAnswer& answer)> shape = {});
    // Requests the scriptable server received for "/<name>".
    int RequestsFor(const QString& name) const;

    HttpTestServer server;
    NginxFixture nginx;
    FakeWindows windows;
    FakeMainWindow mainWindow;
    FakeDialUp dialUp;
    PowerRecorder* power = nullptr;
    std::shared_ptr<TFakePinger> pinger;
    std::unique_ptr<TDownloadSystem> system;

private:
    std::unique_ptr<TPowerControl> previousPower;
    QMap<QString, QByteArray> served;
    std::function<void(const QString& name, HttpTestAnswer& answer)> shapeAnswer;
};

// Bytes that differ from position to position.
QByteArray Content(qint64 size, char seed = 'a');
// "/name" of a request's first line.
QString RequestPath(const QByteArray& request);
