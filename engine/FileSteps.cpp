#include "engine/FileSteps.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        Fd = other.Release();
    }
    return *this;
}

TFileHandle::~TFileHandle()
{
    Close();
}

TFileHandle TFileHandle::Open(const std::string& path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return TFileHandle(fd);
}

int TFileHandle::Release()
{
    return std::exchange(Fd, -1);
}

int TFileHandle::Close()
{
    const int fd = Release();
    if (fd < 0)
        return 0;
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

qint64 RegularFileSize(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    return info.st_size;
}

int SyncFolder(const std::string& folder)
{
    TFileHandle handle = TFileHandle::Open(folder, O_RDONLY | O_DIRECTORY);
    if (!handle.IsOpen())
        return errno;
    if (::fsync(handle.Get()) != 0)
        return errno;
    return handle.Close();
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {
// /proc tells the umask without changing it; umask() itself can only be read by
// setting it, which a file created meanwhile by another thread would feel.
bool UmaskFromProc(mode_t& mask)
{
    FILE* status = std::fopen("/proc/self/status", "re");
    if (!status)
        return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = mode_t(value);
            found = true;
        }
    }
    std::fclose(status);
    return found;
}
}

mode_t NewFileMode()
{
    mode_t mask = 0;
    if (!UmaskFromProc(mask)) {
        mask = ::umask(022);
        ::umask(mask);
    }
    return 0666 & ~mask;
}

int RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
}

namespace {
bool CopyFileRangeRefused(int error)
{
    return error == EXDEV || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}
}

int WriteAll(int fd, const char* bytes, size_t count, qint64 offset)
{
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, bytes, count, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        bytes += written;
        count -= size_t(written);
        offset += written;
    }
    return 0;
}

TCopyError CopyRange(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length,
                     qint64 chunkBytes, std::vector<char>& buffer, const std::function<bool(qint64)>& step)
{
    bool shareExtents = true;
    while (length > 0) {
        const qint64 want = std::min(length, std::max<qint64>(chunkBytes, 1));
        ssize_t copied = 0;
        if (shareExtents) {
            loff_t in = sourceOffset, out = destinationOffset;
            copied = ::copy_file_range(source, &in, destination, &out, size_t(want), 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && !CopyFileRangeRefused(errno))
                return {errno, false};
            if (copied <= 0) {
                // Refused, or nothing before the end: reads and writes find out which.
                shareExtents = false;
                continue;
            }
        } else {
            copied = ::pread(source, buffer.data(), size_t(std::min<qint64>(want, qint64(buffer.size()))),
                             off_t(sourceOffset));
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0)
                return {errno, true};
            if (copied == 0)
                return {ENODATA, true};
            if (const int error = WriteAll(destination, buffer.data(), size_t(copied), destinationOffset))
                return {error, false};
        }
        sourceOffset += copied;
        destinationOffset += copied;
        length -= copied;
        if (step && !step(copied))
            return {ECANCELED, false};
    }
    return {};
}
