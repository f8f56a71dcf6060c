#pragma once
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TempHome.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

// What one run of the corvane binary gave.
struct CorvaneResult {
    int status = -1; // the exit status; -1 when it did not end (or crashed)
    QString out, err;
};

// Tests of `corvane get` and `corvane list` through the real binary, in a CORVANE_HOME
// of their own, against nginx (files under Path("www")) and the scriptable server.
class GetTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs corvane to its end while this process's servers keep answering.
    CorvaneResult Corvane(const QStringList& arguments, int timeoutMs = 60000);
    // Starts corvane and leaves it running; its stdout and stderr stay readable.
    std::unique_ptr<QProcess> Start(const QStringList& arguments);
    // Waits until the process has printed text on stdout (kept in seen) or has ended.
    bool WaitForOutput(QProcess& process, const QString& text, QString& seen, int timeoutMs = 30000);
    CorvaneResult Finish(QProcess& process, int timeoutMs = 60000);

    // Starts nginx on Path("www") with an access log, each connection at most
    // bytesPerSecond fast (0: unlimited).
    void StartNginx(qint64 bytesPerSecond = 0);
    // A file of size bytes, differing from position to position, put under Path("www").
    QByteArray Serve(const QString& name, qint64 size);
    // The partial-downloads folder's files: name and size.
    QStringList PartFiles() const;

    NginxFixture nginx;
    HttpTestServer server;
};

// The lines of a run's stdout containing text.
QStringList LinesWith(const QString& output, const QString& text);
