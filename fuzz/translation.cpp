// Language files: whatever the bytes, reading gives fields and texts without line
// breaks, and a text translates to the line after its first occurrence, without the
// blanks around it, unless that line is blank.
#include "fuzz/FuzzCheck.h"
#include "ui/translation/Translation.h"

namespace {
bool OneLine(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n');
}

QString WithoutBlanks(QString text)
{
    while (!text.isEmpty() && text.back() <= u' ')
        text.chop(1);
    while (!text.isEmpty() && text.front() <= u' ')
        text.remove(0, 1);
    return text;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TTranslation translation =
        TTranslation::FromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const QString& field : {translation.Language, translation.Author, translation.EMail, translation.Date,
                                 translation.Comment})
        FUZZ_CHECK(OneLine(field));
    const QStringList& lines = translation.Lines();
    for (qsizetype i = 0; i < lines.size() && i < 64; ++i) {
        const QString& text = lines[i];
        FUZZ_CHECK(OneLine(text));
        if (text.isEmpty())
            continue;
        qsizetype first = 0;
        while (lines[first].compare(text, Qt::CaseInsensitive) != 0)
            ++first;
        const QString next = first + 1 < lines.size() ? WithoutBlanks(lines[first + 1]) : QString();
        FUZZ_CHECK(translation.Translate(text) == (next.isEmpty() ? text : next));
    }
    FUZZ_CHECK(translation.Translate(QString()).isEmpty());
    return 0;
}
