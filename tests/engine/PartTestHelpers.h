#pragma once
#include "engine/PartDownloader.h"
#include "engine/PartDownloadSlot.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

void PrintTo(TPartDownloaderState state, std::ostream* out);
void PrintTo(TFileMirrorError error, std::ostream* out);
// The name of a state, for messages: "pdsPartDone".
const char* StateName(TPartDownloaderState state);

using States = std::vector<TPartDownloaderState>;

// Listens to a part downloader: writes down every state it reports and runs React
// (which may destroy the part downloader) after each.
struct PartWatch {
    PartWatch() = default;
    explicit PartWatch(TPartDownloader& part) { Watch(part); }
    void Watch(TPartDownloader& part);

    // Runs the event loop until a state that ends a request was reported (since the
    // last Run, or ever).
    bool WaitForEnd(int timeoutMs = 20000);
    // Get, then WaitForEnd.
    bool Run(TPartDownloader& part, int timeoutMs = 20000);
    bool Saw(TPartDownloaderState state) const;
    // The states without repeats of the one before.
    States Distinct() const;

    States states;
    std::function<void(TPartDownloader& part, TPartDownloaderState state)> React;
    bool ended = false;
};

// Pauses (or aborts) the part once data arrives, runs it to its end and checks what
// is left: a paused part file holds the beginning of source, an aborted one is gone.
void PauseOrAbortMidway(TPartDownloader& part, PartWatch& watch, bool pause, const QByteArray& source);

// Starts the part and has destroy free it inside its report of target; first, for a
// target of pdsPaused or pdsAborted, pauses or aborts it at pauseOrAbortAt. Then lets
// the event loop run, so anything still queued for the freed object would reach it.
void DestroyInsideReport(TPartDownloader& part, PartWatch& watch, TPartDownloaderState target,
                         TPartDownloaderState pauseOrAbortAt, const std::function<void()>& destroy);

// pdsPartDone, pdsError, pdsAuthRequired, pdsPaused, pdsAborted.
bool EndsRequest(TPartDownloaderState state);

// Settings for the HTTP proxy, in the test's registry.
void UseHttpProxy(const QString& host, quint16 port, const QString& user = {}, const QString& password = {});

// Makes the store hold credentials for the URL's host and realm.
void StoreCredentials(const QString& url, const QString& realm, const QString& user, const QString& password);
