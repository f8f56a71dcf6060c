#include "records/RemoteValidators.h"

#include "records/Url.h"

#include <gtest/gtest.h>

namespace {
const QString Date1 = QStringLiteral("Tue, 15 Nov 1994 12:45:26 GMT");
const QString Date2 = QStringLiteral("Wed, 16 Nov 1994 08:00:00 GMT");
}

TEST(RemoteValidatorsTest, AChangeNeedsAValidatorOnBothSides)
{
    struct Case {
        const char* name;
        TRemoteValidators stored, seen;
        bool changed;
    } cases[] = {
        {"same ETag", {"\"a1\"", Date1}, {"\"a1\"", Date1}, false},
        {"other ETag", {"\"a1\"", Date1}, {"\"b2\"", Date1}, true},
        {"the ETags decide over Last-Modified", {"\"a1\"", Date1}, {"\"a1\"", Date2}, false},
        {"ETags are compared exactly", {"\"a1\"", ""}, {"\"A1\"", ""}, true},
        {"only Last-Modified, the same", {"", Date1}, {"", Date1}, false},
        {"only Last-Modified, another", {"", Date1}, {"", Date2}, true},
        {"ETag on one side: Last-Modified decides", {"\"a1\"", Date1}, {"", Date2}, true},
        {"ETag on one side, Last-Modified on the other", {"\"a1\"", ""}, {"", Date1}, false},
        {"nothing stored", {"", ""}, {"\"b2\"", Date2}, false},
        {"nothing seen", {"\"a1\"", Date1}, {"", ""}, false},
        {"weak and strong with one text", {"W/\"a1\"", ""}, {"\"a1\"", ""}, false},
        {"strong and weak with one text", {"\"a1\"", ""}, {"W/\"a1\"", ""}, false},
        {"weak and strong with other texts", {"W/\"a1\"", ""}, {"\"b2\"", ""}, true},
        {"two weak ones with other texts", {"W/\"a1\"", ""}, {"W/\"b2\"", ""}, true},
        {"a stored tag that lost its quotes", {"a1", ""}, {"W/\"a1\"", ""}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RemoteFileChanged(c.stored, c.seen), c.changed);
    }
}

TEST(RemoteValidatorsTest, HeaderValuesThatCannotBeStoredAreDropped)
{
    struct Case {
        QByteArray header;
        QString kept;
    } cases[] = {
        {"  \"a1\"\t", "\"a1\""},
        {"W/\"5f3a-1234\"", "W/\"5f3a-1234\""},
        {"\"a\r\nSet-Cookie: x\"", ""},
        {QByteArray("\"a\0b\"", 5), ""},
        {"\"a\x1b[2Jb\"", ""},
        {"\"a\x7f\"", ""},
        {"\"caf\xe9\"", QString::fromLatin1("\"caf\xe9\"")},
        {QByteArray(MaxValidatorLength, 'x'), QString(MaxValidatorLength, 'x')},
        {QByteArray(MaxValidatorLength + 1, 'x'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header.toStdString());
        const TRemoteValidators validators = ValidatorsOf(c.header, c.header);
        EXPECT_EQ(validators.ETag, c.kept);
        EXPECT_EQ(validators.LastModified, c.kept);
    }
}

TEST(RemoteValidatorsTest, ValidatorsBelongToHostAndPort)
{
    EXPECT_EQ(ValidatorHost(TUrl("http://Mirror.Example.org/pub/a.iso")), "mirror.example.org:80");
    EXPECT_EQ(ValidatorHost(TUrl("https://mirror.example.org/pub/a.iso")), "mirror.example.org:443");
    EXPECT_EQ(ValidatorHost(TUrl("http://mirror.example.org:8080/a.iso")), "mirror.example.org:8080");

    const THostValidatorList list = {{"a.example:80", {"\"a\"", ""}}, {"a.example:8080", {"\"b\"", ""}}};
    ASSERT_NE(FindValidators(list, "a.example:8080"), nullptr);
    EXPECT_EQ(FindValidators(list, "a.example:8080")->ETag, "\"b\"");
    EXPECT_EQ(FindValidators(list, "b.example:80"), nullptr);
}
