// The FTP part downloader against pyftpdlib, and against the scriptable server for
// the refusals real servers do not give on demand.
#include "engine/FtpPartDownloader.h"
#include "records/Settings.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/PartTestHelpers.h"
#include "tests/support/FtpFixture.h"
#include "tests/support/FtpTestServer.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
using Verbs = QList<QByteArray>;

class FtpPartBase : public TempHomeTest {
protected:
    TFTPPartDownloader& Make(const QString& url, qint64 start = 0, qint64 end = 0, const QByteArray& existing = {})
    {
        part = std::make_unique<TFTPPartDownloader>(TUrl(url).GetUrl(), Path(QStringLiteral("part%1").arg(++count)),
                                                    start, end);
        if (!existing.isEmpty()) {
            EXPECT_TRUE(WriteWholeFile(part->FileName, existing));
        }
        watch = std::make_unique<PartWatch>(*part);
        return *part;
    }
    bool Run() { return watch->Run(*part); }
    QByteArray PartFile() const { return ReadWholeFile(part->FileName); }

    std::unique_ptr<TFTPPartDownloader> part;
    std::unique_ptr<PartWatch> watch;
    int count = 0;
};

class FtpPartTest : public FtpPartBase, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(server.Start()) << server.Log().toStdString();
        server.AddFile("pub/file.bin", content);
        Write(Setting::PassiveMode, GetParam());
    }
    QString Url(const QString& user = "user:secret@") const
    {
        return "ftp://" + user + QStringLiteral("127.0.0.1:%1/pub/file.bin").arg(server.Port());
    }

    const QByteArray content = Pattern(3 * 1024 * 1024 + 5, 11);
    FtpFixture server;
};

class FtpPartFaultTest : public FtpPartBase {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        server.AddFile("file.bin", content);
        Write(Setting::PassiveMode, true);
    }
    QString Url() const { return QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(server.Port()); }
    // What the server received after USER and PASS.
    Verbs VerbsAfterLogin() const { return server.Verbs().mid(2); }

    const QByteArray content = Pattern(300'000, 5);
    FtpTestServer server;
};
}

TEST_P(FtpPartTest, WholeFile)
{
    Make(Url());
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString() << " " << server.Log().toStdString();
    EXPECT_EQ(watch->Distinct(), (States{pdsContactingHost, pdsGettingFileInfo, pdsFileSizeKnown, pdsResumeInfoKnown,
                                         pdsDownloading, pdsPartDone}));
    EXPECT_EQ(part->RemoteFileSize, content.size());
    EXPECT_EQ(part->AllowResume, "Yes");
    EXPECT_EQ(part->TransferCount, content.size());
    EXPECT_TRUE(PartFile() == content);
}

