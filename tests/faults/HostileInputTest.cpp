// Hostile text from outside: URLs that would smuggle a header line, hide another host
// or name an impossible port, file names that would leave the download folder or be
// no name at all, and record files damaged on disk. (Hand-over messages are the
// instance layer's own tests.)
#include "engine/CombineParts.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/coordination/SystemHarness.h"
#include "tests/faults/FaultHarness.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
class HostileUrls : public ServedFaultTest {};

class HostileNames : public DownloadSystemTest {};
}

TEST_F(HostileUrls, ReachOnlyTheHostAndPortTheyNameAndCarryNoLineOfTheirOwn)
{
    const QString port = QString::number(server.Port());
    const struct {
        const char* Name;
        QString Url;
        TOutcome Outcome;
    } cases[] = {
        {"a header smuggled into the path", "http://127.0.0.1:" + port + "/fi\r\nX-Injected: 1\r\nle.bin",
         TOutcome::Identical},
        {"a header smuggled into the user name", "http://us\r\nX-Injected: 1:pw@127.0.0.1:" + port + "/file.bin",
         TOutcome::Identical},
        {"a header smuggled into the host", "http://127.0.0.1\r\nHost: 127.0.0.1:" + port + "/file.bin", TOutcome::Failed},
        {"NUL and DEL in the query", "http://127.0.0.1:" + port + "/file.bin?a=" + QChar(0) + "b" + QChar(0x7f) + "c",
         TOutcome::Identical},
        {"another host behind a #", "http://127.0.0.2:" + port + "#@127.0.0.1:" + port + "/file.bin", TOutcome::Failed},
        {"%2F in the host", "http://127.0.0.1%2F.invalid:" + port + "/file.bin", TOutcome::Failed},
        {"a port past 65535 that wraps onto the server",
         "http://127.0.0.1:" + QString::number(server.Port() + 65536) + "/file.bin", TOutcome::Failed},
        {"a port of twenty digits", "http://127.0.0.1:99999999999999999999/file.bin", TOutcome::Failed},
        {"a negative port", "http://127.0.0.1:-" + port + "/file.bin", TOutcome::Failed},
        {"port 0", "http://127.0.0.1:0/file.bin", TOutcome::Failed},
        {"a port with letters", "http://127.0.0.1:" + port + "x/file.bin", TOutcome::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const qsizetype before = server.Requests().size();
        EXPECT_EQ(Download(c.Url), c.Outcome);
        if (c.Outcome == TOutcome::Failed) {
            EXPECT_EQ(server.Requests().size(), before) << "nothing reached the server";
        }
        for (qsizetype i = before; i < server.Requests().size(); ++i) {
            const QByteArray& request = server.Requests()[i];
            EXPECT_EQ(request.count("\r\n"), 6) << request.constData();
            EXPECT_FALSE(request.contains('\0') || request.contains('\x7f')) << request.constData();
        }
        DownloaderTest::Finish();
    }
}

TEST_F(HostileNames, TheChosenFileNameIsAValidNameInsideTheFolder)
{
    Write(Setting::ShowSaveDialog, false);
    Write(Setting::MaxSimultaneousDownloads, 0); // nothing runs: only the names count
    Create();
    const QString unknown = StatusTexts().Unknown;
    const QString longStem = QString(300, 'x');
    const QString wideStem = QString(200, QChar(0xe9)); // two bytes each in UTF-8
    const struct {
        const char* Name;
        QString Url;
        QString Expected; // empty: any valid name
    } cases[] = {
        {"..", "http://127.0.0.1:9/dir/..", unknown},
        {".", "http://127.0.0.1:9/dir/.", unknown + "(1)"},
        {"encoded slashes", "http://127.0.0.1:9/..%2F..%2Fetc%2Fpasswd", "..%2F..%2Fetc%2Fpasswd"},
        {"a NUL", QStringLiteral("http://127.0.0.1:9/a") + QChar(0) + "b.bin", "a%00b.bin"},
        {"a leading dash", "http://127.0.0.1:9/-rf", "-rf"},
        {"over 255 bytes", "http://127.0.0.1:9/" + longStem + ".tar.gz", {}},
        {"over 255 bytes again", "http://127.0.0.1:9/" + longStem + ".tar.gz", {}},
        {"over 255 bytes of two-byte characters", "http://127.0.0.1:9/" + wideStem + ".iso", {}},
    };
    QStringList chosen;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString localFileName = Add(c.Url)->LocalFileName;
        const QFileInfo info(localFileName);
        const QString name = info.fileName();
        EXPECT_EQ(QDir::cleanPath(info.absolutePath()), QDir::cleanPath(Path("dl"))) << localFileName.toStdString();
        EXPECT_FALSE(name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains(QChar(0)));
        EXPECT_LE(QFile::encodeName(name).size(), 255) << name.toStdString();
        EXPECT_FALSE(name.contains(QChar::ReplacementCharacter)) << "no character cut in half";
        EXPECT_FALSE(chosen.contains(localFileName)) << "every download its own name";
        if (!c.Expected.isEmpty()) {
            EXPECT_EQ(name, c.Expected);
        } else {
            EXPECT_TRUE(name.endsWith(QFileInfo(c.Url).suffix())) << "the extension stays";
        }
        EXPECT_TRUE(WriteWholeFile(localFileName, "a file can have this name")) << localFileName.toStdString();
        chosen << localFileName;
    }
}

