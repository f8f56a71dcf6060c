#include "platform/instance/HandOverMessage.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {
QByteArray Header(quint64 data, quint32 count)
{
    QByteArray bytes(HandOverHeaderSize, '\0');
    qToLittleEndian<quint64>(data, bytes.data());
    qToLittleEndian<quint32>(count, bytes.data() + 8);
    return bytes;
}
}

TEST(HandOverMessage, RoundTripsTextAndData)
{
    const QByteArray texts[] = {"", "http://a.example/f.zip", "/uninstall", QByteArray(MaxHandOverBytes - 1, 'x')};
    for (const QByteArray& text : texts) {
        const QByteArray bytes = EncodeHandOver(42, text);
        ASSERT_EQ(bytes.size(), HandOverHeaderSize + text.size() + 1);
        THandOverMessage message;
        ASSERT_EQ(DecodeHandOver(bytes, message), THandOverDecode::Complete) << text.left(40).constData();
        EXPECT_EQ(message.Data, 42u);
        EXPECT_EQ(message.Text, text);
    }
    EXPECT_TRUE(FitsHandOver(QByteArray(MaxHandOverBytes - 1, 'x')));
    EXPECT_FALSE(FitsHandOver(QByteArray(MaxHandOverBytes, 'x')));
}

TEST(HandOverMessage, EveryPrefixIsIncomplete)
{
    const QByteArray bytes = EncodeHandOver(0, "ftp://a.example/f");
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        THandOverMessage message;
        EXPECT_EQ(DecodeHandOver(bytes.first(n), message), THandOverDecode::Incomplete) << n;
    }
}

TEST(HandOverMessage, DecodesOrRejectsByTheRules)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        THandOverDecode expected;
        QByteArray text;
    };
    const Case cases[] = {
        {"empty text is one NUL", Header(0, 1) + QByteArray(1, '\0'), THandOverDecode::Complete, ""},
        {"text ends at its first NUL", Header(0, 6) + QByteArray("ab\0cd\0", 6), THandOverDecode::Complete, "ab"},
        {"control characters pass as they are", Header(0, 4) + QByteArray("a\r\n\0", 4), THandOverDecode::Complete, "a\r\n"},
        {"zero count", Header(0, 0), THandOverDecode::Rejected, {}},
        {"count above the cap, from the header alone", Header(0, MaxHandOverBytes + 1), THandOverDecode::Rejected, {}},
        {"largest count", Header(0, 0xFFFFFFFFu), THandOverDecode::Rejected, {}},
        {"bytes beyond the count", EncodeHandOver(0, "abc") + "x", THandOverDecode::Rejected, {}},
        {"no closing NUL", Header(0, 3) + "abc", THandOverDecode::Rejected, {}},
        {"count at the cap waits for its bytes", Header(0, MaxHandOverBytes) + "abc", THandOverDecode::Incomplete, {}},
    };
    for (const Case& c : cases) {
        THandOverMessage message;
        EXPECT_EQ(DecodeHandOver(c.bytes, message), c.expected) << c.name;
        if (c.expected == THandOverDecode::Complete) {
            EXPECT_EQ(message.Text, c.text) << c.name;
        }
    }
}

TEST(HandOverMessage, BinaryJunkNeverDecodesToMoreThanItHolds)
{
    QRandomGenerator random(20240611);
    for (int round = 0; round < 20000; ++round) {
        QByteArray junk(random.bounded(64), '\0');
        for (char& c : junk)
            c = char(random.bounded(256));
        if (round % 2 && junk.size() >= HandOverHeaderSize) // small counts reach the body checks
            qToLittleEndian<quint32>(random.bounded(64), junk.data() + 8);
        THandOverMessage message;
        const THandOverDecode result = DecodeHandOver(junk, message);
        if (result != THandOverDecode::Complete)
            continue;
        EXPECT_EQ(junk.size(), HandOverHeaderSize + qFromLittleEndian<quint32>(junk.constData() + 8));
        EXPECT_EQ(junk.back(), '\0');
        EXPECT_FALSE(message.Text.contains('\0'));
    }
}

TEST(HandOverMessage, ReplyNeedsAllItsBytes)
{
    const QByteArray one = EncodeHandOverReply(1);
    EXPECT_EQ(DecodeHandOverReply(one), 1);
    EXPECT_EQ(DecodeHandOverReply(EncodeHandOverReply(-5)), -5);
    EXPECT_EQ(DecodeHandOverReply(one.first(HandOverReplySize - 1)), std::nullopt);
}
