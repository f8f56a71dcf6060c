#include "platform/ini/AtomicFile.h"

#include "platform/base/Guard.h"

#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool WriteAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool SyncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The mode the file has now, or newFileMode when there is none; false when an
// existing file must not be written.
bool TargetMode(const QByteArray& path, unsigned newFileMode, mode_t& mode)
{
    struct stat status {};
    if (::stat(path.constData(), &status) != 0) {
        mode = mode_t(newFileMode);
        return errno == ENOENT;
    }
    mode = status.st_mode & 07777;
    return S_ISREG(status.st_mode) && ::access(path.constData(), W_OK) == 0;
}
}

bool WriteFileAtomically(const QString& path, const QByteArray& content, unsigned newFileMode)
{
    bool done = false;
    Guarded("function WriteFileAtomically(Path: string): boolean", [&] {
        const QByteArray target = QFile::encodeName(path);
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        mode_t mode = 0;
        if (!TargetMode(target, newFileMode, mode))
            return;
        QByteArray temporary = target + ".tmp-XXXXXX";
        const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0)
            return;
        const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, content.constData(), content.size()) &&
                             ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed || ::rename(temporary.constData(), target.constData()) != 0) {
            ::unlink(temporary.constData());
            return;
        }
        done = SyncFolder(folder);
    });
    return done;
}
