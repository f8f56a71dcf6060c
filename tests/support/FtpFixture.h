#pragma once
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A pyftpdlib server on a loopback port the system picks, serving a temporary
// folder. It is stopped by its pid when the fixture goes, and dies with the test
// process if that ends first.
class FtpFixture {
public:
    struct Options {
        QStringList users = {"user:secret"}; // name:password
        bool anonymous = true;
        qint64 bytesPerSecond = 0;          // 0: no limit
        QString masquerade;                 // the address PASV replies name instead of ours
    };

    FtpFixture();
    explicit FtpFixture(Options options);
    ~FtpFixture();

    // Starts the server and waits until it listens; false when it did not come up.
    bool Start();
    void Stop();
    quint16 Port() const { return m_port; }
    QString Root() const { return m_root.path(); }
    // Writes a file into the served folder; returns its path.
    QString AddFile(const QString& name, const QByteArray& content);

private:
    Options m_options;
    QTemporaryDir m_root;
    QProcess m_process;
    quint16 m_port = 0;
};
