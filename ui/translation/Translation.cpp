#include "ui/translation/Translation.h"

#include "platform/base/Guard.h"

#include <QFile>
#include <algorithm>
#include <QStringDecoder>

namespace {
const QString HeaderEnd = QStringLiteral("# FILE INFO END");

QString Decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// Lines end in CR LF, LF or CR; a break at the very end starts no further line.
QStringList SplitLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TrimBlanks(const QString& text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] <= QLatin1Char(' '))
        ++start;
    while (end > start && text[end - 1] <= QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}
}

TTranslation::TTranslation(const QString& path)
{
    Guarded("constructor TTranslation.Create(FileName: string)", [&] {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            *this = FromBytes(file.readAll());
    });
}

TTranslation TTranslation::FromBytes(const QByteArray& bytes)
{
    TTranslation translation;
    Guarded("function TTranslation.FromBytes: TTranslation", [&] {
        QStringList lines = SplitLines(Decode(bytes));
        const auto isEnd = [](const QString& line) { return line.compare(HeaderEnd, Qt::CaseInsensitive) == 0; };
        const auto end = std::find_if(lines.cbegin(), lines.cend(), isEnd);
        if (end != lines.cend()) {
            const qsizetype headerLines = end - lines.cbegin() + 1;
            for (qsizetype i = 0; i < headerLines; ++i)
                translation.ReadHeaderLine(lines[i]);
            lines.remove(0, headerLines);
        }
        translation.BodyLines = lines;
        for (qsizetype i = lines.size() - 1; i >= 0; --i)
            translation.FirstLine.insert(lines[i].toCaseFolded(), i);
    });
    return translation;
}

// "key=value" with the key in any letter case; blanks before the key are allowed.
void TTranslation::ReadHeaderLine(const QString& line)
{
    struct Key {
        QLatin1String Name;
        QString TTranslation::*Field;
    };
    static const Key Keys[] = {
        {QLatin1String("language="), &TTranslation::Language},
        {QLatin1String("author="), &TTranslation::Author},
        {QLatin1String("email="), &TTranslation::EMail},
        {QLatin1String("date="), &TTranslation::Date},
        {QLatin1String("comment="), &TTranslation::Comment},
    };
    qsizetype start = 0;
    while (start < line.size() && (line[start] == QLatin1Char(' ') || line[start] == QLatin1Char('\t')))
        ++start;
    const QStringView text = QStringView(line).mid(start);
    for (const Key& key : Keys) {
        if (text.startsWith(key.Name, Qt::CaseInsensitive))
            this->*key.Field = text.mid(key.Name.size()).toString();
    }
    // The language name has always been read from the line's tenth character on,
    // whatever stands before the key; existing files and their names rely on it.
    if (text.startsWith(Keys[0].Name, Qt::CaseInsensitive))
        Language = line.mid(9);
}

QString TTranslation::Translate(const QString& text) const
{
    QString result = text;
    Guarded("function TTranslator.Translate(Text: string): string", [&] {
        if (text.isEmpty())
            return;
        const auto found = FirstLine.constFind(text.toCaseFolded());
        if (found == FirstLine.cend() || *found + 1 >= BodyLines.size())
            return;
        const QString translated = TrimBlanks(BodyLines[*found + 1]);
        if (!translated.isEmpty())
            result = translated;
    });
    return result;
}
