#pragma once
#include "tests/support/ServerProcess.h"

#include <QTemporaryDir>

struct NginxOptions {
    qint64 limitRate = 0; // bytes per second per connection; 0 = unlimited
    bool tls = false; // https with TestCertificates::Shared()
    // Where every request is logged as "<request line> <status> <bytes sent>"; none
    // logs nothing.
    QString accessLog {};
};

// nginx serving a folder on a free loopback port, with its own temporary config,
// logs and temp folders; stopped by pid when the object goes. The same files under
// "norange/" are served without range support (always 200).
class NginxFixture {
public:
    bool Start(const QString& root, const NginxOptions& options = {});
    void Stop() { process.Stop(); }
    quint16 Port() const { return port; }
    // "http://127.0.0.1:<port>/<path>" (https with tls).
    QString Url(const QString& path) const;
    // The bytes nginx sent for requests whose line contains path, from the access log
    // (the requests still running not counted until they end).
    qint64 BytesSent(const QString& path) const;
    // Requests of the access log whose line contains path.
    int Requests(const QString& path) const;
    // Why Start failed, with nginx's log.
    const QString& Error() const { return error; }

private:
    QTemporaryDir dir;
    ServerProcess process;
    quint16 port = 0;
    bool tls = false;
    QString accessLog {};
    QString error;
};
