#include "records/LocalDownloadinfo.h"

#include "platform/base/DateTime.h"
#include "records/CategoryList.h"
#include "records/RecordDates.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/support/TempHome.h"
#include "ui/translation/Translator.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {
using Field = QString TStatusTexts::*;

// A function, not a constant: the calendar's own constants may not be made yet while
// this file's constants are.
TDateTime Frozen()
{
    return EncodeDateTime({2026, 12, 10, 9, 30, 15});
}

unsigned ModeOf(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0;
}

class RecordTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        QLocale::setDefault(QLocale::c());
        TestClock::Set(Frozen());
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
        TempHomeTest::TearDown();
    }
    QString Base() const { return Path("3KQ0GA7B"); }
    QString DatFile() const { return Base() + ".dat"; }
    std::unique_ptr<TLocalDownloadinfo> Load() { return std::make_unique<TLocalDownloadinfo>(nullptr, Base()); }
};

class GermanRecordTest : public RecordTest {
protected:
    void SetUp() override
    {
        RecordTest::SetUp();
        ASSERT_TRUE(CreateTranslator(QStringLiteral(CORVANE_BIN_DIR "/Translations")).LoadLanguage("Deutsch.cvt"));
        LoadStatusTexts();
    }
    void TearDown() override
    {
        DestroyTranslator();
        LoadStatusTexts();
        RecordTest::TearDown();
    }
};
}

TEST_F(RecordTest, ANewDownloadGetsAFreshNameAndDefaults)
{
    TLocalDownloadinfo record(std::make_unique<TUrl>("http://example.org/a.zip"));
    const QFileInfo name(record.TempFileName());
    EXPECT_EQ(name.absolutePath(), QDir(Read(Setting::PartialDownloadsDirectory)).absolutePath());
    EXPECT_EQ(name.fileName().size(), 8);
    EXPECT_EQ(record.URL->Url, "http://example.org/a.zip");
    EXPECT_EQ(record.NumOfParts, -1);
    EXPECT_EQ(record.FileSize, 0);
    EXPECT_EQ(record.Created, Frozen());
    EXPECT_EQ(record.LastActivity, Frozen());
    EXPECT_EQ(record.Category, nullptr);
    EXPECT_EQ(record.RetryTimer, nullptr);
    EXPECT_FALSE(QFile::exists(record.DatFileName())) << "nothing is written before the first save";
}

TEST_F(RecordTest, ARecordWithOnlyAUrlLineLoadsWithDefaults)
{
    ASSERT_TRUE(WriteWholeFile(DatFile(), "[Options]\r\nURL=ftp://example.org/pub/x.iso\r\n"));
    auto record = Load();
    ASSERT_NE(record->URL, nullptr);
    EXPECT_EQ(record->URL->Host, "example.org");
    EXPECT_EQ(record->NumOfParts, -1);
    EXPECT_EQ(record->FileSize, 0);
    EXPECT_EQ(record->Status(), "");
    EXPECT_EQ(record->StateCode, pdsError);
    EXPECT_EQ(record->LastActivity, Frozen());
    EXPECT_EQ(record->Created, Frozen());
    EXPECT_EQ(record->LocalFileName, "");
    EXPECT_EQ(record->Description, "");
}

