#pragma once
#include "engine/PartJoin.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>
#include <vector>

// A download's part files cut from a known source, in a temporary folder.
class JoinFolder {
public:
    // In the system's temporary folder, or below base.
    explicit JoinFolder(const QString& base = QString());

    bool IsValid() const { return Dir.isValid(); }
    QString Path(const QString& name) const { return Dir.path() + "/" + name; }
    // The download's temporary name: part files are Tmp() + "." + start byte.
    QString Tmp() const { return Path("3KQ0GA7B"); }
    QString Part(qint64 start) const { return Tmp() + "." + QString::number(start); }
    QString Journal() const { return Tmp() + ".join"; }

    // size bytes of a fixed pseudo-random sequence.
    static QByteArray Pattern(qint64 size, quint32 seed = 1);

    // Writes the parts (start, size) with Source's bytes at those places, owner-only
    // like a part downloader's.
    void WriteParts(const std::vector<std::pair<qint64, qint64>>& parts) const;
    // The chain of parts starting at these bytes up to Source's end.
    void WriteChain(const std::vector<qint64>& starts) const;
    void WritePart(qint64 start, const QByteArray& bytes) const;

    // Names of the files left in the folder, sorted.
    QStringList Files() const;

    TJoinJob Job(const QString& target, qint64 fileSize) const;

    QByteArray Source;

private:
    QTemporaryDir Dir;
};

// A tmpfs of a given size (e.g. "1m") on a folder, in a mount namespace of this
// process's own, so nothing outside sees it and it goes with the process at the
// latest. Only while the process has a single thread (a new namespace would cover
// only the calling thread), and only where the system allows it.
class TmpfsMount {
public:
    TmpfsMount() = default;
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    ~TmpfsMount();
    // False with the reason in Why.
    bool Mount(const QString& folder, const QString& size);
    QString Why;

private:
    QByteArray Folder;
};
// A folder on another file system than base: a tmpfs mounted below base for the test,
// else a temporary folder in /dev/shm when that is another file system.
class OtherFileSystem {
public:
    explicit OtherFileSystem(const QString& base, const QString& size = "64m");
    bool IsValid() const { return !Folder.isEmpty(); }
    QString Folder;
    QString Why; // when not valid

private:
    TmpfsMount Mount;
    std::unique_ptr<QTemporaryDir> Shm;
};

bool SameFileSystem(const QString& a, const QString& b);
mode_t ModeOf(const QString& path);
