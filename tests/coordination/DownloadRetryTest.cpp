// Failed downloads: the retry countdown driven tick by tick, giving up, the time-out
// sweep on a stepped clock, and credentials asked of the host.
#include "engine/Downloader.h"
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"
#include "tests/coordination/SystemHarness.h"

#include <gtest/gtest.h>

namespace {
class RetryTest : public DownloadSystemTest {
protected:
    // Waits for the retry countdown of the record's next failure; its timer is stopped,
    // so only the test's ticks count.
    bool WaitForCountdown(TLocalDownloadinfo* record)
    {
        if (!WaitFor([&] { return record->RetryTimer != nullptr; }))
            return false;
        record->RetryTimer->stop();
        return true;
    }
    void Tick(TLocalDownloadinfo* record, int times)
    {
        for (int i = 0; i < times && record->RetryTimer; ++i)
            system->OnRetryTimer(record->RetryTimer);
    }
    QString StatusColumn(const TLocalDownloadinfo* record)
    {
        const auto row = RowOf(record);
        return row ? row->Texts[TDownloadRow::Status] : QStringLiteral("<no row>");
    }
};
}

TEST_F(RetryTest, CountsDownRestartsAndGivesUpAfterRetryTimes)
{
    Write(Setting::RetryTimes, 2);
    Write(Setting::RetryDelay, 3);
    Write(Setting::MaxSimultaneousDownloads, 1);
    const QByteArray next = Content(4'000);
    Serve({{"next.bin", next}}); // anything else is a 404
    Create();
    TLocalDownloadinfo* failing = Add(server.Url("gone.bin"), "dl/gone.bin");
    TLocalDownloadinfo* waiting = Add(server.Url("next.bin"), "dl/next.bin");
    const QString notFound = StatusTexts().FileNotFound;

    ASSERT_TRUE(WaitForCountdown(failing));
    EXPECT_EQ(StatusColumn(failing), notFound + " (3)");
    const auto row = RowOf(failing);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Texts[TDownloadRow::TimeLeft], "");
    EXPECT_EQ(row->Texts[TDownloadRow::Speed], "");
    Tick(failing, 1);
    EXPECT_EQ(StatusColumn(failing), notFound + " (2)");

    TDownloader* downloader = system->AssociatedDownloader(failing);
    ASSERT_NE(downloader, nullptr);
    QTimer* timer = failing->RetryTimer;
    downloader->OnDownloadError(downloader); // a second failure meanwhile
    EXPECT_EQ(failing->RetryTimer, timer);
    EXPECT_EQ(failing->RetryCountdown, 2);

    Tick(failing, 2);
    EXPECT_EQ(failing->RetryTimer, nullptr);
    ASSERT_TRUE(WaitForCountdown(failing));
    EXPECT_EQ(RequestsFor("gone.bin"), 2);
    EXPECT_EQ(downloader->RestartCount, 1);
    EXPECT_EQ(StatusColumn(failing), notFound + " (3)");
    EXPECT_EQ(waiting->Status(), StatusTexts().Queued) << "a download waiting to retry counts";

    Tick(failing, 3);
    ASSERT_TRUE(WaitFor([&] { return system->AssociatedDownloader(failing) == nullptr; }));
    EXPECT_EQ(RequestsFor("gone.bin"), 3);
    EXPECT_EQ(failing->RetryTimer, nullptr);
    EXPECT_EQ(failing->Status(), notFound);
    EXPECT_EQ(failing->StateCode, pdsError);
    ASSERT_TRUE(WaitForStatus(waiting, StatusTexts().Done));
    EXPECT_EQ(ReadWholeFile(Path("dl/next.bin")), next);
}

TEST_F(RetryTest, TimeOutSweepFailsASilentServer)
{
    TestClock::Set(Now(), 1000);
    Serve({{"silent.bin", Content(100)}}, [](const QString&, HttpTestAnswer& answer) { answer.stallBeforeHead = true; });
    Create();
    TLocalDownloadinfo* record = Add(server.Url("silent.bin"), "dl/silent.bin");
    ASSERT_TRUE(server.WaitForRequests(1));

    system->CheckForTimeOuts();
    TestClock::Advance(Read(Setting::TimeOutTime));
    system->CheckForTimeOuts();
    EXPECT_EQ(record->RetryTimer, nullptr) << "not silent for longer than the limit yet";
    TestClock::Advance(1);
    system->CheckForTimeOuts();
    ASSERT_TRUE(WaitFor([&] { return record->RetryTimer != nullptr; }));
    EXPECT_EQ(record->Status(), StatusTexts().Timeout);
    EXPECT_EQ(record->StateCode, pdsError);
}

TEST_F(RetryTest, CredentialsComeFromTheHostOrTheSlotFailsToLogIn)
{
    const QByteArray file = Content(3'000);
    server.Handler = [&](const QByteArray& request) {
        if (!request.contains("\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n"))
            return HttpTestAnswer::Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"vault\"\r\n");
        return HttpTestAnswer::Partial(file, 0);
    };
    Create();
    struct Case {
        std::optional<std::pair<QString, QString>> credentials;
        QString status;
    } cases[] = {
        {std::make_pair(QStringLiteral("user"), QStringLiteral("secret")), StatusTexts().Done},
        {std::nullopt, StatusTexts().CouldntLogin},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        SiteManager() = TSiteManager();
        windows.credentials = c.credentials;
        windows.authRequests.clear();
        TLocalDownloadinfo* record = Add(server.Url("vault.bin"), QStringLiteral("dl/vault%1.bin").arg(++n));
        ASSERT_TRUE(WaitFor([&] { return record->Status() == c.status; }));
        EXPECT_EQ(windows.authRequests, QStringList{"127.0.0.1 vault"});
        if (c.credentials)
            EXPECT_EQ(ReadWholeFile(record->LocalFileName), file);
        else
            EXPECT_NE(record->RetryTimer, nullptr);
    }
}
