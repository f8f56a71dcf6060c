#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A profile (INI) file as the download records are kept: "[Section]" lines and
// "key=value" lines, UTF-8, ended by CR LF (LF-only lines read as well). Section and
// key names are found ignoring letter case; the first of duplicates wins; blanks
// around names and values do not count, and one pair of quotes around a value is
// dropped. Lines that are not "key=value" (comments, blank lines) are kept as they
// are.
class TIniFile {
public:
    using Values = QList<QPair<QString, QString>>;

    // Reads the file; a missing or unreadable file reads as empty.
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return m_fileName; }
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Sets the keys in one rewrite of the file (created when missing), every other
    // line left as it was; new keys go to the end of their section, a new section to
    // the end of the file. The file is re-read first, so edits made meanwhile by
    // others survive. False, and nothing written, when a name or value holds CR, LF
    // or NUL (or a key "=", a section "]"), or when the file cannot be read or written; the
    // rewrite is atomic (WriteFileAtomically).
    bool WriteStrings(const QString& section, const Values& values);
    bool WriteString(const QString& section, const QString& key, const QString& value);

private:
    // False when the file exists but cannot be read.
    bool Load();
    // Index of the section's header line, -1 when there is none.
    qsizetype FindSection(const QString& section) const;
    // Index of the key's line in the section starting at header, -1 when absent.
    qsizetype FindKey(qsizetype header, const QString& key) const;
    qsizetype SectionEnd(qsizetype header) const;
    void Set(const QString& section, const QString& key, const QString& value);
    QByteArray Content() const;

    QString m_fileName;
    QList<QByteArray> m_lines; // without line ends
    bool m_byteOrderMark = false;
};
