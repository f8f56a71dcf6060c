#pragma once
#include "platform/base/Clock.h"
#include "records/DownloadState.h"
#include "records/RemoteValidators.h"
#include "records/Url.h"

#include <QString>
#include <memory>

class QTimer;
class TCategory;
class TIniFile;

// The persistent record of one download: what must survive a restart. It lives in
// TempFileName + ".dat" in the partial-downloads folder, next to the part files
// TempFileName + "." + start byte.
class TLocalDownloadinfo {
public:
    // A new download: url and no temporary name (a fresh one is drawn in the
    // partial-downloads folder). A stored one: no url and the record file's name
    // without ".dat". Either way the record file is read; a missing file or key
    // leaves the defaults, an unusable value too. A record stored while combining
    // files comes back paused: joining runs again when it is resumed.
    explicit TLocalDownloadinfo(std::unique_ptr<TUrl> url, const QString& tempFileName = QString());
    TLocalDownloadinfo(const TLocalDownloadinfo&) = delete;
    TLocalDownloadinfo& operator=(const TLocalDownloadinfo&) = delete;
    ~TLocalDownloadinfo();

    // The translated status text, or any other text (a combining progress, a
    // server's reason phrase).
    const QString& Status() const { return m_status; }
    // Leaving "Downloading", "Contacting host" or "Getting file info" for another
    // text marks the moment as LastActivity. Changes neither StateCode nor the file.
    void SetStatus(const QString& value);

    // Writes every stored field in one atomic rewrite of the record file (created
    // owner-only). Line breaks and NULs in texts are written as blanks. False when
    // it cannot be written; the old file then stays as it was.
    bool SaveToDatFile() const;
    bool DeleteDatFile() const;
    // Deletes every file TempFileName + ".*" but the record file itself.
    void DeletePartFiles() const;

    const QString& TempFileName() const { return m_tempFileName; }
    QString DatFileName() const;

    TPartDownloaderState StateCode = pdsContactingHost;
    std::unique_ptr<TUrl> URL;       // may be none
    QString LocalFileName;           // empty until chosen
    QTimer* RetryTimer = nullptr;    // owned by the download system
    int RetryCountdown = 0;          // seconds
    qint64 FileSize = 0;             // 0 not known yet, -1 the server gave none
    int NumOfParts = -1;             // -1 never split
    TCategory* Category = nullptr;   // not owned
    TDateTime LastActivity = 0;
    TDateTime Created = 0;
    QString Description;
    // The validators of the answers the part files were filled from, per server; the
    // downloader compares each new answer with its server's entry.
    THostValidatorList RemoteValidators;

private:
    void LoadFromDatFile();

    QString m_status;
    QString m_tempFileName;
    // The record file as last read or saved, kept so a save need not read it again.
    mutable std::unique_ptr<TIniFile> m_datFile;
};
