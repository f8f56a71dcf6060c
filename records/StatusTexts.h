#pragma once
#include "records/DownloadState.h"

#include <QString>
#include <cstdint>

// The fixed vocabulary of download states and the other texts made once at start-up,
// in the language in use. Statuses are compared with these strings by content; record
// files hold the English text instead (StatusToRecordText).
struct TStatusTexts {
    // The sixteen statuses.
    QString Idle, Downloading, Done, CombiningFiles, Paused, Scheduled, Queued, ContactingHost,
        GettingFileInfo, Timeout, FileNotFound, ResumeNotSupported, FilesizeMismatch,
        CouldntConnect, LostConnection, CouldntLogin;
    // Resume support, unknown sizes and protocols, and the captions of the category tree.
    QString Yes, No, Unknown, All, Categories, Status, History, Today, Hours24, Days7, Days30;
    // "Thank you for using Corvane" and the mail links of the Help menu.
    QString ClosingGreeting, BugReportLink, SuggestionLink, RecommendLink;
};

// English until LoadStatusTexts has run.
const TStatusTexts& StatusTexts();
// Translates every text with the language now loaded; called once at start-up.
void LoadStatusTexts();

// The English text of one of the sixteen statuses; empty for any other text.
QString StatusToEnglish(const QString& status);
// The state code a record loaded with this status gets: downloading, done, paused or
// error (also for any text that is not one of the sixteen).
TPartDownloaderState StatusToStateCode(const QString& status);
// What a record file stores for a status: its English text, with the transient
// statuses written as "Downloading" and failures as "Paused" (also any text that is
// not one of the sixteen); empty for an empty status.
QString StatusToRecordText(const QString& status);

// Colour numbers as the theme stores them (0x00BBGGRR, or 0x80000000 plus a system
// colour index). They start with the standard theme's values; the main window loads
// the chosen theme into them.
struct TStatusColors {
    uint32_t DownloadingColor = 0x00FF0000;
    uint32_t PausedColor = 0x00008080;
    uint32_t DoneColor = 0x00008000;
    uint32_t ErrorColor = 0x000000FF;
    uint32_t OtherColor = 0x00000000;
};
TStatusColors& StatusColors();
// The colour of a download's text by its state code.
uint32_t GetStatusColor(uint8_t stateCode);

// Where the Help menu's mail links point.
inline constexpr const char* BugReportAddress = "bugs@corvane.example.org";
inline constexpr const char* SuggestionAddress = "suggestions@corvane.example.org";
inline constexpr const char* WebSiteAddress = "https://corvane.example.org/";
