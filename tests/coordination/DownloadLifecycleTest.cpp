// A download's life in the download system: loading the records, completion and what
// follows it, pausing, deleting, a join that fails, and the name rules.
#include "engine/Downloader.h"
#include "records/Category.h"
#include "records/CategoryList.h"
#include "records/GeneralFunctions.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/coordination/SystemHarness.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
class LifecycleTest : public DownloadSystemTest {
protected:
    // A download of name from the scriptable server into Path("dl/" + name), with a
    // category when one is named.
    TLocalDownloadinfo* AddWithCategory(const QString& name, const QString& category)
    {
        auto record = std::make_unique<TLocalDownloadinfo>(std::make_unique<TUrl>(server.Url(name)));
        record->LocalFileName = Path("dl/" + name);
        record->Category = CategoryList().GetByName(category);
        return system->AddDownload(std::move(record), true);
    }
};
}

TEST_F(LifecycleTest, LoadingPausesWhatWasRunningAndStartsNothing)
{
    const struct {
        QString stored, loaded;
    } cases[] = {
        {StatusTexts().Downloading, StatusTexts().Paused},
        {StatusTexts().ContactingHost, StatusTexts().Paused}, // stored as "Downloading"
        {StatusTexts().Queued, StatusTexts().Paused},
        {StatusTexts().CombiningFiles, StatusTexts().Paused},
        {StatusTexts().Scheduled, StatusTexts().Scheduled},
        {StatusTexts().Done, StatusTexts().Done},
    };
    QMap<QString, QString> expected; // temporary name -> status after loading
    int n = 0;
    for (const auto& c : cases)
        expected[StoreRecord(Path(QStringLiteral("dl/f%1.bin").arg(n++)), c.stored, 1000)] = c.loaded;
    Create();

    ASSERT_EQ(system->Records().Count(), int(std::size(cases)));
    for (const TLocalDownloadinfo* record : system->Records()) {
        SCOPED_TRACE(record->LocalFileName.toStdString());
        EXPECT_EQ(record->Status(), expected.value(record->TempFileName()));
        EXPECT_EQ(TLocalDownloadinfo(nullptr, record->TempFileName()).Status(), record->Status()) << "saved so";
    }
    EXPECT_TRUE(system->ActiveDownloaders().isEmpty());
    EXPECT_EQ(system->WindowSets().Count(), 0);
}

