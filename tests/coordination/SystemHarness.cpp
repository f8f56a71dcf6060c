#include "tests/coordination/SystemHarness.h"

#include "engine/CombineParts.h"
#include "engine/Downloader.h"
#include "engine/MirrorPing.h"
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFileInfo>

FakeFileInfoWindow::FakeFileInfoWindow(FakeWindows& owner, TDownloadSystem& system, TDownloadForms& forms)
    : owner(owner)
    , system(system)
    , forms(forms)
{
    owner.dialogs.push_back(this);
}

FakeFileInfoWindow::~FakeFileInfoWindow()
{
    std::erase(owner.dialogs, this);
}

void FakeFileInfoWindow::Start(const QString& localFileName)
{
    visible = false;
    Downloader()->DownloadInfo->LocalFileName = localFileName;
    system.TryToStartDownload(Downloader());
}

void FakeFileInfoWindow::Abort()
{
    visible = false;
    Downloader()->Abort();
}

std::unique_ptr<IFileInfoWindow> FakeWindows::CreateFileInfoWindow(TDownloadSystem& system, TDownloadForms& forms)
{
    return std::make_unique<FakeFileInfoWindow>(*this, system, forms);
}

std::unique_ptr<ICompletionDialog> FakeWindows::CreateCompletionDialog(TDownloadSystem&, TDownloadForms& forms)
{
    ++completionDialogs;
    completionForms = &forms;
    return std::make_unique<ICompletionDialog>();
}

void FakeWindows::ShowAuthWindow(const TAuthRequest& request)
{
    authRequests.append(request.Host() + " " + request.Realm());
    if (credentials)
        request.Answer(credentials->first, credentials->second);
    else
        request.Cancel();
}

void FakeMainWindow::PopulateVDT(bool keepSelection)
{
    ++refills;
    if (system)
        system->List().Refresh(keepSelection);
}

void DownloadSystemTest::SetUp()
{
    TempHomeTest::SetUp();
    SiteManager() = TSiteManager();
    auto recorder = std::make_unique<PowerRecorder>();
    power = recorder.get();
    previousPower = SetPowerControl(std::move(recorder));
    pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 10}});
    ASSERT_TRUE(QDir().mkpath(Path("dl")));
    Write(Setting::DefaultDownloadDirectory, Path("dl"));
    Write(Setting::TryLocalMirrorlist, false);
    ASSERT_TRUE(server.Listen());
    server.Handler = [this](const QByteArray& request) {
        const QString name = RequestPath(request).mid(1);
        if (!served.contains(name))
            return HttpTestAnswer::Status(404, "Not Found");
        HttpTestAnswer answer = HttpTestAnswer::Partial(served.value(name), RequestedRangeStart(request));
        if (shapeAnswer)
            shapeAnswer(name, answer);
        return answer;
    };
}

void DownloadSystemTest::TearDown()
{
    system.reset();
    pinger->OpenGate();
    EXPECT_TRUE(TMirrorPing::WaitForThreads(5000));
    EXPECT_TRUE(TCombineParts::WaitForThreads(5000));
    SetPowerControl(std::move(previousPower));
    TempHomeTest::TearDown();
}

TDownloadSystem& DownloadSystemTest::Create(const std::function<void(TDownloadSystemHost&)>& edit)
{
    TDownloadSystemHost host{.Windows = &windows, .MainWindow = &mainWindow, .DialUp = &dialUp, .Pinger = pinger};
    if (edit)
        edit(host);
    system = std::make_unique<TDownloadSystem>(host);
    mainWindow.system = system.get();
    return *system;
}

TLocalDownloadinfo* DownloadSystemTest::Add(const QString& url, const QString& name)
{
    auto record = std::make_unique<TLocalDownloadinfo>(std::make_unique<TUrl>(url));
    if (!name.isEmpty())
        record->LocalFileName = Path(name);
    return system->AddDownload(std::move(record), true);
}

QString DownloadSystemTest::StoreRecord(const QString& localFileName, const QString& status, qint64 fileSize,
                                        const std::function<void(TLocalDownloadinfo&)>& edit)
{
    TLocalDownloadinfo record(std::make_unique<TUrl>("http://127.0.0.1:9/" + QFileInfo(localFileName).fileName()));
    record.LocalFileName = localFileName;
    record.SetStatus(status);
    record.FileSize = fileSize;
    if (edit)
        edit(record);
    EXPECT_TRUE(record.SaveToDatFile());
    return record.TempFileName();
}

bool DownloadSystemTest::WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return ProcessEventsUntil(condition, timeoutMs);
}

bool DownloadSystemTest::WaitForStatus(const TLocalDownloadinfo* record, const QString& status, int timeoutMs)
{
    return WaitFor([&] { return record->Status() == status; }, timeoutMs);
}

std::optional<TDownloadRow> DownloadSystemTest::RowOf(const TLocalDownloadinfo* record)
{
    const TDownloadRow* row = system->List().Row(system->AssociatedRow(record));
    return row ? std::optional<TDownloadRow>(*row) : std::nullopt;
}

void DownloadSystemTest::Serve(const QMap<QString, QByteArray>& files,
                               std::function<void(const QString& name, HttpTestAnswer& answer)> shape)
{
    served = files;
    shapeAnswer = std::move(shape);
}

int DownloadSystemTest::RequestsFor(const QString& name) const
{
    int count = 0;
    for (const QByteArray& request : server.Requests())
        count += RequestPath(request) == "/" + name ? 1 : 0;
    return count;
}

QByteArray Content(qint64 size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(seed + (i * 7 + i / 251) % 26);
    return bytes;
}

QString RequestPath(const QByteArray& request)
{
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    return words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
}
