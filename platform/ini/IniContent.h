#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <vector>

// The lines of a profile (INI) file, read and changed in memory: "[Section]" lines and
// "key=value" lines, UTF-8, ended by CR LF (LF-only lines read as well). Section and
// key names are found ignoring letter case; the first of duplicates wins; blanks
// around names and values do not count, and one pair of quotes around a value is
// dropped. Lines that are not "key=value" (comments, blank lines) are kept as they
// are.
class TIniContent {
public:
    using Values = QList<QPair<QString, QString>>;

    TIniContent() = default;
    explicit TIniContent(QByteArray bytes);

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Sets the keys, every other line left as it was; new keys go to the end of their
    // section, a new section to the end. False, and nothing changed, when a name or
    // value holds CR, LF or NUL, a key "=" (or is blank, or starts like a section or
    // a comment), or a section "]".
    bool WriteStrings(const QString& section, const Values& values);

    // The lines ended by CR LF, behind the byte order mark the text was read with.
    QByteArray Bytes() const;

private:
    // Index of the section's header line, -1 when there is none.
    qsizetype FindSection(const QString& section) const;
    // Index of the key's line in the section starting at header, -1 when absent.
    qsizetype FindKey(qsizetype header, const QString& key) const;
    qsizetype SectionEnd(qsizetype header) const;
    // Sets the key in the section starting at header, whose lines' names are names
    // (kept up to date).
    void Set(qsizetype header, std::vector<QByteArrayView>& names, const QString& key, const QString& value);

    QList<QByteArray> m_lines; // without line ends
    bool m_byteOrderMark = false;
};
