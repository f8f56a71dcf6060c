#pragma once
#include "engine/FtpClient.h"
#include "tests/support/EventLoop.h"

#include <QByteArray>
#include <functional>
#include <memory>
#include <vector>

// Runs the event loop for ms, to let late events show.
void RunEvents(int ms);
// Bytes that differ at every position, so a misplaced block shows.
QByteArray Pattern(qint64 size, quint32 seed = 1);

// A client on a loopback server that records what it reports.
struct FtpProbe {
    explicit FtpProbe(quint16 port, const QString& user = "user", const QString& password = "secret");

    // Starts a request and runs the event loop until it is done: its error, -1 when it
    // did not start, -2 when it did not end. The event must not come inside the call.
    int Run(bool (TFtpClient::*request)());
    // Connect, TypeSet and Cwd, each expected to succeed.
    bool Login();

    std::unique_ptr<TFtpClient> client = std::make_unique<TFtpClient>();
    std::vector<std::pair<TFtpRequest, int>> done;
    std::vector<qint64> progress;
    std::vector<TFtpState> states;
};
