#include "platform/instance/HandOverClient.h"

#include "platform/base/Clock.h"
#include "platform/base/Guard.h"
#include "platform/instance/HandOverMessage.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd(fd) {}
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    ~TDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

// A connected stream socket, or -1 with errno set.
int ConnectTo(const QString& path)
{
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof(address.sun_path))) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(address.sun_path, name.constData(), name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int connected;
    do
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    while (connected != 0 && errno == EINTR);
    if (connected == 0)
        return fd;
    const int reason = errno;
    close(fd);
    errno = reason;
    return -1;
}

THandOverSocketState StateOf(int fd, int reason)
{
    if (fd >= 0)
        return THandOverSocketState::Live;
    if (reason == ECONNREFUSED)
        return THandOverSocketState::Refused;
    if (reason == ENOENT)
        return THandOverSocketState::Absent;
    return THandOverSocketState::Failed;
}

bool SendAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.constData() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

qint64 ReceiveReply(int fd)
{
    QByteArray bytes;
    char block[HandOverReplySize];
    while (bytes.size() < HandOverReplySize) {
        const ssize_t n = recv(fd, block, HandOverReplySize - bytes.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        bytes.append(block, n);
    }
    return DecodeHandOverReply(bytes).value_or(0);
}

void Pause(const THandOverWait& wait)
{
    if (wait.Pause)
        wait.Pause(wait.RetryMs);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(wait.RetryMs));
}
}

THandOverSocketState ProbeHandOverSocket(const QString& path)
{
    THandOverSocketState state = THandOverSocketState::Failed;
    Guarded("function ProbeHandOverSocket(Path: string): THandOverSocketState", [&] {
        const TDescriptor socket(ConnectTo(path));
        state = StateOf(socket.fd, errno);
    });
    return state;
}

THandOverResult SendHandOver(const QString& path, QByteArrayView text, quint64 data, const THandOverWait& wait)
{
    THandOverResult result;
    Guarded("function SendHandOver(Path, Text: string; Data: NativeUInt): THandOverResult", [&] {
        if (!FitsHandOver(text)) {
            LogError("function SendHandOver(Path, Text: string; Data: NativeUInt): THandOverResult", "text too long to hand over");
            return;
        }
        const uint32_t start = GetTickCount();
        int fd;
        while ((fd = ConnectTo(path)) < 0) {
            if (GetTickCount() - start >= uint32_t(wait.TimeoutMs))
                return;
            Pause(wait);
        }
        const TDescriptor socket(fd);
        result.Connected = true;
        if (SendAll(socket.fd, EncodeHandOver(data, text)))
            result.Reply = ReceiveReply(socket.fd);
    });
    return result;
}
