#include "platform/net/SplicePipe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TSplicePipe::~TSplicePipe()
{
    Close();
}

bool TSplicePipe::Open()
{
    if (readEnd >= 0)
        return true;
    if (broken)
        return false;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        broken = true;
        return false;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    // A larger pipe is only a wish: the per-user pipe budget may say no.
    ::fcntl(writeEnd, F_SETPIPE_SZ, WantedCapacity);
    const int size = ::fcntl(writeEnd, F_GETPIPE_SZ);
    capacity = size > 0 ? size : 64 * 1024;
    held = 0;
    return true;
}

void TSplicePipe::Close()
{
    if (readEnd >= 0)
        ::close(readEnd);
    if (writeEnd >= 0)
        ::close(writeEnd);
    readEnd = writeEnd = -1;
    held = 0;
}

void TSplicePipe::Discard()
{
    if (held > 0)
        Close();
}

qint64 TSplicePipe::FromSocket(int socket, qint64 maxBytes)
{
    if (held > 0 || maxBytes <= 0 || !Open())
        return Refused;
    const size_t want = size_t(qMin(maxBytes, capacity));
    for (;;) {
        const ssize_t moved = ::splice(socket, nullptr, writeEnd, nullptr, want, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (moved > 0) {
            held = moved;
            return moved;
        }
        if (moved == 0)
            return Ended;
        switch (errno) {
        case EINTR:
            continue;
        case EAGAIN:
            return Nothing;
        case ECONNRESET:
            return Ended;
        default:
            return Refused; // EINVAL and the like: this socket or kernel cannot
        }
    }
}

qint64 TSplicePipe::ToFile(int file, qint64 offset)
{
    qint64 written = 0;
    while (held > 0) {
        loff_t at = offset + written;
        const ssize_t moved = ::splice(readEnd, nullptr, file, &at, size_t(held), SPLICE_F_MOVE);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0) {
            if (moved == 0)
                errno = EIO;
            break;
        }
        written += moved;
        held -= moved;
    }
    return written;
}

qint64 TSplicePipe::TakeBack(char* buffer, qint64 size)
{
    if (held <= 0 || readEnd < 0)
        return 0;
    for (;;) {
        const ssize_t taken = ::read(readEnd, buffer, size_t(qMin(size, held)));
        if (taken < 0 && errno == EINTR)
            continue;
        if (taken <= 0) {
            Close(); // the next request gets a new pipe
            return -1;
        }
        held -= taken;
        return taken;
    }
}
