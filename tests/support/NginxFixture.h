#pragma once
#include "tests/support/ServerProcess.h"

#include <QTemporaryDir>

struct NginxOptions {
    qint64 limitRate = 0; // bytes per second per connection; 0 = unlimited
    bool tls = false; // https with TestCertificates::Shared()
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
    // Why Start failed, with nginx's log.
    const QString& Error() const { return error; }

private:
    QTemporaryDir dir;
    ServerProcess process;
    quint16 port = 0;
    bool tls = false;
    QString error;
};
