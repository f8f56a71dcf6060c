#include "app/ListCommand.h"

#include "app/CliText.h"
#include "app/Startup.h"
#include "coordination/DownloadSystem.h"
#include "records/GeneralFunctions.h"
#include "records/LocalDownloadinfo.h"
#include "records/StatusTexts.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {
enum TColumn { Status, Size, Done, Path, Url, ColumnCount };
using TRow = std::array<QString, ColumnCount>;

QString DoneText(const TLocalDownloadinfo& record)
{
    const qint64 done = record.Status() == StatusTexts().Done ? record.FileSize
                                                              : TDownloadSystem::BytesDownloaded(record.TempFileName());
    QString text = BytesToPresentableString(std::max<qint64>(done, 0));
    if (record.FileSize > 0)
        text += QStringLiteral(" (%1%)").arg(std::min<qint64>(100, done * 100 / record.FileSize));
    return text;
}

TRow RowOf(const TLocalDownloadinfo& record)
{
    const QString size = record.FileSize > 0 ? BytesToPresentableString(record.FileSize) : StatusTexts().Unknown;
    const QString url = record.URL ? MaskedUrlText(record.URL->Url) : QString();
    const QString path = record.LocalFileName.isEmpty() ? QStringLiteral("-") : record.LocalFileName;
    return {record.Status(), size, DoneText(record), path, url};
}

// Every column but the last padded to its widest text.
void Print(const std::vector<TRow>& rows)
{
    std::array<qsizetype, ColumnCount> widths {};
    for (const TRow& row : rows) {
        for (int c = 0; c < ColumnCount; ++c)
            widths[c] = std::max(widths[c], PrintableText(row[c]).size());
    }
    for (const TRow& row : rows) {
        QString line;
        for (int c = 0; c < ColumnCount; ++c) {
            const QString text = PrintableText(row[c]);
            line += c + 1 < ColumnCount ? text.leftJustified(widths[c]) + QStringLiteral("  ") : text;
        }
        PrintLine(line);
    }
}
}

int RunListCommand(const QStringList& arguments)
{
    if (!arguments.isEmpty()) {
        PrintError(QStringLiteral("usage: corvane list"));
        return 2;
    }
    LoadLanguage();
    std::vector<std::unique_ptr<TLocalDownloadinfo>> records;
    for (const QString& path : TDownloadSystem::GetDatFileNames())
        records.push_back(std::make_unique<TLocalDownloadinfo>(nullptr, path.chopped(4)));
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a->Created != b->Created ? a->Created < b->Created : a->TempFileName() < b->TempFileName();
    });
    std::vector<TRow> rows {{"STATUS", "SIZE", "DONE", "PATH", "URL"}};
    for (const auto& record : records)
        rows.push_back(RowOf(*record));
    Print(rows);
    return 0;
}
