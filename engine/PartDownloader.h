#pragma once
#include "records/DownloadState.h"
#include "records/RemoteValidators.h"
#include "records/Url.h"

#include <QFileDevice>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// Fetches one byte range of one file from one source over one connection and appends
// what arrives to the range's part file. Every change of State is reported to one
// listener (the slot) through OnChange; the listener may change EndByte, restart,
// hand over or destroy the part downloader from inside that call.
//
// The fields are the slot's and the downloader's to read and, where the engine says
// so (State, ErrorState, ErrorText, CredentialsTried, EndByte), to set.
class TPartDownloader {
public:
    // The part file gets "." + startB appended when its name has no "." of its own.
    TPartDownloader(const QString& url, const QString& fileName, qint64 startB, qint64 endB);
    virtual ~TPartDownloader();
    TPartDownloader(const TPartDownloader&) = delete;
    TPartDownloader& operator=(const TPartDownloader&) = delete;

    // Ends the transfer; how it ended is reported through OnChange.
    virtual void Stop() = 0;
    // Starts (or restarts) the request for the range, after what the part file holds.
    virtual void Get() = 0;
    // Stops and deletes the part file; ends in pdsAborted.
    virtual void Abort();
    // Stops and keeps the part file; ends in pdsPaused.
    virtual void Pause();

    // Absolute positions in the remote file, both inclusive; EndByte 0 is open-ended.
    qint64 StartByte = 0;
    qint64 EndByte = 0;
    QString FileName;
    TUrl Url;
    std::function<void(TPartDownloader* part, TPartDownloaderState state)> OnChange;

    // The remote file's total size: 0 until learnt, -1 when the server did not say.
    // Kept across restarts of the same object.
    qint64 RemoteFileSize = 0;
    // The validators of the latest 200 or 206 answer, set before its pdsResumeInfoKnown
    // is reported; always empty for FTP.
    TRemoteValidators Validators;
    TPartDownloaderState State = pdsContactingHost;
    // Bytes in the part file, earlier runs included.
    qint64 TransferCount = 0;
    bool Aborted = false;
    bool Paused = false;
    TFileMirrorError ErrorState = fmeNone;
    QString ErrorText;
    uint8_t ResumeSupport = 2; // 0 yes, 1 no, 2 not yet known
    QString AllowResume;       // "Yes", "No" or "Unknown", translated
    uint32_t LastActivity = 0; // tick count of the last network event
    QString Realm;             // of the last 401 challenge
    bool CredentialsTried = false;

    // The most bytes read per wake-up of the connection (0: the client's default).
    virtual void SetReadBudget(qint64 bytes) { readBudget = bytes; }

    // The range's length; 0 for an open-ended range.
    qint64 RangeLength() const { return EndByte > 0 ? EndByte - StartByte + 1 : 0; }

protected:
    qint64 readBudget = 0;
    // Raises OnChange with State; false when the listener destroyed this object, so
    // the caller must return at once.
    bool Change();
    void SetResumeSupport(bool supported);
    // State := pdsError with the reason and its text.
    void SetError(TFileMirrorError error, const QString& text);
    // Tells whether this object still exists after a call that may destroy it.
    std::weak_ptr<int> AliveToken() const { return alive; }

private:
    std::shared_ptr<int> alive = std::make_shared<int>(0);
};

// The status of a part whose file would not take what arrived (a full disk): the
// combiner's wording, so the user reads the same about the same cause.
QString CouldntWriteText(const QString& fileName, const QString& why);
// Why the last write to file failed, also when it stored part of its bytes. Call it
// right after the write.
QString WriteErrorText(const QFileDevice& file);

// The part file's size in bytes; 0 when it does not exist.
qint64 PartFileSize(const QString& fileName);
// Cuts the part file to size bytes when it is longer; a shorter one stays as it is.
bool TruncatePartFile(const QString& fileName, qint64 size);
