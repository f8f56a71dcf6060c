// Whole downloads from HTTP servers that answer wrongly: every case ends in the file
// byte for byte or in a clear failure, and no part file ever holds a byte of a bad
// answer.
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"
#include "tests/engine/PartTestHelpers.h"
#include "tests/faults/FaultHarness.h"
#include "tests/support/EventLoop.h"

#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace {
constexpr qint64 From = 20'000; // the third of the four ranges

QByteArray RangeHeader(qint64 first, qint64 last, qint64 total)
{
    return "Content-Range: bytes " + QByteArray::number(first) + "-" + QByteArray::number(last) + "/"
        + QByteArray::number(total) + "\r\n";
}

// A 206 of content from `From` with these extra header lines and no Content-Length
// of its own unless they carry one.
HttpTestAnswer Range206(const QByteArray& content, const QByteArray& headers)
{
    HttpTestAnswer answer;
    answer.head = "HTTP/1.1 206 Partial Content\r\n" + RangeHeader(From, content.size() - 1, content.size()) + headers;
    answer.body = content.mid(From);
    return answer;
}

HttpTestAnswer Shaped(HttpTestAnswer answer, const std::function<void(HttpTestAnswer&)>& shape)
{
    shape(answer);
    return answer;
}

QByteArray ChunkedBody(const QByteArray& body)
{
    return HttpTestAnswer::Chunked(body, 777).body;
}

class HttpFaults : public FaultTest {
protected:
    void SetUp() override
    {
        FaultTest::SetUp();
        ASSERT_TRUE(server.Listen());
    }

    // Serves the file by ranges, each good answer at a pace that lets the ranges after
    // it be asked for before it reaches its end. The first request from byte `at` gets
    // the bad answer; with `later`, every request from a byte after 0 does.
    void ServeWithBadAnswer(const HttpTestAnswer& bad, qint64 at = From, bool later = false)
    {
        badServed = 0;
        ServeRanges(server, content, [this, bad, at, later](qint64 start, HttpTestAnswer& answer) {
            answer.bytesPerSecond = 200'000;
            if (later ? start > 0 : start == at && badServed == 0) {
                ++badServed;
                answer = bad;
            }
        });
    }

    HttpTestServer server;
    int badServed = 0;
};

struct BadAnswer {
    const char* Name;
    std::function<HttpTestAnswer(const QByteArray& content)> Make;
};

