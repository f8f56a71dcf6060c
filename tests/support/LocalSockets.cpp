#include "tests/support/LocalSockets.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
bool AddressOf(const QString& path, sockaddr_un& address)
{
    const QByteArray name = path.toLocal8Bit();
    address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    memcpy(address.sun_path, name.constData(), name.size());
    return true;
}

int BoundSocket(const QString& path)
{
    sockaddr_un address;
    if (!AddressOf(path, address))
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
}

int ConnectLocal(const QString& path)
{
    sockaddr_un address;
    if (!AddressOf(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
        return fd;
    const int reason = errno;
    close(fd);
    errno = reason;
    return -1;
}

int ListenLocal(const QString& path)
{
    const int fd = BoundSocket(path);
    if (fd >= 0 && listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool PeerClosed(int fd, int timeoutMs)
{
    pollfd ready {fd, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0)
        return false;
    char byte;
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0 || (ready.revents & (POLLHUP | POLLERR)) != 0;
}

QByteArray ExchangeLocal(int fd, const QByteArray& bytes, bool shutWrite)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    if (shutWrite)
        shutdown(fd, SHUT_WR);
    QByteArray reply;
    char block[4096];
    pollfd ready {fd, POLLIN, 0};
    while (poll(&ready, 1, 10000) > 0) {
        const ssize_t n = recv(fd, block, sizeof(block), 0);
        if (n <= 0)
            break;
        reply.append(block, n);
    }
    close(fd);
    return reply;
}

bool MakeStaleSocket(const QString& path)
{
    const int fd = BoundSocket(path);
    if (fd < 0)
        return false;
    close(fd); // the file stays: nobody removes it, nobody accepts on it
    return true;
}
