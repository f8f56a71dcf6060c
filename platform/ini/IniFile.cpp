#include "platform/ini/IniFile.h"

#include "platform/ini/AtomicFile.h"
#include "platform/base/Guard.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>

TIniFile::TIniFile(const QString& fileName) : m_fileName(fileName)
{
    Guarded("constructor TIniFile.Create(FileName: string)", [&] { Load(); });
}

namespace {
qint64 Nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}
}

std::optional<TIniFile::TSignature> TIniFile::SignatureOf(int fd, const QString& fileName)
{
    struct stat status {};
    const int result = fd >= 0 ? ::fstat(fd, &status) : ::stat(QFile::encodeName(fileName).constData(), &status);
    if (result != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return TSignature{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                      Nanoseconds(status.st_mtim), Nanoseconds(status.st_ctim)};
}

bool TIniFile::Load()
{
    // A record file is saved on every change of its download: what was read or
    // written last is kept while the file is still that one.
    std::optional<TSignature> signature = SignatureOf(-1, m_fileName);
    if (signature && m_bytes && signature == m_signature)
        return true;
    m_content = TIniContent();
    m_bytes.reset();
    m_signature.reset();
    m_lastWrite.reset();
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    // Taken before reading: a change while the file is read shows as another file later.
    signature = SignatureOf(file.handle(), m_fileName);
    m_bytes = file.readAll();
    m_content = TIniContent(*m_bytes);
    m_signature = signature;
    return true;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    return WriteStrings(section, {{key, value}});
}

bool TIniFile::WriteStrings(const QString& section, const Values& values)
{
    bool written = false;
    Guarded("function TIniFile.WriteStrings(Section: string; Values): boolean", [&] {
        if (!Load())
            return; // rewriting would lose what we could not read
        // The file is the one written last: only the values that differ from that
        // write need setting (a record saved for a new status changes one or two).
        const Values* last = m_lastWrite && m_lastWrite->first == section ? &m_lastWrite->second : nullptr;
        Values different;
        for (qsizetype i = 0; i < values.size(); ++i)
            if (!last || i >= last->size() || (*last)[i] != values[i])
                different.append(values[i]);
        if (different.isEmpty()) {
            written = true;
            return;
        }
        // A key given twice: the later value must still win, so all are set in order.
        const auto twice = [&](const QString& key) {
            return std::count_if(values.begin(), values.end(), [&](const auto& value) {
                       return value.first.compare(key, Qt::CaseInsensitive) == 0;
                   }) > 1;
        };
        if (std::any_of(different.begin(), different.end(), [&](const auto& value) { return twice(value.first); }))
            different = values;
        TIniContent changed = m_content;
        if (!changed.WriteStrings(section, different))
            return;
        // A rewrite that would leave the file as it is writes nothing.
        const QByteArray bytes = changed.Bytes();
        if (!m_bytes || bytes != *m_bytes) {
            if (!WriteFileAtomically(m_fileName, bytes))
                return;
            m_bytes = bytes;
            m_signature = SignatureOf(-1, m_fileName);
        }
        m_content = std::move(changed);
        m_lastWrite.emplace(section, values);
        written = true;
    });
    return written;
}
