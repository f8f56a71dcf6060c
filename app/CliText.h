#pragma once
#include <QString>

// Text for the terminal with every control character (but the tab) and escape
// sequence removed, so nothing a server or a URL carries can move the cursor or
// retitle the terminal.
QString PrintableText(const QString& text);

// One line on stdout or stderr, filtered through PrintableText.
void PrintLine(const QString& text);
void PrintError(const QString& text);
// Text of several lines, each printed as by PrintLine or PrintError.
void PrintLines(const QString& text);
void PrintErrorLines(const QString& text);
