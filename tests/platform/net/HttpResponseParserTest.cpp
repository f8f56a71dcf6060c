#include "platform/net/HttpResponseParser.h"

#include <gtest/gtest.h>

namespace {
using Item = THttpResponseParser::Item;

struct Parsed {
    QByteArray body;
    QList<QByteArray> lines; // status line and header lines as handed out
    bool headerEnd = false;
    bool end = false;
    bool error = false;
    qint64 unused = 0; // input left when the parser stopped
};

// Feeds input in pieces of `step` bytes (0 = all at once), then, unless the answer
// ended on its own, a close of the connection.
Parsed Parse(THttpResponseParser& parser, const QByteArray& input, qsizetype step = 0, bool close = true)
{
    Parsed result;
    auto take = [&](const THttpResponseParser::Token& token) {
        switch (token.item) {
        case Item::StatusLine:
        case Item::HeaderLine:
            result.lines.append(QByteArray(token.data, token.size));
            break;
        case Item::HeaderEnd:
            result.headerEnd = true;
            break;
        case Item::Body:
            result.body.append(token.data, token.size);
            break;
        case Item::End:
            result.end = true;
            break;
        case Item::Error:
            result.error = true;
            break;
        case Item::NeedMore:
            break;
        }
    };
    if (step <= 0)
        step = qMax<qsizetype>(1, input.size());
    for (qsizetype at = 0; at < input.size() && !result.end && !result.error; at += step) {
        const char* data = input.constData() + at;
        qint64 size = qMin(step, input.size() - at);
        while (!result.end && !result.error) {
            const auto token = parser.Next(data, size);
            if (token.item == Item::NeedMore && size == 0)
                break;
            take(token);
        }
        result.unused = size + (input.size() - at - qMin(step, input.size() - at));
    }
    if (close && !result.end && !result.error)
        take(parser.Close());
    return result;
}

Parsed Parse(const QByteArray& input, qsizetype step = 0)
{
    THttpResponseParser parser;
    return Parse(parser, input, step);
}
}

TEST(HttpResponseParser, ReadsStatusHeaderAndBodyHoweverTheBytesAreSplit)
{
    const QByteArray answer = "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\ncontent-range:  bytes 10-14/15 \r\n"
                              "Accept-Ranges: bytes\nX-Empty:\r\n\r\nhelloEXTRA";
    for (qsizetype step : {0, 1, 2, 7}) {
        THttpResponseParser parser;
        const Parsed parsed = Parse(parser, answer, step, false);
        SCOPED_TRACE(step);
        EXPECT_EQ(parsed.lines.first(), "HTTP/1.1 206 Partial Content");
        EXPECT_EQ(parsed.lines.size(), 5);
        EXPECT_EQ(parser.StatusCode(), 206);
        EXPECT_EQ(parser.ReasonPhrase(), "Partial Content");
        EXPECT_EQ(parser.Header("Content-Range"), "bytes 10-14/15");
        EXPECT_EQ(parser.Header("accept-ranges"), "bytes");
        EXPECT_EQ(parser.Header("Location"), "");
        EXPECT_EQ(parsed.body, "hello") << "nothing past Content-Length is body";
        EXPECT_TRUE(parsed.end) << "the answer ends with its last promised byte, not with the close";
        EXPECT_TRUE(parser.BodyComplete());
    }
}

TEST(HttpResponseParser, DecodesChunkedBodiesWhateverTheSplit)
{
    const QByteArray encoded = "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 999\r\n\r\n"
                               "5;name=value\r\nhello\r\nA\r\n, chunked \r\n1\nx\n0\r\nTrailer: yes\r\n\r\nAFTER";
    for (qsizetype step : {0, 1, 3, 16}) {
        THttpResponseParser parser;
        const Parsed parsed = Parse(parser, encoded, step, false);
        SCOPED_TRACE(step);
        EXPECT_FALSE(parsed.error) << parser.ErrorText().toStdString();
        EXPECT_EQ(parsed.body, "hello, chunked x");
        EXPECT_TRUE(parsed.end);
        EXPECT_TRUE(parser.BodyComplete());
        EXPECT_EQ(parser.ContentLength(), -1) << "a chunked answer promises no length";
        EXPECT_EQ(parser.BodyReceived(), 16);
    }
}

