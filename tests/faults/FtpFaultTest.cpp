// Whole downloads from FTP servers that misbehave: every case ends in the file byte
// for byte or in a clear failure, and no part file ever holds a byte out of place.
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/faults/FaultHarness.h"
#include "tests/support/FtpTestServer.h"

#include <functional>
#include <gtest/gtest.h>

namespace {
// RETR as the test server does it, except that the transfer from byte 0 starts late, so
// that the other ranges are asked for before the first one can run on into them.
// `ignoreRest` sends every transfer from byte 0, whatever REST said.
void RetrFirstRangeLate(FtpTestServer& server, const QByteArray& file, bool ignoreRest = false)
{
    server.On("RETR", [file, ignoreRest](FtpTestSession& session, const QByteArray&) {
        const qint64 asked = session.restOffset;
        const qint64 from = ignoreRest ? 0 : asked;
        session.restOffset = 0;
        session.Send("150 Opening data connection\r\n");
        session.Later(asked == 0 ? 150 : 0, [&session, file, from] {
            session.SendData(file.mid(from), [&session] { session.Send("226 Transfer complete\r\n"); });
        });
    });
}

// RETR whose final reply and data come in the order the test says.
void RetrWithFinalReplyFirst(FtpTestServer& server, const QByteArray& file, bool replyFirst)
{
    server.On("RETR", [file, replyFirst](FtpTestSession& session, const QByteArray&) {
        const qint64 from = session.restOffset;
        session.restOffset = 0;
        if (replyFirst)
            session.Send("150 Opening data connection\r\n226 Transfer complete\r\n");
        else
            session.Send("150 Opening data connection\r\n");
        session.Later(50, [&session, file, from, replyFirst] {
            session.SendData(file.mid(from), [&session, replyFirst] {
                if (!replyFirst)
                    session.Later(100, [&session] { session.Send("226 Transfer complete\r\n"); });
            });
        });
    });
}

class FtpFaults : public FaultTest {
protected:
    QString Url(const FtpTestServer& server, const QString& userInfo = "user:secret",
                const QString& path = "file.bin") const
    {
        return QStringLiteral("ftp://%1@127.0.0.1:%2/%3").arg(userInfo).arg(server.Port()).arg(path);
    }
};

struct FtpCase {
    const char* Name;
    std::function<void(FtpTestServer& server, const QByteArray& file)> Setup;
    TOutcome Outcome;
    QString Status = {}; // of a failure, when it matters
    bool Passive = false;
};
}

