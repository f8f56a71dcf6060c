// The FTP client against our scriptable server: the replies and faults real servers
// will not produce on demand.
#include "engine/FtpClient.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/support/FtpTestServer.h"
#include "tests/support/TempHome.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {
using Verbs = QList<QByteArray>;

class FtpFaultTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        server.AddFile("file.bin", content);
        probe.client->HostFileName = "file.bin";
        probe.client->LocalFileName = Path("part.0");
    }
    TFtpClient& client() { return *probe.client; }
    // The verbs the server received after the login.
    Verbs VerbsAfterLogin() const { return server.Verbs().mid(4); }

    const QByteArray content = Pattern(100'000);
    FtpTestServer server;
    FtpProbe probe{server.Port()};
};

class FtpFaultModeTest : public FtpFaultTest, public testing::WithParamInterface<bool> {};
}

TEST_P(FtpFaultModeTest, RestComesAfterTheDataConnectionCommand)
{
    // This server forgets a REST that PASV follows; our order keeps the offset.
    server.ForgetRestOnPasv = true;
    client().Passive = GetParam();
    client().NoAutoResumeAt = true;
    client().ResumeAt = 30'000;
    ASSERT_TRUE(probe.Login());
    ASSERT_EQ(probe.Run(&TFtpClient::RestGet), 0) << client().ErrorMessage().toStdString();
    EXPECT_EQ(VerbsAfterLogin(), (Verbs{GetParam() ? "PASV" : "PORT", "REST", "RETR"}));
    EXPECT_EQ(server.Commands().at(5), "REST 30000");
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content.mid(30'000));
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpFaultModeTest, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(FtpFaultTest, LineBreaksInNamesEndTheRequestBeforeAnythingIsSent)
{
    const QString breaks[] = {"\r", "\n", QString(QChar(0))};
    for (const QString& bad : breaks) {
        FtpProbe fresh(server.Port());
        fresh.client->UserName = "user" + bad + "DELE x";
        EXPECT_EQ(fresh.Run(&TFtpClient::Connect), 501);
        EXPECT_FALSE(fresh.client->Connected());
        fresh.client->UserName = "user";
        fresh.client->PassWord = "pw" + bad;
        EXPECT_EQ(fresh.Run(&TFtpClient::Connect), 501);
    }
    EXPECT_TRUE(server.Commands().isEmpty()) << "nothing reached the server";

    ASSERT_TRUE(probe.Login());
    const qsizetype sent = server.Commands().size();
    QString TFtpClient::*fields[] = {&TFtpClient::HostDirName, &TFtpClient::HostFileName};
    bool (TFtpClient::*requests[])() = {&TFtpClient::Cwd, &TFtpClient::Size, &TFtpClient::RestGet, &TFtpClient::Get};
    for (const QString& bad : breaks) {
        client().*fields[0] = "/pub" + bad + "DELE x/";
        EXPECT_EQ(probe.Run(requests[0]), 501);
        client().*fields[0] = "/";
        client().*fields[1] = "file.bin" + bad + "DELE x";
        for (auto request : {requests[1], requests[2], requests[3]})
            EXPECT_EQ(probe.Run(request), 501);
    }
    EXPECT_EQ(server.Commands().size(), sent);
    EXPECT_TRUE(client().Ready());
}

TEST_F(FtpFaultTest, EmptyUserOrPasswordIsNotSent)
{
    FtpProbe noUser(server.Port(), "", "pw");
    EXPECT_EQ(noUser.Run(&TFtpClient::Connect), 530);
    FtpProbe noPassword(server.Port(), "user", "");
    EXPECT_EQ(noPassword.Run(&TFtpClient::Connect), 530);
    EXPECT_EQ(server.Verbs(), Verbs{"USER"});
}

TEST_F(FtpFaultTest, RefusedRestStopsARetrieveButNotARestRequest)
{
    server.Reply("REST", "502 REST not implemented\r\n");
    client().NoAutoResumeAt = true;
    client().ResumeAt = 5000;
    ASSERT_TRUE(probe.Login());
    EXPECT_EQ(probe.Run(&TFtpClient::Rest), 0);
    EXPECT_EQ(client().StatusCode(), 502);
    // RETR would send the file from 0 into the middle of the part file.
    client().Passive = true;
    client().ResumeAt = 5000;
    EXPECT_EQ(probe.Run(&TFtpClient::RestGet), 502);
    EXPECT_FALSE(server.Verbs().contains("RETR"));
    // A plain Get after a refused REST fetches from byte 0.
    ASSERT_EQ(probe.Run(&TFtpClient::Get), 0);
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content);
}

TEST_F(FtpFaultTest, ResumeOffsetFollowsTheLocalFileUnlessToldOtherwise)
{
    ASSERT_TRUE(WriteWholeFile(client().LocalFileName, QByteArray(1234, 'x')));
    ASSERT_TRUE(probe.Login());
    client().ResumeAt = 99;
    EXPECT_EQ(probe.Run(&TFtpClient::Rest), 0);
    EXPECT_EQ(server.Commands().last(), "REST 1234");
    client().NoAutoResumeAt = true;
    client().ResumeAt = -1;
    EXPECT_EQ(probe.Run(&TFtpClient::Rest), 0);
    EXPECT_EQ(server.Commands().last(), "REST 1234") << "a negative offset sends no REST";

    // A Get not preceded by an accepted REST starts from 0.
    server.Reply("REST", "502 REST not implemented\r\n");
    client().ResumeAt = 777;
    EXPECT_EQ(probe.Run(&TFtpClient::Rest), 0);
    EXPECT_EQ(client().ResumeAt, 777);
    client().Passive = true;
    ASSERT_TRUE(client().Get());
    EXPECT_EQ(client().ResumeAt, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return client().Ready(); }));
}

