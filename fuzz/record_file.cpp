// Record files: any bytes read as a usable record (sizes and part counts not below
// -1), saving that record into the same file never fails and reads back the same
// (texts with their line breaks and NULs as blanks, dates to the second), and the
// saved record is saved again unchanged. Dates are read and written in a locale
// chosen by the input's last byte, in UTC (a local time text without zone cannot
// name the repeated hour when the clocks go back, which is no fault of the reader).
#include "fuzz/FuzzCheck.h"
#include "records/StoredRecord.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>

namespace {
const QLocale::Language Languages[] = {QLocale::C,      QLocale::English, QLocale::German,  QLocale::French,
                                       QLocale::Arabic, QLocale::Persian, QLocale::Japanese, QLocale::Hindi,
                                       QLocale::Korean, QLocale::Finnish, QLocale::Thai,     QLocale::Bulgarian};

QString Blanked(QString text)
{
    for (QChar& c : text)
        if (c == u'\r' || c == u'\n' || c.isNull())
            c = u' ';
    return text;
}

bool SameDate(const std::optional<TDateTime>& read, const std::optional<TDateTime>& written, double tolerance)
{
    if (!read || !written)
        return read.has_value() == written.has_value();
    return std::fabs(*read - *written) <= tolerance;
}

// Texts and numbers exactly, dates within tolerance days.
bool Same(const TStoredRecord& a, const TStoredRecord& b, double tolerance)
{
    return a.Url == b.Url && a.LocalFileName == b.LocalFileName && a.Status == b.Status && a.FileSize == b.FileSize &&
           a.NumOfParts == b.NumOfParts && a.Category == b.Category && a.Description == b.Description &&
           SameDate(a.LastActivity, b.LastActivity, tolerance) && SameDate(a.Created, b.Created, tolerance);
}

TStoredRecord Saved(TIniContent& content, const TStoredRecord& record)
{
    FUZZ_CHECK(content.WriteStrings(RecordFileSection(), StoredRecordValues(record)));
    return ReadStoredRecord(TIniContent(content.Bytes()));
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QLocale::setDefault(QLocale(Languages[data[size - 1] % std::size(Languages)]));
    TIniContent content(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size - 1)));
    TStoredRecord read = ReadStoredRecord(content);
    FUZZ_CHECK(read.FileSize >= -1 && read.NumOfParts >= -1);

    const TStoredRecord saved = Saved(content, read);
    for (QString* text : {&read.Url, &read.LocalFileName, &read.Status, &read.Category, &read.Description})
        *text = Blanked(*text);
    FUZZ_CHECK(Same(saved, read, 1.0 / 86400));
    TIniContent fresh;
    FUZZ_CHECK(Same(Saved(fresh, saved), saved, 0));
    FUZZ_CHECK(Same(Saved(content, saved), saved, 0));
    return 0;
}
