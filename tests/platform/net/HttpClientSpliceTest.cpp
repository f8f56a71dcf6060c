// Bodies moved from the socket straight into the receiver's file: only as far as the
// receiver wants, only for plain bodies over plain TCP, and through memory wherever
// the file takes nothing spliced.
#include "tests/platform/net/HttpFetch.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + i / 509) & 0xff);
    return bytes;
}

// A receiver as the part downloader is one: the file takes spliced blocks up to a
// limit; blocks that come through memory it writes itself, after what it has.
struct FileReceiver {
    explicit FileReceiver(THttpClient& client, int file, qint64 limit = -1) : file(file), limit(limit)
    {
        client.SpliceTarget = [this](THttpSpliceTarget& target) {
            ++asked;
            target.File = this->file;
            target.Offset = written;
            target.MaxBytes = this->limit < 0 ? qint64(1) << 40 : this->limit - written;
            return target.MaxBytes > 0;
        };
        client.OnDocData = [this](const char* data, qint64 size) {
            if (!data) {
                spliced += size;
                if (this->limit >= 0 && written + size > this->limit)
                    pastLimit = true;
            } else {
                inMemory.append(data, size);
                EXPECT_EQ(pwrite(this->file, data, size_t(size), written), size);
            }
            written += size;
        };
    }

    int file;
    qint64 limit;
    qint64 written = 0, spliced = 0;
    int asked = 0;
    bool pastLimit = false;
    QByteArray inMemory;
};

class HttpSpliceTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(server.Listen());
        file = open(QFile::encodeName(Path("body")).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(file, 0);
    }
    void TearDown() override
    {
        close(file);
        TempHomeTest::TearDown();
    }
    // Runs the request with the receiver in place of the fetch's stream.
    bool Run(THttpRequest request)
    {
        request.ReceiveStream = nullptr;
        fetch.done = false;
        fetch.client.Get(request);
        return fetch.Wait();
    }

    HttpTestServer server;
    HttpFetch fetch;
    int file = -1;
    const QByteArray content = Pattern(3'000'000);
};
}

TEST_F(HttpSpliceTest, SplicesNoFurtherThanTheTargetWantsAndTheRestComesThroughMemory)
{
    for (bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "Content-Length" : "no length");
        ASSERT_EQ(ftruncate(file, 0), 0);
        HttpTestAnswer answer = HttpTestAnswer::Ok(content);
        if (!withLength)
            answer.head = "HTTP/1.0 200 OK\r\n";
        server.Enqueue(answer);
        FileReceiver receiver(fetch.client, file, 2'000'000);

        ASSERT_TRUE(Run(Request(server.Url())));

        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_TRUE(fetch.client.BodyComplete());
        EXPECT_GT(receiver.spliced, 1'000'000) << "most of it went past our memory";
        EXPECT_FALSE(receiver.pastLimit);
        EXPECT_TRUE(receiver.inMemory.endsWith(content.mid(2'000'000))) << "beyond the limit: through memory";
        EXPECT_EQ(fetch.client.ReceivedCount(), content.size());
        EXPECT_TRUE(ReadWholeFile(Path("body")) == content);
    }
}

// /dev/full takes nothing spliced: what is in the pipe comes back through memory.
TEST_F(HttpSpliceTest, AFileThatRefusesSplicedBytesGetsThemThroughMemory)
{
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    server.Enqueue(HttpTestAnswer::Ok(content));
    FileReceiver receiver(fetch.client, full);
    fetch.client.OnDocData = [&](const char* data, qint64 size) {
        EXPECT_NE(data, nullptr);
        if (data)
            receiver.inMemory.append(data, size);
    };

    ASSERT_TRUE(Run(Request(server.Url())));

    close(full);
    EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
    EXPECT_GE(receiver.asked, 1);
    EXPECT_TRUE(receiver.inMemory == content) << receiver.inMemory.size() << " bytes";
}

TEST_F(HttpSpliceTest, OnlyPlainBodiesOverPlainTcpWithoutAProxyAreSpliced)
{
    HttpTestServer secure(true);
    ASSERT_TRUE(secure.Listen()) << TestCertificates::Shared().Error().toStdString();
    setenv("SSL_CERT_FILE", TestCertificates::Shared().CaFile().toLocal8Bit().constData(), 1);
    THttpRequest proxied = Request("http://example.invalid/file");
    proxied.ProxyHost = "127.0.0.1";
    proxied.ProxyPort = server.Port();
    const struct {
        const char* name;
        HttpTestServer& server;
        HttpTestAnswer answer;
        THttpRequest request;
    } cases[] = {
        {"chunked", server, HttpTestAnswer::Chunked(content, 100'000), Request(server.Url())},
        {"https", secure, HttpTestAnswer::Ok(content), Request(secure.Url())},
        {"through a proxy", server, HttpTestAnswer::Ok(content), proxied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ftruncate(file, 0), 0);
        c.server.Enqueue(c.answer);
        FileReceiver receiver(fetch.client, file);

        ASSERT_TRUE(Run(c.request));

        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_EQ(receiver.asked, 0);
        EXPECT_TRUE(receiver.inMemory == content);
    }
    unsetenv("SSL_CERT_FILE");
}
