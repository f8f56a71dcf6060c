#pragma once
#include <QtGlobal>

// Moves received bytes from a socket into a file without passing them through our
// memory: splice(2) from the socket into a pipe (the kernel hands over references to
// the received pages) and from the pipe into the file at a given offset. The pipe is
// made on first use and kept; it holds bytes only between the two halves of a move.
class TSplicePipe {
public:
    TSplicePipe() = default;
    ~TSplicePipe();
    TSplicePipe(const TSplicePipe&) = delete;
    TSplicePipe& operator=(const TSplicePipe&) = delete;

    // FromSocket's results besides a byte count.
    static constexpr qint64 Nothing = 0;   // nothing to read yet
    static constexpr qint64 Ended = -1;    // the peer closed (or reset) the connection
    static constexpr qint64 Refused = -2;  // splice cannot be used here: read the usual way

    // Moves at most maxBytes (and at most Capacity()) from the socket into the pipe.
    qint64 FromSocket(int socket, qint64 maxBytes);
    // Moves what the pipe holds into file at offset: the bytes written, which is less
    // than Held() before when the file refused some (errno tells why).
    qint64 ToFile(int file, qint64 offset);
    // Reads what the pipe still holds into buffer (at most size bytes): for a file that
    // refused them, so they still reach it the usual way. -1 when they cannot be read
    // (they are lost then, and the pipe is dropped).
    qint64 TakeBack(char* buffer, qint64 size);
    // Bytes in the pipe.
    qint64 Held() const { return held; }
    // Empties the pipe (by making a new one when it is used next).
    void Discard();
    qint64 Capacity() const { return capacity; }

    // The pipe asked for: fewer wake-ups and system calls than the default 64 KiB.
    static constexpr int WantedCapacity = 1 << 20;

private:
    bool Open();
    void Close();

    int readEnd = -1, writeEnd = -1;
    qint64 capacity = 0;
    qint64 held = 0;
    bool broken = false; // the pipe could not be made: never try again
};
