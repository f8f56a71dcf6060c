// The limit of simultaneous downloads and the queue, with real downloads from the
// scriptable server and nginx: what counts, who waits, and who starts when.
#include "engine/Downloader.h"
#include "records/GeneralFunctions.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/coordination/SystemHarness.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
class QueueTest : public DownloadSystemTest {
protected:
    void SetUp() override
    {
        DownloadSystemTest::SetUp();
        Write(Setting::SplitParts, 1); // one connection per download, so they can be counted
    }
    QString Url(const QString& name) const { return server.Url(name); }
};
}

TEST_F(QueueTest, FourthDownloadWaitsWithoutConnectionUntilOneStartsJoining)
{
    Write(Setting::MaxSimultaneousDownloads, 3);
    const QByteArray a = Content(40'000), d = Content(3'000, 'k');
    Serve({{"a.bin", a}, {"b.bin", Content(9'000)}, {"c.bin", Content(9'000)}, {"d.bin", d}},
          [](const QString& name, HttpTestAnswer& answer) {
              if (name == "a.bin")
                  answer.bytesPerSecond = 100'000;
              if (name == "b.bin" || name == "c.bin")
                  answer.stallAfterHead = true;
          });
    Create();
    TLocalDownloadinfo* first = Add(Url("a.bin"), "dl/a.bin");
    Add(Url("b.bin"), "dl/b.bin");
    Add(Url("c.bin"), "dl/c.bin");
    TLocalDownloadinfo* fourth = Add(Url("d.bin"), "dl/d.bin");

    EXPECT_EQ(fourth->Status(), StatusTexts().Queued);
    EXPECT_EQ(fourth->StateCode, pdsQueued);
    EXPECT_EQ(system->AssociatedDownloader(fourth), nullptr);
    EXPECT_EQ(system->NumberOfDownloading(), 3);
    ASSERT_TRUE(server.WaitForRequests(3));
    EXPECT_FALSE(WaitFor([&] { return server.AcceptedConnections() > 3; }, 200));
    EXPECT_EQ(server.OpenConnections(), 3);
    EXPECT_EQ(RequestsFor("d.bin"), 0);

    QString firstWhenFourthStarted;
    system->OnDownloadChange = [&](TLocalDownloadinfo* record, TDownloader* downloader) {
        if (record == fourth && downloader && firstWhenFourthStarted.isEmpty())
            firstWhenFourthStarted = first->Status();
    };
    ASSERT_TRUE(WaitForStatus(fourth, StatusTexts().Done));
    EXPECT_TRUE(firstWhenFourthStarted.startsWith(StatusTexts().CombiningFiles)) << firstWhenFourthStarted.toStdString();
    ASSERT_TRUE(WaitForStatus(first, StatusTexts().Done));
    EXPECT_EQ(ReadWholeFile(Path("dl/a.bin")), a);
    EXPECT_EQ(ReadWholeFile(Path("dl/d.bin")), d);
    EXPECT_EQ(system->NumberOfDownloading(), 2);
}

TEST_F(QueueTest, DownloadWaitingInItsDialogCountsAgainstTheLimit)
{
    Write(Setting::MaxSimultaneousDownloads, 1);
    const QByteArray x = Content(5'000), y = Content(6'000, 'm');
    Serve({{"x.bin", x}, {"y.bin", y}});
    Create();
    TLocalDownloadinfo* asked = Add(Url("x.bin"));
    ASSERT_EQ(windows.dialogs.size(), 1u);
    FakeFileInfoWindow* dialog = windows.dialogs.front();
    EXPECT_EQ(dialog->sizeText, StatusTexts().ContactingHost);
    TLocalDownloadinfo* waiting = Add(Url("y.bin"), "dl/y.bin");

    EXPECT_EQ(waiting->Status(), StatusTexts().Queued);
    EXPECT_EQ(system->NumberOfDownloading(), 1);
    EXPECT_EQ(system->Records().IndexOf(asked), -1) << "joins the records when it is started";
    system->ShowStatus(StatusTexts().Downloading);
    ASSERT_EQ(system->List().rowCount(), 1);
    EXPECT_EQ(system->List().Record(0), asked);
    EXPECT_TRUE(WaitFor([&] { return dialog->sizeText == BytesToPresentableString(x.size()); }));

    dialog->Start(Path("dl/x.bin"));
    ASSERT_TRUE(WaitForStatus(waiting, StatusTexts().Done));
    // The queued one starts as soon as the first is joining, so it may finish first.
    ASSERT_TRUE(WaitForStatus(asked, StatusTexts().Done));
    EXPECT_EQ(ReadWholeFile(Path("dl/x.bin")), x);
    EXPECT_EQ(ReadWholeFile(Path("dl/y.bin")), y);
}

