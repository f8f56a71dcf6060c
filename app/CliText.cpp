#include "app/CliText.h"

#include <QStringList>
#include <cstdio>

namespace {
bool IsControl(char16_t c)
{
    return (c < 0x20 && c != u'\t') || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

// Skips an escape sequence starting at text[i] (ESC or CSI); returns the index after it.
qsizetype SkipEscape(const QString& text, qsizetype i)
{
    const char16_t first = text[i].unicode();
    qsizetype j = i + 1;
    bool csi = first == 0x9B;
    if (!csi && j < text.size()) {
        const char16_t next = text[j].unicode();
        if (next == u'[') {
            csi = true;
            ++j;
        } else if (next == u']') { // operating-system command: up to BEL or ST
            for (++j; j < text.size(); ++j) {
                if (text[j] == QChar(0x07))
                    return j + 1;
                if (text[j] == QChar(0x1B) && j + 1 < text.size() && text[j + 1] == u'\\')
                    return j + 2;
            }
            return j;
        } else {
            return j + 1; // a two-character sequence
        }
    }
    if (csi) {
        while (j < text.size() && text[j].unicode() >= 0x20 && text[j].unicode() < 0x40)
            ++j; // parameters and intermediates
        return j < text.size() ? j + 1 : j;
    }
    return j;
}

void Write(FILE* stream, const QString& text)
{
    const QByteArray bytes = (PrintableText(text) + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void WriteLines(FILE* stream, const QString& text)
{
    for (const QString& line : text.split(u'\n'))
        Write(stream, line);
}
}

QString PrintableText(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (c == 0x1B || c == 0x9B) {
            i = SkipEscape(text, i);
            continue;
        }
        if (!IsControl(c))
            result += text[i];
        ++i;
    }
    return result;
}

void PrintLine(const QString& text)
{
    Write(stdout, text);
}

void PrintError(const QString& text)
{
    Write(stderr, text);
}

void PrintLines(const QString& text)
{
    WriteLines(stdout, text);
}

void PrintErrorLines(const QString& text)
{
    WriteLines(stderr, text);
}
