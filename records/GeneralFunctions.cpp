#include "records/GeneralFunctions.h"

#include "platform/base/Guard.h"
#include "records/StatusTexts.h"
#include "records/core/UrlSplit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <cstring>
#include <dirent.h>
#include <stdexcept>

namespace {
constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
constexpr qint64 GiB = 1024 * MiB;

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Two decimal digits at position at, or -1.
int TwoDigits(const QString& text, qsizetype at)
{
    if (at + 2 > text.size() || !IsDigit(text[at]) || !IsDigit(text[at + 1]))
        return -1;
    return text[at].digitValue() * 10 + text[at + 1].digitValue();
}

bool StartsWithIgnoringCase(const char* entry, const QByteArray& prefix)
{
    for (const char c : prefix)
        if (static_cast<unsigned char>(c) >= 0x80)
            return QFile::decodeName(entry).startsWith(QFile::decodeName(prefix), Qt::CaseInsensitive);
    return qstrnicmp(entry, prefix.constData(), size_t(prefix.size())) == 0;
}

// A file "name" or "name.<anything>" in folder, letter case ignored. Read name by name:
// the folder holds the record and part files of every download.
bool NameTaken(const QString& folder, const QString& name)
{
    if (QFileInfo::exists(folder + name))
        return true;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    const QByteArray prefix = QFile::encodeName(name + QLatin1Char('.'));
    bool taken = false;
    while (const dirent* entry = taken ? nullptr : ::readdir(dir))
        taken = std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0
            && StartsWithIgnoringCase(entry->d_name, prefix);
    ::closedir(dir);
    return taken;
}

QString Decimals(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}
}

QString WithTrailingBackslash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

bool CopyFileIfAbsent(const QString& source, const QString& destination)
{
    bool copied = false;
    Guarded("function CopyFileIfAbsent(Source, Destination: string): boolean", [&] {
        if (!QFileInfo::exists(destination))
            copied = QFile::copy(source, destination);
    });
    return copied;
}

QString SystemTempFolder()
{
    QString folder;
    Guarded("function SystemTempFolder: string", [&] { folder = WithTrailingBackslash(QDir::tempPath()); });
    return folder;
}

qint64 FileSizeOf(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open " + name.toStdString() + ": " + file.errorString().toStdString());
    return file.size();
}

QString GenerateRandomAlphaNums(int count)
{
    QString result;
    Guarded("function GenerateRandomAlphaNums(NumberOfAlphaNums: integer): string", [&] {
        for (int i = 0; i < count; ++i) {
            int code = 48 + int(QRandomGenerator::global()->bounded(42));
            if (code > '9' && code < 'A')
                code += 7;
            result += QChar(code);
        }
    });
    return result;
}

QString GetTempFileName(const QString& tempDir)
{
    return GetTempFileName(tempDir, [] { return GenerateRandomAlphaNums(8); });
}

QString GetTempFileName(const QString& tempDir, const std::function<QString()>& drawName)
{
    QString result;
    Guarded("function GetTempFileName(TempDir: string): string", [&] {
        const QString folder = WithTrailingBackslash(tempDir);
        if (!QDir().mkpath(folder))
            return;
        QString name;
        do
            name = drawName();
        while (NameTaken(folder, name));
        result = folder + name;
    });
    return result;
}

QString SecondsToTimeString(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("Number out of range");
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, zero)
        .arg(seconds % 3600 / 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

// Hours are all the leading digits, so times of 100 hours and more read back whole.
qint64 TimeStringToSeconds(const QString& text)
{
    qint64 result = 0;
    Guarded("function TimeStringToSeconds(Text: string): integer", [&] {
        qsizetype hourDigits = 0;
        while (hourDigits < text.size() && hourDigits < 12 && IsDigit(text[hourDigits]))
            ++hourDigits;
        if (hourDigits < 1)
            return;
        const int minutes = TwoDigits(text, hourDigits + 1);
        const int seconds = TwoDigits(text, hourDigits + 4);
        if (minutes < 0 || seconds < 0)
            return;
        result = text.left(hourDigits).toLongLong() * 3600 + minutes * 60 + seconds;
    });
    return result;
}

QString BytesToPresentableString(qint64 bytes)
{
    QString result;
    Guarded("function BytesToPresentableString(n: integer): string", [&] {
        if (bytes == -1)
            result = StatusTexts().Unknown;
        else if (bytes > GiB)
            result = Decimals(double(bytes) / GiB) + QStringLiteral(" GB");
        else if (bytes > MiB)
            result = Decimals(double(bytes) / MiB) + QStringLiteral(" MB");
        else if (bytes > KiB)
            result = QString::number(qRound64(double(bytes) / KiB)) + QStringLiteral(" kB");
        else
            result = QString::number(bytes) + QStringLiteral(" B");
    });
    return result;
}

QString DecodeSpaces(const QString& text)
{
    QString result = text;
    return result.replace(QStringLiteral("%20"), QStringLiteral(" "));
}

QString GetUniqueFileName(const QString& path, const TFileNameInUse& inUse)
{
    QString result;
    Guarded("function GetUniqueFileName(Path: string): string", [&] {
        const auto taken = [&](const QString& name) { return QFileInfo::exists(name) || (inUse && inUse(name)); };
        const QString extension = QString::fromStdString(ExtractFileExt(path.toStdString()));
        const QString base = path.left(path.size() - extension.size());
        QString candidate = path;
        for (int i = 1; taken(candidate); ++i)
            candidate = base + QLatin1Char('(') + QString::number(i) + QLatin1Char(')') + extension;
        result = candidate;
    });
    return result;
}

QString PadNumber(qint64 number, int width)
{
    return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

bool IsPartFileName(const QString& name)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        if (!IsDigit(name[i]))
            return false;
    }
    return true;
}