TEST_F(RecordTest, SavingWritesEveryKeyInOrderOwnerOnly)
{
    auto record = Load();
    record->URL = std::make_unique<TUrl>("http://user:pw@example.org/big.iso");
    record->LocalFileName = "/home/u/Downloads/big.iso";
    record->SetStatus(StatusTexts().Paused);
    record->FileSize = 6'000'000'000LL;
    record->NumOfParts = 4;
    record->LastActivity = EncodeDateTime({2026, 12, 9, 23, 5, 7});
    record->Description = QString::fromLatin1("two\r\nlines\0!", 12);
    ASSERT_TRUE(record->SaveToDatFile());
    EXPECT_EQ(ReadWholeFile(DatFile()), "[Options]\r\n"
                                        "URL=http://user:pw@example.org/big.iso\r\n"
                                        "LocalFileName=/home/u/Downloads/big.iso\r\n"
                                        "Status=Paused\r\n"
                                        "FileSize=6000000000\r\n"
                                        "NumOfParts=4\r\n"
                                        "Category=\r\n"
                                        "LastActivity=9 Dec 2026 23:05:07\r\n"
                                        "Created=10 Dec 2026 09:30:15\r\n"
                                        "Description=two  lines !\r\n");
    EXPECT_EQ(ModeOf(DatFile()), 0600u);

    auto loaded = Load();
    EXPECT_EQ(loaded->FileSize, 6'000'000'000LL);
    EXPECT_EQ(loaded->NumOfParts, 4);
    EXPECT_EQ(loaded->LastActivity, EncodeDateTime({2026, 12, 9, 23, 5, 7}));
    EXPECT_EQ(loaded->Created, Frozen());
    EXPECT_EQ(loaded->Status(), "Paused");
    EXPECT_EQ(loaded->StateCode, pdsPaused);
}

TEST_F(GermanRecordTest, EveryStatusSurvivesTheRecordFileAsItsStoredMeaning)
{
    const struct {
        Field Saved;
        Field Loaded; // nullptr: the empty status
        TPartDownloaderState Code;
    } cases[] = {
        {&TStatusTexts::Idle, &TStatusTexts::Idle, pdsError},
        {&TStatusTexts::Downloading, &TStatusTexts::Downloading, pdsDownloading},
        {&TStatusTexts::Done, &TStatusTexts::Done, pdsDone},
        {&TStatusTexts::CombiningFiles, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::Paused, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::Scheduled, &TStatusTexts::Scheduled, pdsPaused},
        {&TStatusTexts::Queued, &TStatusTexts::Queued, pdsPaused},
        {&TStatusTexts::ContactingHost, &TStatusTexts::Downloading, pdsDownloading},
        {&TStatusTexts::GettingFileInfo, &TStatusTexts::Downloading, pdsDownloading},
        {&TStatusTexts::Timeout, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::FileNotFound, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::ResumeNotSupported, &TStatusTexts::ResumeNotSupported, pdsError},
        {&TStatusTexts::FilesizeMismatch, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::CouldntConnect, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::LostConnection, &TStatusTexts::Paused, pdsPaused},
        {&TStatusTexts::CouldntLogin, &TStatusTexts::Paused, pdsPaused},
    };
    ASSERT_EQ(StatusTexts().Paused, "Angehalten");
    for (const auto& c : cases) {
        const QString saved = StatusTexts().*c.Saved;
        auto record = Load();
        record->SetStatus(saved);
        ASSERT_TRUE(record->SaveToDatFile());
        auto loaded = Load();
        EXPECT_EQ(loaded->Status(), StatusTexts().*c.Loaded) << saved.toStdString();
        EXPECT_EQ(loaded->StateCode, c.Code) << saved.toStdString();
    }
    for (const QString other : {"Dateien werden zusammengefügt (37%)", "403 Forbidden"}) {
        auto record = Load();
        record->SetStatus(other);
        ASSERT_TRUE(record->SaveToDatFile());
        EXPECT_TRUE(ReadWholeFile(DatFile()).contains("\r\nStatus=Paused\r\n"));
        EXPECT_EQ(Load()->Status(), StatusTexts().Paused) << "resumable, not without a status";
        EXPECT_EQ(Load()->StateCode, pdsPaused);
    }
}

TEST_F(RecordTest, LeavingAnActiveStatusMarksTheLastActivity)
{
    TLocalDownloadinfo record(nullptr, Base());
    const struct {
        Field From, To;
        bool Marks;
    } cases[] = {
        {&TStatusTexts::Downloading, &TStatusTexts::Paused, true},
        {&TStatusTexts::ContactingHost, &TStatusTexts::Downloading, true},
        {&TStatusTexts::GettingFileInfo, &TStatusTexts::LostConnection, true},
        {&TStatusTexts::Downloading, &TStatusTexts::Downloading, false},
        {&TStatusTexts::Paused, &TStatusTexts::Done, false},
        {&TStatusTexts::Queued, &TStatusTexts::ContactingHost, false},
    };
    for (const auto& c : cases) {
        record.SetStatus(StatusTexts().*c.From);
        record.LastActivity = 0;
        TestClock::Advance(60'000);
        const TPartDownloaderState code = record.StateCode;
        record.SetStatus(StatusTexts().*c.To);
        EXPECT_EQ(record.Status(), StatusTexts().*c.To);
        EXPECT_EQ(record.LastActivity, c.Marks ? Now() : 0) << (StatusTexts().*c.From).toStdString();
        EXPECT_EQ(record.StateCode, code);
    }
    EXPECT_FALSE(QFile::exists(DatFile())) << "SetStatus does not save";
}

TEST_F(RecordTest, HostileRecordFilesLoadWithDefaultsWhereAValueIsUnusable)
{
    const struct {
        const char* Name;
        QByteArray Content;
        qint64 FileSize;
        int NumOfParts;
        bool DatesNow;
    } cases[] = {
        {"huge numbers", "[Options]\nFileSize=999999999999999999999\nNumOfParts=99999999999\n", 0, -1, true},
        {"negative numbers", "[Options]\nFileSize=-5\nNumOfParts=-7\n", 0, -1, true},
        {"unknown sizes stay", "[Options]\nFileSize=-1\nNumOfParts=3\n", -1, 3, true},
        {"text in numbers and dates", "[Options]\nFileSize=12abc\nNumOfParts=four\nLastActivity=yesterday\n", 0, -1, true},
        {"truncated line", "[Options]\r\nFileSize=4096\r\nNumOfPa", 4096, -1, true},
        {"NUL bytes", QByteArray("[Options]\r\nFileSize=\0\r\nNumOfParts=2\0\r\nURL=\0\0\r\n", 45), 0, 2, true},
        {"no section", "FileSize=10\nNumOfParts=2\n", 0, -1, true},
        {"ISO dates", "[Options]\nLastActivity=2026-12-01T08:00:00\nCreated=2026-11-30T07:00:00.250\n", 0, -1, false},
        {"binary junk", QByteArray("\xff\xfe[\x01=\x80\n=\n[[Options\n\xc3", 17), 0, -1, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(DatFile(), c.Content));
        auto record = Load();
        EXPECT_EQ(record->FileSize, c.FileSize) << c.Name;
        EXPECT_EQ(record->NumOfParts, c.NumOfParts) << c.Name;
        EXPECT_EQ(record->LastActivity == Frozen(), c.DatesNow) << c.Name;
        EXPECT_EQ(record->Created == Frozen(), c.DatesNow) << c.Name;
    }
    EXPECT_EQ(Load()->URL, nullptr);
}

TEST_F(RecordTest, DatesReadBackInTheirOwnLocaleWithFourDigitYears)
{
    const TDateTime moment = EncodeDateTime({2031, 3, 4, 17, 8, 9});
    for (const char* name : {"C", "en_US", "de_DE", "fr_FR", "ja_JP", "ar_EG", "fa_IR", "en_GB"}) {
        const QLocale locale(QString::fromLatin1(name));
        const QString text = RecordDateTimeText(moment, locale);
        EXPECT_TRUE(text.contains(locale.toString(2031).remove(locale.groupSeparator()))) << name << ": " << text.toStdString();
        EXPECT_EQ(ParseRecordDateTime(text, locale), moment) << name << ": " << text.toStdString();
    }
    EXPECT_EQ(ParseRecordDateTime("2031-03-04T17:08:09", QLocale("de_DE")), moment);
    EXPECT_EQ(ParseRecordDateTime("31.02.2031 10:00:00", QLocale("de_DE")), std::nullopt);
    EXPECT_EQ(ParseRecordDateTime("", QLocale::c()), std::nullopt);
}

TEST_F(RecordTest, ACategoryIsFoundByItsName)
{
    auto category = std::make_unique<TCategory>(false, true);
    category->SetName("Record test category");
    TCategory* added = CategoryList().Add(std::move(category), false);
    auto record = Load();
    record->Category = added;
    ASSERT_TRUE(record->SaveToDatFile());
    EXPECT_EQ(Load()->Category, added);
    ASSERT_TRUE(WriteWholeFile(DatFile(), "[Options]\nCategory=RECORD TEST CATEGORY\n"));
    EXPECT_EQ(Load()->Category, added);
    ASSERT_TRUE(WriteWholeFile(DatFile(), "[Options]\nCategory=Nothing like it\n"));
    EXPECT_EQ(Load()->Category, nullptr);
}

TEST_F(RecordTest, DeletingPartFilesKeepsTheRecordFileAndOtherDownloads)
{
    const QStringList own = {"3KQ0GA7B.0", "3KQ0GA7B.262144", "3KQ0GA7B.bak", "3KQ0GA7B.dat.tmp-x1y2z3"};
    const QStringList kept = {"3KQ0GA7B.dat", "3KQ0GA7B", "3KQ0GA7BX.0", "X3KQ0GA7B.0", "OTHER123.0"};
    for (const QString& name : own + kept)
        ASSERT_TRUE(WriteWholeFile(Path(name), "x"));
    ASSERT_TRUE(QDir(Home()).mkdir("3KQ0GA7B.folder"));
    auto record = Load();
    record->DeletePartFiles();
    QStringList left = QDir(Home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    left.removeAll("registry.db");
    left.removeIf([](const QString& n) { return n.startsWith("registry.db-"); });
    QStringList expected = kept + QStringList{"3KQ0GA7B.folder"};
    expected.sort();
    left.sort();
    EXPECT_EQ(left, expected);

    EXPECT_TRUE(record->DeleteDatFile());
    EXPECT_FALSE(QFile::exists(DatFile()));
    EXPECT_FALSE(record->DeleteDatFile());
}

TEST_F(RecordTest, ARecordWithoutNameTouchesNoFile)
{
    ASSERT_TRUE(WriteWholeFile(Path("plain"), "x"));
    ASSERT_TRUE(Write(Setting::PartialDownloadsDirectory, Path("plain/sub")));
    TLocalDownloadinfo record(std::make_unique<TUrl>("http://example.org/a.zip"));
    EXPECT_EQ(record.TempFileName(), "");
    EXPECT_FALSE(record.SaveToDatFile());
    record.DeletePartFiles();
    EXPECT_FALSE(record.DeleteDatFile());
    EXPECT_FALSE(QFile::exists(".dat"));
    EXPECT_TRUE(QFile::exists(Path("plain")));
}

namespace {
// Runs the rewriter once; the content it leaves.
QByteArray WrittenVersion(const QString& mode, const QString& path, int version)
{
    QProcess writer;
    writer.start(RECORDS_REWRITER, {mode, path, QString::number(version)});
    EXPECT_TRUE(writer.waitForFinished(60'000));
    EXPECT_EQ(writer.exitCode(), 0);
    return ReadWholeFile(mode == "record" ? path + ".dat" : path);
}

void ExpectKillsLeaveOldOrNew(const QString& mode, const QString& path, const QString& scratch, int maxDelayUs)
{
    const QString file = mode == "record" ? path + ".dat" : path;
    const QByteArray second = WrittenVersion(mode, scratch, 1);
    const QByteArray first = WrittenVersion(mode, path, 0);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_NE(first, second);
    int seen[2] = {0, 0};
    for (int round = 0; round < 60; ++round) {
        QProcess writer;
        writer.start(RECORDS_REWRITER, {mode, path, "loop"});
        ASSERT_TRUE(writer.waitForReadyRead(30'000)) << "the writer never began";
        std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(1000, maxDelayUs)));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished());
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << "the writer stopped on its own";
        const QByteArray now = ReadWholeFile(file);
        ASSERT_TRUE(now == first || now == second) << mode.toStdString() << " round " << round << ": " << now.size();
        ++seen[now == second];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0) << "the kills must land while the writer rewrites";
}
}

TEST_F(RecordTest, AKilledSaveLeavesTheOldOrTheNewRecordFile)
{
    ExpectKillsLeaveOldOrNew("record", Base(), Path("SCRATCH1"), 120'000);
    EXPECT_EQ(ModeOf(DatFile()), 0600u);
}

TEST_F(RecordTest, AKilledSaveLeavesTheOldOrTheNewCategoriesFile)
{
    ExpectKillsLeaveOldOrNew("categories", Path("cat.dat"), Path("scratch.dat"), 200'000);
}
