#include "platform/process/Launch.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(SplitCommandLine, FollowsTheWindowsRules)
{
    const std::pair<QString, QStringList> cases[] = {
        {"prog a b", {"prog", "a", "b"}},
        {"  prog \t a   b  ", {"prog", "a", "b"}},
        {"\"/opt/my apps/corvane\" http://a/b", {"/opt/my apps/corvane", "http://a/b"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"\"", {"prog", ""}},
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},
        {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
        {R"(prog a\\"b c")", {"prog", R"(a\b c)"}},
        {R"(prog a\\b c\)", {"prog", R"(a\\b)", R"(c\)"}},
        {R"(prog \"quoted\")", {"prog", "\"quoted\""}},
        {R"("C:\dir\"x y)", {R"(C:\dir\x)", "y"}},
        {"prog \"unterminated arg", {"prog", "unterminated arg"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& [line, arguments] : cases)
        EXPECT_EQ(SplitCommandLine(line), arguments) << line.toStdString();
}

namespace {
class LaunchTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        // Writes its arguments, its pid and its session to the file named first.
        ASSERT_TRUE(WriteWholeFile(script, "#!/bin/sh\n"
                                           "out=$1; shift\n"
                                           "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"
                                           "  echo \"pid $$\"; echo \"sid $(cut -d' ' -f6 /proc/$$/stat)\"\n"
                                           "} > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n"
                                           "exec sleep 30\n"));
        ASSERT_TRUE(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
    }
    void TearDown() override
    {
        for (const QString& line : Lines())
            if (line.startsWith("pid "))
                kill(line.mid(4).toInt(), SIGKILL);
        TempHomeTest::TearDown();
    }
    QStringList Lines() const
    {
        return QString::fromUtf8(ReadWholeFile(output)).split('\n', Qt::SkipEmptyParts);
    }
    bool WaitForOutput() const
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(output) && timer.elapsed() < 10000)
            QThread::msleep(10);
        return QFile::exists(output);
    }

    QString script = Path("argv.sh");
    QString output = Path("argv.out");
};
}

TEST_F(LaunchTest, StartsTheProgramDetachedWithItsArguments)
{
    QElapsedTimer call;
    call.start();
    ASSERT_TRUE(ExecuteCommandLine("\"" + script + "\" \"" + output + "\" \"two words\" $HOME;rm a\\\"b"));
    EXPECT_LT(call.elapsed(), 5000) << "it must not wait for the program";
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the program is not our child, so it cannot become our zombie";
    ASSERT_TRUE(WaitForOutput());
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"two words", "$HOME;rm", "a\"b"})) << "no shell interpreted them";
    EXPECT_NE(lines[4], "sid " + QString::number(getsid(0))) << "a session of its own";
}

TEST_F(LaunchTest, CallbrowserHandsTheUrlToTheDesktopsOpener)
{
    // Our xdg-open stands first on PATH.
    ASSERT_TRUE(WriteWholeFile(Path("xdg-open"), "#!/bin/sh\nexec \"" + script.toUtf8() + "\" \"" +
                                                     output.toUtf8() + "\" \"$@\"\n"));
    ASSERT_TRUE(QFile::setPermissions(Path("xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", Home().toUtf8() + ":" + path);
    const QString url = "http://example.org/a b?x=1&y=\"$(touch " + Path("pwned") + ")\"";
    const bool started = Callbrowser(url);
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitForOutput());
    EXPECT_EQ(Lines().first(), url);
    EXPECT_FALSE(QFile::exists(Path("pwned")));
}

TEST_F(LaunchTest, NothingToStartIsAFailure)
{
    EXPECT_FALSE(ExecuteCommandLine(""));
    EXPECT_FALSE(ExecuteCommandLine("no-such-program-here --flag"));
    EXPECT_FALSE(ExecuteCommandLine("\"" + Path("missing") + "\""));
    EXPECT_FALSE(StartDetached({script, output, QString("nul") + QChar(0) + "inside"}));
    EXPECT_FALSE(QFile::exists(output));
}
