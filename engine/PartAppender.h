#pragma once
#include "engine/PartJoin.h"
#include "engine/Synchronizer.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

// Appends a running download's finished parts onto ".0" on a worker thread while the
// later parts still arrive (AppendParts in engine/PartJoin.h, with its journal), so
// that the join at the end is left with what came last. One append at a time; its
// result comes back on the thread that made the appender.
//
// Destroying the appender (also from inside OnAppended) or Stop lets a running append
// stop at its next step: ".0" is cut back to where that part began and the part stays,
// so the files are as a later downloader or combiner expects them.
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
    // The running append stops at its next step; OnAppended still comes.
    void Stop();
    // An append has been started and OnAppended has not come yet.
    bool Busy() const { return Running; }

    // After each append, with the end it was given; the handler may destroy the appender.
    std::function<void(qint64 end, const TJoinResult& result)> OnAppended;

private:
    void Finished(qint64 end, const TJoinResult& result);

    const std::string TmpFileName;
    std::shared_ptr<TSynchronizer> Synchronizer;
    std::shared_ptr<std::atomic<bool>> StopRequest; // of the running append
    bool Running = false;
};