TEST_P(FtpPartTest, ResumesIntoTheExistingPartFile)
{
    Make(Url(""), 0, 0, content.left(100'000)); // anonymous
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString();
    EXPECT_EQ(part->ExistingBytes, 100'000);
    EXPECT_TRUE(PartFile() == content);
}

TEST_P(FtpPartTest, RangeEndsAtItsStopMark)
{
    const qint64 start = 1024 * 1024, end = 2 * 1024 * 1024 - 1, length = end - start + 1;
    Make(Url(), start, end, content.mid(start, 1000));
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString();
    const QByteArray file = PartFile();
    EXPECT_EQ(file.size(), length) << "spliced up to the stop mark, never past it";
    EXPECT_TRUE(file == content.mid(start, length));
}

TEST_P(FtpPartTest, WrongPasswordIsCouldNotLogin)
{
    Make(Url("user:wrong@"));
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsError);
    EXPECT_EQ(part->ErrorState, fmeCouldNotLogin);
    EXPECT_EQ(part->ErrorText, "Couldn't login");
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpPartTest, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(FtpPartFaultTest, CommandsAsSent)
{
    server.AddFile("my file.bin", content);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        Write(Setting::PassiveMode, passive);
        const qsizetype before = server.Commands().size();
        Make(QStringLiteral("ftp://127.0.0.1:%1/my%20dir/my%20file.bin").arg(server.Port()));
        ASSERT_TRUE(Run());
        EXPECT_EQ(part->State, pdsPartDone);
        EXPECT_TRUE(PartFile() == content);
        // The probing REST, then the data connection before the REST that counts.
        Verbs commands = server.Commands().mid(before);
        ASSERT_EQ(commands.size(), 9);
        EXPECT_TRUE(commands[6].startsWith(passive ? "PASV" : "PORT 127,0,0,1,")) << commands[6].toStdString();
        commands[6] = "data";
        EXPECT_EQ(commands, (Verbs{"USER anonymous", "PASS ftp@example.org", "TYPE I", "CWD /my dir/",
                                   "SIZE my file.bin", "REST 0", "data", "REST 0", "RETR my file.bin"}));
    }
}

TEST_F(FtpPartFaultTest, ThroughAnFtpProxy)
{
    // The scriptable server stands in for the proxy; PASV is used whatever PassiveMode says.
    Write(Setting::PassiveMode, false);
    Write(Setting::UseFTPProxy, true);
    Write(Setting::FTPProxyAddress, "127.0.0.1");
    Write(Setting::FTPProxyPort, QString::number(server.Port()));
    Make("ftp://joe:pw@ftp.example.invalid/file.bin");
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone);
    EXPECT_EQ(server.Commands().mid(0, 2), (Verbs{"USER joe@ftp.example.invalid:21", "PASS pw"}));
    EXPECT_TRUE(server.Verbs().contains("PASV"));
    EXPECT_TRUE(PartFile() == content);

    // Loopback is reached directly, though the proxy (here: nobody) is set.
    Write(Setting::FTPProxyPort, "1");
    Make(Url());
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString();
    EXPECT_EQ(server.Commands().last(), "RETR file.bin");
}

TEST_F(FtpPartFaultTest, RestRefusedAtTheStartFetchesWithPlainRetr)
{
    server.Reply("REST", "502 REST not implemented\r\n");
    Make(Url());
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString();
    EXPECT_EQ(part->AllowResume, "No");
    EXPECT_EQ(VerbsAfterLogin(), (Verbs{"TYPE", "CWD", "SIZE", "REST", "PASV", "RETR"}));
    EXPECT_TRUE(PartFile() == content);
}

TEST_F(FtpPartFaultTest, RestRefusedElsewhereIsResumeNotSupported)
{
    struct Case {
        const char* name;
        qint64 start;
        QByteArray existing;
    } cases[] = {
        {"part at 1000", 1000, ""},
        {"first part with data", 0, "already here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reply("REST", "502 REST not implemented\r\n");
        Make(Url(), c.start, 0, c.existing);
        ASSERT_TRUE(Run());
        EXPECT_EQ(part->State, pdsError);
        EXPECT_EQ(part->ErrorState, fmeResumeNotSupported);
        EXPECT_EQ(part->ErrorText, "Resume is not supported");
        EXPECT_EQ(part->AllowResume, "No");
        EXPECT_TRUE(PartFile() == c.existing);
        EXPECT_FALSE(server.Verbs().contains("RETR"));
    }
}

TEST_F(FtpPartFaultTest, RefusalsAndWhatTheyMean)
{
    struct Case {
        QByteArray verb;
        QByteArray reply;
        TFileMirrorError error;
        QString text;
    } cases[] = {
        {"PASS", "530 Login incorrect\r\n", fmeCouldNotLogin, "Couldn't login"},
        {"USER", "421 Too many users\r\n", fmeCouldNotConnect, "Couldn't connect to host"},
        {"CWD", "550 No such directory\r\n", fmeFileNotFound, "File not found"},
        {"SIZE", "550 No such file\r\n", fmeFileNotFound, "File not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb.toStdString());
        FtpTestServer refusing;
        refusing.AddFile("file.bin", content);
        refusing.Reply(c.verb, c.reply);
        Make(QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(refusing.Port()));
        ASSERT_TRUE(Run());
        EXPECT_EQ(part->State, pdsError);
        EXPECT_EQ(part->ErrorState, c.error);
        EXPECT_EQ(part->ErrorText, c.text);
        EXPECT_EQ(std::count(watch->states.begin(), watch->states.end(), pdsError), 1) << "reported once";
        EXPECT_TRUE(PartFile().isEmpty());
    }
}

TEST_F(FtpPartFaultTest, AnswerShortOfSizeIsLostConnection)
{
    server.On("RETR", [&](FtpTestSession& session, const QByteArray&) {
        session.Send("150 Opening data connection\r\n");
        session.SendData(content.left(1000), [&session] { session.Send("226 Transfer complete\r\n"); });
    });
    Make(Url());
    ASSERT_TRUE(Run());
    EXPECT_EQ(part->State, pdsError);
    EXPECT_EQ(part->ErrorState, fmeLostConnection);
    EXPECT_TRUE(PartFile() == content.left(1000));
}

TEST_F(FtpPartFaultTest, KeptConnectionTakesTheNextRange)
{
    Make(Url(), 0, 29'999);
    // As the downloader hands a finished part downloader on, inside its report.
    bool handedOn = false;
    watch->React = [&](TPartDownloader& sender, TPartDownloaderState state) {
        if (state != pdsPartDone || handedOn)
            return;
        handedOn = true;
        sender.StartByte = 100'000;
        sender.EndByte = 149'999;
        sender.FileName = Path("part.100000");
        ASSERT_TRUE(WriteWholeFile(sender.FileName, content.mid(100'000, 20'000)));
        watch->ended = false;
        sender.Get();
    };
    ASSERT_TRUE(Run());
    ASSERT_TRUE(handedOn);
    ASSERT_TRUE(watch->WaitForEnd());
    EXPECT_EQ(part->State, pdsPartDone) << part->ErrorText.toStdString();
    EXPECT_EQ(server.Verbs().count("USER"), 1);
    EXPECT_EQ(server.Commands().mid(server.Commands().size() - 3), (Verbs{"PASV", "REST 120000", "RETR file.bin"}));
    ASSERT_TRUE(TruncatePartFile(part->FileName, 50'000));
    EXPECT_TRUE(PartFile() == content.mid(100'000, 50'000));
}

TEST_F(FtpPartFaultTest, PauseKeepsThePartFileAbortDeletesIt)
{
    const QByteArray big = Pattern(4 * 1024 * 1024);
    server.AddFile("big.bin", big);
    for (bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "pause" : "abort");
        Make(QStringLiteral("ftp://127.0.0.1:%1/big.bin").arg(server.Port()));
        PauseOrAbortMidway(*part, *watch, pause, big);
    }
}

TEST_F(FtpPartFaultTest, DestroyedFromInsideItsOwnChange)
{
    struct Case {
        TPartDownloaderState target;
        qint64 end;
        QByteArray refuse; // a verb the server refuses
        TPartDownloaderState pauseOrAbortAt;
    } cases[] = {
        {pdsContactingHost, 0, "", pdsReserved},
        {pdsGettingFileInfo, 0, "", pdsReserved},
        {pdsFileSizeKnown, 0, "", pdsReserved},
        {pdsResumeInfoKnown, 0, "", pdsReserved},
        {pdsDownloading, 0, "", pdsReserved},
        {pdsEndReached, 999, "", pdsReserved},
        {pdsPartDone, 0, "", pdsReserved},
        {pdsError, 0, "CWD", pdsReserved},
        {pdsError, 0, "PASS", pdsReserved},
        {pdsPaused, 0, "", pdsDownloading},
        {pdsAborted, 0, "", pdsDownloading},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << StateName(c.target) << " " << c.refuse.toStdString());
        FtpTestServer each;
        each.AddFile("file.bin", content);
        if (!c.refuse.isEmpty())
            each.Reply(c.refuse, "530 No\r\n");
        Make(QStringLiteral("ftp://127.0.0.1:%1/file.bin").arg(each.Port()), 0, c.end);
        DestroyInsideReport(*part, *watch, c.target, c.pauseOrAbortAt, [&] { part.reset(); });
    }
}
