#include "engine/PartDownloader.h"

#include "platform/base/Guard.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace {
// Only the name's own part counts: a "." in a folder name is no extension.
QString WithStartByte(const QString& fileName, qint64 startB)
{
    const qsizetype slash = fileName.lastIndexOf('/');
    if (fileName.indexOf('.', slash + 1) >= 0)
        return fileName;
    return fileName + '.' + QString::number(startB);
}
}

TPartDownloader::TPartDownloader(const QString& url, const QString& fileName, qint64 startB, qint64 endB)
{
    Guarded("constructor TPartDownloader.Create(Url, FileName: string; StartB, EndB: integer)", [&] {
        Url = TUrl(url);
        StartByte = startB;
        EndByte = endB;
        FileName = WithStartByte(fileName, startB);
        AllowResume = StatusTexts().Unknown;
    });
}

TPartDownloader::~TPartDownloader() = default;

void TPartDownloader::Abort()
{
    Aborted = true;
}

void TPartDownloader::Pause()
{
    Paused = true;
}

bool TPartDownloader::Change()
{
    if (!OnChange)
        return true;
    const std::weak_ptr<int> token = alive;
    // A copy: the listener may rebind OnChange, or destroy us with it, inside the call.
    const auto handler = OnChange;
    handler(this, State);
    return !token.expired();
}

void TPartDownloader::SetResumeSupport(bool supported)
{
    ResumeSupport = supported ? 0 : 1;
    AllowResume = supported ? StatusTexts().Yes : StatusTexts().No;
}

void TPartDownloader::SetError(TFileMirrorError error, const QString& text)
{
    State = pdsError;
    ErrorState = error;
    ErrorText = text;
}

QString CouldntWriteText(const QString& fileName, const QString& why)
{
    return Translate(QStringLiteral("Couldn't write")) + " " + fileName + ": " + why;
}

QString WriteErrorText(const QFileDevice& file)
{
    // A write that stored part of its bytes leaves the file's own error unset; the
    // call that refused the rest left its cause in errno.
    const int cause = errno;
    return file.error() != QFileDevice::NoError ? file.errorString() : QString::fromLocal8Bit(std::strerror(cause));
}

qint64 PartFileSize(const QString& fileName)
{
    const QFileInfo info(fileName);
    return info.exists() ? info.size() : 0;
}

bool TruncatePartFile(const QString& fileName, qint64 size)
{
    if (PartFileSize(fileName) <= size)
        return true;
    return QFile::resize(fileName, size);
}
