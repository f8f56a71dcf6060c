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

// The mode the file has now, or newFileMode when there is none (exists then says so);
// false when an existing file must not be written.
bool TargetMode(const QByteArray& path, unsigned newFileMode, mode_t& mode, bool& exists)
{
    struct stat status {};
    exists = ::stat(path.constData(), &status) == 0;
    if (!exists) {
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
        bool exists = false;
        if (!TargetMode(target, newFileMode, mode, exists))
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
        // The rename of a new file is made durable before it is reported; one that
        // replaces a file is atomic already (the new content was synced before it),
        // and the folder's next journal commit makes it durable: a record saved on
        // every change of its download would sync its folder a dozen times.
        done = exists || SyncFolder(folder);
    });
    return done;
}
