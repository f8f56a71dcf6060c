#include "platform/ini/IniFile.h"

#include "platform/ini/AtomicFile.h"
#include "platform/base/Guard.h"

#include <QFile>

TIniFile::TIniFile(const QString& fileName) : m_fileName(fileName)
{
    Guarded("constructor TIniFile.Create(FileName: string)", [&] { Load(); });
}

bool TIniFile::Load()
{
    m_content = TIniContent();
    m_bytes.reset();
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    m_bytes = file.readAll();
    m_content = TIniContent(*m_bytes);
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
        TIniContent changed = m_content;
        if (!changed.WriteStrings(section, values))
            return;
        // A rewrite that would leave the file as it is writes nothing.
        const QByteArray bytes = changed.Bytes();
        if ((!m_bytes || bytes != *m_bytes) && !WriteFileAtomically(m_fileName, bytes))
            return;
        m_content = std::move(changed);
        written = true;
    });
    return written;
}
