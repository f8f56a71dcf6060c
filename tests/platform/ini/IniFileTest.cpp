#include "platform/ini/AtomicFile.h"
#include "platform/ini/IniFile.h"
#include "tests/platform/ini/IniRewriteValues.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {
class IniFileTest : public TempHomeTest {
protected:
    QString file = Path("3KQ0GA7B.dat");
};

ino_t InodeOf(const QString& path)
{
    struct stat status {};
    stat(QFile::encodeName(path).constData(), &status);
    return status.st_ino;
}

unsigned ModeOf(const QString& path)
{
    struct stat status {};
    stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}
}

TEST_F(IniFileTest, RewritesOnlyTheKeysGiven)
{
    // LF-only lines, comments, odd spacing, another section, unknown keys.
    ASSERT_TRUE(WriteWholeFile(file, "; written by hand\n"
                                     "[options]\n"
                                     "url = http://a/b.zip\n"
                                     "Unknown=keep me  \n"
                                     "status=Paused\n"
                                     "\n"
                                     "[Other]\n"
                                     "Status=other section\n"));
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("OPTIONS", "URL", "-"), "http://a/b.zip");
    EXPECT_EQ(ini.ReadString("Options", "Status", "-"), "Paused");
    EXPECT_EQ(ini.ReadString("Options", "Missing", "default"), "default");
    EXPECT_EQ(ini.ReadString("Nowhere", "URL", "default"), "default");

    ASSERT_TRUE(ini.WriteStrings("Options", {{"Status", "Done"}, {"FileSize", "5000000000"}}));
    ASSERT_TRUE(ini.WriteString("New", "Key", "value"));
    EXPECT_EQ(ReadWholeFile(file), "; written by hand\r\n"
                                   "[options]\r\n"
                                   "url = http://a/b.zip\r\n"
                                   "Unknown=keep me  \r\n"
                                   "Status=Done\r\n"
                                   "FileSize=5000000000\r\n"
                                   "\r\n"
                                   "[Other]\r\n"
                                   "Status=other section\r\n"
                                   "[New]\r\n"
                                   "Key=value\r\n");
    TIniFile again(file);
    EXPECT_EQ(again.ReadString("other", "status", "-"), "other section");
    EXPECT_EQ(again.ReadString("Options", "FileSize", "-"), "5000000000");
}

TEST_F(IniFileTest, CreatesTheFileWithTheSectionInRecordOrder)
{
    TIniFile ini(file);
    ASSERT_TRUE(ini.WriteStrings("Options", {{"URL", "ftp://h/f"}, {"LocalFileName", "/d/f"}, {"Status", ""}}));
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nURL=ftp://h/f\r\nLocalFileName=/d/f\r\nStatus=\r\n");
    EXPECT_TRUE(TIniFile(file).ValueExists("options", "status"));
}

TEST_F(IniFileTest, ValuesReadBackExactlyAsWritten)
{
    const QString values[] = {"",          "plain",        "  leading blanks", "trailing blank ", "\"quoted\"",
                              "'single'",  "\"half",       "a=b=c",            "; not a comment", "[not a section]",
                              "ünïcödé à", "tab\tinside",  "\"", "C:\\Download\\x",
                              QStringLiteral("\uFEFFafter a zero-width no-break space")};
    for (const QString& value : values) {
        ASSERT_TRUE(TIniFile(file).WriteString("Options", "Description", value));
        EXPECT_EQ(TIniFile(file).ReadString("Options", "Description", "-"), value) << value.toStdString();
    }
    // What other programs write by hand reads as they would read it.
    ASSERT_TRUE(WriteWholeFile(file, "[Options]\r\nA =  spaced  \r\nB=\"in quotes\"\r\nC='single'\r\n"));
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Options", "A", "-"), "spaced");
    EXPECT_EQ(ini.ReadString("Options", "B", "-"), "in quotes");
    EXPECT_EQ(ini.ReadString("Options", "C", "-"), "single");
}

