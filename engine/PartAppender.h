#pragma once
#include "engine/PartJoin.h"
#include "engine/Synchronizer.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Appends a running download's finished parts onto ".0" on a worker thread while the
// later parts still arrive (AppendParts in engine/PartJoin.h, with its journal), so
// that the join at the end is left with what came last. One append at a time; its
// result comes back on the thread that made the appender.
//
// Destroying the appender (also from inside OnAppended) or Stop lets a running append
// stop at its next step: ".0" is cut back to where that part began and the part stays,
// so the files are as a later downloader or combiner expects them. The destructor waits
// for that step (at most one copy chunk), so nothing of this appender touches the files
// once it is gone.
class TPartAppender {
public:
    // Part files are tmpFileName + "." + start byte.
    explicit TPartAppender(const QString& tmpFileName);
    ~TPartAppender();
    TPartAppender(const TPartAppender&) = delete;
    TPartAppender& operator=(const TPartAppender&) = delete;

    // Appends the parts from ".0"'s end up to end (one past their last byte). False,
    // doing nothing, while an append runs or when no thread can be started.
    bool Append(qint64 end);
    // Appends what is final of the part still being written after ".0" (AppendGrowingPart);
    // OnAppended's end is then part.Start + part.Final.
    bool Append(const TGrowingPart& part);
    // The running append stops at its next step; OnAppended still comes.
    void Stop();
    // An append has been started and OnAppended has not come yet.
    bool Busy() const { return Running; }

    // After each append, with the end it was given; the handler may destroy the appender.
    std::function<void(qint64 end, const TJoinResult& result)> OnAppended;

private:
    using TWork = std::function<TJoinResult(const TJoinJob& job, const TJoinProgress& progress)>;
    bool Start(qint64 end, TWork work);
    void Finished(qint64 end, const TJoinResult& result);

    // What the owner and the worker of one append share.
    struct TRun {
        std::atomic<bool> Stop{false};
        std::mutex Lock;
        std::condition_variable Changed;
        bool Ended = false;
    };

    const std::string TmpFileName;
    std::shared_ptr<TSynchronizer> Synchronizer;
    std::shared_ptr<TRun> Current; // the running append
    bool Running = false;
};
