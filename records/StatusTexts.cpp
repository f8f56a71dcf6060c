#include "records/StatusTexts.h"

#include "platform/base/Guard.h"
#include "ui/translation/Translator.h"

#include <QUrl>
#include <functional>

namespace {
using TextsField = QString TStatusTexts::*;
using Translation = std::function<QString(const QString&)>;

struct StatusRow {
    const char* English;
    TextsField Text;
    TPartDownloaderState StateCode;
    const char* RecordText;
};

const StatusRow Statuses[] = {
    {"Idle", &TStatusTexts::Idle, pdsError, "Idle"},
    {"Downloading", &TStatusTexts::Downloading, pdsDownloading, "Downloading"},
    {"Done", &TStatusTexts::Done, pdsDone, "Done"},
    {"Combining files", &TStatusTexts::CombiningFiles, pdsDone, "Combining files"},
    {"Paused", &TStatusTexts::Paused, pdsPaused, "Paused"},
    {"Scheduled", &TStatusTexts::Scheduled, pdsPaused, "Scheduled"},
    {"Queued", &TStatusTexts::Queued, pdsPaused, "Queued"},
    {"Contacting host", &TStatusTexts::ContactingHost, pdsDownloading, "Downloading"},
    {"Getting file info", &TStatusTexts::GettingFileInfo, pdsDownloading, "Downloading"},
    {"Timeout", &TStatusTexts::Timeout, pdsError, "Paused"},
    {"File not found", &TStatusTexts::FileNotFound, pdsError, "Paused"},
    {"Resume is not supported", &TStatusTexts::ResumeNotSupported, pdsError, "Resume is not supported"},
    {"Filesize mismatch", &TStatusTexts::FilesizeMismatch, pdsError, "Paused"},
    {"Couldn't connect to host", &TStatusTexts::CouldntConnect, pdsError, "Paused"},
    {"Lost connection to server", &TStatusTexts::LostConnection, pdsError, "Paused"},
    {"Couldn't login", &TStatusTexts::CouldntLogin, pdsError, "Paused"},
};

const std::pair<const char*, TextsField> Constants[] = {
    {"Yes", &TStatusTexts::Yes},
    {"No", &TStatusTexts::No},
    {"Unknown", &TStatusTexts::Unknown},
    {"All", &TStatusTexts::All},
    {"Categories", &TStatusTexts::Categories},
    {"Status", &TStatusTexts::Status},
    {"History", &TStatusTexts::History},
    {"Today", &TStatusTexts::Today},
    {"24 Hours", &TStatusTexts::Hours24},
    {"7 Days", &TStatusTexts::Days7},
    {"30 Days", &TStatusTexts::Days30},
};

const char* const ProductName = "Corvane";
const char* const ProductVersion = "Corvane 1.3";

// Subject and body are percent-encoded: a translation holding "&", "#" or "?" must
// not cut the mail short.
QString MailLink(const QString& address, const QString& subject, const QString& body)
{
    return QStringLiteral("mailto:") + address + QStringLiteral("?subject=")
        + QString::fromLatin1(QUrl::toPercentEncoding(subject)) + QStringLiteral("&body=")
        + QString::fromLatin1(QUrl::toPercentEncoding(body));
}

TStatusTexts MakeTexts(const Translation& tr)
{
    TStatusTexts texts;
    for (const StatusRow& row : Statuses)
        texts.*row.Text = tr(QString::fromLatin1(row.English));
    for (const auto& [english, field] : Constants)
        texts.*field = tr(QString::fromLatin1(english));
    const QString product = QString::fromLatin1(ProductName);
    texts.ClosingGreeting = tr(QStringLiteral("Thank you for using")) + QLatin1Char(' ') + product;
    texts.BugReportLink = MailLink(QString::fromLatin1(BugReportAddress), QString::fromLatin1(ProductVersion),
        tr(QStringLiteral("Please provide information that might help us correct the bug, like your "
                          "Windows version, system settings and a detailed description of the problem.")));
    texts.SuggestionLink = MailLink(QString::fromLatin1(SuggestionAddress), QString::fromLatin1(ProductVersion),
        tr(QStringLiteral("Enter your suggestions here")));
    texts.RecommendLink = MailLink(QString(), product,
        product + QStringLiteral(", ")
            + tr(QStringLiteral("a free download manager that's really good! You can find it at:"))
            + QLatin1Char(' ') + QString::fromLatin1(WebSiteAddress));
    return texts;
}

TStatusTexts& MutableTexts()
{
    static TStatusTexts texts = MakeTexts([](const QString& english) { return english; });
    return texts;
}

const StatusRow* FindStatus(const QString& status)
{
    const TStatusTexts& texts = StatusTexts();
    for (const StatusRow& row : Statuses) {
        if (texts.*row.Text == status)
            return &row;
    }
    return nullptr;
}
}

const TStatusTexts& StatusTexts()
{
    return MutableTexts();
}

void LoadStatusTexts()
{
    Guarded("procedure LoadStatusTexts", [] {
        MutableTexts() = MakeTexts([](const QString& english) { return Translate(english); });
    });
}

QString StatusToEnglish(const QString& status)
{
    const StatusRow* row = FindStatus(status);
    return row ? QString::fromLatin1(row->English) : QString();
}

TPartDownloaderState StatusToStateCode(const QString& status)
{
    const StatusRow* row = FindStatus(status);
    return row ? row->StateCode : pdsError;
}

QString StatusToRecordText(const QString& status)
{
    const StatusRow* row = FindStatus(status);
    if (row)
        return QString::fromLatin1(row->RecordText);
    // Any other text is a failure message (a server's reason phrase, a join that
    // failed): stored like the table's failures, so the record comes back "Paused"
    // and resumable instead of with no status at all.
    return status.isEmpty() ? QString() : QStringLiteral("Paused");
}

TStatusColors& StatusColors()
{
    static TStatusColors colors;
    return colors;
}

uint32_t GetStatusColor(uint8_t stateCode)
{
    const TStatusColors& colors = StatusColors();
    switch (stateCode) {
    case pdsContactingHost:
    case pdsDownloading:
        return colors.DownloadingColor;
    case pdsPaused:
    case pdsScheduled:
    case pdsQueued:
        return colors.PausedColor;
    case pdsDone:
        return colors.DoneColor;
    case pdsError:
        return colors.ErrorColor;
    default:
        return colors.OtherColor;
    }
}
