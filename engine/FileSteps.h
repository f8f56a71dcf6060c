#pragma once
#include <QtGlobal>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// The POSIX steps the part joiner is made of. Failures come back as errno values
// (0 = done), so the joiner can say which file and why.

// An open file descriptor, closed when it goes.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : Fd(fd) {}
    TFileHandle(TFileHandle&& other) noexcept : Fd(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    ~TFileHandle();

    // O_CLOEXEC is added. Check IsOpen(); errno tells why not.
    static TFileHandle Open(const std::string& path, int flags, mode_t mode = 0);
    bool IsOpen() const { return Fd >= 0; }
    int Get() const { return Fd; }
    int Release();
    // 0 or the errno of close.
    int Close();

private:
    int Fd = -1;
};

// The size of a regular file; -1 with errno set when there is none (EISDIR for a folder).
qint64 RegularFileSize(const std::string& path);
// Makes a rename, link or unlink in the folder durable.
int SyncFolder(const std::string& folder);
// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);
// The mode a new file gets from the process's umask: 0666 less the umask.
mode_t NewFileMode();
// Unlinks; a file that is not there counts as done.
int RemoveFile(const std::string& path);

// Writes all of count bytes at offset; 0 or the errno.
int WriteAll(int fd, const char* bytes, size_t count, qint64 offset);

struct TCopyError {
    int Error = 0;        // 0: copied
    bool Reading = false; // the source failed (or ended early: ENODATA), not the destination
};

// Copies length bytes from source at sourceOffset to destination at
// destinationOffset: copy_file_range (which shares extents where the file system can),
// falling back to reads and writes through buffer where it is refused (EXDEV,
// EOPNOTSUPP, ENOSYS, EINVAL) or copies nothing before the end. step(bytes) runs after
// each piece of at most chunkBytes; when it returns false the copy stops with
// ECANCELED.
TCopyError CopyRange(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length,
                     qint64 chunkBytes, std::vector<char>& buffer, const std::function<bool(qint64)>& step);
