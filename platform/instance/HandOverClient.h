#pragma once
#include <QByteArrayView>
#include <QString>
#include <functional>

// The later instance's side of the hand-over, in plain blocking calls: it runs at
// start-up, before any event loop exists.

// What one connection attempt to a hand-over socket found.
enum class THandOverSocketState {
    Live, // somebody accepted the connection
    Refused, // the socket file is there but nobody listens on it: stale
    Absent, // no socket file
    Failed, // anything else (no permission, path too long for a socket, ...)
};
THandOverSocketState ProbeHandOverSocket(const QString& path);

// How long a later instance tries to reach the first one ("waits to own the mutex").
struct THandOverWait {
    int TimeoutMs = 5000;
    int RetryMs = 50;
    // Waits between attempts; empty sleeps. Tests step the test clock instead.
    std::function<void(int ms)> Pause;
};

struct THandOverResult {
    // A connection was made (the wait for the first instance succeeded).
    bool Connected = false;
    // The first instance's answer; 0 when the message could not be sent or the
    // connection ended without an answer.
    qint64 Reply = 0;
};

// Connects to the hand-over socket, retrying until it accepts or wait.TimeoutMs
// have passed on the program clock, sends the text and waits for the reply (without
// a time-out: the first instance answers or drops every connection itself). A text
// too long for one message is not sent (no connection is made). Never removes the
// socket file.
THandOverResult SendHandOver(const QString& path, QByteArrayView text, quint64 data = 0, const THandOverWait& wait = {});
