// corvane get and corvane list through the binary: arguments, the queue, retries,
// errors that fail at once, credentials, folders, and the list of downloads.
#include "platform/registry/Registry.h"
#include "records/Settings.h"
#include "tests/app/GetHarness.h"
#include "tests/support/FtpFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
// The lines of output that mention name, in order.
int LineIndex(const QStringList& lines, const QString& text)
{
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(text))
            return i;
    }
    return -1;
}
}

TEST_F(GetTest, RefusesBadArgumentsWithStatusTwo)
{
    const QString url = "http://127.0.0.1:1/f.bin";
    struct Case { QStringList arguments; const char* message; } cases[] = {
        {{"get"}, "no URL given"},
        {{"get", "--fast", url}, "unknown option --fast"},
        {{"get", "-d", Path("a"), "-o", Path("b"), url}, "-d and -o cannot be used together"},
        {{"get", "-o", Path("b"), url, url + "2"}, "-o saves one URL"},
        {{"get", "-o", Path("www"), url}, "-o names a file, not a folder"},
        {{"get", "-n", "0", url}, "-n takes a number of parts from 1 to 20, not 0"},
        {{"get", "-n", "21", url}, "-n takes a number of parts from 1 to 20, not 21"},
        {{"get", "-n", "four", url}, "not four"},
        {{"get", url, "-n"}, "-n needs a value"},
        {{"get", "file:///etc/passwd"}, "not an http, https or ftp URL: file:///etc/passwd"},
        {{"get", "www.example.org/f.zip"}, "not an http, https or ftp URL"},
        {{"list", "extra"}, "usage: corvane list"},
    };
    for (const Case& c : cases) {
        const CorvaneResult result = Corvane(c.arguments);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("Partial Downloads"))) << "nothing was filed";
    const CorvaneResult help = Corvane({"get", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("usage: corvane get [-d DIR | -o FILE]")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("\n  -n PARTS  ")) << "one option a line";
}

TEST_F(GetTest, RunsTwoAtATimeAndTheThirdWaitsInTheQueue)
{
    Write(Setting::MaxSimultaneousDownloads, 2);
    StartNginx(1'000'000);
    const QByteArray a = Serve("a.bin", 900'000), b = Serve("b.bin", 1'200'000), c = Serve("c.bin", 300'000);
    const CorvaneResult result = Corvane({"get", "-n", "3", nginx.Url("a.bin"), nginx.Url("b.bin"), nginx.Url("c.bin")});
    ASSERT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("Downloads/a.bin")), a);
    EXPECT_EQ(ReadWholeFile(Path("Downloads/b.bin")), b);
    EXPECT_EQ(ReadWholeFile(Path("Downloads/c.bin")), c);
    EXPECT_TRUE(result.out.endsWith("3 of 3 downloads done\n")) << result.out.toStdString();

    const QStringList lines = result.out.split('\n');
    const int queued = LineIndex(lines, "c.bin: Queued");
    const int cStarts = LineIndex(lines, "c.bin: Contacting host");
    const int firstJoin = std::min(LineIndex(lines, "a.bin: Combining files"), LineIndex(lines, "b.bin: Combining files"));
    ASSERT_GE(queued, 0) << result.out.toStdString();
    EXPECT_LT(queued, LineIndex(lines, "a.bin: Downloading"));
    EXPECT_GT(cStarts, firstJoin) << "the queued download starts once one of the two is joining";
    EXPECT_EQ(LinesWith(result.out, "a.bin: Downloading"), QStringList{"a.bin: Downloading, 879 kB in 3 parts"});
    EXPECT_EQ(Read(Setting::SplitParts), 4) << "-n is for these downloads only";
}

