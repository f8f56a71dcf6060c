#include "platform/registry/Registry.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using HiveFileTest = TempHomeTest;

namespace {
constexpr const char* Options = "Software\\Corvane\\Options";

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

QStringList FilesStartingWith(const QString& home, const QString& prefix)
{
    return QDir(home).entryList({prefix + "*"}, QDir::Files);
}

void UseHome(const QString& home)
{
    setenv("CORVANE_HOME", home.toLocal8Bit().constData(), 1);
}

// Lets go of this process's connection (closing it folds the WAL into the file).
void ReleaseHive(const QString& home)
{
    UseHome(home + "/nowhere");
    TRegistry().KeyExists("x");
    UseHome(home);
}

void FillOptions(int count)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Options, true));
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(reg.WriteString("value" + std::to_string(i), std::string(100, 'v')));
}

std::string ValueName(const char* prefix, int i)
{
    return prefix + std::to_string(i);
}
}

TEST_F(HiveFileTest, ADamagedHiveIsKeptAsideAndAFreshOneUsed)
{
    const struct {
        const char* name;
        std::function<void(const QString& home, const QString& hive)> damage;
    } cases[] = {
        {"garbage bytes", [](const QString&, const QString& hive) {
             ASSERT_TRUE(WriteWholeFile(hive, QByteArray("this is no hive\n").repeated(512)));
         }},
        {"damaged pages", [](const QString& home, const QString& hive) {
             FillOptions(300);
             ReleaseHive(home);
             QFile file(hive);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_GT(file.size(), 3 * 4096);
             file.seek(4096);
             file.write(QByteArray(int(file.size() - 4096), '\xAB'));
         }},
        {"a database of something else", [](const QString&, const QString& hive) {
             sqlite3* db = nullptr;
             ASSERT_EQ(sqlite3_open(hive.toLocal8Bit().constData(), &db), SQLITE_OK);
             sqlite3_exec(db, "CREATE TABLE keys(x); CREATE TABLE vals(y)", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        QTemporaryDir home(Home() + "/case-XXXXXX");
        const QString hive = home.path() + "/registry.db";
        UseHome(home.path());
        row.damage(home.path(), hive);
        const QByteArray damaged = ReadWholeFile(hive);
        ASSERT_FALSE(damaged.isEmpty());

        testing::internal::CaptureStderr();
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(Options));
        ASSERT_TRUE(reg.OpenKey(Options, true));
        EXPECT_TRUE(reg.WriteInteger("SplitParts", 6));
        EXPECT_EQ(reg.ReadInteger("SplitParts"), 6);
        ReleaseHive(home.path());
        EXPECT_TRUE(TRegistry().KeyExists(Options)) << "the fresh hive holds what was written";
        const std::string err = testing::internal::GetCapturedStderr();

        const QStringList kept = FilesStartingWith(home.path(), "registry.db.unreadable-");
        ASSERT_EQ(kept.size(), 1) << err;
        EXPECT_EQ(ReadWholeFile(home.path() + "/" + kept[0]), damaged) << "kept as it was";
        EXPECT_EQ(Occurrences(err, "could not be read"), 1) << err;
        EXPECT_EQ(Occurrences(err, kept[0].toStdString()), 1) << err;
        ReleaseHive(home.path());
    }
}

TEST_F(HiveFileTest, WithoutAnyUsableHiveReadsFindNothingAndWritesFail)
{
    ASSERT_TRUE(WriteWholeFile(Path("file"), "a regular file"));
    ASSERT_TRUE(QDir(Home()).mkpath("folder/registry.db"));
    for (const char* home : {"file", "folder"}) {
        SCOPED_TRACE(home);
        UseHome(Path(home));
        testing::internal::CaptureStderr();
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(Options));
        EXPECT_FALSE(reg.OpenKey(Options, true));
        EXPECT_FALSE(reg.CreateKey(Options));
        EXPECT_FALSE(reg.WriteString("Path", "x"));
        EXPECT_FALSE(reg.ReadString("Path"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Occurrences(err, "cannot open the settings hive"), 1) << err;
    }
    EXPECT_TRUE(QFileInfo(Path("folder/registry.db")).isDir()) << "nothing was moved or deleted";
}

TEST_F(HiveFileTest, TheHiveIsOwnerOnlyAndStaysSo)
{
    const mode_t previous = umask(0);
    FillOptions(3);
    umask(previous);
    EXPECT_EQ(ModeOf(Path("registry.db")), 0600u);
    EXPECT_EQ(ModeOf(Path("registry.db-wal")), 0600u);

    ReleaseHive(Home());
    ASSERT_EQ(chmod(Path("registry.db").toLocal8Bit().constData(), 0644), 0);
    FillOptions(3);
    EXPECT_EQ(ModeOf(Path("registry.db")), 0600u);
    EXPECT_EQ(ModeOf(Path("registry.db-wal")), 0600u);
}

TEST_F(HiveFileTest, ProcessesWritingAtOnceLoseNoWrite)
{
    constexpr int PerProcess = 150;
    const char* prefixes[] = {"first", "second"};
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Options, true));  // the children inherit an open connection
    std::vector<pid_t> children;
    for (const char* prefix : prefixes) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TRegistry mine;
            int failures = mine.OpenKey(Options, true) ? 0 : 1000;
            for (int i = 0; i < PerProcess; ++i) {
                failures += !mine.WriteInteger(ValueName(prefix, i), i);
                if (i % 10 == 0)  // both children create the same keys
                    failures += !TRegistry().CreateKey(ValueName("Software\\Corvane\\Shared\\k", i));
            }
            _exit(failures ? 1 : 0);
        }
        children.push_back(pid);
    }
    for (int i = 0; i < PerProcess; ++i)
        EXPECT_TRUE(reg.WriteInteger(ValueName("parent", i), i));
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    for (const char* prefix : {"first", "second", "parent"})
        for (int i = 0; i < PerProcess; ++i)
            ASSERT_EQ(reg.ReadInteger(ValueName(prefix, i)), i) << prefix << i;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Corvane\\Shared"));
    EXPECT_EQ(reg.GetKeyNames().size(), size_t(PerProcess / 10));
}