TEST_F(IniFileTest, LineBreaksInNamesOrValuesWriteNothing)
{
    const QByteArray before = "[Options]\r\nURL=http://a/b\r\n";
    ASSERT_TRUE(WriteWholeFile(file, before));
    const QString nul(QChar(0));
    const struct {
        QString section, key, value;
    } refused[] = {
        {"Options", "URL", "http://a/b\r\nStatus=Done"},
        {"Options", "URL", "line\nbreak"},
        {"Options", "URL", "nul" + nul + "inside"},
        {"Options", "Key\r\n", "x"},
        {"Options", "a=b", "x"},
        {"Options", "", "x"},
        {"Options", "[Other]", "x"},
        {"Opt]ions", "URL", "x"},
        {"Options\n[Other", "URL", "x"},
    };
    for (const auto& r : refused) {
        // Good keys in the same batch are not written either.
        EXPECT_FALSE(TIniFile(file).WriteStrings(r.section, {{"Status", "Done"}, {r.key, r.value}}));
        EXPECT_EQ(ReadWholeFile(file), before);
    }
    EXPECT_FALSE(TIniFile(Path("new.dat")).WriteString("Options", "URL", "a\rb"));
    EXPECT_FALSE(QFile::exists(Path("new.dat")));
}

TEST_F(IniFileTest, NewFilesAreOwnerOnlyAndRewritesKeepTheMode)
{
    TIniFile ini(file);
    ASSERT_TRUE(ini.WriteString("Options", "URL", "ftp://user:secret@h/f"));
    EXPECT_EQ(ModeOf(file), 0600u);
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0640), 0);
    ASSERT_TRUE(ini.WriteStrings("Options", RewriteValues(1)));
    EXPECT_EQ(ModeOf(file), 0640u);
    EXPECT_EQ(QDir(Home()).entryList(QDir::Files | QDir::Hidden), QStringList{"3KQ0GA7B.dat"})
        << "no temporary file left behind";
}

TEST_F(IniFileTest, UnwritablePlacesFailAndKeepTheOldContent)
{
    ASSERT_TRUE(WriteWholeFile(Path("plain"), "x"));
    EXPECT_FALSE(TIniFile(Path("plain/record.dat")).WriteString("Options", "URL", "u")) << "path through a file";
    ASSERT_TRUE(QDir(Home()).mkdir("folder.dat"));
    EXPECT_FALSE(TIniFile(Path("folder.dat")).WriteString("Options", "URL", "u")) << "a folder in the way";
    EXPECT_FALSE(WriteFileAtomically(Path("folder.dat"), "new"));
    EXPECT_TRUE(QFileInfo(Path("folder.dat")).isDir());
}

TEST_F(IniFileTest, AKilledRewriteLeavesTheOldOrTheNewContent)
{
    ASSERT_TRUE(TIniFile(file).WriteStrings("Options", RewriteValues(0)));
    const QByteArray first = ReadWholeFile(file);
    const QString scratch = Path("scratch.dat");
    ASSERT_TRUE(QFile::copy(file, scratch));
    ASSERT_TRUE(TIniFile(scratch).WriteStrings("Options", RewriteValues(1)));
    const QByteArray second = ReadWholeFile(scratch);
    ASSERT_NE(first, second);

    int seen[2] = {0, 0};
    for (int round = 0; round < 150; ++round) {
        QProcess rewriter;
        rewriter.start(INI_REWRITER, {file});
        ASSERT_TRUE(rewriter.waitForReadyRead(30'000)) << "the rewriter never began";
        std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(500, 20000)));
        rewriter.kill(); // SIGKILL, wherever it is
        ASSERT_TRUE(rewriter.waitForFinished());
        ASSERT_EQ(rewriter.exitStatus(), QProcess::CrashExit) << "the rewriter stopped on its own";
        const QByteArray now = ReadWholeFile(file);
        ASSERT_TRUE(now == first || now == second) << "round " << round << ": " << now.size() << " bytes";
        ++seen[now == second];
        ASSERT_EQ(ModeOf(file), 0600u);
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0) << "the kills must land while the rewriter runs";
}

