#pragma once
#include "tests/support/ServerProcess.h"

#include <QTemporaryDir>

// tinyproxy on a free loopback port with its own temporary config, optionally
// demanding Basic proxy authentication; stopped by pid when the object goes.
class TinyproxyFixture {
public:
    // With a user, only requests carrying that user and password are let through.
    bool Start(const QString& user = {}, const QString& password = {});
    void Stop() { process.Stop(); }
    quint16 Port() const { return port; }
    const QString& Error() const { return error; }
    // tinyproxy's log (connections and refusals), for checks and failure messages.
    QString Log() const;

private:
    QTemporaryDir dir;
    ServerProcess process;
    quint16 port = 0;
    QString error;
};
