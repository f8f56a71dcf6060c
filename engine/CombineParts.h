#pragma once
#include "engine/PartJoin.h"
#include "engine/Synchronizer.h"

#include <QString>
#include <functional>
#include <memory>

class QObject;
class TLocalDownloadinfo;

// What the download system learns when joining has ended.
struct TCombineResult {
    bool Ok = false;
    QString Message; // for the user, translated; empty when Ok
};

// Joins a finished download's part files into its target on a worker thread of its
// own (JoinParts in engine/PartJoin.h says how that survives a crash), shows the
// progress as the record's status, "Combining files (37%)", starts the virus checker
// on the new file after a success, and reports the result.
//
// The worker works on its own copies of the names and the size and touches only
// files. Everything else runs on the thread that created the combiner, handed over
// through a synchronizer: once whenever the rounded percentage changes, and once at
// the end (after a success while ".0" is still there, so the owner can record the
// success before the last trace of the parts goes). The owner keeps this object until OnFilesCombined, or destroys it earlier
// (also from inside its events): from then on no event is raised, the record is not
// touched again, and the worker stops at its next step, leaving the files so that a
// later combiner continues where this one stopped. The record must outlive this
// object.
class TCombineParts {
public:
    // Takes the names and the size from the record and starts the worker at once.
    TCombineParts(TLocalDownloadinfo& downloadInfo, std::function<void(const TCombineResult&)> onFilesCombined);
    ~TCombineParts();
    TCombineParts(const TCombineParts&) = delete;
    TCombineParts& operator=(const TCombineParts&) = delete;

    const QString TmpFileName;  // part files are TmpFileName + "." + start byte
    const QString LclFileName;  // the target
    const qint64 RemoteFSize;   // -1: unknown, the size of ".0"

    // The record's status has just changed: its row wants refreshing. The handler may
    // destroy this combiner.
    std::function<void()> OnUpdateInfo;
    // Raised once when the worker has ended, with success or the failure's message.
    // The handler may destroy this combiner.
    std::function<void(const TCombineResult&)> OnFilesCombined;

    bool Finished() const { return HasFinished; }
    const TCombineResult& Result() const { return FinalResult; }

    // Threads of the whole process that work on part files (combiners and the
    // downloaders' early appends) and have not ended yet.
    static int RunningThreads();
    // Waits (real time) until every such thread has ended, at most timeoutMs; false
    // when some still run. For program exit and tests.
    static bool WaitForThreads(int timeoutMs);

private:
    static void Execute(TJoinJob job, std::shared_ptr<TSynchronizer> synchronizer, TCombineParts* self);
    void UpdateInfo(int percent);
    void OnTerminateProc(const TJoinResult& result);
    void StartVirusCheck() const;

    TLocalDownloadinfo* DownloadInfo;
    std::shared_ptr<TSynchronizer> Synchronizer;
    // Delivers the failure when no worker could be started.
    std::unique_ptr<QObject> Context;
    TCombineResult FinalResult;
    bool HasFinished = false;
};

// round(done / total * 100), halves up, within 0..100; 100 when there is nothing to do.
int RoundedPercent(qint64 done, qint64 total);