// Without room the dialog's download stops once it knows the file; the dialog stays
// open, and Start then queues it.
TEST_F(QueueTest, DialogWithoutRoomStaysOpenAndItsStartQueues)
{
    Write(Setting::MaxSimultaneousDownloads, 1);
    const QByteArray late = Content(7'000, 'q');
    Serve({{"busy.bin", Content(9'000)}, {"late.bin", late}}, [](const QString& name, HttpTestAnswer& answer) {
        if (name == "busy.bin")
            answer.stallAfterHead = true;
        else
            answer.stallAfter = 100; // it stops on its own before the rest comes
    });
    Create();
    TLocalDownloadinfo* busy = Add(Url("busy.bin"), "dl/busy.bin");
    TLocalDownloadinfo* asked = Add(Url("late.bin"));
    ASSERT_EQ(windows.dialogs.size(), 1u);
    FakeFileInfoWindow* dialog = windows.dialogs.front();
    TDownloader* paused = dialog->Downloader();

    ASSERT_TRUE(WaitFor([&] { return paused->Paused && server.OpenConnections() == 1; }));
    system->OnFreeTimer();
    ASSERT_EQ(windows.dialogs.size(), 1u) << "the dialog must survive the pause";
    EXPECT_EQ(dialog->sizeText, BytesToPresentableString(late.size()));
    EXPECT_EQ(system->AssociatedDownloader(asked), paused);

    dialog->Start(Path("dl/late.bin"));
    EXPECT_EQ(asked->Status(), StatusTexts().Queued);
    EXPECT_EQ(system->AssociatedDownloader(asked), nullptr);

    Serve({{"busy.bin", Content(9'000)}, {"late.bin", late}}, [](const QString& name, HttpTestAnswer& answer) {
        answer.stallAfterHead = name == "busy.bin";
    });
    TLDIList deleted;
    deleted.Add(busy);
    system->DeleteItems(deleted);
    ASSERT_TRUE(WaitForStatus(asked, StatusTexts().Done));
    EXPECT_EQ(ReadWholeFile(Path("dl/late.bin")), late);
}

TEST_F(QueueTest, NoRoomQueuesForeverAndRoomStartsTheFirstInListOrder)
{
    ASSERT_TRUE(QDir().mkpath(Path("www")));
    for (const char* name : {"q1.bin", "q2.bin", "q3.bin"})
        ASSERT_TRUE(WriteWholeFile(Path("www/") + name, Content(20'000, name[1])));
    ASSERT_TRUE(nginx.Start(Path("www"), {.limitRate = 100'000})) << nginx.Error().toStdString();
    Write(Setting::MaxSimultaneousDownloads, 0);
    Create();
    std::vector<TLocalDownloadinfo*> queued;
    for (const char* name : {"q1.bin", "q2.bin", "q3.bin"})
        queued.push_back(Add(nginx.Url(name), QStringLiteral("dl/") + name));
    system->DownloadNextInQueue();
    for (const TLocalDownloadinfo* record : queued) {
        EXPECT_EQ(record->Status(), StatusTexts().Queued);
        EXPECT_EQ(system->AssociatedDownloader(record), nullptr);
    }
    EXPECT_EQ(system->WindowSets().Count(), 0);

    Write(Setting::MaxSimultaneousDownloads, 2);
    system->DownloadNextInQueue();
    EXPECT_NE(system->AssociatedDownloader(queued[0]), nullptr);
    EXPECT_NE(system->AssociatedDownloader(queued[1]), nullptr);
    EXPECT_EQ(queued[2]->Status(), StatusTexts().Queued);
    for (const TLocalDownloadinfo* record : queued)
        ASSERT_TRUE(WaitForStatus(record, StatusTexts().Done));
    EXPECT_EQ(ReadWholeFile(Path("dl/q3.bin")), Content(20'000, '3'));
}
