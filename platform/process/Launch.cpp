#include "platform/process/Launch.h"

#include "platform/base/Guard.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {
bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The program: quotes group, backslashes are plain characters.
QString ReadProgram(const QString& text, qsizetype& at)
{
    QString program;
    bool quoted = false;
    for (; at < text.size() && (quoted || !IsBlank(text[at])); ++at) {
        if (text[at] == u'"')
            quoted = !quoted;
        else
            program += text[at];
    }
    return program;
}

QString ReadArgument(const QString& text, qsizetype& at)
{
    QString argument;
    bool quoted = false;
    while (at < text.size() && (quoted || !IsBlank(text[at]))) {
        const QChar c = text[at];
        if (c == u'\\') {
            qsizetype backslashes = 0;
            while (at < text.size() && text[at] == u'\\')
                ++backslashes, ++at;
            const bool beforeQuote = at < text.size() && text[at] == u'"';
            argument += QString(beforeQuote ? backslashes / 2 : backslashes, u'\\');
            if (beforeQuote && backslashes % 2 == 1) {
                argument += u'"';
                ++at;
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && at + 1 < text.size() && text[at + 1] == u'"') {
                argument += u'"';
                at += 2;
                continue;
            }
            quoted = !quoted;
            ++at;
            continue;
        }
        argument += c;
        ++at;
    }
    return argument;
}

QString FindProgram(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (!name.contains(u'/'))
        return QStandardPaths::findExecutable(name);
    const QFileInfo file(name);
    return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
}

// Runs the shell that puts the program in the background and ends at once; we reap
// the shell, and the program, orphaned, is reparented away from us.
bool SpawnThroughBackgroundShell(const std::vector<QByteArray>& arguments)
{
    std::vector<char*> argv;
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t shell = 0;
    const int error = posix_spawn(&shell, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return false;
    int status = 0;
    while (waitpid(shell, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList arguments;
    Guarded("function SplitCommandLine(CommandLine: string): TStringList", [&] {
        qsizetype at = 0;
        auto skipBlanks = [&] {
            while (at < commandLine.size() && IsBlank(commandLine[at]))
                ++at;
        };
        skipBlanks();
        if (at == commandLine.size())
            return;
        arguments << ReadProgram(commandLine, at);
        for (skipBlanks(); at < commandLine.size(); skipBlanks())
            arguments << ReadArgument(commandLine, at);
    });
    return arguments;
}

bool StartDetached(const QStringList& arguments)
{
    bool started = false;
    Guarded("function StartDetached(Arguments: TStringList): boolean", [&] {
        const QString program = arguments.isEmpty() ? QString() : FindProgram(arguments.first());
        if (program.isEmpty())
            return;
        for (const QString& argument : arguments)
            if (argument.contains(QChar(0)))
                return; // would be cut short on its way to the program
        // "$0" "$@" hands the arguments over untouched: the shell interprets none of them.
        std::vector<QByteArray> shell{"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null &", QFile::encodeName(program)};
        for (qsizetype i = 1; i < arguments.size(); ++i)
            shell.push_back(arguments[i].toLocal8Bit());
        started = SpawnThroughBackgroundShell(shell);
    });
    return started;
}

bool ExecuteCommandLine(const QString& commandLine)
{
    return StartDetached(SplitCommandLine(commandLine));
}

bool Callbrowser(const QString& url)
{
    return StartDetached({"xdg-open", url});
}
