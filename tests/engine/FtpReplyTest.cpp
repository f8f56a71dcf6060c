#include "engine/FtpReply.h"

#include <gtest/gtest.h>

namespace {
std::vector<TFtpReply> ReadAll(TFtpReplyReader& reader)
{
    std::vector<TFtpReply> replies;
    while (reader.HasReply())
        replies.push_back(reader.TakeReply());
    return replies;
}

struct ReplyCase {
    const char* name;
    QByteArray bytes;
    std::vector<std::pair<int, QByteArray>> expected;
};

const ReplyCase replyCases[] = {
    {"single", "220 Ready\r\n", {{220, "220 Ready"}}},
    {"two in one read", "150 Opening\r\n226 Done\r\n", {{150, "150 Opening"}, {226, "226 Done"}}},
    {"LF only", "331 Password\n230 In\n", {{331, "331 Password"}, {230, "230 In"}}},
    {"code alone", "230\r\n", {{230, "230"}}},
    {"multi-line with look-alike lines", "230-Welcome\r\n 230 indented\r\n220 other code\r\n230-still open\r\n230 End\r\n",
     {{230, "230-Welcome\n 230 indented\n220 other code\n230-still open\n230 End"}}},
    {"junk before a reply is skipped", "hello\r\n\r\n220 Ready\r\n", {{220, "220 Ready"}}},
    {"incomplete reply waits", "220 Rea", {}},
    {"multi-line without its end waits", "220-a\r\n220-b\r\n", {}},
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReplyReader : public testing::TestWithParam<ReplyCase> {};
}

TEST_P(ReplyReader, SplitsRepliesHoweverTheBytesArrive)
{
    const ReplyCase& c = GetParam();
    // In one piece, and byte by byte: both must give the same replies.
    for (qsizetype step : {c.bytes.size(), qsizetype(1)}) {
        TFtpReplyReader reader;
        for (qsizetype at = 0; at < c.bytes.size(); at += step)
            ASSERT_TRUE(reader.Add(c.bytes.mid(at, step)));
        const std::vector<TFtpReply> replies = ReadAll(reader);
        ASSERT_EQ(replies.size(), c.expected.size()) << "step " << step;
        for (size_t i = 0; i < replies.size(); ++i) {
            EXPECT_EQ(replies[i].Code, c.expected[i].first);
            EXPECT_EQ(replies[i].Text, c.expected[i].second);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplyReader, testing::ValuesIn(replyCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(ReplyReaderBounds, OverLongLineOrReplyFailsForGood)
{
    TFtpReplyReader longLine;
    EXPECT_TRUE(longLine.Add(QByteArray("220 ") + QByteArray(TFtpReplyReader::MaxLineLength - 4, 'x')));
    EXPECT_FALSE(longLine.Add("y")) << "a line past the bound, even before its end arrives";
    EXPECT_FALSE(longLine.Add("\r\n220 ok\r\n")) << "the stream stays failed";
    EXPECT_FALSE(longLine.HasReply());

    TFtpReplyReader longReply;
    bool ok = longReply.Add("220-start\r\n");
    for (int i = 0; ok && i < 2 * TFtpReplyReader::MaxReplyLength / 100; ++i)
        ok = longReply.Add(QByteArray(98, 'z') + "\r\n");
    EXPECT_FALSE(ok) << "many short lines of one reply are bounded too";
}

TEST(ReplyReaderBounds, ClearStartsAfresh)
{
    TFtpReplyReader reader;
    reader.Add(QByteArray(TFtpReplyReader::MaxLineLength + 1, 'x'));
    reader.Clear();
    EXPECT_TRUE(reader.Add("220 Ready\r\n"));
    EXPECT_TRUE(reader.HasReply());
}

TEST(PassiveReply, TakesOnlyThePortFromTheReply)
{
    const std::pair<QByteArray, std::optional<quint16>> cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1)", 1025},
        {"227 Entering Passive Mode (10,255,255,1,195,80).", 50000},
        {"227 Entering Passive Mode ( 192, 168, 0, 1, 0, 21 )", 21},
        {"227 =127,0,0,1,255,255", 65535},
        {"227 Entering Passive Mode (1,2,3,4,300,0)", quint16(300 * 256 % 65536)},
        {"227 Entering Passive Mode (127,0,0,1,0,0)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,4)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,a,1)", std::nullopt},
        {"227 Entering Passive Mode", std::nullopt},
        {"227 Entering Passive Mode (1,2,3,4,9999999999,1)", std::nullopt},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(ParsePassivePort(text), port) << text.constData();
}

TEST(SizeReply, AcceptsOnlyAPlainNumber)
{
    const std::pair<QByteArray, qint64> cases[] = {
        {"213 4096", 4096},
        {"213  5000000000 ", 5000000000},
        {"213 0", 0},
        {"213 12abc", -1},
        {"213 -5", -1},
        {"213 ", -1},
        {"213 99999999999999999999", -1},
    };
    for (const auto& [text, size] : cases)
        EXPECT_EQ(ParseSizeReply(text), size) << text.constData();
}

TEST(PortCommand, AnnouncesTheControlConnectionsAddress)
{
    EXPECT_EQ(PortCommand(QHostAddress("192.168.1.20"), 50000), "PORT 192,168,1,20,195,80");
    EXPECT_EQ(PortCommand(QHostAddress("127.0.0.1"), 1025), "PORT 127,0,0,1,4,1");
    EXPECT_EQ(PortCommand(QHostAddress("127.0.0.9"), 1025), "PORT 127,0,0,1,4,1");
    EXPECT_EQ(PortCommand(QHostAddress("::1"), 1025), "PORT 127,0,0,1,4,1");
    EXPECT_EQ(PortCommand(QHostAddress("::ffff:10.0.0.7"), 256), "PORT 10,0,0,7,1,0");
    EXPECT_EQ(PortCommand(QHostAddress("2001:db8::1"), 1025), "");
}

TEST(CommandText, LineBreaksAndNulAreCaught)
{
    EXPECT_FALSE(BreaksCommandLine("pub/file name.zip"));
    for (const QString& text : {QString("a\rb"), QString("a\nb"), QString("a") + QChar(0) + "b"})
        EXPECT_TRUE(BreaksCommandLine(text));
}
