#pragma once
#include "tests/support/ServerProcess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A pyftpdlib server on a free loopback port, serving a temporary folder; stopped by
// its pid when the fixture goes, killed with the test process if that ends first.
class FtpFixture {
public:
    struct Options {
        QStringList users = {"user:secret"}; // name:password
        bool anonymous = true;
        qint64 bytesPerSecond = 0;          // 0: no limit
        QString masquerade;                 // the address PASV replies name instead of ours
    };

    FtpFixture() : FtpFixture(Options{}) {}
    explicit FtpFixture(Options options) : m_options(std::move(options)) {}

    // Starts the server and waits until it accepts connections.
    bool Start();
    void Stop() { m_process.Stop(); }
    quint16 Port() const { return m_port; }
    // The served folder; the server's log lies beside it.
    QString Root() const { return m_folder.path() + "/root"; }
    QString Log() const { return m_process.Log(); }
    // Writes a file into the served folder; returns its path.
    QString AddFile(const QString& name, const QByteArray& content);

private:
    Options m_options;
    QTemporaryDir m_folder;
    ServerProcess m_process;
    quint16 m_port = 0;
};
