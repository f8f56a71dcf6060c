#pragma once
#include "engine/PartDownloadSlot.h"
#include "engine/PartJoin.h"
#include "engine/Pinger.h"
#include "engine/TransferSpeed.h"
#include "records/LocalDownloadinfo.h"
#include "records/Url.h"

#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class TPartAppender;
class TPingSystem;

// A mirror list that frees its mirrors when it goes.
class TOwningMirrorList : public TMirrorList {
public:
    TOwningMirrorList() = default;
    TOwningMirrorList(const TOwningMirrorList&) = delete;
    TOwningMirrorList& operator=(const TOwningMirrorList&) = delete;
    ~TOwningMirrorList() { DeleteAndFreeAllMirrors(); }
};

// Runs one download without any window: slot 0 probes the size and resume support,
// the file is split into ranges, one slot per range runs in parallel, failing slots
// move to other mirrors, a slot that finished its range takes over an untouched one
// after it, stalled connections time out, and the owner hears of every step through
// the On... events. It reports into its record (status, state code, size, number of
// parts) but never joins the part files: OnAllPartsDone tells the owner to.
//
// Part files are the record's temporary name + "." + the decimal start byte of their
// range; read in the order of their start bytes they form a chain.
//
// Two things make a fast download (one the thread's speed limits) end sooner: the
// first running range gets the largest share of reading, so the ranges complete one
// after the other, and a worker (TPartAppender) appends onto ".0" the finished ranges
// that follow it without a gap, then the final bytes of the range after it while that
// still arrives. OnAllPartsDone waits for a running append; the combiner then joins
// only what is left.
//
// Never destroy a downloader inside one of its events: the owner marks it and frees it
// later (from a timer). Pings, network events and the update timer that are still
// pending when it goes reach nothing of it.
class TDownloader {
public:
    // Builds everything and starts at once: a record never split is probed by slot 0,
    // one split before is rebuilt from its part files. pinger measures the mirrors.
    TDownloader(TLocalDownloadinfo* downloadInfo, int numOfParts, bool useLocalMirrorList, bool mayStart,
                std::shared_ptr<TPinger> pinger = IcmpPinger());
    ~TDownloader();
    TDownloader(const TDownloader&) = delete;
    TDownloader& operator=(const TDownloader&) = delete;

    // Lets the download run: the 100 ms updates start, or OnAllPartsDone comes at once
    // when everything arrived while the owner was still deciding.
    void StartDownload();
    void Pause();
    // Stops every slot and deletes the part files.
    void Abort();
    // Starts every slot that is not done again on its own mirror.
    void RestartDownload();
    // Fails each connection that has been silent for longer than its limit.
    void CheckSlotsForTimeOut(uint32_t currentTick);

    // "hh:mm:ss", or "N/A" without a known size or a rate.
    QString TimeLeft();
    // kB/s with one decimal, or "N/A".
    QString TransferRate() const { return Speed.TransferRate; }
    // The bytes of the file that have arrived; also kept in LastTransferCount.
    qint64 TransferCount();

    // The part files starting at 0 chain up to the file size (always true when the size
    // is unknown).
    bool AllPartsDone() const;
    // The first mirror along the list whose load-weighted ping is no worse than the
    // next one's; none when every mirror failed.
    TFileMirror* ChooseMirror() const;
    // The first slot parked without a usable mirror.
    TPartDownloadSlot* GetNextIdleSlot() const;
    // Splits a fresh download into ranges, or rebuilds the plan from the part files.
    void CreateParts();
    // Moves a failed slot, and the waiting slots on its mirror, to the best mirror left.
    void TryToChangeSlotMirror(TPartDownloadSlot* slot);
    // Every slot's OnChange.
    void SlotChange(TPartDownloadSlot* slot, TPartDownloaderState state);
    // The ping system's reply handler: the mirror is sorted in by its new ping time.
    void MirrorPinged(TFileMirror* fileMirror);
    void OnUpdateTimer();

    TLocalDownloadinfo* const DownloadInfo; // not owned
    // The download's sources in order of preference, with their mirrors.
    TOwningMirrorList Mirrors;
    TPartDownloadSlots Slots; // slot 0 always starts at byte 0
    TTransferSpeed Speed{200};
    // Runs from StartDownload; the owner stops it once the parts are complete.
    QTimer UpdateTimer;
    int NumOfParts;
    bool UseLocalMirrorList;
    bool MayStart;
    uint8_t ResumeSupport = 2; // 0 yes, 1 no, 2 not known yet
    QString AllowResume;       // "Yes", "No" or "Unknown", translated
    bool Aborted = false;
    bool Paused = false;
    // Restarts since a slot last received data.
    int RestartCount = 0;
    // Answers that showed another version of the file than the part files hold; the
    // first starts the download again from scratch, the next one fails it.
    int RemoteChanges = 0;
    // The status of the slot whose failure failed the download.
    QString StatusText;
    qint64 LastTransferCount = 0;