TEST_F(FtpFaultTest, PassiveReplyNamingAnotherAddressIsIgnored)
{
    server.PasvAddress = "10,255,255,1";
    client().Passive = true;
    ASSERT_TRUE(probe.Login());
    ASSERT_EQ(probe.Run(&TFtpClient::Get), 0) << client().ErrorMessage().toStdString();
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content);
}

TEST_F(FtpFaultTest, UnreadablePassiveReplyFailsTheSetUp)
{
    server.Reply("PASV", "227 Entering Passive Mode (127,0,0,1)\r\n");
    client().Passive = true;
    ASSERT_TRUE(probe.Login());
    EXPECT_EQ(probe.Run(&TFtpClient::Get), 550);
    EXPECT_TRUE(client().ErrorMessage().startsWith("550 Passive: "));
}

TEST_F(FtpFaultTest, ActiveTransferWithoutTheServersConnectionFails)
{
    const QByteArray endings[] = {"425 Can't open data connection\r\n", "226 Transfer complete\r\n"};
    for (const QByteArray& ending : endings) {
        server.On("RETR", [ending](FtpTestSession& session, const QByteArray&) {
            session.Send("150 Opening data connection\r\n");
            QTimer::singleShot(50, [&session, ending] { session.Send(ending); });
        });
        FtpProbe fresh(server.Port());
        fresh.client->HostFileName = "file.bin";
        fresh.client->LocalFileName = Path("part.0");
        ASSERT_TRUE(fresh.Login());
        EXPECT_EQ(fresh.Run(&TFtpClient::Get), 425) << ending.constData();
    }
}