// The file is replaced only when its bytes change: a record saved again with the same
// values costs no rewrite; lines the writer would end differently still get rewritten.
TEST_F(IniFileTest, ARewriteThatChangesNoByteLeavesTheFileAlone)
{
    ASSERT_TRUE(TIniFile(file).WriteStrings("Options", {{"Status", "Paused"}, {"FileSize", "10"}}));
    const ino_t first = InodeOf(file);
    ASSERT_TRUE(TIniFile(file).WriteStrings("Options", {{"Status", "Paused"}}));
    EXPECT_EQ(InodeOf(file), first);

    ASSERT_TRUE(TIniFile(file).WriteStrings("Options", {{"Status", "Done"}}));
    EXPECT_NE(InodeOf(file), first);
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nStatus=Done\r\nFileSize=10\r\n");

    ASSERT_TRUE(WriteWholeFile(file, "[Options]\nStatus=Done\n"));
    const ino_t handWritten = InodeOf(file);
    ASSERT_TRUE(TIniFile(file).WriteStrings("Options", {{"Status", "Done"}}));
    EXPECT_NE(InodeOf(file), handWritten);
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nStatus=Done\r\n");
}

// One TIniFile kept for many saves (as a download's record is) reads the file again
// only when it is not the one it wrote: edits by others in between survive, whether
// they replace the file or write into it, even with the very values written before.
TEST_F(IniFileTest, AKeptWriterSeesEditsMadeBetweenItsWrites)
{
    TIniFile ini(file);
    const TIniFile::Values values{{"Status", "Paused"}, {"FileSize", "10"}};
    ASSERT_TRUE(ini.WriteStrings("Options", values));

    const QString replacement = Path("replacement");
    ASSERT_TRUE(WriteWholeFile(replacement, "[Options]\r\nStatus=Paused\r\nFileSize=10\r\nNote=replaced\r\n"));
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(file).constData()), 0);
    ASSERT_TRUE(ini.WriteStrings("Options", values));
    EXPECT_EQ(ini.ReadString("Options", "Note", "-"), "replaced");
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nStatus=Paused\r\nFileSize=10\r\nNote=replaced\r\n");

    // Written in place, same inode, at once after the last write.
    QFile inPlace(file);
    ASSERT_TRUE(inPlace.open(QIODevice::ReadWrite | QIODevice::Truncate));
    inPlace.write("[Options]\r\nStatus=Done\r\nFileSize=10\r\nNote=edited\r\n");
    inPlace.close();
    ASSERT_TRUE(ini.WriteStrings("Options", values));
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nStatus=Paused\r\nFileSize=10\r\nNote=edited\r\n");

    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(ini.WriteStrings("Options", {{"Status", "Done"}}));
    EXPECT_EQ(ReadWholeFile(file), "[Options]\r\nStatus=Done\r\n");
}

// A kept writer sets only what changed since its last write; whatever the writes, the
// file ends byte for byte as a fresh writer per write leaves it.
TEST_F(IniFileTest, AKeptWriterLeavesTheFileAsFreshWritersDo)
{
    const QList<TIniFile::Values> writes{
        {{"Status", "Queued"}, {"FileSize", "0"}, {"NumOfParts", "-1"}},
        {{"Status", "Downloading"}, {"FileSize", "0"}, {"NumOfParts", "-1"}},
        {{"Status", "Downloading"}, {"FileSize", "262144"}, {"NumOfParts", "4"}, {"Validators", "1"}},
        {{"FileSize", "262144"}, {"Status", "Done"}},
        {{"Status", "Done"}, {"FileSize", "262144"}},
        {{"A", "1"}, {"a", "2"}},
        {{"A", "5"}, {"a", "2"}},
        {{"Status", "Paused"}},
    };
    const QString fresh = Path("fresh.dat");
    TIniFile kept(file);
    for (const TIniFile::Values& values : writes) {
        ASSERT_TRUE(kept.WriteStrings("Options", values));
        ASSERT_TRUE(TIniFile(fresh).WriteStrings("Options", values));
        ASSERT_EQ(ReadWholeFile(file), ReadWholeFile(fresh)) << "after writing " << values.first().second.toStdString();
    }
    EXPECT_EQ(kept.ReadString("Options", "a", "-"), "2");
}
