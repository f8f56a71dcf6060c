// The remote file's validators in the record file: after the other keys, per server,
// and absent from records written before they existed.
#include "records/LocalDownloadinfo.h"

#include "tests/support/TempHome.h"
#include "tests/support/ValidatorPrinters.h"

#include <gtest/gtest.h>

namespace {
class RecordValidatorsTest : public TempHomeTest {
protected:
    QString Base() const { return Path("3KQ0GA7B"); }
    std::unique_ptr<TLocalDownloadinfo> Load() const { return std::make_unique<TLocalDownloadinfo>(nullptr, Base()); }
};

const THostValidatorList TwoServers = {
    {"mirror.example.org:80", {"W/\"5f3a-1234\"", "Tue, 15 Nov 1994 12:45:26 GMT"}},
    {"127.0.0.1:8080", {"\"quoted\"", ""}},
};
}

TEST_F(RecordValidatorsTest, ValidatorsFollowTheOtherKeysAndReadBack)
{
    auto record = Load();
    record->URL = std::make_unique<TUrl>("http://mirror.example.org/a.iso");
    record->RemoteValidators = TwoServers;
    ASSERT_TRUE(record->SaveToDatFile());
    EXPECT_TRUE(ReadWholeFile(Base() + ".dat")
                    .endsWith("Description=\r\n"
                              "Validators=2\r\n"
                              "Validator1Host=mirror.example.org:80\r\n"
                              "Validator1ETag=W/\"5f3a-1234\"\r\n"
                              "Validator1LastModified=Tue, 15 Nov 1994 12:45:26 GMT\r\n"
                              "Validator2Host=127.0.0.1:8080\r\n"
                              "Validator2ETag=\"\"quoted\"\"\r\n"
                              "Validator2LastModified=\r\n"))
        << ReadWholeFile(Base() + ".dat").toStdString();
    EXPECT_EQ(Load()->RemoteValidators, TwoServers);

    // Fewer servers later: the entries beyond them are emptied and not read again.
    record->RemoteValidators = {TwoServers[1]};
    ASSERT_TRUE(record->SaveToDatFile());
    const QByteArray text = ReadWholeFile(Base() + ".dat");
    EXPECT_TRUE(text.contains("Validators=1\r\nValidator1Host=127.0.0.1:8080\r\n"));
    EXPECT_TRUE(text.contains("Validator2Host=\r\nValidator2ETag=\r\nValidator2LastModified=\r\n"));
    EXPECT_EQ(Load()->RemoteValidators, THostValidatorList{TwoServers[1]});
}

TEST_F(RecordValidatorsTest, RecordsWithoutUsableValidatorsLoadWithNone)
{
    const QByteArray older = "[Options]\r\nURL=http://a.example/f\r\nFileSize=100\r\nNumOfParts=4\r\n";
    struct Case {
        const char* name;
        QByteArray extra;
        THostValidatorList loaded;
    } cases[] = {
        {"written before validators were kept", "", {}},
        {"a count beyond what is stored", "Validators=3\r\nValidator1Host=a.example:80\r\nValidator1ETag=\"\"x\"\"\r\n",
         {{"a.example:80", {"\"x\"", ""}}}},
        {"an absurd count", "Validators=99999999\r\nValidator1Host=a.example:80\r\nValidator1ETag=\"\"x\"\"\r\n", {}},
        {"an entry without host or without validators",
         "Validators=2\r\nValidator1ETag=\"\"x\"\"\r\nValidator2Host=b.example:80\r\n", {}},
        {"a host twice: the first counts",
         "Validators=2\r\nValidator1Host=A.example:80\r\nValidator1ETag=\"\"x\"\"\r\n"
         "Validator2Host=a.example:80\r\nValidator2ETag=\"\"y\"\"\r\n",
         {{"a.example:80", {"\"x\"", ""}}}},
        {"a value with a control character", "Validators=1\r\nValidator1Host=a.example:80\r\nValidator1ETag=\"x\x1b\"\r\n",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(Base() + ".dat", older + c.extra));
        auto record = Load();
        EXPECT_EQ(record->FileSize, 100);
        EXPECT_EQ(record->RemoteValidators, c.loaded);
    }

    // Saving a record that never had any leaves the file as older versions wrote it.
    ASSERT_TRUE(WriteWholeFile(Base() + ".dat", older));
    ASSERT_TRUE(Load()->SaveToDatFile());
    EXPECT_FALSE(ReadWholeFile(Base() + ".dat").contains("Validator"));
}
