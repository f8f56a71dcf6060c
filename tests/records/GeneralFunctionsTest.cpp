#include "records/GeneralFunctions.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>
#include <stdexcept>

TEST(TimeStrings, SecondsToTimeStringAndBack)
{
    const struct {
        qint64 Seconds;
        const char* Text;
    } cases[] = {
        {0, "00:00:00"}, {59, "00:00:59"}, {3725, "01:02:05"}, {86399, "23:59:59"},
        {360000, "100:00:00"}, {362439, "100:40:39"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SecondsToTimeString(c.Seconds), c.Text);
        EXPECT_EQ(TimeStringToSeconds(QString::fromLatin1(c.Text)), c.Seconds) << c.Text;
    }
    EXPECT_EQ(SecondsToTimeString(-1), "Number out of range");
}

TEST(TimeStrings, TextsThatAreNoTimeGiveZero)
{
    for (const char* text : {"N/A", "", " ", "1x:00:00", "01:0x:00", "01:00:5", "::", "ab:cd:ef"})
        EXPECT_EQ(TimeStringToSeconds(QString::fromLatin1(text)), 0) << '"' << text << '"';
}

TEST(PresentableBytes, ThresholdsAreStrictAndRounding)
{
    QLocale::setDefault(QLocale::c());
    const struct {
        qint64 Bytes;
        const char* Text;
    } cases[] = {
        {0, "0 B"}, {1024, "1024 B"}, {1025, "1 kB"}, {1536, "2 kB"}, {1048576, "1024 kB"},
        {1048577, "1.00 MB"}, {3145728, "3.00 MB"}, {1073741824, "1024.00 MB"},
        {1073741825, "1.00 GB"}, {5368709120LL, "5.00 GB"}, {5000LL << 30, "5000.00 GB"}, {-1, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BytesToPresentableString(c.Bytes), c.Text) << c.Bytes;
}

TEST(PresentableBytes, DecimalsFollowTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(BytesToPresentableString(3145728), "3,00 MB");
    EXPECT_EQ(BytesToPresentableString(5000LL << 30), "5000,00 GB");
    QLocale::setDefault(QLocale::c());
}

TEST(SmallHelpers, TextHelpers)
{
    EXPECT_EQ(DecodeSpaces(QStringLiteral("my%20file%20.zip")), "my file .zip");
    EXPECT_EQ(PadNumber(7, 3), "007");
    EXPECT_EQ(PadNumber(1234, 2), "1234");
    EXPECT_EQ(PadNumber(0, 2), "00");
    EXPECT_EQ(WithTrailingBackslash(QStringLiteral("/tmp")), "/tmp/");
    EXPECT_EQ(WithTrailingBackslash(QStringLiteral("/tmp/")), "/tmp/");
}

TEST(SmallHelpers, PartFileNames)
{
    const struct {
        const char* Name;
        bool Part;
    } cases[] = {
        {"ABCD1234.0", true}, {"ABCD1234.1048576", true}, {"ABCD1234.", true}, {"ABCD1234.dat", false},
        {"ABCD1234.0.bak", false}, {"ABCD1234", false}, {"ABCD1234.1a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPartFileName(QString::fromLatin1(c.Name)), c.Part) << c.Name;
}

TEST(RandomNames, OnlyDigitsAndLettersUpToY)
{
    const QString text = GenerateRandomAlphaNums(5000);
    EXPECT_EQ(text.size(), 5000);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-Y]+$")).match(text).hasMatch());
    EXPECT_TRUE(text.contains(QLatin1Char('Y')));
    EXPECT_NE(GenerateRandomAlphaNums(8), GenerateRandomAlphaNums(8)) << "two calls in one clock tick differ";
}

class FileHelpers : public TempHomeTest {};

TEST_F(FileHelpers, TempFileNamesAreFreshAndCreateTheFolder)
{
    const QString folder = Path("Partial Downloads/deeper");
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString name = GetTempFileName(folder);
        ASSERT_TRUE(name.startsWith(folder + "/")) << name.toStdString();
        const QString base = name.mid(folder.size() + 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-Y]{8}$")).match(base).hasMatch()) << base.toStdString();
        EXPECT_FALSE(seen.contains(name));
        seen.insert(name);
        ASSERT_TRUE(WriteWholeFile(name + ".dat", "x"));
    }
    EXPECT_TRUE(QDir(folder).exists());
}

TEST_F(FileHelpers, TempFileNameSkipsNamesTakenWithAnyExtension)
{
    for (const char* taken : {"AAAAAAAA.dat", "BBBBBBBB", "CCCCCCCC.1048576", "eeeeeeee.0"})
        ASSERT_TRUE(WriteWholeFile(Path(taken), "x"));
    ASSERT_TRUE(WriteWholeFile(Path("DDDDDDDDX.0"), "x"));
    QStringList draws{"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "EEEEEEEE", "DDDDDDDD"};
    EXPECT_EQ(GetTempFileName(Home(), [&] { return draws.takeFirst(); }), Path("DDDDDDDD"));
    EXPECT_TRUE(draws.isEmpty());
}

TEST_F(FileHelpers, TempFileNameThroughARegularFileIsEmpty)
{
    ASSERT_TRUE(WriteWholeFile(Path("file"), "x"));
    EXPECT_EQ(GetTempFileName(Path("file/sub")), "");
}

TEST_F(FileHelpers, UniqueFileNameSkipsExistingFilesAndNamesInUse)
{
    const QString path = Path("a.tar.gz");
    EXPECT_EQ(GetUniqueFileName(path), path);
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    EXPECT_EQ(GetUniqueFileName(path), Path("a.tar(1).gz"));
    ASSERT_TRUE(WriteWholeFile(Path("a.tar(1).gz"), "x"));
    EXPECT_EQ(GetUniqueFileName(path), Path("a.tar(2).gz"));

    // A queued download already owns the name although no file exists yet.
    const QString queued = Path("queued.zip");
    const auto inUse = [&](const QString& name) { return name.compare(queued, Qt::CaseInsensitive) == 0; };
    EXPECT_EQ(GetUniqueFileName(Path("QUEUED.zip"), inUse), Path("QUEUED(1).zip"));
    EXPECT_EQ(GetUniqueFileName(Path("other.zip"), inUse), Path("other.zip"));

    ASSERT_TRUE(QDir().mkpath(Path("v1.2")));
    ASSERT_TRUE(WriteWholeFile(Path("v1.2/readme"), "x"));
    EXPECT_EQ(GetUniqueFileName(Path("v1.2/readme")), Path("v1.2/readme(1)"));
}

TEST_F(FileHelpers, FileSizeOfLargeFilesAndMissingOnes)
{
    QFile file(Path("big"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const qint64 size = (5LL << 30) + 3; // sparse, past 4 GiB
    ASSERT_TRUE(file.resize(size));
    file.close();
    EXPECT_EQ(FileSizeOf(Path("big")), size);
    EXPECT_THROW(FileSizeOf(Path("missing")), std::runtime_error);
}

TEST_F(FileHelpers, CopyFileIfAbsentKeepsAnExistingDestination)
{
    ASSERT_TRUE(WriteWholeFile(Path("src"), "new"));
    EXPECT_TRUE(CopyFileIfAbsent(Path("src"), Path("dst")));
    EXPECT_EQ(ReadWholeFile(Path("dst")), "new");
    ASSERT_TRUE(WriteWholeFile(Path("dst"), "mine"));
    EXPECT_FALSE(CopyFileIfAbsent(Path("src"), Path("dst")));
    EXPECT_EQ(ReadWholeFile(Path("dst")), "mine");
    EXPECT_FALSE(CopyFileIfAbsent(Path("missing"), Path("other")));
}

TEST_F(FileHelpers, SystemTempFolderFollowsTmpdir)
{
    setenv("TMPDIR", Home().toLocal8Bit().constData(), 1);
    EXPECT_EQ(SystemTempFolder(), Home() + "/");
    unsetenv("TMPDIR");
}