TEST_F(FtpFaultTest, Reply421EndsTheRequestAtEveryStep)
{
    // verb, index of the request that gets the 421, its error: REST takes any reply.
    const std::tuple<QByteArray, int, int> steps[] = {
        {"", 0, 421},     {"USER", 0, 421}, {"PASS", 0, 421}, {"TYPE", 1, 421}, {"CWD", 2, 421},
        {"SIZE", 3, 421}, {"REST", 4, 0},   {"PASV", 5, 421}, {"RETR", 5, 421}};
    bool (TFtpClient::*sequence[])() = {&TFtpClient::Connect, &TFtpClient::TypeSet, &TFtpClient::Cwd,
                                        &TFtpClient::Size,    &TFtpClient::Rest,    &TFtpClient::RestGet};
    for (const auto& [verb, failing, error] : steps) {
        FtpTestServer closing;
        closing.AddFile("file.bin", content);
        closing.ReplyAndClose(verb, "421 Service not available, closing control connection\r\n");
        FtpProbe fresh(closing.Port());
        fresh.client->Passive = true;
        fresh.client->HostFileName = "file.bin";
        fresh.client->LocalFileName = Path("part.0");
        for (int i = 0; i < failing; ++i)
            ASSERT_EQ(fresh.Run(sequence[i]), 0) << verb.constData() << " step " << i;
        EXPECT_EQ(fresh.Run(sequence[failing]), error) << verb.constData();
        EXPECT_EQ(fresh.client->StatusCode(), 421);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !fresh.client->Connected(); })) << verb.constData();
        EXPECT_EQ(fresh.client->State(), TFtpState::NotConnected);
        EXPECT_EQ(fresh.done.size(), size_t(failing + 1)) << "one request done per request";
    }
}

TEST_F(FtpFaultTest, RetrieveEndsOnlyWithBothTheDataAndTheFinalReply)
{
    // 226 well after the data closed; 226 well before the data comes; data cut short.
    struct Case {
        const char* name;
        std::function<void(FtpTestSession&, const QByteArray&)> retr;
        int error;
        qint64 bytes;
    };
    const QByteArray data = content;
    const Case cases[] = {
        {"reply after data",
         [data](FtpTestSession& s, const QByteArray&) {
             s.Send("150 Opening\r\n");
             s.SendData(data, [&s] { QTimer::singleShot(150, [&s] { s.Send("226 Done\r\n"); }); });
         },
         0, data.size()},
        {"reply before data",
         [data](FtpTestSession& s, const QByteArray&) {
             s.Send("150 Opening\r\n226 Done\r\n");
             QTimer::singleShot(150, [&s, data] { s.SendData(data); });
         },
         0, data.size()},
        {"data cut short",
         [data](FtpTestSession& s, const QByteArray&) {
             s.Send("150 Opening\r\n");
             s.SendData(data.left(1000), [&s] { s.Send("426 Connection closed; transfer aborted\r\n"); });
         },
         426, 1000},
    };
    client().Passive = true;
    ASSERT_TRUE(probe.Login());
    for (const Case& c : cases) {
        server.On("RETR", c.retr);
        EXPECT_EQ(probe.Run(&TFtpClient::Get), c.error) << c.name;
        EXPECT_EQ(client().ByteCount(), c.bytes) << c.name;
        EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content.left(c.bytes)) << c.name;
    }
}

TEST_F(FtpFaultTest, RepliesAreReadHoweverTheyArrive)
{
    struct Case {
        const char* name;
        QList<QByteArray> greeting;
        QByteArray user, pass;
        int error;
    };
    const Case cases[] = {
        {"split across reads", {"22", "0 Wel", "come\r", "\n"}, "331 Password\r\n", "230 In\r\n", 0},
        {"LF-only line ends", {"220 Hi\n"}, "331 Password\n", "230 In\n", 0},
        {"multi-line", {"220-Welcome\r\n", "221 other code\r\n 220 indented\r\n220-more\r\n220 Ready\r\n"}, "331 P\r\n",
         "230-Logged in\r\n230-Quota\r\n230 Done\r\n", 0},
        {"delay then greeting", {"120 Ready in a moment\r\n", "220 Ready\r\n"}, "331 P\r\n", "230 In\r\n", 0},
        {"over-long line", {"220 " + QByteArray(TFtpReplyReader::MaxLineLength, 'x') + "\r\n"}, "", "", 421},
        {"refusing greeting", {"421 Too many users\r\n"}, "", "", 421},
        {"user refused", {"220 Hi\r\n"}, "530 Not allowed\r\n", "", 530},
    };
    for (const Case& c : cases) {
        FtpTestServer scripted;
        scripted.On("", [&c](FtpTestSession& s, const QByteArray&) { s.SendPieces(c.greeting); });
        scripted.Reply("USER", c.user);
        scripted.Reply("PASS", c.pass);
        FtpProbe fresh(scripted.Port());
        EXPECT_EQ(fresh.Run(&TFtpClient::Connect), c.error) << c.name;
        EXPECT_EQ(fresh.client->State() == TFtpState::LoggedIn, c.error == 0) << c.name;
    }
}