TEST_F(HostileNames, DamagedRecordFilesLoadAndResumeIntoTheFileOrAFailure)
{
    const QByteArray file = Content(40'000);
    Serve({{"file.bin", file}});
    const QByteArray url = server.Url("file.bin").toUtf8();
    const QByteArray target = Path("dl/file.bin").toUtf8();
    const struct {
        const char* Name;
        QByteArray Record;
        bool Completes; // else a failure status, and no target file
    } cases[] = {
        {"cut off in a line", "[Options]\r\nURL=" + url + "\r\nLocalFileName=" + target + "\r\nFileSize=40", false},
        {"NUL bytes", "[Options]\r\nURL=" + url + "\r\nLocalFileName=" + target + QByteArray("\r\nFileSize=\0\0\r\n", 15), true},
        {"huge numbers",
         "[Options]\r\nURL=" + url + "\r\nLocalFileName=" + target + "\r\nFileSize=99999999999999999999\r\nNumOfParts=99999999999\r\n",
         true},
        {"the largest size there is",
         "[Options]\r\nURL=" + url + "\r\nLocalFileName=" + target + "\r\nFileSize=9223372036854775807\r\nNumOfParts=4\r\n",
         false},
        {"negative numbers", "[Options]\r\nURL=" + url + "\r\nLocalFileName=" + target + "\r\nFileSize=-40000\r\nNumOfParts=-4\r\n",
         true},
        {"no URL", "[Options]\r\nLocalFileName=" + target + "\r\nFileSize=40000\r\n", false},
        {"a URL of NUL bytes", "[Options]\r\nURL=" + QByteArray(8, '\0') + "\r\nLocalFileName=" + target + "\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(Path("dl/file.bin"));
        QDir(Path("Partial Downloads")).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Path("Partial Downloads")));
        ASSERT_TRUE(WriteWholeFile(Path("Partial Downloads/DAMAGED0.dat"), c.Record));
        // An earlier run's parts, cut where no fresh split of the file would cut.
        for (const qint64 start : {0, 15'000})
            ASSERT_TRUE(WriteWholeFile(Path("Partial Downloads/DAMAGED0.") + QString::number(start), file.mid(start, 5000)));
        Create();
        ASSERT_EQ(system->Records().Count(), 1);
        TLocalDownloadinfo* record = system->Records().Get(0);
        system->AddDownload(record, true);
        ASSERT_TRUE(WaitFor([&] { return record->StateCode == pdsDone || record->StateCode == pdsError; }));
        if (c.Completes) {
            ASSERT_TRUE(WaitForStatus(record, StatusTexts().Done));
            EXPECT_TRUE(ReadWholeFile(Path("dl/file.bin")) == file);
            // The join removes ".0" after it reports: not from under the next case.
            EXPECT_TRUE(WaitFor([] { return TCombineParts::RunningThreads() == 0; }));
        } else {
            EXPECT_EQ(record->StateCode, pdsError) << record->Status().toStdString();
            EXPECT_FALSE(QFile::exists(Path("dl/file.bin")));
            for (const qint64 start : {0, 15'000})
                EXPECT_TRUE(ReadWholeFile(Path("Partial Downloads/DAMAGED0.") + QString::number(start)) == file.mid(start, 5000))
                    << "part " << start << " kept as it was";
        }
        system->RemoveDownload(record);
        system.reset();
    }
}
