#pragma once
#include "engine/PartDownloader.h"
#include "engine/PartDownloadSlot.h"

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

// pdsPartDone, pdsError, pdsAuthRequired, pdsPaused, pdsAborted.
bool EndsRequest(TPartDownloaderState state);

// Settings for the HTTP proxy, in the test's registry.
void UseHttpProxy(const QString& host, quint16 port, const QString& user = {}, const QString& password = {});

// Makes the store hold credentials for the URL's host and realm.
void StoreCredentials(const QString& url, const QString& realm, const QString& user, const QString& password);