TEST_F(GetTest, RetriesServerErrorsAndGivesUpAfterRetryTimes)
{
    Write(Setting::RetryTimes, 2);
    const QByteArray file = QByteArray(50'000, 'f');
    int flakyRequests = 0, brokenRequests = 0;
    server.Handler = [&](const QByteArray& request) {
        if (request.startsWith("GET /broken.bin ")) {
            ++brokenRequests;
            return HttpTestAnswer::Status(503, "Service Unavailable");
        }
        if (++flakyRequests <= 2)
            return HttpTestAnswer::Status(500, "Internal Server Error");
        return HttpTestAnswer::Partial(file, RequestedRangeStart(request));
    };
    const CorvaneResult result = Corvane({"get", "-d", Path("out"), server.Url("flaky.bin"), server.Url("broken.bin")});
    EXPECT_EQ(result.status, 1) << result.out.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("out/flaky.bin")), file);
    EXPECT_EQ(brokenRequests, 3) << "the first try and RetryTimes retries";
    EXPECT_EQ(LinesWith(result.err, "flaky.bin"),
              (QStringList{"flaky.bin: Internal Server Error; retry 1 of 2 in 1 s",
                           "flaky.bin: Internal Server Error; retry 2 of 2 in 1 s"}));
    EXPECT_EQ(LinesWith(result.err, "broken.bin: failed"), QStringList{"broken.bin: failed: Service Unavailable"});
    EXPECT_TRUE(result.out.endsWith("1 of 2 downloads done, 1 failed\n")) << result.out.toStdString();
}

TEST_F(GetTest, MissingFilesFailAtOnceOverHttpAndFtp)
{
    Write(Setting::RetryTimes, 10);
    FtpFixture ftp;
    ASSERT_TRUE(ftp.Start());
    const QByteArray file = QByteArray(70'000, 'x');
    ftp.AddFile("pub/here.bin", file);
    const QString ftpUrl = QStringLiteral("ftp://127.0.0.1:%1/pub/").arg(ftp.Port());
    const CorvaneResult result = Corvane({"get", "-d", Path("out"), server.Url("gone.bin"), ftpUrl + "gone.bin",
                                          ftpUrl + "here.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(server.Requests().size(), 1);
    QStringList failed = LinesWith(result.err, "failed");
    failed.sort();
    EXPECT_EQ(failed, (QStringList{"gone(1).bin: failed: File not found", "gone.bin: failed: File not found"}))
        << result.err.toStdString();
    EXPECT_TRUE(LinesWith(result.err, "retry").isEmpty()) << result.err.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("out/here.bin")), file);
}

TEST_F(GetTest, CredentialsOfTheUrlAreTriedOnceAndListMasksThem)
{
    const QByteArray file = QByteArray(40'000, 'v');
    QStringList requests;
    server.Handler = [&](const QByteArray& request) {
        const bool good = request.contains("\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n");
        requests.append(good ? "good" : request.contains("\r\nAuthorization: ") ? "bad" : "none");
        if (!good)
            return HttpTestAnswer::Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"vault\"\r\n");
        return HttpTestAnswer::Partial(file, RequestedRangeStart(request));
    };
    const QString withUser = server.Url("v.bin").replace("http://", "http://user:secret@");
    struct Case { QString url; int status; QStringList requests; QString failure; } cases[] = {
        // The first request goes without; those of the URL follow once.
        {withUser, 0, {"none", "good"}, {}},
        {server.Url("w.bin").replace("http://", "http://user:wrong@"), 1, {"none", "bad"}, "w.bin: failed: Couldn't login\n"},
        // Nobody to ask: no retry.
        {server.Url("n.bin"), 1, {"none"}, "n.bin: failed: Couldn't login\n"},
    };
    for (const Case& c : cases) {
        requests.clear();
        const CorvaneResult result = Corvane({"get", "-d", Path("out"), c.url});
        EXPECT_EQ(result.status, c.status) << c.url.toStdString();
        EXPECT_EQ(requests, c.requests) << c.url.toStdString();
        EXPECT_EQ(result.err, c.failure);
        EXPECT_FALSE(result.out.contains("secret") || result.out.contains("wrong")) << result.out.toStdString();
    }
    EXPECT_EQ(ReadWholeFile(Path("out/v.bin")), file);

    const CorvaneResult listed = Corvane({"list"});
    EXPECT_EQ(listed.status, 0);
    const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << listed.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("STATUS  SIZE ")) << lines[0].toStdString();
    EXPECT_EQ(LinesWith(listed.out, "/v.bin"),
              QStringList{QStringLiteral("Done    39 kB    39 kB (100%)  %1  %2")
                              .arg(Path("out/v.bin"), QString(withUser).replace(":secret@", ":****@"))});
    EXPECT_FALSE(listed.out.contains("secret") || listed.out.contains("wrong")) << listed.out.toStdString();
    EXPECT_EQ(LinesWith(listed.out, "user:****@").size(), 2);
}

