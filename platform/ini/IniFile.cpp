#include "platform/ini/IniFile.h"

#include "platform/ini/AtomicFile.h"
#include "platform/base/Guard.h"

#include <QFile>
#include <optional>

namespace {
const QByteArray ByteOrderMark = "\xEF\xBB\xBF";

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

bool ValidSection(const QString& section)
{
    return !HasLineBreak(section) && !section.contains(u']');
}

bool ValidKey(const QString& key)
{
    const QString trimmed = key.trimmed();
    return !trimmed.isEmpty() && trimmed == key && !HasLineBreak(key) && !key.contains(u'=') &&
           !key.startsWith(u'[') && !key.startsWith(u';');
}

bool SameName(const QByteArray& name, const QString& wanted)
{
    return QString::fromUtf8(name).compare(wanted, Qt::CaseInsensitive) == 0;
}

// The name of a "[Section]" line, or nothing for any other line.
std::optional<QByteArray> SectionName(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(']');
    return trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

// Splits a "key=value" line; false for comments, section lines and other text.
bool SplitKeyLine(const QByteArray& line, QByteArray& key, QByteArray& value)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('['))
        return false;
    const qsizetype equals = trimmed.indexOf('=');
    if (equals <= 0)
        return false;
    key = trimmed.left(equals).trimmed();
    value = trimmed.mid(equals + 1).trimmed();
    return !key.isEmpty();
}

bool Quoted(const QByteArray& value)
{
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
}

QByteArray Unquoted(const QByteArray& value)
{
    return Quoted(value) ? value.mid(1, value.size() - 2) : value;
}

// Quotes exactly the values that would not read back as they are.
QByteArray Stored(const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    const bool edgeBlank = bytes.trimmed().size() != bytes.size();
    return edgeBlank || Quoted(bytes) ? '"' + bytes + '"' : bytes;
}
}

TIniFile::TIniFile(const QString& fileName) : m_fileName(fileName)
{
    Guarded("constructor TIniFile.Create(FileName: string)", [&] { Load(); });
}

bool TIniFile::Load()
{
    m_lines.clear();
    m_byteOrderMark = false;
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    QByteArray content = file.readAll();
    if (content.startsWith(ByteOrderMark)) {
        m_byteOrderMark = true;
        content.remove(0, ByteOrderMark.size());
    }
    if (content.isEmpty())
        return true;
    m_lines = content.split('\n');
    if (content.endsWith('\n'))
        m_lines.removeLast();
    for (QByteArray& line : m_lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return true;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString result = defaultValue;
    Guarded("function TIniFile.ReadString(Section, Ident, Default: string): string", [&] {
        const qsizetype line = FindKey(FindSection(section), key);
        QByteArray name, value;
        if (line >= 0 && SplitKeyLine(m_lines[line], name, value))
            result = QString::fromUtf8(Unquoted(value));
    });
    return result;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindKey(FindSection(section), key) >= 0;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    return WriteStrings(section, {{key, value}});
}

bool TIniFile::WriteStrings(const QString& section, const Values& values)
{
    bool written = false;
    Guarded("function TIniFile.WriteStrings(Section: string; Values): boolean", [&] {
        if (!ValidSection(section))
            return;
        for (const auto& [key, value] : values)
            if (!ValidKey(key) || HasLineBreak(value))
                return;
        if (!Load())
            return; // rewriting would lose what we could not read
        for (const auto& [key, value] : values)
            Set(section, key, value);
        written = WriteFileAtomically(m_fileName, Content());
        if (!written)
            Load(); // keep what the file really holds
    });
    return written;
}

qsizetype TIniFile::FindSection(const QString& section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const std::optional<QByteArray> name = SectionName(m_lines[i]);
        if (name && SameName(*name, section))
            return i;
    }
    return -1;
}

qsizetype TIniFile::SectionEnd(qsizetype header) const
{
    qsizetype end = header + 1;
    while (end < m_lines.size() && !SectionName(m_lines[end]))
        ++end;
    return end;
}

qsizetype TIniFile::FindKey(qsizetype header, const QString& key) const
{
    if (header < 0)
        return -1;
    const qsizetype end = SectionEnd(header);
    QByteArray name, value;
    for (qsizetype i = header + 1; i < end; ++i)
        if (SplitKeyLine(m_lines[i], name, value) && SameName(name, key))
            return i;
    return -1;
}

void TIniFile::Set(const QString& section, const QString& key, const QString& value)
{
    const QByteArray line = key.toUtf8() + '=' + Stored(value);
    const qsizetype header = FindSection(section);
    if (header < 0) {
        m_lines.append('[' + section.toUtf8() + ']');
        m_lines.append(line);
        return;
    }
    const qsizetype existing = FindKey(header, key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }
    // After the section's last line, before the blank lines that part it from the next.
    qsizetype at = SectionEnd(header);
    while (at > header + 1 && m_lines[at - 1].trimmed().isEmpty())
        --at;
    m_lines.insert(at, line);
}

QByteArray TIniFile::Content() const
{
    QByteArray content = m_byteOrderMark ? ByteOrderMark : QByteArray();
    for (const QByteArray& line : m_lines)
        content += line + "\r\n";
    return content;
}
