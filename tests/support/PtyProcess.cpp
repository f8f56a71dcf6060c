#include "tests/support/PtyProcess.h"

#include "tests/support/ServerProcess.h"

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

PtyProcess::~PtyProcess()
{
    if (pid > 0 && exitCode < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (master >= 0)
        close(master);
}

bool PtyProcess::Start(const QString& program, const QStringList& arguments, int columns, int rows)
{
    std::vector<QByteArray> words;
    std::vector<char*> argv = ExecArguments(program, arguments, words);
    winsize size {};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0)
        return false;
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

const QByteArray& PtyProcess::Read()
{
    char buffer[4096];
    ssize_t got;
    while (master >= 0 && (got = read(master, buffer, sizeof buffer)) > 0)
        output.append(buffer, got);
    return output;
}

void PtyProcess::Write(const QByteArray& input)
{
    if (master >= 0)
        [[maybe_unused]] const ssize_t written = write(master, input.constData(), size_t(input.size()));
}

bool PtyProcess::Finished()
{
    Read();
    if (exitCode >= 0)
        return true;
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, WNOHANG) != pid)
        return false;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    Read(); // what was still in the terminal
    return true;
}