TEST_F(FtpFaults, ServersThatMisbehaveGiveTheFileOrAClearFailure)
{
    const TStatusTexts& texts = StatusTexts();
    const auto reply = [](const QByteArray& verb, const QByteArray& bytes) {
        return [verb, bytes](FtpTestServer& server, const QByteArray&) { server.Reply(verb, bytes); };
    };
    const FtpCase cases[] = {
        {"REST forgotten when PASV follows it",
         [](FtpTestServer& s, const QByteArray& f) {
             s.ForgetRestOnPasv = true;
             RetrFirstRangeLate(s, f);
         },
         TOutcome::Identical, {}, true},
        {"REST refused: one part with a plain RETR", reply("REST", "502 Command not implemented\r\n"),
         TOutcome::Identical},
        {"REST answered 350 and ignored", [](FtpTestServer& s, const QByteArray& f) { RetrFirstRangeLate(s, f, true); },
         TOutcome::Identical}, // the other ranges fail their check, the first runs on over them
        {"227 naming another address",
         [](FtpTestServer& s, const QByteArray& f) {
             s.PasvAddress = "10,9,8,7";
             RetrFirstRangeLate(s, f);
         },
         TOutcome::Identical, {}, true},
        {"PORT accepted, the server never connects",
         [](FtpTestServer& s, const QByteArray&) {
             s.On("RETR", [](FtpTestSession& session, const QByteArray&) {
                 session.Send("150 Opening data connection\r\n");
                 session.Later(50, [&session] { session.Send("425 Can't open data connection\r\n"); });
             });
         },
         TOutcome::Failed},
        {"150 and 226 before the data", [](FtpTestServer& s, const QByteArray& f) { RetrWithFinalReplyFirst(s, f, true); },
         TOutcome::Identical, {}, true},
        {"data closed long before 226", [](FtpTestServer& s, const QByteArray& f) { RetrWithFinalReplyFirst(s, f, false); },
         TOutcome::Identical, {}, true},
        {"replies in pieces",
         [](FtpTestServer& s, const QByteArray&) {
             s.On("", [](FtpTestSession& session, const QByteArray&) { session.SendPieces({"2", "20 Rea", "dy\r", "\n"}); });
             s.On("PASS", [](FtpTestSession& session, const QByteArray&) { session.SendPieces({"230 Logged", " in\r\n"}); });
         },
         TOutcome::Identical},
        {"multi-line replies",
         [](FtpTestServer& s, const QByteArray&) {
             s.Greeting = "220-Welcome\r\n220-to the test\r\n220 server\r\n";
             s.Reply("PASS", "230-Logged in\r\n 230 still the text\r\n230 Go on\r\n");
         },
         TOutcome::Identical},
        {"replies ended by LF alone",
         [](FtpTestServer& s, const QByteArray&) {
             s.Greeting = "220 Ready\n";
             s.Reply("USER", "331 Password required\n");
             s.Reply("PASS", "230 Logged in\n");
             s.Reply("TYPE", "200 Type set\n");
         },
         TOutcome::Identical},
        {"reply line of 100 kB", [](FtpTestServer& s, const QByteArray&) { s.Greeting = "220 " + QByteArray(100'000, 'x') + "\r\n"; },
         TOutcome::Failed, texts.CouldntConnect},
        {"SIZE refused", reply("SIZE", "550 Could not get file size\r\n"), TOutcome::Failed, texts.FileNotFound},
        {"SIZE with junk", reply("SIZE", "213 many bytes\r\n"), TOutcome::Failed, texts.FileNotFound},
    };
    for (const FtpCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FtpTestServer server;
        server.AddFile("file.bin", content);
        c.Setup(server, content);
        Write(Setting::PassiveMode, c.Passive);
        EXPECT_EQ(Download(Url(server)), c.Outcome);
        if (c.Outcome == TOutcome::Failed && !c.Status.isEmpty()) {
            EXPECT_EQ(record->Status(), c.Status);
        }
        DownloaderTest::Finish();
    }
}

TEST_F(FtpFaults, Reply421AtAnyStepFailsTheDownloadWithNothingKept)
{
    for (const QByteArray verb : {"", "USER", "PASS", "TYPE", "CWD", "SIZE", "REST", "PORT", "RETR"}) {
        SCOPED_TRACE(verb.isEmpty() ? "greeting" : verb.constData());
        FtpTestServer server;
        server.AddFile("file.bin", content);
        server.ReplyAndClose(verb, "421 Service not available, closing control connection\r\n");
        EXPECT_EQ(Download(Url(server)), TOutcome::Failed);
        EXPECT_EQ(ReadWholeFile(record->TempFileName() + ".0"), QByteArray());
        DownloaderTest::Finish();
    }
}

TEST_F(FtpFaults, LineBreaksInNamesFailTheDownloadBeforeTheyReachACommand)
{
    const struct {
        const char* Name;
        QString UserInfo, Path;
    } cases[] = {
        {"in the user", "us%0D%0ADELE%20x:secret", "file.bin"},
        {"in the password", "user:se%0D%0ADELE%20x", "file.bin"},
        {"in the file name", "user:secret", "file.bin%0D%0ADELE%20x"},
        {"NUL in the folder", "user:secret", "pub%00DELE%20x/file.bin"},
        {"raw, in the file name", "user:secret", "file.bin\r\nDELE x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FtpTestServer server;
        server.AddFile("file.bin", content);
        EXPECT_EQ(Download(Url(server, c.UserInfo, c.Path)), TOutcome::Failed);
        for (const QByteArray& line : server.Commands())
            EXPECT_FALSE(line.startsWith("DELE") || line.contains('\0')) << line.constData();
        DownloaderTest::Finish();
    }
}
