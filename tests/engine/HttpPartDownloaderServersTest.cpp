// The HTTP part downloader against servers nobody here wrote: nginx (plain and TLS)
// and tinyproxy.
#include "engine/HttpPartDownloader.h"
#include "records/SiteManager.h"
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/PartTestHelpers.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TinyproxyFixture.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
constexpr qint64 FileSize = 3 * 1024 * 1024 + 17;

class HttpPartServersTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(Path("www")));
        ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), content));
        ASSERT_TRUE(nginx.Start(Path("www"))) << nginx.Error().toStdString();
    }
    void TearDown() override
    {
        unsetenv("SSL_CERT_FILE");
        TempHomeTest::TearDown();
    }

    // Fetches url's range into a part file; the part downloader stays for checks.
    THTTPPartDownloader& Fetch(const QString& url, qint64 start = 0, qint64 end = 0, const QByteArray& existing = {})
    {
        part = std::make_unique<THTTPPartDownloader>(TUrl(url).GetUrl(), Path(QStringLiteral("part%1").arg(++count)),
                                                     start, end);
        if (!existing.isEmpty()) {
            EXPECT_TRUE(WriteWholeFile(part->FileName, existing));
        }
        watch = std::make_unique<PartWatch>(*part);
        EXPECT_TRUE(watch->Run(*part));
        return *part;
    }
    QByteArray PartFile() const { return ReadWholeFile(part->FileName); }

    const QByteArray content = Pattern(FileSize, 3);
    NginxFixture nginx;
    std::unique_ptr<THTTPPartDownloader> part;
    std::unique_ptr<PartWatch> watch;
    int count = 0;
};
}

TEST_F(HttpPartServersTest, WholeFileResumeAndRange)
{
    Fetch(nginx.Url("file.bin"));
    EXPECT_EQ(part->State, pdsPartDone);
    EXPECT_EQ(part->RemoteFileSize, FileSize);
    EXPECT_EQ(part->AllowResume, "Yes");
    EXPECT_TRUE(PartFile() == content);

    Fetch(nginx.Url("file.bin"), 0, 0, content.left(FileSize / 3));
    EXPECT_EQ(part->State, pdsPartDone);
    EXPECT_EQ(part->RemoteFileSize, FileSize) << "the total, not what was left";
    EXPECT_TRUE(PartFile() == content);

    const qint64 start = 1024 * 1024, end = 2 * 1024 * 1024 - 1;
    Fetch(nginx.Url("file.bin"), start, end);
    EXPECT_EQ(part->State, pdsPartDone);
    ASSERT_TRUE(TruncatePartFile(part->FileName, end - start + 1));
    EXPECT_TRUE(PartFile() == content.mid(start, end - start + 1));
}

TEST_F(HttpPartServersTest, ServerWithoutRanges)
{
    Fetch(nginx.Url("norange/file.bin"));
    EXPECT_EQ(part->State, pdsPartDone);
    EXPECT_EQ(part->AllowResume, "No");
    EXPECT_TRUE(PartFile() == content);

    Fetch(nginx.Url("norange/file.bin"), 1000);
    EXPECT_EQ(part->State, pdsError);
    EXPECT_EQ(part->ErrorState, fmeResumeNotSupported);
    EXPECT_TRUE(PartFile().isEmpty());
}

TEST_F(HttpPartServersTest, HttpsWithTheTestCa)
{
    NginxFixture secure;
    ASSERT_TRUE(secure.Start(Path("www"), {.tls = true})) << secure.Error().toStdString();

    Fetch(secure.Url("file.bin"));
    EXPECT_EQ(part->State, pdsError) << "an unverified server is no success";
    EXPECT_EQ(part->ErrorState, fmeCouldNotConnect);
    EXPECT_TRUE(PartFile().isEmpty());

    setenv("SSL_CERT_FILE", TestCertificates::Shared().CaFile().toLocal8Bit().constData(), 1);
    Fetch(secure.Url("file.bin"), 0, 0, content.left(12345));
    EXPECT_EQ(part->State, pdsPartDone);
    EXPECT_TRUE(PartFile() == content);
}

TEST_F(HttpPartServersTest, ThroughTinyproxy)
{
    // 0.0.0.0 reaches this machine but is not loopback, so the proxy is used.
    const QString url = QStringLiteral("http://0.0.0.0:%1/file.bin").arg(nginx.Port());
    struct Case {
        const char* name;
        bool authRequired;
        bool authGiven;
        TPartDownloaderState state;
    } cases[] = {
        {"proxy", false, false, pdsPartDone},
        {"proxy user", true, true, pdsPartDone},
        {"proxy user missing", true, false, pdsError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TinyproxyFixture proxy;
        ASSERT_TRUE(c.authRequired ? proxy.Start("puser", "ppass") : proxy.Start()) << proxy.Error().toStdString();
        UseHttpProxy("127.0.0.1", proxy.Port(), c.authGiven ? "puser" : "", "ppass");
        Fetch(url, 100);
        EXPECT_EQ(part->State, c.state) << proxy.Log().toStdString();
        if (c.state == pdsPartDone) {
            EXPECT_TRUE(PartFile() == content.mid(100));
            EXPECT_TRUE(proxy.Log().contains("0.0.0.0")) << proxy.Log().toStdString();
        } else {
            EXPECT_EQ(part->ErrorState, fmeFileNotFound);
            EXPECT_EQ(part->ErrorText, "Proxy Authentication Required");
            EXPECT_TRUE(PartFile().isEmpty());
        }
    }
}
