#pragma once
#include "platform/ini/IniContent.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>

// A profile (INI) file as the download records are kept, read into a TIniContent
// (which says how lines, names and values are read) and rewritten from it.
class TIniFile {
public:
    using Values = TIniContent::Values;

    // Reads the file; a missing or unreadable file reads as empty.
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return m_fileName; }
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const
    {
        return m_content.ReadString(section, key, defaultValue);
    }
    bool ValueExists(const QString& section, const QString& key) const { return m_content.ValueExists(section, key); }
    // The file as it was last read or written.
    const TIniContent& Content() const { return m_content; }
    // Reads the file again when it changed since; false when it exists but cannot be read.
    bool Refresh() { return Load(); }

    // Sets the keys in one rewrite of the file (created when missing), as
    // TIniContent::WriteStrings does. The file is re-read first when it is not the
    // one last read or written here (its inode, size or times differ), so edits made
    // meanwhile by others survive. False, and nothing written, when the content
    // refuses a name or value, or when the file cannot be read or written; the
    // rewrite is atomic (WriteFileAtomically), and left out when it would change no
    // byte of the file.
    bool WriteStrings(const QString& section, const Values& values);
    bool WriteString(const QString& section, const QString& key, const QString& value);

private:
    // Who the file is: equal for a file unchanged since it was looked at.
    struct TSignature {
        quint64 Device = 0, Inode = 0;
        qint64 Size = 0, Modified = 0, Changed = 0;
        bool operator==(const TSignature&) const = default;
    };
    // Of the open file fd, or of the named file when fd is -1.
    static std::optional<TSignature> SignatureOf(int fd, const QString& fileName);

    // False when the file exists but cannot be read.
    bool Load();

    QString m_fileName;
    TIniContent m_content;
    std::optional<QByteArray> m_bytes; // the file as last read or written; none when it did not exist
    std::optional<TSignature> m_signature; // of the file m_bytes holds
    // The section and values last set, while m_content still holds them as written.
    std::optional<std::pair<QString, Values>> m_lastWrite;
};
