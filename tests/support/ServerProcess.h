#pragma once
#include <QString>
#include <QStringList>
#include <sys/types.h>
#include <vector>

// A TCP port on 127.0.0.1 that nobody listens on right now (bound once and released).
quint16 FreeLoopbackPort();
// Polls until something accepts connections on 127.0.0.1:port; false after timeoutMs.
bool WaitForPort(quint16 port, int timeoutMs = 10000);

// program and arguments as execv takes them, pointing into words (which must outlive
// them), ended by a null pointer.
std::vector<char*> ExecArguments(const QString& program, const QStringList& arguments, std::vector<QByteArray>& words);

// A server program run by a test: started with its output in a log file, killed with
// the test process if that dies (so a crashed test leaves nothing running), and
// otherwise stopped by pid when the object goes.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { Stop(); }

    // Starts program (a path or a name on PATH) with stdout and stderr into logFile.
    bool Start(const QString& program, const QStringList& arguments, const QString& logFile);
    // Waits until the process accepts on port; false when it ends first or after timeoutMs.
    bool WaitForPort(quint16 port, int timeoutMs = 10000);
    // SIGTERM, SIGKILL after a grace period; reaps the process.
    void Stop();
    bool Running();
    pid_t Pid() const { return pid; }
    // The log so far, for failure messages.
    QString Log() const;

private:
    pid_t pid = -1;
    QString logFile;
};
