#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// One language file (".cvt"): header lines describing the language up to a line
// "# FILE INFO END", then the body: an English text on one line, its translation on
// the next.
class TTranslation {
public:
    TTranslation() = default;
    // A file that cannot be read gives an empty translation: every text stays English.
    explicit TTranslation(const QString& path);
    // Language files are UTF-8; bytes that are not valid UTF-8 are read as Latin-1,
    // so files written in an old 8-bit code page still load.
    static TTranslation FromBytes(const QByteArray& bytes);

    QString Language, Author, EMail, Date, Comment;
    const QStringList& Lines() const { return BodyLines; }

    // The line after the first body line equal to text (letter case ignored), with
    // blanks trimmed; text itself when there is no such line or it is blank.
    QString Translate(const QString& text) const;

private:
    void ReadHeaderLine(const QString& line);

    QStringList BodyLines;
    QHash<QString, qsizetype> FirstLine; // case-folded line -> its first index
};