TEST_F(HiveFileTest, AWriterKilledMidWayLeavesEveryFinishedWrite)
{
    FillOptions(1);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TRegistry mine;
        if (!mine.OpenKey(Options, true))
            _exit(1);
        for (int i = 1;; ++i)
            if (!mine.WriteInteger(ValueName("n", i), i) || !mine.WriteInteger("last", i))
                _exit(2);
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(Options));
    while (reg.ReadInteger("last").value_or(0) < 200) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the writer ended early";
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    testing::internal::CaptureStderr();
    ReleaseHive(Home());
    ASSERT_TRUE(reg.OpenKeyReadOnly(Options));
    const int last = reg.ReadInteger("last").value_or(0);
    EXPECT_GE(last, 200);
    for (int i = 1; i <= last; ++i)
        ASSERT_EQ(reg.ReadInteger(ValueName("n", i)), i);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the hive opened cleanly";
    EXPECT_TRUE(FilesStartingWith(Home(), "registry.db.unreadable").isEmpty());
}

TEST_F(HiveFileTest, AHiveMovedAwayBehindTheConnectionIsNotWrittenToAnyMore)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Options, true));
    ASSERT_TRUE(reg.WriteString("before", "old hive"));
    for (const char* suffix : {"", "-wal", "-shm"})
        ASSERT_TRUE(QFile::rename(Path(QString("registry.db") + suffix), Path(QString("moved.db") + suffix)));

    // Another process starts the new hive and holds it open, its writes still in the WAL.
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TRegistry mine;
        const bool ok = mine.OpenKey(Options, true) && mine.WriteString("child", "new hive");
        char byte = ok ? 1 : 0;
        (void)!write(ready[1], &byte, 1);
        (void)!read(done[0], &byte, 1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);

    EXPECT_EQ(TRegistry().ReadValueAt(Options, "child")->AsString(), "new hive");
    EXPECT_FALSE(TRegistry().ReadValueAt(Options, "before"));
    EXPECT_TRUE(reg.WriteString("after", "x"));
    EXPECT_FALSE(reg.ReadString("before")) << "the open key now means the new hive's";
    (void)!write(done[1], &byte, 1);
    waitpid(pid, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
    EXPECT_EQ(TRegistry().ReadValueAt(Options, "child")->AsString(), "new hive");

    ReleaseHive(Home());
    sqlite3* moved = nullptr;
    ASSERT_EQ(sqlite3_open(Path("moved.db").toLocal8Bit().constData(), &moved), SQLITE_OK);
    int rc;
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(moved, "SELECT count(*) FROM vals WHERE name = 'before'", -1, &statement, nullptr), SQLITE_OK);
    rc = sqlite3_step(statement);
    EXPECT_EQ(rc, SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 1) << "the moved hive keeps what it held";
    sqlite3_finalize(statement);
    sqlite3_close(moved);
}
