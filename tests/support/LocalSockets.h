#pragma once
#include <QByteArray>
#include <QString>

// Raw AF_UNIX stream sockets, for tests that play a peer the program would not be.

// A connected socket, or -1 with errno set.
int ConnectLocal(const QString& path);
// A socket listening on path, or -1.
int ListenLocal(const QString& path);
// Sends bytes (as many as the peer takes), shuts the sending side when asked, then
// reads until the peer closes (at most 10 s) and returns what came back. Closes fd.
QByteArray ExchangeLocal(int fd, const QByteArray& bytes, bool shutWrite = false);
// True when the peer has closed fd (reads end of stream; waits at most timeoutMs).
bool PeerClosed(int fd, int timeoutMs = 10000);
// Leaves a socket file at path that nobody listens on, as a killed server does.
bool MakeStaleSocket(const QString& path);
