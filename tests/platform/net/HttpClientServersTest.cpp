#include "tests/platform/net/HttpFetch.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TinyproxyFixture.h"

#include <QDir>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {
constexpr qsizetype FileSize = 3 * 1024 * 1024 + 17;

// nginx serving one file of random bytes, plain and with TLS.
class HttpServersTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        content.resize(FileSize);
        QRandomGenerator(42).fillRange(reinterpret_cast<quint32*>(content.data()), FileSize / 4);
        ASSERT_TRUE(QDir().mkpath(Path("www")));
        ASSERT_TRUE(WriteWholeFile(Path("www/file.bin"), content));
        ASSERT_TRUE(plain.Start(Path("www"))) << plain.Error().toStdString();
        ASSERT_TRUE(secure.Start(Path("www"), {.tls = true})) << secure.Error().toStdString();
    }
    void TearDown() override
    {
        unsetenv("SSL_CERT_FILE");
        unsetenv("SSL_CERT_DIR");
        TempHomeTest::TearDown();
    }
    static void TrustTestCa() { setenv("SSL_CERT_FILE", TestCertificates::Shared().CaFile().toLocal8Bit().constData(), 1); }

    QByteArray content;
    NginxFixture plain, secure;
    HttpFetch fetch;
};
}

TEST_F(HttpServersTest, NginxAnswers)
{
    struct Case {
        const char* path;
        qint64 rangeStart;
        int status;
        qint64 contentLength;
        QByteArray contentRange;
    } cases[] = {
        {"norange/file.bin", 0, 200, FileSize, ""},
        {"file.bin", 0, 206, FileSize, "bytes 0-" + QByteArray::number(FileSize - 1) + "/" + QByteArray::number(FileSize)},
        {"file.bin", 1000, 206, FileSize - 1000,
         "bytes 1000-" + QByteArray::number(FileSize - 1) + "/" + QByteArray::number(FileSize)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.path << " from " << c.rangeStart);
        fetch.body.buffer().clear();
        fetch.body.seek(0);
        ASSERT_TRUE(fetch.Run(Request(plain.Url(c.path), c.rangeStart)));
        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_EQ(fetch.client.StatusCode(), c.status);
        EXPECT_EQ(fetch.client.ContentLength(), c.contentLength);
        EXPECT_EQ(fetch.client.Header("Content-Range"), c.contentRange);
        EXPECT_EQ(fetch.client.ReceivedCount(), c.contentLength);
        EXPECT_TRUE(fetch.client.BodyComplete());
        EXPECT_TRUE(fetch.body.data() == content.mid(c.rangeStart)) << "body differs";
    }
}

TEST_F(HttpServersTest, NginxNotFound)
{
    ASSERT_TRUE(fetch.Run(Request(plain.Url("missing.bin"))));
    EXPECT_EQ(fetch.code, httpOk);
    EXPECT_EQ(fetch.client.StatusCode(), 404);
    EXPECT_EQ(fetch.client.ReasonPhrase(), "Not Found");
    EXPECT_EQ(fetch.client.ReceivedCount(), fetch.client.ContentLength());
}

TEST_F(HttpServersTest, HttpsVerifiesAgainstTheTestCa)
{
    for (bool viaFolder : {false, true}) {
        SCOPED_TRACE(viaFolder ? "SSL_CERT_DIR" : "SSL_CERT_FILE");
        fetch.body.buffer().clear();
        fetch.body.seek(0);
        if (viaFolder) {
            ASSERT_TRUE(QDir().mkpath(Path("cas")));
            ASSERT_TRUE(QFile::copy(TestCertificates::Shared().CaFile(), Path("cas/test-ca.pem")));
            setenv("SSL_CERT_DIR", ("/nonexistent:" + Path("cas")).toLocal8Bit().constData(), 1);
        } else {
            TrustTestCa();
        }
        ASSERT_TRUE(fetch.Run(Request(secure.Url("file.bin"), 5)));
        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_EQ(fetch.client.StatusCode(), 206);
        EXPECT_TRUE(fetch.body.data() == content.mid(5));
        unsetenv("SSL_CERT_FILE");
        unsetenv("SSL_CERT_DIR");
    }
}

TEST_F(HttpServersTest, HttpsWithoutTrustFailsClearly)
{
    ASSERT_TRUE(fetch.Run(Request(secure.Url("file.bin"))));
    EXPECT_EQ(fetch.code, httpTlsFailed);
    EXPECT_TRUE(fetch.text.contains("certificate")) << fetch.text.toStdString();
    EXPECT_EQ(fetch.Count("begin"), 0);
    EXPECT_TRUE(fetch.body.data().isEmpty());
}

TEST_F(HttpServersTest, ThroughTinyproxy)
{
    struct Case {
        const char* name;
        bool tls;
        bool authRequired;
        bool authGiven;
        int status;
    } cases[] = {
        {"http", false, false, false, 206},
        {"http, proxy user", false, true, true, 206},
        {"http, proxy user missing", false, true, false, 407},
        {"https tunnel", true, false, false, 206},
        {"https tunnel, proxy user", true, true, true, 206},
        {"https tunnel, proxy user missing", true, true, false, 407},
    };
    TrustTestCa();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TinyproxyFixture proxy;
        ASSERT_TRUE(c.authRequired ? proxy.Start("puser", "ppass") : proxy.Start()) << proxy.Error().toStdString();
        fetch.body.buffer().clear();
        fetch.body.seek(0);
        THttpRequest request = Request((c.tls ? secure : plain).Url("file.bin"), 100);
        request.ProxyHost = "127.0.0.1";
        request.ProxyPort = proxy.Port();
        if (c.authGiven) {
            request.ProxyUser = "puser";
            request.ProxyPassword = "ppass";
        }
        ASSERT_TRUE(fetch.Run(request));
        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_EQ(fetch.client.StatusCode(), c.status) << proxy.Log().toStdString();
        if (c.status == 206) {
            EXPECT_TRUE(fetch.body.data() == content.mid(100));
        }
    }
}
