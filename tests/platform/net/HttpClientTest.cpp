#include "tests/platform/net/HttpFetch.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace {
QByteArray Base64(const char* text)
{
    return QByteArray(text).toBase64();
}

class HttpClientTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ASSERT_TRUE(server.Listen());
    }
    QByteArray Port() const { return QByteArray::number(server.Port()); }

    HttpTestServer server;
    HttpFetch fetch;
};

QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}
}

TEST_F(HttpClientTest, SendsTheRequestLinesInOrderByteForByte)
{
    struct Case {
        const char* name;
        THttpRequest request;
        QByteArray expected;
    };
    THttpRequest direct = Request(server.Url("dir/file.zip?x=1&y=a%20b#part"));
    THttpRequest credentials = Request(server.Url("a b/\u00fc.zip"), 5368709120LL);
    credentials.User = "alice";
    credentials.Password = "s3cret:x";
    // With the test server as the proxy the request line names any host we like.
    THttpRequest proxied = Request("http://files.example:80/f?q=1");
    proxied.ProxyHost = "127.0.0.1";
    proxied.ProxyPort = server.Port();
    THttpRequest proxiedUsers = Request("http://user:pw@files.example:8080/f", 1000);
    proxiedUsers.ProxyHost = "127.0.0.1";
    proxiedUsers.ProxyPort = server.Port();
    proxiedUsers.ProxyUser = "proxy";
    proxiedUsers.ProxyPassword = "pass";
    proxiedUsers.User = "site";
    const Case cases[] = {
        {"direct, query kept, fragment dropped", direct,
         "GET /dir/file.zip?x=1&y=a%20b HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Corvane\r\nHost: 127.0.0.1:" + Port()
             + "\r\nRange: bytes=0-\r\n\r\n"},
        {"credentials, 64-bit range, encoded path", credentials,
         "GET /a%20b/%C3%BC.zip HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Corvane\r\nHost: 127.0.0.1:" + Port()
             + "\r\nAuthorization: Basic " + Base64("alice:s3cret:x") + "\r\nRange: bytes=5368709120-\r\n\r\n"},
        {"proxy, default port left out", proxied,
         "GET http://files.example/f?q=1 HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Corvane\r\nHost: files.example\r\n"
         "Range: bytes=0-\r\n\r\n"},
        {"proxy with its user, URL's user information not sent", proxiedUsers,
         "GET http://files.example:8080/f HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Corvane\r\nHost: files.example:8080\r\n"
         "Authorization: Basic " + Base64("site:") + "\r\nProxy-Authorization: Basic " + Base64("proxy:pass")
             + "\r\nRange: bytes=1000-\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Enqueue(HttpTestAnswer::Ok("x"));
        ASSERT_TRUE(fetch.Run(c.request));
        EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
        EXPECT_EQ(server.Requests().last(), c.expected);
    }
}

TEST_F(HttpClientTest, HttpsRequestGoesInsideTlsWithTheSameLines)
{
    HttpTestServer secure(true);
    ASSERT_TRUE(secure.Listen()) << TestCertificates::Shared().Error().toStdString();
    setenv("SSL_CERT_FILE", TestCertificates::Shared().CaFile().toLocal8Bit().constData(), 1);
    secure.Enqueue(HttpTestAnswer::Partial("0123456789", 4));
    ASSERT_TRUE(fetch.Run(Request(secure.Url("s.bin"), 4)));
    unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
    EXPECT_EQ(secure.Requests().value(0), "GET /s.bin HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Corvane\r\nHost: 127.0.0.1:"
                  + QByteArray::number(secure.Port()) + "\r\nRange: bytes=4-\r\n\r\n");
    EXPECT_EQ(fetch.body.data(), "456789");
}

TEST_F(HttpClientTest, HttpsThroughAProxyAsksForATunnelAndAProxyRefusalIsTheAnswer)
{
    THttpRequest request = Request("https://files.example/f.iso");
    request.ProxyHost = "127.0.0.1";
    request.ProxyPort = server.Port();
    request.ProxyUser = "proxy";
    request.ProxyPassword = "pass";
    server.Enqueue(HttpTestAnswer::Status(407, "Proxy Authentication Required",
                                          "Proxy-Authenticate: Basic realm=\"p\"\r\n", "denied"));
    ASSERT_TRUE(fetch.Run(request));
    EXPECT_EQ(server.Requests().value(0), "CONNECT files.example:443 HTTP/1.0\r\nHost: files.example:443\r\n"
                                          "Proxy-Authorization: Basic " + Base64("proxy:pass") + "\r\n\r\n");
    EXPECT_EQ(fetch.code, httpOk);
    EXPECT_EQ(fetch.client.StatusCode(), 407);
    EXPECT_EQ(fetch.client.ReasonPhrase(), "Proxy Authentication Required");
    EXPECT_EQ(fetch.events.mid(0, 3), QStringList({"connected", "begin", "line HTTP/1.1 407 Proxy Authentication Required"}));
    EXPECT_EQ(fetch.body.data(), "denied");
}

TEST_F(HttpClientTest, EventsComeInOrderAndTheAnswerIsReadableAtHeaderEnd)
{
    const QByteArray body = Pattern(300'000);
    server.Enqueue(HttpTestAnswer::Status(206, "Partial Content",
                                          "Content-Range: bytes 0-299999/300000\r\nAccept-Ranges: bytes\r\n"
                                          "WWW-Authenticate: Basic realm=\"a\"\r\nWWW-Authenticate: Digest x\r\n",
                                          body));
    bool checked = false;
    fetch.client.OnHeaderEnd = [&] {
        fetch.events << "end";
        checked = true;
        EXPECT_EQ(fetch.client.StatusCode(), 206);
        EXPECT_EQ(fetch.client.ContentLength(), 300'000);
        EXPECT_EQ(fetch.client.Header("content-range"), "bytes 0-299999/300000");
        EXPECT_EQ(fetch.client.HeaderValues("WWW-Authenticate"), QList<QByteArray>({"Basic realm=\"a\"", "Digest x"}));
        EXPECT_EQ(fetch.client.Headers().size(), 5);
    };
    ASSERT_TRUE(fetch.Run(Request(server.Url())));
    EXPECT_TRUE(checked);
    EXPECT_EQ(fetch.events.mid(0, 8),
              QStringList({"connected", "begin", "line HTTP/1.1 206 Partial Content",
                           "line Content-Range: bytes 0-299999/300000", "line Accept-Ranges: bytes",
                           "line WWW-Authenticate: Basic realm=\"a\"", "line WWW-Authenticate: Digest x",
                           "line Content-Length: 300000"}));
    EXPECT_EQ(fetch.events.value(8), "end");
    EXPECT_EQ(fetch.events.last(), "done 0");
    EXPECT_EQ(fetch.Count("done"), 1);
    EXPECT_EQ(fetch.body.data(), body);
    EXPECT_EQ(fetch.client.ReceivedCount(), 300'000);
    EXPECT_TRUE(fetch.client.BodyComplete());
    EXPECT_FALSE(fetch.client.Busy());
}

TEST_F(HttpClientTest, ChunkedAnswerIsDecodedIntoTheStream)
{
    const QByteArray body = Pattern(100'000);
    server.Enqueue(HttpTestAnswer::Chunked(body, 777, "X-Trailer: 1\r\n"));
    ASSERT_TRUE(fetch.Run(Request(server.Url())));
    EXPECT_EQ(fetch.code, httpOk) << fetch.text.toStdString();
    EXPECT_EQ(fetch.body.data().size(), body.size());
    EXPECT_TRUE(fetch.body.data() == body);
    EXPECT_TRUE(fetch.client.BodyComplete());
    EXPECT_EQ(fetch.client.ContentLength(), -1);
}

TEST_F(HttpClientTest, OverlongHeaderEndsTheRequestWithAnError)
{
    for (const QByteArray& head : {"HTTP/1.0 200 OK\r\nX: " + QByteArray(MaxHeaderLineLength + 10, 'a') + "\r\n",
                                   "HTTP/1.0 200 OK\r\n" + QByteArray("X: y\r\n").repeated(MaxHeaderLines + 1)}) {
        server.Enqueue({head, "body"});
        ASSERT_TRUE(fetch.Run(Request(server.Url())));
        EXPECT_EQ(fetch.code, httpProtocolError);
        EXPECT_TRUE(fetch.text.contains("header")) << fetch.text.toStdString();
        EXPECT_EQ(fetch.Count("end"), 0);
        EXPECT_TRUE(fetch.body.data().isEmpty());
    }
}

TEST_F(HttpClientTest, AnswerCutShortIsCountedShort)
{
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "close");
        fetch.body.buffer().clear();
        fetch.body.seek(0);
        HttpTestAnswer answer = HttpTestAnswer::Ok(Pattern(200'000));
        answer.dropAfter = 70'000;
        answer.reset = reset;
        server.Enqueue(answer);
        ASSERT_TRUE(fetch.Run(Request(server.Url())));
        EXPECT_EQ(fetch.code, httpOk) << "the connection ended; completeness is for the caller to count";
        EXPECT_EQ(fetch.client.ContentLength(), 200'000);
        EXPECT_EQ(fetch.client.ReceivedCount(), 70'000);
        EXPECT_FALSE(fetch.client.BodyComplete());
        EXPECT_TRUE(fetch.body.data() == Pattern(200'000).left(70'000));
    }
}

TEST_F(HttpClientTest, StalledAnswersEndWithAbort)
{
    for (bool afterHead : {false, true}) {
        SCOPED_TRACE(afterHead ? "after head" : "before head");
        HttpTestAnswer answer = HttpTestAnswer::Ok("never");
        answer.stallBeforeHead = !afterHead;
        answer.stallAfterHead = afterHead;
        server.Enqueue(answer);
        const int requests = int(server.Requests().size());
        fetch.Start(Request(server.Url()));
        ASSERT_TRUE(server.WaitForRequests(requests + 1));
        ASSERT_TRUE(ProcessEventsUntil([&] { return fetch.Count("end") == (afterHead ? 1 : 0); }));
        EXPECT_FALSE(fetch.done);
        fetch.client.Abort();
        EXPECT_FALSE(fetch.done) << "completion comes from the event loop, not from inside Abort";
        ASSERT_TRUE(fetch.Wait());
        EXPECT_EQ(fetch.code, httpAborted);
        EXPECT_TRUE(ProcessEventsUntil([&] { return server.OpenConnections() == 0; })) << "the socket is closed";
        EXPECT_EQ(fetch.Count("done"), 1);
    }
}

TEST_F(HttpClientTest, FailuresBeforeAnAnswer)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 unused = closed.serverPort();
    closed.close();
    THttpRequest badAgent = Request(server.Url());
    badAgent.UserAgent = "Corvane\r\nX-Injected: 1";
    THttpRequest noProxyPort = Request(server.Url());
    noProxyPort.ProxyHost = "127.0.0.1";
    struct Case {
        const char* name;
        THttpRequest request;
        int code;
    } cases[] = {
        {"refused", Request(QStringLiteral("http://127.0.0.1:%1/f").arg(unused)), httpConnectFailed},
        {"unknown host", Request("http://no-such-host.invalid/f"), httpConnectFailed},
        {"not http", Request("ftp://127.0.0.1/f"), httpBadRequest},
        {"header injection", badAgent, httpBadRequest},
        {"proxy without port", noProxyPort, httpBadRequest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fetch.Run(c.request));
        EXPECT_EQ(fetch.code, c.code);
        EXPECT_FALSE(fetch.text.isEmpty());
    }
    EXPECT_TRUE(server.Requests().isEmpty()) << "nothing bad reached the wire";
}

TEST_F(HttpClientTest, ClosingWithoutAnAnswerIsAFailure)
{
    HttpTestAnswer nothing;
    nothing.closeWithoutAnswer = true;
    server.Enqueue(nothing);
    ASSERT_TRUE(fetch.Run(Request(server.Url())));
    EXPECT_EQ(fetch.code, httpProtocolError);
    EXPECT_EQ(fetch.Count("begin"), 0);
}

TEST_F(HttpClientTest, StreamThatRefusesDataFailsTheRequest)
{
    const QString path = Path("read-only");
    ASSERT_TRUE(WriteWholeFile(path, ""));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    THttpRequest request = Request(server.Url());
    request.ReceiveStream = &file;
    server.Enqueue(HttpTestAnswer::Ok("data"));
    ASSERT_TRUE(fetch.Run(request));
    EXPECT_EQ(fetch.code, httpWriteFailed);
    EXPECT_EQ(fetch.Count("data"), 0) << "a block that was not stored is not reported";
}

TEST_F(HttpClientTest, GetFromTheCompletionStartsTheNextRequest)
{
    server.Enqueue(HttpTestAnswer::Status(302, "Found", "Location: /second\r\n"));
    server.Enqueue(HttpTestAnswer::Ok("second"));
    int done = 0;
    fetch.client.OnRequestDone = [&](int, const QString&) {
        if (++done > 1)
            return;
        THttpRequest next = Request(server.Url(QString::fromLatin1(fetch.client.Location().mid(1))));
        next.ReceiveStream = &fetch.body;
        fetch.client.Get(next);
    };
    fetch.Start(Request(server.Url("first")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return done == 2; }));
    EXPECT_EQ(server.Requests().value(1).left(16), "GET /second HTTP");
    EXPECT_EQ(fetch.body.data(), "second");
}

namespace {
enum class Event { SessionConnected, HeaderBegin, HeaderData, HeaderEnd, DocData, RequestDone };
}

// The part downloader aborts, restarts or frees its client from inside any event.
TEST_F(HttpClientTest, AbortOrDestroyFromInsideEachEvent)
{
    const QByteArray body = Pattern(600'000);
    for (Event target : {Event::SessionConnected, Event::HeaderBegin, Event::HeaderData, Event::HeaderEnd,
                         Event::DocData, Event::RequestDone}) {
        for (bool destroy : {false, true}) {
            SCOPED_TRACE(testing::Message() << "event " << int(target) << (destroy ? " destroy" : " abort"));
            auto* client = new THttpClient;
            QStringList events;
            bool acted = false;
            auto seen = [&](Event event, const QString& name) {
                events << name;
                if (event != target || acted)
                    return;
                acted = true;
                events << "ACT";
                if (destroy) {
                    delete client;
                    client = nullptr;
                } else {
                    client->Abort();
                }
            };
            client->OnSessionConnected = [&] { seen(Event::SessionConnected, "connected"); };
            client->OnHeaderBegin = [&] { seen(Event::HeaderBegin, "begin"); };
            client->OnHeaderData = [&](const QByteArray&) { seen(Event::HeaderData, "line"); };
            client->OnHeaderEnd = [&] { seen(Event::HeaderEnd, "end"); };
            client->OnDocData = [&](const char*, qint64) { seen(Event::DocData, "data"); };
            client->OnRequestDone = [&](int code, const QString&) { seen(Event::RequestDone, QStringLiteral("done %1").arg(code)); };
            QBuffer stream;
            stream.open(QIODevice::WriteOnly);
            THttpRequest request = Request(server.Url());
            request.ReceiveStream = &stream;
            server.Enqueue(HttpTestAnswer::Ok(body));
            client->Get(request);
            ASSERT_TRUE(ProcessEventsUntil([&] {
                return acted && server.OpenConnections() == 0 && (destroy || !events.filter("done").isEmpty());
            }));
            QCoreApplication::processEvents();
            const QStringList after = events.mid(events.indexOf("ACT") + 1);
            if (destroy || target == Event::RequestDone)
                EXPECT_TRUE(after.isEmpty()) << after.join(", ").toStdString();
            else
                EXPECT_EQ(after, QStringList({"done 3"}));
            delete client;
        }
    }
}

TEST_F(HttpClientTest, ThrottledAnswerArrivesWholeInManyBlocks)
{
    HttpTestAnswer answer = HttpTestAnswer::Ok(Pattern(40'000));
    answer.bytesPerSecond = 200'000;
    server.Enqueue(answer);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(fetch.Run(Request(server.Url())));
    EXPECT_GE(clock.elapsed(), 150) << "the server paces its sending";
    EXPECT_GE(fetch.Count("data"), 10);
    EXPECT_TRUE(fetch.body.data() == Pattern(40'000));
}
