#include "tests/support/ServerProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool WaitForPort(quint16 port, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

std::vector<char*> ExecArguments(const QString& program, const QStringList& arguments, std::vector<QByteArray>& words)
{
    words = {program.toLocal8Bit()};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

bool ServerProcess::Start(const QString& program, const QStringList& arguments, const QString& log)
{
    Stop();
    logFile = log;
    std::vector<QByteArray> texts;
    std::vector<char*> argv = ExecArguments(program, arguments, texts);
    const QByteArray logPath = log.toLocal8Bit();
    const pid_t parent = getpid();

    pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int out = open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        const int none = open("/dev/null", O_RDONLY);
        if (none >= 0)
            dup2(none, 0);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return true;
}

bool ServerProcess::WaitForPort(quint16 port, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (!Running())
            return false;
        if (::WaitForPort(port, 200))
            return true;
    }
    return false;
}

bool ServerProcess::Running()
{
    if (pid <= 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return false;
    }
    return true;
}

void ServerProcess::Stop()
{
    if (!Running())
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 250; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        QThread::msleep(20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

QString ServerProcess::Log() const
{
    QFile file(logFile);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}