TEST_F(FtpFaultTest, SizeTakesOnlyAPlainNumber)
{
    const std::tuple<QByteArray, int, qint64> cases[] = {
        {"213 4096\r\n", 0, 4096},
        {"213 5000000000\r\n", 0, 5'000'000'000},
        {"213 12abc\r\n", 213, -1},
        {"550 Could not get file size\r\n", 550, -1},
        {"500 SIZE not understood\r\n", 500, -1},
    };
    ASSERT_TRUE(probe.Login());
    for (const auto& [reply, error, size] : cases) {
        server.Reply("SIZE", reply);
        EXPECT_EQ(probe.Run(&TFtpClient::Size), error) << reply.constData();
        EXPECT_EQ(client().SizeResult(), size) << reply.constData();
    }
}

TEST_F(FtpFaultTest, LocalFileFailuresEndTheRetrieve)
{
    client().Passive = true;
    ASSERT_TRUE(probe.Login());
    // Write offset > 0 needs the existing part file.
    client().WriteOffset = 10;
    EXPECT_EQ(probe.Run(&TFtpClient::Get), 426);
    EXPECT_EQ(client().ErrorMessage(), "426 Unable to open local file " + client().LocalFileName);
    EXPECT_TRUE(server.Verbs().mid(4).isEmpty()) << "nothing sent for a file we cannot open";
    // A disk that is full is a failure, not a short success.
    client().WriteOffset = 0;
    client().LocalFileName = "/dev/full";
    EXPECT_EQ(probe.Run(&TFtpClient::Get), 426);
    EXPECT_TRUE(client().ErrorMessage().startsWith("426 Unable to write local file /dev/full"));
    EXPECT_EQ(client().ByteCount(), 0);
}

TEST_F(FtpFaultTest, ClientMayBeDestroyedInsideEachOfItsEvents)
{
    enum Event { SessionConnected, StateConnected, LoginDone, Progress, RetrieveDone };
    for (Event event : {SessionConnected, StateConnected, LoginDone, Progress, RetrieveDone}) {
        FtpProbe fresh(server.Port());
        auto& c = fresh.client;
        c->Passive = true;
        c->HostFileName = "file.bin";
        c->LocalFileName = Path("part.0");
        int after = 0; // events after the destruction
        bool destroyed = false;
        auto destroy = [&](bool now) {
            if (destroyed)
                ++after;
            else if (now) {
                destroyed = true;
                c.reset();
            }
        };
        c->OnSessionConnected = [&](int) { destroy(event == SessionConnected); };
        c->OnStateChange = [&](TFtpState s) { destroy(event == StateConnected && s == TFtpState::Connected); };
        c->OnProgress = [&](qint64, bool&) { destroy(event == Progress); };
        c->OnRequestDone = [&](TFtpRequest r, int) {
            destroy(event == (r == TFtpRequest::Connect ? LoginDone : RetrieveDone));
            if (!destroyed && r == TFtpRequest::Connect)
                c->Get();
        };
        ASSERT_TRUE(c->Connect());
        EXPECT_TRUE(ProcessEventsUntil([&] { return destroyed; })) << event;
        RunEvents(100); // whatever was left in flight arrives now
        EXPECT_EQ(after, 0) << event;
    }
}