TEST(HttpResponseParser, RejectsBrokenChunkedBodies)
{
    for (const QByteArray& body : {QByteArray("zz\r\nhello\r\n0\r\n\r\n"), QByteArray("5\r\nhelloXX0\r\n\r\n"),
                                  QByteArray("10000000000000000\r\n")}) {
        const Parsed parsed = Parse("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + body);
        EXPECT_TRUE(parsed.error) << body.constData();
    }
}

TEST(HttpResponseParser, AnswerEndingEarlyIsEndedButNotComplete)
{
    struct Case {
        QByteArray answer;
        bool complete;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345", false},
        {"HTTP/1.0 200 OK\r\n\r\n12345", true}, // no length: the close ends it
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n12345\r\n", false},
    };
    for (const Case& c : cases) {
        THttpResponseParser parser;
        const Parsed parsed = Parse(parser, c.answer);
        EXPECT_TRUE(parsed.end && !parsed.error) << c.answer.constData();
        EXPECT_EQ(parsed.body, "12345");
        EXPECT_EQ(parser.BodyComplete(), c.complete) << c.answer.constData();
    }
}

TEST(HttpResponseParser, ClosingBeforeTheHeaderEndsIsAnError)
{
    for (const QByteArray& answer : {QByteArray(), QByteArray("HTTP/1.0 200 OK\r\nContent-Le")}) {
        THttpResponseParser parser;
        EXPECT_TRUE(Parse(parser, answer).error);
        EXPECT_FALSE(parser.ErrorText().isEmpty());
    }
}

TEST(HttpResponseParser, ContentLengthIsSixtyFourBitAndMustBeANumber)
{
    THttpResponseParser parser;
    const char* head = "HTTP/1.1 200 OK\r\nContent-Length: 5368709120\r\nContent-Length: 5368709120\r\n\r\n";
    const Parsed parsed = Parse(parser, head, 0, false);
    EXPECT_TRUE(parsed.headerEnd && !parsed.error);
    EXPECT_EQ(parser.ContentLength(), 5368709120LL);

    for (const char* bad : {"12abc", "-1", "", "1, 2", "99999999999999999999"}) {
        const Parsed rejected = Parse(QByteArray("HTTP/1.1 200 OK\r\nContent-Length: ") + bad + "\r\n\r\n");
        EXPECT_TRUE(rejected.error) << bad;
    }
    EXPECT_TRUE(Parse("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n").error)
        << "two different lengths leave the body's end unknown";
}

TEST(HttpResponseParser, StatusLines)
{
    struct Case {
        QByteArray line;
        bool valid;
        int code;
        QByteArray reason;
    } cases[] = {
        {"HTTP/1.0 404 Not Found", true, 404, "Not Found"},
        {"HTTP/1.1 500 Internal  Server Error", true, 500, "Internal  Server Error"},
        {"HTTP/1.1 200", true, 200, ""},
        {"HTTP/1.1 2000 OK", false, 0, ""},
        {"HTTP/1.1 20x OK", false, 0, ""},
        {"ICY 200 OK", false, 0, ""},
        {"<html>", false, 0, ""},
    };
    for (const Case& c : cases) {
        THttpResponseParser parser;
        const Parsed parsed = Parse(parser, c.line + "\r\n\r\n");
        EXPECT_EQ(!parsed.error, c.valid) << c.line.constData();
        if (!c.valid)
            continue;
        EXPECT_EQ(parser.StatusCode(), c.code);
        EXPECT_EQ(parser.ReasonPhrase(), c.reason);
    }
}

TEST(HttpResponseParser, HeaderLimitsStopGrowth)
{
    const QByteArray longest(MaxHeaderLineLength - 4, 'a');
    EXPECT_FALSE(Parse("HTTP/1.1 200 OK\r\nX: " + longest + "\r\n\r\n").error) << "a line of exactly the limit";
    EXPECT_TRUE(Parse("HTTP/1.1 200 OK\r\nX: " + longest + "a\r\n\r\n").error);

    // A line that never ends fails once it passes the limit, whatever follows.
    THttpResponseParser parser;
    const Parsed endless = Parse(parser, "HTTP/1.1 200 OK\r\nX: " + QByteArray(4 * MaxHeaderLineLength, 'b'), 4096);
    EXPECT_TRUE(endless.error);
    EXPECT_GT(endless.unused, MaxHeaderLineLength) << "it stopped reading at the limit";

    QByteArray lines;
    for (int i = 0; i < MaxHeaderLines; ++i)
        lines += "X-" + QByteArray::number(i) + ": v\r\n";
    EXPECT_FALSE(Parse("HTTP/1.1 200 OK\r\n" + lines + "\r\n").error);
    EXPECT_TRUE(Parse("HTTP/1.1 200 OK\r\n" + lines + "X: one too many\r\n\r\n").error);
    EXPECT_TRUE(Parse("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n" + lines + lines + "\r\n").error)
        << "trailer lines count too";
}

TEST(HttpResponseParser, AnswersWithoutBody)
{
    for (const QByteArray& status : {QByteArray("204 No Content"), QByteArray("304 Not Modified")}) {
        THttpResponseParser parser;
        const Parsed parsed = Parse(parser, "HTTP/1.1 " + status + "\r\nContent-Length: 20\r\n\r\n", 0, false);
        EXPECT_TRUE(parsed.end) << status.constData();
        EXPECT_EQ(parser.ContentLength(), 0);
    }
}

TEST(HttpResponseParser, SuccessfulTunnelAnswerEndsWithItsHeader)
{
    THttpResponseParser parser;
    parser.Reset(true);
    const Parsed parsed = Parse(parser, "HTTP/1.0 200 Connection established\r\n\r\n\x16\x03\x01", 0, false);
    EXPECT_TRUE(parsed.end);
    EXPECT_EQ(parsed.unused, 3) << "the tunnel's bytes are not the parser's";

    THttpResponseParser refused;
    refused.Reset(true);
    const Parsed denied = Parse(refused, "HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 4\r\n\r\ndeny");
    EXPECT_EQ(denied.body, "deny") << "a refusal is an ordinary answer with a body";
}
