#include "platform/instance/InstanceFiles.h"

#include "platform/base/Paths.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString InRuntimeFolder(const char* name)
{
    return QString::fromStdString(JoinPath(RuntimeFolder(), name));
}
}

QString InstanceLockPath()
{
    return InRuntimeFolder("instance.lock");
}

QString HandOverSocketPath()
{
    return InRuntimeFolder("instance.socket");
}

bool PrepareRuntimeFolder(QString& error)
{
    const std::string folder = RuntimeFolder();
    if (!MakeFolders(folder)) {
        error = QStringLiteral("cannot create %1").arg(QString::fromStdString(folder));
        return false;
    }
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = QStringLiteral("%1 is not a folder").arg(QString::fromStdString(folder));
        return false;
    }
    if (info.st_uid != geteuid()) {
        error = QStringLiteral("%1 belongs to another user").arg(QString::fromStdString(folder));
        return false;
    }
    if ((info.st_mode & 077) != 0 && chmod(folder.c_str(), info.st_mode & 07700) != 0) {
        error = QStringLiteral("cannot restrict %1: %2").arg(QString::fromStdString(folder), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}