    std::function<void(TDownloader*)> OnFileSizeRequestDone;
    std::function<void(TDownloader*, TPartDownloadSlot*)> OnAuthenticationRequired;
    std::function<void(TDownloader*)> OnStartDownload;
    std::function<void(TDownloader*)> OnDownloadError;
    std::function<void(TDownloader*)> OnUpdate;
    std::function<void(TDownloader*)> OnAllPartsDone;
    std::function<void(TDownloader*, TFileMirror*, int index)> OnPingedMirror;
    std::function<void(const QString& host, qint64 bytesPerSecond)> OnServerSpeed;
    std::function<void(TDownloader*)> OnAbort;
    std::function<void(TDownloader*)> OnPause;
    std::function<void(TDownloader*)> OnResume;
    std::function<void(TDownloader*, TPartDownloadSlot*)> OnSlotChange;
    std::function<void(TDownloader*, TPartDownloadSlot*)> OnSlotDelete;

    QString PartFileName(qint64 startByte) const;
    // The record's status while a download changed on its server starts again, and
    // when it failed because the file changed once more.
    static QString StartingAgainStatus();
    static QString KeepsChangingStatus();

private:
    // Raises an event when somebody listens.
    template <class Event, class... Args>
    static void Raise(const Event& event, Args&&... args)
    {
        if (event)
            event(std::forward<Args>(args)...);
    }

    TFileMirror* AddLocalMirrors(const QString& url, TFileMirror* mainMirror);
    TPartDownloadSlot* NewSlot(qint64 startByte, qint64 endByte);
    int IndexOfSlot(const TPartDownloadSlot* slot) const;
    bool AnySlotRunning() const;
    bool NothingCanRun() const;
    bool ReadyToJoin() const;
    void Complete();
    void Fail(const TPartDownloadSlot* slot);
    void SplitAndSave();
    void ShareReading();
    void AppendFinishedParts();
    void AppendGrowingRange();
    void StartAppend(qint64 end, std::optional<TGrowingPart> growing);
    void DropGrowingRange();
    void PartsAppended(qint64 end, bool ok);
    void ForgetAppends();
    void SaveNumOfParts();

    void SplitFresh();
    void ResumeFromPartFiles(std::vector<qint64> starts);
    void StartFirstSlotIfIncomplete();

    void SlotConnecting(TPartDownloaderState state);
    void SlotAuthRequired(TPartDownloadSlot* slot);
    bool SlotFileSizeKnown(TPartDownloadSlot* slot);
    void RefuseOtherFile(TPartDownloadSlot* slot);
    bool SlotResumeInfoKnown(TPartDownloadSlot* slot);
    void SlotDownloading();
    void SlotPartDone(TPartDownloadSlot* slot);
    void SlotEndReached(TPartDownloadSlot* slot);
    void MergeSlot(TPartDownloadSlot* slot, int nextIndex);
    void SlotError(TPartDownloadSlot* slot);
    // Remote changes (DownloaderRemoteChange.cpp).
    bool RemoteVersionKept(TPartDownloadSlot* slot);
    void StartAgain(const THostValidators& seen);
    void StopEveryPart();
    void MoveSlot(TPartDownloadSlot* slot);
    int TimeOutLimit(TPartDownloaderState state, int timeOutTime, int mirrorTimeOutTime) const;

    int PartsWanted; // NumOfParts as given, before any merge
    std::unique_ptr<TPingSystem> PingSystem; // goes before the mirrors it pings
    std::unique_ptr<TPartAppender> Appender;
    qint64 AppendedUpTo = 0; // ".0" holds the file up to here through early appends
    qint64 GrowingStart = -1; // the range after ".0" that is partly on it already
    qint64 GrowingCopied = 0; // how much of it
    std::optional<TGrowingPart> PendingGrowing; // the append of it that runs now
    bool AppendsOff = false; // one failed: the combiner does the rest, and says why

public:
    // Reading shares (bytes per wake-up of a connection) of the first running range
    // and of the others.
    static constexpr qint64 LeadReadBudget = 4 << 20;
    static constexpr qint64 TrailReadBudget = 64 << 10;
    // New bytes of the range after ".0" that are worth an append of their own.
    qint64 AppendStep = 16 << 20;
};
