#include "coordination/PartFileSizes.h"

#include "platform/base/Guard.h"

#include <QFile>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {
QString FolderPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool Counted(const QString& name)
{
    return !name.contains(QLatin1String(".dat"));
}
}

TPartFileSizes::TPartFileSizes(const QString& folder)
{
    Guarded("constructor TPartFileSizes.Create(Folder: string)", [&] {
        const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
        DIR* dir = ::opendir(path.constData());
        if (!dir)
            return;
        while (const dirent* entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (!Counted(name) || name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            // Only names that can be counted are looked at; a link counts with its target.
            struct stat info {};
            const QByteArray full = path + '/' + entry->d_name;
            if (::stat(full.constData(), &info) != 0) {
                Files.emplace_back(name, 0); // a dangling link
                continue;
            }
            if (!S_ISDIR(info.st_mode))
                Files.emplace_back(name, qint64(info.st_size));
        }
        ::closedir(dir);
        std::sort(Files.begin(), Files.end());
    });
}

qint64 TPartFileSizes::BytesOf(const QString& baseName) const
{
    if (baseName.isEmpty())
        return 0;
    const QString prefix = baseName + QLatin1Char('.');
    qint64 bytes = 0;
    auto file = std::lower_bound(Files.begin(), Files.end(), prefix,
                                 [](const std::pair<QString, qint64>& entry, const QString& key) { return entry.first < key; });
    for (; file != Files.end() && file->first.startsWith(prefix); ++file)
        bytes += file->second;
    return bytes;
}

qint64 TPartFileSizeCache::BytesDownloaded(const QString& tempFileName)
{
    const QString folder = FolderPart(tempFileName);
    auto found = Folders.find(folder);
    if (found == Folders.end())
        found = Folders.emplace(folder, TPartFileSizes(folder)).first;
    return found->second.BytesOf(tempFileName.mid(folder.size()));
}
