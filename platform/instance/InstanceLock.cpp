#include "platform/instance/InstanceLock.h"

#include "platform/base/Guard.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TInstanceLock::TResult TInstanceLock::Acquire(const QString& path)
{
    TResult result = Failed;
    Guarded("function TInstanceLock.Acquire(Path: string): TResult", [&] {
        Release();
        error.clear();
        const int file = open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (file < 0) {
            error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
            return;
        }
        int locked;
        do
            locked = flock(file, LOCK_EX | LOCK_NB);
        while (locked != 0 && errno == EINTR);
        if (locked == 0) {
            fd = file;
            result = Acquired;
            return;
        }
        const int reason = errno;
        close(file);
        if (reason == EWOULDBLOCK) {
            result = HeldElsewhere;
            return;
        }
        error = QStringLiteral("cannot lock %1: %2").arg(path, QString::fromLocal8Bit(strerror(reason)));
    });
    return result;
}

void TInstanceLock::Release()
{
    if (fd < 0)
        return;
    close(fd); // closing the only descriptor of the open file drops the flock
    fd = -1;
}
