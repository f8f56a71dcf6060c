// The FTP client against a real server (pyftpdlib) on loopback.
#include "engine/FtpClient.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/support/FtpFixture.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {
class FtpClientTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(server.Start()) << server.Log().toStdString();
        probe = std::make_unique<FtpProbe>(server.Port());
        client().LocalFileName = Path("part.0");
    }
    TFtpClient& client() { return *probe->client; }

    // Serves content as name and logs in ready to fetch it.
    void Offer(const QByteArray& content, const QString& name = "file.bin")
    {
        server.AddFile("pub/" + name, content);
        client().HostDirName = "/pub/";
        client().HostFileName = name;
        ASSERT_TRUE(probe->Login());
    }

    FtpFixture server;
    std::unique_ptr<FtpProbe> probe;
};

class FtpClientModeTest : public FtpClientTest, public testing::WithParamInterface<bool> {};
}

TEST_P(FtpClientModeTest, FetchesAWholeFileByteForByte)
{
    const QByteArray content = Pattern(3 * 1024 * 1024 + 123);
    Offer(content);
    client().Passive = GetParam();
    ASSERT_EQ(probe->Run(&TFtpClient::Size), 0);
    EXPECT_EQ(client().SizeResult(), content.size());
    ASSERT_EQ(probe->Run(&TFtpClient::Get), 0) << client().ErrorMessage().toStdString();
    EXPECT_EQ(client().ByteCount(), content.size());
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content);
    ASSERT_FALSE(probe->progress.empty());
    EXPECT_EQ(probe->progress.back(), content.size());
    EXPECT_TRUE(client().Ready());
}

TEST_P(FtpClientModeTest, ResumesAPartFromItsExistingBytes)
{
    // A part starting at S whose part file already holds its first E bytes.
    const QByteArray content = Pattern(200'000);
    const qint64 start = 50'000, existing = 7'000;
    Offer(content);
    ASSERT_TRUE(WriteWholeFile(client().LocalFileName, content.mid(start, existing)));
    client().Passive = GetParam();
    client().NoAutoResumeAt = true;
    client().ResumeAt = start + existing;
    client().WriteOffset = existing;
    ASSERT_EQ(probe->Run(&TFtpClient::RestGet), 0) << client().ErrorMessage().toStdString();
    EXPECT_EQ(client().ByteCount(), content.size() - start - existing);
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content.mid(start));
    EXPECT_EQ(client().ResumeAt, 0) << "a finished retrieve resets the resume offset";
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpClientModeTest, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(FtpClientTest, WriteOffsetZeroTruncatesThePartFile)
{
    const QByteArray content = Pattern(3000);
    Offer(content);
    ASSERT_TRUE(WriteWholeFile(client().LocalFileName, QByteArray(10'000, 'x')));
    client().Passive = true;
    client().WriteOffset = 0;
    ASSERT_EQ(probe->Run(&TFtpClient::Get), 0);
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content);
}

TEST_F(FtpClientTest, StopMarkOrListenerCutsTheTransferAndTheSessionGoesOn)
{
    const QByteArray content = Pattern(4 * 1024 * 1024);
    Offer(content);
    client().Passive = true;
    // Blocks are spliced up to the mark, never past it; a listener's abort follows the
    // first block, however large that was.
    struct Case {
        qint64 stopMark;
        bool listenerAborts;
        qint64 least, most;
    } cases[] = {{100'000, false, 100'000, 100'000}, {0, true, 1, client().ReadBudget}};
    for (const Case& c : cases) {
        client().StopMark = c.stopMark;
        client().OnProgress = [&](qint64, bool& abort) { abort = c.listenerAborts; };
        EXPECT_GE(probe->Run(&TFtpClient::Get), 0);
        const qint64 got = client().ByteCount();
        EXPECT_GE(got, c.least);
        EXPECT_LE(got, c.most) << "the cut follows the block that reached the mark";
        EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content.left(got));
    }
    // The control connection is still in step: a whole fetch works on it.
    client().StopMark = 0;
    client().OnProgress = nullptr;
    ASSERT_EQ(probe->Run(&TFtpClient::Get), 0) << client().ErrorMessage().toStdString();
    EXPECT_TRUE(ReadWholeFile(client().LocalFileName) == content);
}

TEST_F(FtpClientTest, PassiveReplyNamingAnotherAddressIsIgnored)
{
    FtpFixture masked(FtpFixture::Options{.masquerade = "10.255.255.1"});
    ASSERT_TRUE(masked.Start());
    masked.AddFile("f.bin", Pattern(5000));
    FtpProbe other(masked.Port());
    other.client->Passive = true;
    other.client->HostFileName = "f.bin";
    other.client->LocalFileName = Path("masked.0");
    ASSERT_TRUE(other.Login());
    ASSERT_EQ(other.Run(&TFtpClient::Get), 0) << other.client->ErrorMessage().toStdString();
    EXPECT_TRUE(ReadWholeFile(other.client->LocalFileName) == Pattern(5000));
}

TEST_F(FtpClientTest, LoginSucceedsOrReportsTheRefusal)
{
    const struct {
        QString user, password;
        int error;
        TFtpState state;
    } cases[] = {
        {"user", "secret", 0, TFtpState::LoggedIn},
        {"anonymous", "guest@example.org", 0, TFtpState::LoggedIn},
        {"user", "wrong", 530, TFtpState::Connected},
    };
    for (const auto& c : cases) {
        FtpProbe login(server.Port(), c.user, c.password);
        EXPECT_EQ(login.Run(&TFtpClient::Connect), c.error) << c.user.toStdString();
        EXPECT_EQ(login.client->State(), c.state);
        EXPECT_EQ(login.states.front(), TFtpState::Connecting);
    }
}

TEST_F(FtpClientTest, RefusedDirectoryOrSizeEndsWithTheReplyCode)
{
    server.AddFile("pub/there.bin", "x");
    ASSERT_TRUE(probe->Login());
    client().HostDirName = "/missing/";
    EXPECT_EQ(probe->Run(&TFtpClient::Cwd), 550);
    EXPECT_TRUE(client().ErrorMessage().startsWith("550"));
    client().HostFileName = "missing.bin";
    EXPECT_EQ(probe->Run(&TFtpClient::Size), 550);
    EXPECT_EQ(client().SizeResult(), -1);
    EXPECT_TRUE(client().Connected()) << "a refused command leaves the session usable";
    client().HostDirName = "/pub/";
    EXPECT_EQ(probe->Run(&TFtpClient::Cwd), 0);
}