TEST_F(GetTest, MissingFolderIsMadeAndOneThatCannotBeKeepsTheParts)
{
    StartNginx(400'000);
    const QByteArray file = Serve("f.bin", 2'000'000);
    const CorvaneResult made = Corvane({"get", "-q", "-d", Path("new/deeper"), nginx.Url("f.bin")});
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out, "1 of 1 downloads done\n") << "-q prints only the summary";
    EXPECT_EQ(ReadWholeFile(Path("new/deeper/f.bin")), file);

    // A download begun into a folder that is then replaced by a file.
    const std::unique_ptr<QProcess> first = Start({"get", "-d", Path("target"), nginx.Url("f.bin")});
    QString seen;
    ASSERT_TRUE(WaitForOutput(*first, "f.bin: Downloading", seen)) << seen.toStdString();
    first->terminate();
    ASSERT_EQ(Finish(*first).status, 130);
    const QStringList parts = PartFiles();
    ASSERT_GT(parts.size(), 2) << "part files and the record";
    ASSERT_TRUE(QDir(Path("target")).removeRecursively());
    ASSERT_TRUE(WriteWholeFile(Path("target"), "a file"));

    for (const QString& target : {Path("target"), Path("target/below")}) {
        const CorvaneResult refused = Corvane({"get", "-d", target, nginx.Url("f.bin")});
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.err.startsWith("cannot save into " + target + ": ")) << refused.err.toStdString();
        EXPECT_EQ(PartFiles(), parts);
    }
    const CorvaneResult file_o = Corvane({"get", "-o", Path("target/x.bin"), nginx.Url("f.bin")});
    EXPECT_EQ(file_o.status, 1);
    EXPECT_EQ(PartFiles(), parts);
}

TEST_F(GetTest, StartInstallsTheShippedFilesAndSpeaksTheChosenLanguage)
{
    Write(Setting::CurrentLanguage, "Deutsch");
    Write(Setting::TranslationFile, "Deutsch.cvt");
    const CorvaneResult result = Corvane({"get", "-d", Path("out"), server.Url("gone.bin")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "gone.bin: failed: Datei nicht gefunden\n") << "a translated status still fails at once";
    EXPECT_TRUE(QFile::exists(Path("Translations/Deutsch.cvt")));
    EXPECT_TRUE(QFile::exists(Path("mirrors.lst")));
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly("Software\\Corvane"));
    EXPECT_EQ(registry.ReadString("Path").value_or(""), CORVANE_BIN_DIR "/corvane");
}

TEST_F(GetTest, NoMirrorsFetchesFromTheUrlOnly)
{
    StartNginx(1'000'000);
    const QByteArray file = Serve("pub/f.bin", 1'500'000);
    int mirrorRequests = 0;
    server.Handler = [&](const QByteArray& request) {
        ++mirrorRequests;
        return HttpTestAnswer::Partial(file, RequestedRangeStart(request));
    };
    ASSERT_TRUE(WriteWholeFile(Path("mirrors.lst"), QStringLiteral("main,here,1,%1\nother,there,1,%2\n")
                                                         .arg(nginx.Url("pub/"), server.Url("pub/"))
                                                         .toUtf8()));
    const CorvaneResult alone = Corvane({"get", "--no-mirrors", "-d", Path("alone"), nginx.Url("pub/f.bin")});
    EXPECT_EQ(alone.status, 0) << alone.err.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("alone/f.bin")), file);
    EXPECT_EQ(mirrorRequests, 0);
    const CorvaneResult mirrored = Corvane({"get", "-d", Path("mirrored"), nginx.Url("pub/f.bin")});
    EXPECT_EQ(mirrored.status, 0) << mirrored.err.toStdString();
    EXPECT_EQ(ReadWholeFile(Path("mirrored/f.bin")), file);
    EXPECT_GT(mirrorRequests, 0) << "the mirror list is tried without --no-mirrors";
}
