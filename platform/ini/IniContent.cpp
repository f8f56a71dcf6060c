#include "platform/ini/IniContent.h"

#include "platform/base/Guard.h"

#include <QStringDecoder>
#include <optional>
#include <vector>

namespace {
const QByteArray ByteOrderMark = "\xEF\xBB\xBF";

// QString::fromUtf8 drops a byte order mark at the start, which would take the first
// character of a value that begins with U+FEFF.
QString FromUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

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

bool Ascii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// A name looked for among the file's names, letter case ignored. Names in the file lose
// their blanks (as QByteArray::trimmed sees them) when read, so the wanted name loses
// the same ones: a section written as " a " is found again. Made once per search; ASCII
// names are compared as bytes, without decoding (a record file is read and rewritten
// on every change of its download).
class TWantedName {
public:
    explicit TWantedName(const QString& wanted) : Bytes(wanted.toUtf8().trimmed()), AsciiBytes(Ascii(Bytes))
    {
        if (!AsciiBytes)
            Text = FromUtf8(Bytes);
    }

    bool Matches(QByteArrayView name) const
    {
        if (AsciiBytes && Ascii(name))
            return name.compare(Bytes, Qt::CaseInsensitive) == 0;
        const QString text = AsciiBytes ? QString::fromLatin1(Bytes) : Text;
        return FromUtf8(name.toByteArray()).compare(text, Qt::CaseInsensitive) == 0;
    }

private:
    const QByteArray Bytes;
    const bool AsciiBytes;
    QString Text;
};

// The name of a "[Section]" line, or nothing for any other line.
std::optional<QByteArrayView> SectionName(QByteArrayView line)
{
    const QByteArrayView trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(']');
    return trimmed.sliced(1, (close < 0 ? trimmed.size() : close) - 1).trimmed();
}

// Splits a "key=value" line; false for comments, section lines and other text.
bool SplitKeyLine(QByteArrayView line, QByteArrayView& key, QByteArrayView& value)
{
    const QByteArrayView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('['))
        return false;
    const qsizetype equals = trimmed.indexOf('=');
    if (equals <= 0)
        return false;
    key = trimmed.first(equals).trimmed();
    value = trimmed.sliced(equals + 1).trimmed();
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

TIniContent::TIniContent(QByteArray bytes)
{
    Guarded("constructor TIniContent.Create(Bytes: string)", [&] {
        if (bytes.startsWith(ByteOrderMark)) {
            m_byteOrderMark = true;
            bytes.remove(0, ByteOrderMark.size());
        }
        if (bytes.isEmpty())
            return;
        m_lines = bytes.split('\n');
        if (bytes.endsWith('\n'))
            m_lines.removeLast();
        for (QByteArray& line : m_lines)
            if (line.endsWith('\r'))
                line.chop(1);
    });
}

QString TIniContent::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString result = defaultValue;
    Guarded("function TIniContent.ReadString(Section, Ident, Default: string): string", [&] {
        const qsizetype line = FindKey(FindSection(section), key);
        QByteArrayView name, value;
        if (line >= 0 && SplitKeyLine(m_lines[line], name, value))
            result = FromUtf8(Unquoted(value.toByteArray()));
    });
    return result;
}

bool TIniContent::ValueExists(const QString& section, const QString& key) const
{
    return FindKey(FindSection(section), key) >= 0;
}

bool TIniContent::WriteStrings(const QString& section, const Values& values)
{
    bool written = false;
    Guarded("function TIniContent.WriteStrings(Section: string; Values): boolean", [&] {
        if (!ValidSection(section))
            return;
        for (const auto& [key, value] : values)
            if (!ValidKey(key) || HasLineBreak(value))
                return;
        qsizetype header = FindSection(section);
        if (header < 0) {
            header = m_lines.size();
            m_lines.append('[' + section.toUtf8() + ']');
        }
        // The names of the section's lines, split once for all the keys (empty for
        // lines that hold no key).
        const qsizetype end = SectionEnd(header);
        std::vector<QByteArrayView> names;
        names.reserve(size_t(end - header - 1 + values.size()));
        QByteArrayView name, value;
        for (qsizetype i = header + 1; i < end; ++i)
            names.push_back(SplitKeyLine(m_lines[i], name, value) ? name : QByteArrayView());
        for (const auto& [key, text] : values)
            Set(header, names, key, text);
        written = true;
    });
    return written;
}

qsizetype TIniContent::FindSection(const QString& section) const
{
    const TWantedName wanted(section);
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const std::optional<QByteArrayView> name = SectionName(m_lines[i]);
        if (name && wanted.Matches(*name))
            return i;
    }
    return -1;
}

qsizetype TIniContent::SectionEnd(qsizetype header) const
{
    qsizetype end = header + 1;
    while (end < m_lines.size() && !SectionName(m_lines[end]))
        ++end;
    return end;
}

qsizetype TIniContent::FindKey(qsizetype header, const QString& key) const
{
    if (header < 0)
        return -1;
    const qsizetype end = SectionEnd(header);
    const TWantedName wanted(key);
    QByteArrayView name, value;
    for (qsizetype i = header + 1; i < end; ++i)
        if (SplitKeyLine(m_lines[i], name, value) && wanted.Matches(name))
            return i;
    return -1;
}

void TIniContent::Set(qsizetype header, std::vector<QByteArrayView>& names, const QString& key, const QString& value)
{
    QByteArray line = key.toUtf8() + '=' + Stored(value);
    const QByteArrayView written(line.constData(), line.indexOf('='));
    const TWantedName wanted(key);
    for (size_t i = 0; i < names.size(); ++i)
        if (!names[i].isEmpty() && wanted.Matches(names[i])) {
            // The view goes on pointing into the new line's bytes (a QByteArray keeps
            // its bytes where they are when the list moves it).
            m_lines[header + 1 + qsizetype(i)] = std::move(line);
            names[i] = QByteArrayView(m_lines[header + 1 + qsizetype(i)].constData(), written.size());
            return;
        }
    // After the section's last line, before the blank lines that part it from the next.
    size_t at = names.size();
    while (at > 0 && m_lines[header + qsizetype(at)].trimmed().isEmpty())
        --at;
    m_lines.insert(header + 1 + qsizetype(at), std::move(line));
    const QByteArray& inserted = m_lines[header + 1 + qsizetype(at)];
    names.insert(names.begin() + qsizetype(at), QByteArrayView(inserted.constData(), written.size()));
}

QByteArray TIniContent::Bytes() const
{
    qsizetype size = m_byteOrderMark ? ByteOrderMark.size() : 0;
    for (const QByteArray& line : m_lines)
        size += line.size() + 2;
    QByteArray content;
    content.reserve(size);
    if (m_byteOrderMark)
        content += ByteOrderMark;
    for (const QByteArray& line : m_lines)
        content.append(line).append("\r\n", 2);
    return content;
}
