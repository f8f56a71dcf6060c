#pragma once
#include "platform/base/Clock.h"
#include "platform/ini/IniContent.h"

#include <QString>
#include <optional>

// The fields of a download's record file as texts and numbers: what the file says
// before a TLocalDownloadinfo makes a TUrl of the URL, translates the status and
// looks up the category. Reading and writing them needs no file, so the format can be
// checked on any bytes.
struct TStoredRecord {
    QString Url;                  // empty when none is stored
    QString LocalFileName;
    QString Status;               // the English text the file holds
    qint64 FileSize = 0;          // a missing or unusable value reads as 0
    int NumOfParts = -1;          // ... and as -1
    QString Category;             // the name; empty for none
    std::optional<TDateTime> LastActivity, Created; // none when missing or unreadable
    QString Description;
};

// The one section of a record file, "Options".
QString RecordFileSection();

// A text as one line: line breaks and NULs become blanks.
QString SingleLine(QString text);
// The text a key of the record's section holds; empty when missing.
QString RecordText(const TIniContent& content, const QString& key);
// The number a key of the record's section holds, or fallback when it is missing, no
// number, or outside minimum..maximum.
qint64 RecordNumberOr(const TIniContent& content, const QString& key, qint64 minimum, qint64 maximum, qint64 fallback);

TStoredRecord ReadStoredRecord(const TIniContent& content);
// The record's keys in the order a new file gets them. Line breaks and NULs in texts
// become blanks (the INI writer refuses them, and one of them in a description must
// not keep the whole record from being saved); a date of none is written empty.
TIniContent::Values StoredRecordValues(const TStoredRecord& record);
