#pragma once
#include <QString>
#include <sys/stat.h>

// What lstat says about a path (0 when there is nothing): the whole st_mode (type and
// permission bits), and the inode, to tell a replaced file from the same one.
inline mode_t ModeOf(const QString& path)
{
    struct stat info {};
    return lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode : 0;
}

inline ino_t InodeOf(const QString& path)
{
    struct stat info {};
    return lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_ino : 0;
}
