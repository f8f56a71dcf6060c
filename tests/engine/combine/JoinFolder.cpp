#include "JoinFolder.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

JoinFolder::JoinFolder(const QString& base) : Dir(base.isEmpty() ? QDir::tempPath() + "/join-XXXXXX" : base + "/join-XXXXXX") {}

QByteArray JoinFolder::Pattern(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& byte : bytes)
        byte = char(generator.generate() & 0xFF);
    return bytes;
}

void JoinFolder::WritePart(qint64 start, const QByteArray& bytes) const
{
    ASSERT_TRUE(WriteWholeFile(Part(start), bytes));
    QFile::setPermissions(Part(start), QFile::ReadOwner | QFile::WriteOwner);
}

void JoinFolder::WriteParts(const std::vector<std::pair<qint64, qint64>>& parts) const
{
    for (const auto& [start, size] : parts)
        WritePart(start, Source.mid(start, size));
}

void JoinFolder::WriteChain(const std::vector<qint64>& starts) const
{
    for (size_t i = 0; i < starts.size(); ++i) {
        const qint64 end = i + 1 < starts.size() ? starts[i + 1] : Source.size();
        WritePart(starts[i], Source.mid(starts[i], end - starts[i]));
    }
}

QStringList JoinFolder::Files() const
{
    return QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TJoinJob JoinFolder::Job(const QString& target, qint64 fileSize) const
{
    return {QFile::encodeName(Tmp()).toStdString(), QFile::encodeName(target).toStdString(), fileSize};
}

namespace {
int ThreadCount()
{
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}
}

bool TmpfsMount::Mount(const QString& folder, const QString& size)
{
    if (ThreadCount() != 1) {
        Why = "the test process runs several threads";
        return false;
    }
    static bool ownNamespace = false;
    if (!ownNamespace) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            Why = QString("no mount namespace: ") + std::strerror(errno);
            return false;
        }
        ownNamespace = true;
    }
    const QByteArray options = "size=" + size.toLatin1() + ",mode=0755";
    if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) != 0) {
        Why = QString("no tmpfs mount: ") + std::strerror(errno);
        return false;
    }
    Folder = QFile::encodeName(folder);
    return true;
}

TmpfsMount::~TmpfsMount()
{
    if (!Folder.isEmpty())
        umount2(Folder.constData(), MNT_DETACH);
}

OtherFileSystem::OtherFileSystem(const QString& base, const QString& size)
{
    const QString mountPoint = base + "/other";
    if (QDir().mkpath(mountPoint) && Mount.Mount(mountPoint, size)) {
        Folder = mountPoint;
        return;
    }
    if (SameFileSystem("/dev/shm", base)) {
        Why = Mount.Why + ", and /dev/shm is on the file system of " + base;
        return;
    }
    Shm = std::make_unique<QTemporaryDir>("/dev/shm/join-XXXXXX");
    if (Shm->isValid())
        Folder = Shm->path();
    else
        Why = Mount.Why + ", and no folder in /dev/shm";
}

bool SameFileSystem(const QString& a, const QString& b)
{
    struct stat first {}, second {};
    return stat(QFile::encodeName(a).constData(), &first) == 0 && stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}
