// A get that ends early: killed at any moment, interrupted with Ctrl-C, or handing its
// URLs to a get already running.
#include "records/Settings.h"
#include "tests/app/GetHarness.h"

#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

namespace {
constexpr qint64 MiB = 1 << 20;
}

TEST_F(GetTest, KilledAtAnyMomentFinishesTheSameFileWithoutFetchingTwice)
{
    constexpr int Parts = 4;
    constexpr qint64 Size = 32 * MiB;
    StartNginx(MiB / 2); // about sixteen seconds of fetching: room for ten kills and one while joining
    const QByteArray file = Serve("big.bin", Size);
    const QStringList command {"get", "-n", QString::number(Parts), "-d", Path("out"), nginx.Url("big.bin")};
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE("seed " + std::to_string(seed));
    QRandomGenerator random(seed);
    int kills = 0;
    bool killedWhileJoining = false;
    for (int run = 0; run < 40 && !QFile::exists(Path("out/big.bin")); ++run) {
        const std::unique_ptr<QProcess> get = Start(command);
        QString seen;
        // Mostly at random moments; once when the parts are being joined.
        if (!killedWhileJoining && run >= 10) {
            killedWhileJoining = WaitForOutput(*get, "big.bin: Combining files", seen);
        } else {
            WaitForOutput(*get, "<never printed>", seen, int(random.bounded(50, 1200)));
        }
        if (get->state() == QProcess::NotRunning)
            break; // it finished first
        get->kill();
        get->waitForFinished();
        ++kills;
    }
    const CorvaneResult last = Corvane(command);
    ASSERT_EQ(last.status, 0) << last.out.toStdString() << last.err.toStdString();
    EXPECT_TRUE(ReadWholeFile(Path("out/big.bin")) == file) << "byte for byte the served file";
    EXPECT_GE(kills, 10);
    EXPECT_TRUE(killedWhileJoining);
    // nginx logs a request when it ends, a little after its client has gone.
    QThread::msleep(300);
    const qint64 sent = nginx.BytesSent("/big.bin");
    RecordProperty("kills", kills);
    RecordProperty("sent_over_size", int(sent - Size));
    EXPECT_LE(sent, Size + kills * Parts * MiB) << kills << " kills, " << nginx.Requests("/big.bin") << " requests";
}

TEST_F(GetTest, InterruptPausesAndTheSameCommandResumes)
{
    Write(Setting::MaxSimultaneousDownloads, 1);
    StartNginx(1 * MiB);
    const QByteArray file = Serve("f.bin", 6 * MiB), next = Serve("next.bin", 100'000);
    const QStringList command {"get", "-n", "2", nginx.Url("f.bin"), nginx.Url("next.bin")};
    const std::unique_ptr<QProcess> get = Start(command);
    QString seen;
    ASSERT_TRUE(WaitForOutput(*get, "f.bin: Downloading", seen)) << seen.toStdString();
    EXPECT_TRUE(seen.contains("next.bin: Queued"));
    QThread::msleep(500);
    kill(pid_t(get->processId()), SIGINT);
    const CorvaneResult interrupted = Finish(*get);
    EXPECT_EQ(interrupted.status, 130);
    EXPECT_TRUE(interrupted.out.endsWith(
        "Interrupted: 2 of 2 downloads paused; run the same command again to resume\n"))
        << interrupted.out.toStdString();
    const CorvaneResult listed = Corvane({"list"});
    EXPECT_EQ(LinesWith(listed.out, "Paused  ").size(), 2) << "the queued one too: " << listed.out.toStdString();
    EXPECT_EQ(LinesWith(listed.out, "Paused  6.00 MB  ").size(), 1) << listed.out.toStdString();

    const CorvaneResult resumed = Corvane(command);
    ASSERT_EQ(resumed.status, 0) << resumed.err.toStdString();
    EXPECT_TRUE(resumed.out.startsWith("f.bin: resuming " + nginx.Url("f.bin"))) << resumed.out.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("Downloads/f.bin")), file);
    EXPECT_EQ(ReadWholeFile(Path("Downloads/next.bin")), next);
    QThread::msleep(300);
    EXPECT_LE(nginx.BytesSent("/f.bin"), 6 * MiB + 2 * MiB) << "what the parts kept is not fetched again";

    const CorvaneResult again = Corvane(command);
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.startsWith("f.bin: Done already (" + Path("Downloads/f.bin") + ")")) << again.out.toStdString();
}

TEST_F(GetTest, SecondGetHandsItsUrlsToTheFirst)
{
    StartNginx(1 * MiB);
    const QByteArray slow = Serve("slow.bin", 3 * MiB), other = Serve("other.bin", 200'000);
    const std::unique_ptr<QProcess> first = Start({"get", "-d", Path("first"), nginx.Url("slow.bin")});
    QString seen;
    ASSERT_TRUE(WaitForOutput(*first, "slow.bin: Downloading", seen)) << seen.toStdString();

    // list and config run beside it and hand nothing over.
    const CorvaneResult listed = Corvane({"list"});
    EXPECT_EQ(LinesWith(listed.out, "Downloading").size(), 1) << listed.out.toStdString();
    EXPECT_EQ(Corvane({"config", "SplitParts"}).out, "4\n");

    const CorvaneResult second = Corvane({"get", "-n", "2", "-d", Path("second"), nginx.Url("other.bin")});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "Another instance of corvane is running; handed 1 URL(s) to it\n"
                          "Not applied there: -n, -d (only a URL is handed over)\n");
    const CorvaneResult firstResult = Finish(*first);
    EXPECT_EQ(firstResult.status, 0) << firstResult.err.toStdString();
    EXPECT_TRUE((seen + firstResult.out).contains("Handed over: " + nginx.Url("other.bin")));
    EXPECT_EQ(ReadWholeFile(Path("first/other.bin")), other) << "saved into the first get's folder";
    EXPECT_EQ(ReadWholeFile(Path("first/slow.bin")), slow);
    EXPECT_FALSE(QFile::exists(Path("second")));
    EXPECT_TRUE(firstResult.out.endsWith("2 of 2 downloads done\n"));
}