const BadAnswer BadRangeAnswers[] = {
    {"Range ignored: 200 with the whole file", [](const QByteArray& c) { return HttpTestAnswer::Ok(c); }},
    {"206 from an earlier byte", [](const QByteArray& c) { return HttpTestAnswer::Partial(c, From - 1000); }},
    {"206 from a later byte", [](const QByteArray& c) { return HttpTestAnswer::Partial(c, From + 1000); }},
    {"206 whose range ends early", [](const QByteArray& c) { return RangeAnswer(c, From, From + 4999, c.size()); }},
    {"206 of a file grown since", [](const QByteArray&) { return HttpTestAnswer::Partial(Pattern(50'000, 7), From); }},
    {"206 of a file shrunk since", [](const QByteArray&) { return HttpTestAnswer::Partial(Pattern(30'000, 7), From); }},
    {"206 without Content-Length", [](const QByteArray& c) { return Range206(c, {}); }},
    {"Content-Length twice, equal",
     [](const QByteArray& c) { return Range206(c, "Content-Length: 20000\r\nContent-Length: 20000\r\n"); }},
    {"Content-Length twice, different",
     [](const QByteArray& c) { return Range206(c, "Content-Length: 20000\r\nContent-Length: 19999\r\n"); }},
    {"Content-Length negative", [](const QByteArray& c) { return Range206(c, "Content-Length: -20000\r\n"); }},
    {"Content-Length not a number", [](const QByteArray& c) { return Range206(c, "Content-Length: 20k\r\n"); }},
    {"Content-Length beyond 2^63",
     [](const QByteArray& c) { return Range206(c, "Content-Length: 9223372036854775808\r\n"); }},
    {"Content-Length with a NUL",
     [](const QByteArray& c) { return Range206(c, QByteArray("Content-Length: 20\0" "000\r\n", 24)); }},
    {"body short of its length, then closed",
     [](const QByteArray& c) { return Shaped(HttpTestAnswer::Partial(c, From), [](auto& a) { a.dropAfter = 3000; }); }},
    {"body short of its length, then reset", [](const QByteArray& c) {
         return Shaped(HttpTestAnswer::Partial(c, From), [](auto& a) { a.dropAfter = 3000;
             a.reset = true; });
     }},
    {"chunked answer to an HTTP/1.0 request", [](const QByteArray& c) {
         return Shaped(Range206(c, "Transfer-Encoding: chunked\r\n"), [&](auto& a) { a.body = ChunkedBody(c.mid(From)); });
     }},
    {"chunked, closed before its last chunk", [](const QByteArray& c) {
         return Shaped(Range206(c, "Transfer-Encoding: chunked\r\n"),
                       [&](auto& a) { a.body = ChunkedBody(c.mid(From)).left(9000); });
     }},
    {"status line of another protocol", [](const QByteArray& c) {
         return Shaped(Range206(c, "Content-Length: 20000\r\n"), [](auto& a) { a.head.replace(0, 12, "ICY 206"); });
     }},
    {"status code with a letter", [](const QByteArray& c) {
         return Shaped(Range206(c, "Content-Length: 20000\r\n"), [](auto& a) { a.head.replace(9, 3, "2O6"); });
     }},
    {"header line of 70 kB",
     [](const QByteArray& c) { return Range206(c, "X-Padding: " + QByteArray(70'000, 'a') + "\r\n"); }},
    {"300 header lines", [](const QByteArray& c) { return Range206(c, QByteArray("X-Line: 1\r\n").repeated(300)); }},
    {"NUL in a header nobody reads",
     [](const QByteArray& c) { return Range206(c, QByteArray("X-Junk: a\0b\r\nContent-Length: 20000\r\n", 36)); }},
    {"header without its blank line, then closed", [](const QByteArray& c) {
         return Shaped(Range206(c, "Content-Length: 20000"), [](auto& a) { a.body.clear(); });
     }},
    {"error page with a body",
     [](const QByteArray&) { return HttpTestAnswer::Status(500, "Internal Server Error", {}, "<html>broken</html>"); }},
    {"not found page with a body",
     [](const QByteArray&) { return HttpTestAnswer::Status(404, "Not Found", {}, "<html>gone</html>"); }},
    {"416 with a body", [](const QByteArray&) {
         return HttpTestAnswer::Status(416, "Range Not Satisfiable", "Content-Range: bytes */40000\r\n", "<html>no</html>");
     }},
    {"closed without an answer", [](const QByteArray&) {
         HttpTestAnswer answer;
         answer.closeWithoutAnswer = true;
         return answer;
     }},
};
}

TEST_F(HttpFaults, ABadAnswerToARangeLeavesNothingAndARetryCompletesTheFile)
{
    for (const BadAnswer& c : BadRangeAnswers) {
        SCOPED_TRACE(c.Name);
        ServeWithBadAnswer(c.Make(content));
        EXPECT_EQ(Download(server.Url("file.bin"), 2), TOutcome::Identical);
        EXPECT_EQ(badServed, 1);
        DownloaderTest::Finish();
    }
}

TEST_F(HttpFaults, AServerThatAnswersNoLaterRangeRightIsReadThroughTheFirstConnection)
{
    const struct {
        const char* Name;
        HttpTestAnswer Bad;
    } cases[] = {
        {"Range ignored", HttpTestAnswer::Ok(content)},
        {"206 from another byte", HttpTestAnswer::Partial(content, 1)},
        {"206 of another file", HttpTestAnswer::Partial(Pattern(50'000, 7), 10'000)},
        {"error page", HttpTestAnswer::Status(503, "Service Unavailable", {}, "<html>busy</html>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ServeWithBadAnswer(c.Bad, 0, true);
        EXPECT_EQ(Download(server.Url("file.bin")), TOutcome::Identical);
        EXPECT_GE(badServed, 3);
        EXPECT_EQ(downloader->Slots.NumberOfSlots(), 1) << "the first range ran on over the others";
        DownloaderTest::Finish();
    }
}

TEST_F(HttpFaults, ABadFirstAnswerFailsTheDownloadOrIsReadRight)
{
    const TStatusTexts& texts = StatusTexts();
    const struct {
        const char* Name;
        HttpTestAnswer Answer;
        TOutcome Outcome;
        QString Status; // of a failure
    } cases[] = {
        {"not found page", HttpTestAnswer::Status(404, "Not Found", {}, "<html>gone</html>"), TOutcome::Failed,
         texts.FileNotFound},
        {"error page", HttpTestAnswer::Status(500, "Internal Server Error", {}, "<html>x</html>"), TOutcome::Failed,
         "Internal Server Error"},
        {"416", HttpTestAnswer::Status(416, "Range Not Satisfiable", {}, "<html>no</html>"), TOutcome::Failed,
         "Range Not Satisfiable"},
        {"no HTTP at all", RawAnswer("SSH-2.0-OpenSSH_9.2\r\n"), TOutcome::Failed, texts.CouldntConnect},
        {"Content-Length not a number", RawAnswer("HTTP/1.1 200 OK\r\nContent-Length: 4e4\r\n", content),
         TOutcome::Failed, texts.CouldntConnect},
        {"whole file short of its length, then closed",
         Shaped(HttpTestAnswer::Ok(content), [](auto& a) { a.dropAfter = 3000; }), TOutcome::Failed,
         texts.LostConnection},
        {"chunked without a length", HttpTestAnswer::Chunked(content, 999), TOutcome::Identical, {}},
        {"chunked, closed before its last chunk",
         Shaped(HttpTestAnswer::Chunked(content, 999), [](auto& a) { a.body.chop(2000); }), TOutcome::Failed,
         texts.LostConnection},
        {"no length, ended by the close", RawAnswer("HTTP/1.0 200 OK\r\n", content), TOutcome::Identical, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        server.Enqueue(c.Answer);
        EXPECT_EQ(Download(server.Url("file.bin")), c.Outcome);
        if (c.Outcome == TOutcome::Failed) {
            EXPECT_EQ(record->Status(), c.Status);
        }
        DownloaderTest::Finish();
    }
}

TEST_F(HttpFaults, ASilentConnectionTimesOutOnTheSteppedClockAndARetryCompletesTheFile)
{
    Write(Setting::TimeOutTime, 5000);
    Write(Setting::MirrorTimeOutTime, 2000);
    TestClock::Set(45000.5, 1000);
    const struct {
        const char* Name;
        std::function<void(HttpTestAnswer&)> Shape;
        TPartDownloaderState Stalled; // the state the connection stays in
    } cases[] = {
        {"silent before the header", [](auto& a) { a.stallBeforeHead = true; }, pdsGettingFileInfo},
        {"silent after the header", [](auto& a) { a.stallAfterHead = true; }, pdsFileSizeKnown},
        {"silent after part of the body", [](auto& a) { a.stallAfter = 1000; }, pdsDownloading},
        {"a trickle", [](auto& a) { a.bytesPerSecond = 500; }, pdsDownloading},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // The first range: no other slot can take it over.
        ServeWithBadAnswer(Shaped(HttpTestAnswer::Partial(content, 0), c.Shape), 0);
        Begin(server.Url("file.bin"));
        ASSERT_TRUE(ProcessEventsUntil([&] {
            if (badServed == 0 || !Slot(0).PartDownloader || Slot(0).PartDownloader->State != c.Stalled)
                return false;
            if (c.Stalled == pdsDownloading && Slot(0).TransferCount() == 0)
                return false;
            for (int i = 1; i < downloader->Slots.NumberOfSlots(); ++i)
                if (Slot(i).StatusText != StatusTexts().Done)
                    return false;
            return c.Stalled == pdsGettingFileInfo || downloader->Slots.NumberOfSlots() == 4;
        }));
        downloader->CheckSlotsForTimeOut(GetTickCount());
        EXPECT_NE(Slot(0).PartDownloader->State, pdsError) << "not before its time";
        TestClock::Advance(5001);
        downloader->CheckSlotsForTimeOut(GetTickCount());
        ASSERT_TRUE(ProcessEventsUntil([&] { return Slot(0).StatusText == StatusTexts().Timeout; }));
        EXPECT_EQ(Finish(1), TOutcome::Identical);
        DownloaderTest::Finish();
    }
}

TEST_F(HttpFaults, RedirectsEndInTheFileOrAFailureAndCredentialsStayWithTheirHost)
{
    HttpTestServer other;
    ASSERT_TRUE(other.Listen());
    ServeRanges(other, content);
    StoreCredentials(server.Url(), "", "user", "secret");
    const QByteArray elsewhere = QStringLiteral("http://localhost:%1/file.bin").arg(other.Port()).toUtf8();
    server.Handler = [&](const QByteArray& request) {
        const QString path = QRegularExpression("^GET (\\S+)").match(QString::fromLatin1(request)).captured(1);
        const auto moved = [](const QByteArray& to) { return HttpTestAnswer::Status(302, "Found", "Location: " + to + "\r\n", "<a>moved</a>"); };
        if (path == "/ping")
            return moved("/pong");
        if (path == "/pong")
            return moved("/ping");
        if (path.startsWith("/chain/")) {
            const int left = path.mid(7).toInt();
            return left == 0 ? HttpTestAnswer::Partial(content, qMax<qint64>(RangeStart(request), 0))
                             : moved("/chain/" + QByteArray::number(left - 1));
        }
        if (path == "/away")
            return moved(elsewhere);
        if (path == "/local")
            return moved("file:///etc/passwd");
        return HttpTestAnswer::Status(404, "Not Found");
    };
    const struct {
        const char* Name;
        QString Url;
        TOutcome Outcome;
    } cases[] = {
        {"a loop", server.Url("ping"), TOutcome::Failed},
        {"a chain of 20", server.Url("chain/20"), TOutcome::Identical},
        {"a chain of 21", server.Url("chain/21"), TOutcome::Failed},
        {"to another host, with credentials for this one", server.Url("away"), TOutcome::Identical},
        {"to a local file", server.Url("local"), TOutcome::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Download(c.Url), c.Outcome);
        DownloaderTest::Finish();
    }
    ASSERT_FALSE(other.Requests().isEmpty());
    for (const QByteArray& request : other.Requests())
        EXPECT_FALSE(request.contains("Authorization")) << request.constData();
    for (const QByteArray& request : server.Requests())
        if (request.startsWith("GET /away ")) {
            EXPECT_TRUE(request.contains("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n")) << "its own host gets them";
        }
}

TEST_F(HttpFaults, ASecondRefusalAfterCredentialsIsCouldNotLoginWithNothingWritten)
{
    server.Handler = [](const QByteArray&) {
        return HttpTestAnswer::Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"files\"\r\n", "<html>who?</html>");
    };
    Begin(server.Url("file.bin"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return events.authenticationRequired == 1; }));
    // What the download system does with the user's answer.
    SiteManager().SetUserPass(TUrl(server.Url("file.bin")), "files", "u", "wrong");
    Slot(0).Authenticated = true;
    Slot(0).Start();
    EXPECT_EQ(Finish(), TOutcome::Failed);
    EXPECT_EQ(record->Status(), StatusTexts().CouldntLogin);
    EXPECT_EQ(ReadWholeFile(record->TempFileName() + ".0"), QByteArray());
    EXPECT_TRUE(server.Requests().last().contains("Authorization: Basic dTp3cm9uZw==\r\n"));
}