TEST_F(LifecycleTest, CompletionDialogFollowsTheCategoryBeforeTheSetting)
{
    ASSERT_TRUE(WriteWholeFile(Path("cat.dat"), "Shown\tbin\tNo\t\tYes\r\nHidden\tbin\tNo\t\tNo\r\n"));
    Create();
    const struct {
        QString category;
        bool setting, shown;
    } cases[] = {
        {"Hidden", true, false}, {"Shown", false, true}, {"", true, true}, {"", false, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.category.toStdString() + (c.setting ? " setting on" : " setting off"));
        Write(Setting::ShowCompletedDialog, c.setting);
        windows.completionDialogs = 0;
        Serve({{QStringLiteral("f%1.bin").arg(++n), Content(2'000)}});
        TLocalDownloadinfo* record = AddWithCategory(QStringLiteral("f%1.bin").arg(n), c.category);
        ASSERT_TRUE(WaitForStatus(record, StatusTexts().Done));
        EXPECT_EQ(windows.completionDialogs, c.shown ? 1 : 0);
        system->OnFreeTimer();
        EXPECT_EQ(system->WindowSets().Count(), c.shown ? 1 : 0) << "a dialog keeps its set until it closes";
        if (c.shown)
            system->AllowFree(windows.completionForms);
        system->OnFreeTimer();
        EXPECT_EQ(system->WindowSets().Count(), 0);
    }
}

TEST_F(LifecycleTest, SuccessfulDownloadLeavesTheListWhenSetAndTheProgramCloses)
{
    Write(Setting::RemoveSuccessfulDownloadFromList, true);
    Write(Setting::AutoCloseAfterDownloads, true);
    const QByteArray file = Content(8'000);
    Serve({{"f.bin", file}});
    Create();
    system->ShowAll();
    QList<TLocalDownloadinfo*> removed;
    system->OnDownloadRemoved = [&](TLocalDownloadinfo* record) { removed.append(record); };
    TLocalDownloadinfo* record = Add(server.Url("f.bin"), "dl/f.bin");
    const QString recordFile = record->DatFileName();
    EXPECT_EQ(system->List().rowCount(), 1);

    ASSERT_TRUE(WaitFor([&] { return !removed.isEmpty(); }));
    EXPECT_EQ(removed, QList<TLocalDownloadinfo*>{record});
    EXPECT_FALSE(QFile::exists(recordFile));
    EXPECT_EQ(system->Records().Count(), 0);
    EXPECT_EQ(system->List().rowCount(), 0);
    EXPECT_EQ(ReadWholeFile(Path("dl/f.bin")), file);
    EXPECT_EQ(mainWindow.closes, 1);
    EXPECT_TRUE(power->requests.empty());
}

TEST_F(LifecycleTest, AfterTheLastDownloadPowerOffWinsOverClosing)
{
    const struct {
        bool dialUp, hangUp, shutDown, autoClose;
        int disconnects, powerOffs, closes;
    } cases[] = {
        {false, false, false, false, 0, 0, 0},
        {true, true, false, true, 1, 0, 1},
        {false, true, false, false, 0, 0, 0}, // hanging up needs a dial-up connection
        {false, false, true, true, 0, 1, 0},
    };
    Create();
    for (const auto& c : cases) {
        Write(Setting::ConnectUsingDialUp, c.dialUp);
        Write(Setting::DisconnectAfterDownload, c.hangUp);
        Write(Setting::ShutDownComputerAfterDownloading, c.shutDown);
        Write(Setting::AutoCloseAfterDownloads, c.autoClose);
        dialUp.disconnects = mainWindow.closes = 0;
        power->requests.clear();
        system->OnAllDownloadsComplete();
        EXPECT_EQ(dialUp.disconnects, c.disconnects);
        EXPECT_EQ(power->requests, std::vector<TSessionEnd>(size_t(c.powerOffs), TSessionEnd::PowerOff));
        EXPECT_EQ(mainWindow.closes, c.closes);
    }
}

TEST_F(LifecycleTest, PausingReleasesTheDownloaderAndKeepsAScheduledStatus)
{
    Serve({{"a.bin", Content(9'000)}, {"b.bin", Content(9'000)}},
          [](const QString&, HttpTestAnswer& answer) { answer.stallAfterHead = true; });
    Create();
    const struct {
        QString name, statusBefore, statusAfter;
        TPartDownloaderState stateAfter;
    } cases[] = {
        {"a.bin", "", StatusTexts().Paused, pdsPaused},
        {"b.bin", StatusTexts().Scheduled, StatusTexts().Scheduled, pdsScheduled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        TLocalDownloadinfo* record = Add(server.Url(c.name), "dl/" + c.name);
        ASSERT_TRUE(WaitFor([&] { return RequestsFor(c.name) == 1; }));
        if (!c.statusBefore.isEmpty()) {
            record->SetStatus(c.statusBefore);
            record->StateCode = pdsScheduled;
        }
        system->AssociatedDownloader(record)->Pause();
        EXPECT_EQ(record->Status(), c.statusAfter);
        EXPECT_EQ(record->StateCode, c.stateAfter);
        EXPECT_EQ(system->AssociatedDownloader(record), nullptr);
        EXPECT_EQ(system->WindowSets().Count(), 1) << "freed later, never inside its own event";
        system->OnFreeTimer();
        EXPECT_EQ(system->WindowSets().Count(), 0);
    }
}

TEST_F(LifecycleTest, RunningDownloadShowsItsDownloaderAndDeletingItRemovesItsFiles)
{
    Serve({{"a.bin", Content(9'000)}}, [](const QString&, HttpTestAnswer& answer) { answer.stallAfter = 1'000; });
    Create();
    TLocalDownloadinfo* record = Add(server.Url("a.bin"), "dl/a.bin");
    const QString temp = record->TempFileName();
    ASSERT_TRUE(WaitFor([&] { return TDownloadSystem::BytesDownloaded(temp) == 1'000; }));
    system->ShowAll();
    TDownloader* downloader = system->AssociatedDownloader(record);
    ASSERT_NE(downloader, nullptr);
    const auto row = RowOf(record); // a running download's row shows its downloader's figures
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Texts[TDownloadRow::Completed], BytesToPresentableString(downloader->TransferCount()));
    EXPECT_EQ(row->Texts[TDownloadRow::TimeLeft], downloader->TimeLeft());
    EXPECT_EQ(row->Texts[TDownloadRow::Speed], downloader->TransferRate());
    EXPECT_NE(row->Texts[TDownloadRow::Speed], "");
    QList<TLocalDownloadinfo*> removed;
    system->OnDownloadRemoved = [&](TLocalDownloadinfo* gone) { removed.append(gone); };

    TLDIList deleted;
    deleted.Add(record);
    system->DeleteItems(deleted);
    EXPECT_EQ(removed, QList<TLocalDownloadinfo*>{record});
    EXPECT_EQ(system->Records().Count(), 0);
    EXPECT_FALSE(QFile::exists(temp + ".dat"));
    EXPECT_EQ(TDownloadSystem::BytesDownloaded(temp), 0);
    EXPECT_TRUE(system->ActiveDownloaders().isEmpty());
    system->OnFreeTimer();
    EXPECT_EQ(system->WindowSets().Count(), 0);
}

TEST_F(LifecycleTest, FailedJoinLeavesAnErrorAndThePartFiles)
{
    ASSERT_TRUE(WriteWholeFile(Path("blocker"), "a file where a folder should be"));
    Serve({{"f.bin", Content(5'000)}});
    Create();
    TLocalDownloadinfo* record = Add(server.Url("f.bin"), "blocker/f.bin");
    ASSERT_TRUE(WaitFor([&] { return record->StateCode == pdsError; }));

    EXPECT_NE(record->Status(), StatusTexts().Done);
    EXPECT_FALSE(record->Status().startsWith(StatusTexts().CombiningFiles)) << record->Status().toStdString();
    EXPECT_FALSE(record->Status().isEmpty());
    EXPECT_EQ(TDownloadSystem::BytesDownloaded(record->TempFileName()), 5'000);
    EXPECT_EQ(system->AssociatedDownloader(record), nullptr);
    EXPECT_EQ(record->RetryTimer, nullptr) << "a failed join is not retried like a network error";
    EXPECT_EQ(windows.completionDialogs, 0);
}

TEST_F(LifecycleTest, FileNameInUseComparesExactNamesOfUnfinishedDownloads)
{
    StoreRecord(Path("dl/Done.bin"), StatusTexts().Done);
    StoreRecord(Path("dl/Paused.bin"), StatusTexts().Paused);
    Create();
    const struct {
        QString name;
        bool inUse;
    } cases[] = {
        {"dl/Done.bin", false},
        {"dl/Paused.bin", true},
        {"dl/paused.bin", false},
        {"dl/Other.bin", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(system->FileNameInUse(Path(c.name)), c.inUse) << c.name.toStdString();
}

TEST_F(LifecycleTest, NewNamesAvoidFilesAndOtherDownloads)
{
    Write(Setting::ShowSaveDialog, false);
    Write(Setting::MaxSimultaneousDownloads, 0); // nothing runs: only the names count
    ASSERT_TRUE(WriteWholeFile(Path("dl/my file.bin"), "there already"));
    ASSERT_TRUE(WriteWholeFile(Path("cat.dat"), "Archives\tzip\tYes\t" + Path("zips").toUtf8() + "/\tYes\r\n"));
    Create();
    const struct {
        QString url, localFileName;
    } cases[] = {
        {"http://127.0.0.1:9/my%20file.bin", Path("dl/my file(1).bin")},
        {"http://127.0.0.1:9/other/my%20file.bin", Path("dl/my file(2).bin")},
        {"http://127.0.0.1:9/a.zip", Path("zips/a.zip")},
        {"http://127.0.0.1:9/", Path("dl/") + StatusTexts().Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Add(c.url)->LocalFileName, c.localFileName);
    EXPECT_EQ(system->Records().Get(2)->Category, CategoryList().GetByName("Archives"));
}

TEST_F(LifecycleTest, CommandHostChoosesPartsMirrorsGivingUpAndNoAfterActions)
{
    Write(Setting::SplitParts, 4);
    Write(Setting::TryLocalMirrorlist, true);
    Write(Setting::ShutDownComputerAfterDownloading, true);
    Write(Setting::RetryTimes, 10);
    const QByteArray file = Content(600'000);
    // Slowly enough that the first answer is still running when the split comes.
    Serve({{"f.bin", file}}, [](const QString&, HttpTestAnswer& answer) { answer.bytesPerSecond = 3'000'000; });
    ASSERT_TRUE(WriteWholeFile(Path("mirrors.lst"), QStringLiteral("a,b,1,%1\nc,d,1,http://127.0.0.2:1/\n")
                                                         .arg(server.Url(""))
                                                         .toUtf8()));
    Create([](TDownloadSystemHost& host) {
        host.SplitParts = 2;
        host.TryLocalMirrorlist = false;
        host.AfterAllDownloads = false;
        host.GivesUpAt = [](const TDownloader& d) { return d.StatusText == StatusTexts().FileNotFound; };
    });
    TLocalDownloadinfo* done = Add(server.Url("f.bin"), "dl/f.bin");
    TDownloader* downloader = system->AssociatedDownloader(done);
    ASSERT_NE(downloader, nullptr);
    EXPECT_EQ(downloader->Mirrors.Count(), 1) << "the mirror list is not tried";
    ASSERT_TRUE(WaitForStatus(done, StatusTexts().Done));
    EXPECT_EQ(RequestsFor("f.bin"), 2) << "two parts";
    EXPECT_EQ(ReadWholeFile(Path("dl/f.bin")), file);
    EXPECT_TRUE(power->requests.empty()) << "no power-off after the last download";
    EXPECT_EQ(Read(Setting::SplitParts), 4) << "the setting stays";

    TLocalDownloadinfo* missing = Add(server.Url("gone.bin"), "dl/gone.bin");
    ASSERT_TRUE(WaitFor([&] { return system->AssociatedDownloader(missing) == nullptr; }));
    EXPECT_EQ(missing->Status(), StatusTexts().FileNotFound);
    EXPECT_EQ(missing->RetryTimer, nullptr) << "given up at once";
    EXPECT_EQ(RequestsFor("gone.bin"), 1);
}
