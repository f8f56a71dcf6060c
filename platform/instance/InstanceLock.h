#pragma once
#include <QString>

// Stands for the named mutex's existence: the first instance holds an exclusive
// flock on the lock file for its life. The kernel drops the lock when the holder
// ends in any way (also SIGKILL), and the descriptor is close-on-exec, so programs
// the instance starts never inherit it.
class TInstanceLock {
public:
    enum TResult { Acquired, HeldElsewhere, Failed };

    TInstanceLock() = default;
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;
    ~TInstanceLock() { Release(); }

    // Creates the file owner-only when absent (a symlink in its place is refused)
    // and tries to lock it without waiting.
    TResult Acquire(const QString& path);
    void Release();
    bool Held() const { return fd >= 0; }
    const QString& Error() const { return error; }

private:
    int fd = -1;
    QString error;
};
