#include "records/StatusTexts.h"

#include "records/Url.h"
#include "ui/translation/Translator.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {
using Field = QString TStatusTexts::*;

struct StatusCase {
    const char* English;
    TPartDownloaderState Code;
    Field Text;
    const char* RecordText;
    Field LoadedAs;
    TPartDownloaderState LoadedCode;
};

const StatusCase StatusCases[] = {
    {"Idle", pdsError, &TStatusTexts::Idle, "Idle", &TStatusTexts::Idle, pdsError},
    {"Downloading", pdsDownloading, &TStatusTexts::Downloading, "Downloading", &TStatusTexts::Downloading, pdsDownloading},
    {"Done", pdsDone, &TStatusTexts::Done, "Done", &TStatusTexts::Done, pdsDone},
    {"Combining files", pdsDone, &TStatusTexts::CombiningFiles, "Combining files", &TStatusTexts::CombiningFiles, pdsDone},
    {"Paused", pdsPaused, &TStatusTexts::Paused, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"Scheduled", pdsPaused, &TStatusTexts::Scheduled, "Scheduled", &TStatusTexts::Scheduled, pdsPaused},
    {"Queued", pdsPaused, &TStatusTexts::Queued, "Queued", &TStatusTexts::Queued, pdsPaused},
    {"Contacting host", pdsDownloading, &TStatusTexts::ContactingHost, "Downloading", &TStatusTexts::Downloading, pdsDownloading},
    {"Getting file info", pdsDownloading, &TStatusTexts::GettingFileInfo, "Downloading", &TStatusTexts::Downloading, pdsDownloading},
    {"Timeout", pdsError, &TStatusTexts::Timeout, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"File not found", pdsError, &TStatusTexts::FileNotFound, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"Resume is not supported", pdsError, &TStatusTexts::ResumeNotSupported, "Resume is not supported",
     &TStatusTexts::ResumeNotSupported, pdsError},
    {"Filesize mismatch", pdsError, &TStatusTexts::FilesizeMismatch, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"Couldn't connect to host", pdsError, &TStatusTexts::CouldntConnect, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"Lost connection to server", pdsError, &TStatusTexts::LostConnection, "Paused", &TStatusTexts::Paused, pdsPaused},
    {"Couldn't login", pdsError, &TStatusTexts::CouldntLogin, "Paused", &TStatusTexts::Paused, pdsPaused},
};

// A record saved with this status is stored in English and comes back, when loaded,
// as the translated status its English text names.
void ExpectRoundTrip(const StatusCase& c)
{
    SCOPED_TRACE(c.English);
    const QString shown = StatusTexts().*c.Text;
    EXPECT_EQ(StatusToEnglish(shown), c.English);
    EXPECT_EQ(StatusToStateCode(shown), c.Code);
    const QString stored = StatusToRecordText(shown);
    EXPECT_EQ(stored, c.RecordText);
    const QString loaded = Translate(stored);
    EXPECT_EQ(loaded, StatusTexts().*c.LoadedAs);
    EXPECT_EQ(StatusToStateCode(loaded), c.LoadedCode);
}

class GermanStatusTexts : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateTranslator(QStringLiteral(CORVANE_BIN_DIR "/Translations")).LoadLanguage("Deutsch.cvt"));
        LoadStatusTexts();
    }
    void TearDown() override
    {
        DestroyTranslator();
        LoadStatusTexts();
    }
};
}

TEST(StatusTexts, EnglishBeforeAnyLanguageIsLoaded)
{
    EXPECT_EQ(StatusTexts().ContactingHost, "Contacting host");
    EXPECT_EQ(StatusTexts().Hours24, "24 Hours");
    EXPECT_EQ(StatusTexts().ClosingGreeting, "Thank you for using Corvane");
    for (const StatusCase& c : StatusCases)
        ExpectRoundTrip(c);
}

TEST(StatusTexts, OtherTextsAreErrorsAndStoredAsPaused)
{
    for (const char* text : {"Combining files (50%)", "Service Unavailable", "downloading",
                             "Couldn't combine the parts: No space left on device"}) {
        EXPECT_EQ(StatusToEnglish(QString::fromLatin1(text)), "") << text;
        EXPECT_EQ(StatusToRecordText(QString::fromLatin1(text)), "Paused") << text;
        EXPECT_EQ(StatusToStateCode(QString::fromLatin1(text)), pdsError) << text;
    }
    EXPECT_EQ(StatusToRecordText(""), "") << "a record that never had a status";
}

TEST_F(GermanStatusTexts, RecordFilesHoldEnglishAndLoadBackTranslated)
{
    EXPECT_EQ(StatusTexts().ContactingHost, QStringLiteral("Verbindung zum Server wird hergestellt"));
    for (const StatusCase& c : StatusCases) {
        EXPECT_NE(StatusTexts().*c.Text, c.English) << "no German text for " << c.English;
        ExpectRoundTrip(c);
    }
    // The English text is no status any more while German is in use.
    EXPECT_EQ(StatusToStateCode(QStringLiteral("Downloading")), pdsError);
}

TEST_F(GermanStatusTexts, ConstantsAndMailLinksAreTranslated)
{
    const TStatusTexts& texts = StatusTexts();
    EXPECT_EQ(texts.Unknown, "Unbekannt");
    EXPECT_EQ(texts.Days7, "7 Tage");
    EXPECT_EQ(texts.ClosingGreeting, QStringLiteral("Vielen Dank für die Nutzung von Corvane"));
    EXPECT_EQ(TUrl(QStringLiteral("bare")).Protocol, "Unbekannt");

    const QString prefix = QStringLiteral("mailto:bugs@corvane.example.org?subject=Corvane%201.3&body=");
    ASSERT_TRUE(texts.BugReportLink.startsWith(prefix)) << texts.BugReportLink.toStdString();
    const QString body = QUrl::fromPercentEncoding(texts.BugReportLink.mid(prefix.size()).toLatin1());
    EXPECT_TRUE(body.startsWith(QStringLiteral("Bitte geben Sie"))) << body.toStdString();
    EXPECT_TRUE(texts.SuggestionLink.startsWith(QStringLiteral("mailto:suggestions@corvane.example.org?subject=")));
    const QString recommend = QUrl::fromPercentEncoding(texts.RecommendLink.toLatin1());
    EXPECT_TRUE(recommend.startsWith(QStringLiteral("mailto:?subject=Corvane&body=Corvane, ein kostenloser")));
    EXPECT_TRUE(recommend.endsWith(QStringLiteral(" https://corvane.example.org/")));
    EXPECT_FALSE(texts.RecommendLink.contains(QLatin1Char(' ')));
}

TEST(StatusColors, ByStateCode)
{
    TStatusColors& colors = StatusColors();
    colors = {1, 2, 3, 4, 5}; // downloading, paused, done, error, other
    const std::pair<int, uint32_t> cases[] = {
        {0, 1}, {6, 1}, {12, 2}, {13, 2}, {14, 2}, {8, 3}, {10, 4}, {1, 5}, {7, 5}, {11, 5}, {15, 5}, {255, 5},
    };
    for (const auto& [code, colour] : cases)
        EXPECT_EQ(GetStatusColor(uint8_t(code)), colour) << "state " << code;
    colors = TStatusColors();
    EXPECT_EQ(GetStatusColor(pdsError), 0x000000FFu);
}
