#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The plain text files beside the program (mirrors.lst, serverstats.txt, cat.dat)
// are lists of lines: UTF-8, each line ended by CR LF when written; reading also
// takes LF or CR alone, and a last line without an end.

// The lines of text; a final line end adds no empty line.
QStringList SplitTextLines(const QString& text);
// Every line followed by CR LF, in UTF-8.
QByteArray JoinTextLines(const QStringList& lines);
// The whole file as text; none when it does not exist or cannot be read.
std::optional<QString> ReadTextFile(const QString& path);
// text without leading and trailing blanks and control characters.
QString TrimBlanksAndControls(const QString& text);
