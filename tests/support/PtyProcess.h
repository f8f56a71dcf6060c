#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// A program run on a pseudo-terminal of a given size, as on a user's terminal: its
// stdin, stdout and stderr are the terminal, and everything it writes arrives (with
// the terminal's own CR before each LF) in Output(). Killed when the object goes.
class PtyProcess {
public:
    PtyProcess() = default;
    PtyProcess(const PtyProcess&) = delete;
    PtyProcess& operator=(const PtyProcess&) = delete;
    ~PtyProcess();

    bool Start(const QString& program, const QStringList& arguments, int columns = 80, int rows = 24);
    // Takes in what the program has written since, without waiting.
    const QByteArray& Read();
    const QByteArray& Output() const { return output; }
    // Types input on the terminal.
    void Write(const QByteArray& input);
    // The program has ended (its last output read); ExitCode() is then valid.
    bool Finished();
    int ExitCode() const { return exitCode; }
    pid_t Pid() const { return pid; }

private:
    pid_t pid = -1;
    int master = -1;
    int exitCode = -1;
    QByteArray output;
};
