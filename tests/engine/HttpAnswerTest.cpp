// What the HTTP part downloader reads out of answer headers, without sockets.
#include "engine/HttpAnswer.h"

#include <gtest/gtest.h>

TEST(HttpAnswerTest, ContentRange)
{
    struct Case {
        QByteArray value;
        bool valid;
        qint64 first, last, total;
    } cases[] = {
        {"bytes 0-999/5000", true, 0, 999, 5000},
        {"bytes 1000-4999/*", true, 1000, 4999, -1},
        {" Bytes  7-7/8 ", true, 7, 7, 8},
        {"bytes 4294967296-6442450943/6442450944", true, 4294967296LL, 6442450943LL, 6442450944LL},
        {"", false, -1, -1, -1},
        {"bytes */5000", false, -1, -1, -1},
        {"bytes 10-5/100", false, -1, -1, -1},
        {"bytes 0-99/50", false, -1, -1, -1},
        {"bytes -5-9/10", false, -1, -1, -1},
        {"items 0-9/10", false, -1, -1, -1},
        {"bytes 0-9/1x", false, -1, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        const TContentRange range = ParseContentRange(c.value);
        EXPECT_EQ(range.Valid, c.valid);
        EXPECT_EQ(range.First, c.first);
        EXPECT_EQ(range.Last, c.last);
        EXPECT_EQ(range.Total, c.total);
    }
}

TEST(HttpAnswerTest, RemoteTotalIsTheWholeFile)
{
    const TContentRange capped = ParseContentRange("bytes 1000-1999/5000");
    const TContentRange open = ParseContentRange("bytes 1000-4999/*");
    EXPECT_EQ(RemoteTotal(206, 1000, 1000, capped), 5000) << "a capped 206 is no small file";
    EXPECT_EQ(RemoteTotal(206, 1000, 4000, open), 5000);
    EXPECT_EQ(RemoteTotal(206, 1000, 4000, {}), 5000);
    EXPECT_EQ(RemoteTotal(206, 1000, -1, open), -1);
    EXPECT_EQ(RemoteTotal(200, 0, 5000, {}), 5000);
    EXPECT_EQ(RemoteTotal(200, 0, -1, {}), -1);
}

TEST(HttpAnswerTest, Realm)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"Basic realm=\"Secret Area\"", "Secret Area"},
        {"Basic realm=\"a=b\", charset=\"UTF-8\"", "a=b"},
        {"Digest nonce=\"n1\", REALM=\"files\"", "files"},
        {"Basic realm=plain, x=y", "plain"},
        {"Basic x=\"first\"", "first"},
        {"Basic realm=\"open", "open"},
        {"Basic", ""},
        {"", ""},
    };
    for (const auto& [challenge, realm] : cases)
        EXPECT_EQ(RealmOf(challenge), realm) << challenge.toStdString();
}

TEST(HttpAnswerTest, LocationsAreResolvedAgainstTheCurrentUrl)
{
    const QString base = "http://user:pw@files.example.org:8080/dir/file.zip?x=1";
    const std::pair<QByteArray, QString> cases[] = {
        {"/other.zip", "http://files.example.org:8080/other.zip"},
        {"next.zip", "http://files.example.org:8080/dir/next.zip"},
        {"../up/a.zip?y=2#part", "http://files.example.org:8080/up/a.zip?y=2"},
        {"//mirror.example.net/a.zip", "http://mirror.example.net/a.zip"},
        {"https://u2:p2@secure.example.net/a b.zip", "https://secure.example.net/a%20b.zip"},
        {"file:///etc/passwd", "file:///etc/passwd"},
    };
    for (const auto& [location, resolved] : cases)
        EXPECT_EQ(ResolveLocation(base, location), resolved) << location.toStdString();
}

TEST(HttpAnswerTest, OnlyHttpTargetsAreFollowed)
{
    EXPECT_TRUE(IsFollowable("http://a.example/x"));
    EXPECT_TRUE(IsFollowable("https://a.example/x"));
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "ftp://a.example/x", "data:,x", "http:///x", ""})
        EXPECT_FALSE(IsFollowable(url)) << url;
}

TEST(HttpAnswerTest, SameResource)
{
    EXPECT_TRUE(SameResource("http://a.example:80/f?q=1", "HTTP://A.example/f?q=1"));
    EXPECT_TRUE(SameResource("https://a.example:443/", "https://a.example"));
    EXPECT_FALSE(SameResource("http://a.example/f", "https://a.example/f"));
    EXPECT_FALSE(SameResource("http://a.example:8080/f", "http://a.example/f"));
    EXPECT_FALSE(SameResource("http://a.example/f?q=1", "http://a.example/f?q=2"));
    EXPECT_FALSE(SameResource("http://a.example/f", "http://a.example/F"));
}
