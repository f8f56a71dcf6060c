#include "records/MirrorListFile.h"

#include "platform/base/Guard.h"
#include "platform/base/Paths.h"
#include "records/GeneralFunctions.h"
#include "records/TextLines.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace {
const QLatin1String MirrorListName("mirrors.lst");
}

std::unique_ptr<TMirrorList> GetMirrors(const QString& url)
{
    std::unique_ptr<TMirrorList> mirrors;
    Guarded("function GetMirrors(URL: string): TMirrorList", [&] {
        const std::optional<QString> text = ReadTextFile(MirrorListPath());
        if (!text)
            throw std::runtime_error("the mirror list file cannot be read");
        mirrors = std::make_unique<TMirrorList>();
        for (const QString& mirrorUrl : MirrorUrlsFor(*text, url))
            mirrors->Add(new TFileMirror(mirrorUrl));
    });
    return mirrors;
}

QString MirrorListPath()
{
    return QString::fromStdString(DataFolder()) + MirrorListName;
}

QString ShippedMirrorListPath()
{
    const QString program = QString::fromStdString(ExecutableFolder());
    const QString beside = program + MirrorListName;
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(program + QStringLiteral("../share/corvane/")) + QLatin1Char('/') + MirrorListName;
}

bool InstallShippedMirrorList(const QString& shipped, const QString& target)
{
    bool copied = false;
    Guarded("function InstallShippedMirrorList(Shipped, Target: string): boolean", [&] {
        if (!QFileInfo(shipped).isFile() || !QDir().mkpath(QFileInfo(target).absolutePath()))
            return;
        copied = CopyFileIfAbsent(shipped, target);
    });
    return copied;
}
