#include "tests/engine/PartTestHelpers.h"

#include "records/Settings.h"
#include "records/SiteManager.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>

const char* StateName(TPartDownloaderState state)
{
    static const char* const names[] = {
        "pdsContactingHost", "pdsGettingFileInfo", "pdsAuthRequired", "pdsReserved", "pdsFileSizeKnown",
        "pdsResumeInfoKnown", "pdsDownloading", "pdsPartDone", "pdsDone", "pdsEndReached",
        "pdsError", "pdsAborted", "pdsPaused", "pdsScheduled", "pdsQueued", "pdsIdle"};
    return state < std::size(names) ? names[state] : "?";
}

void PrintTo(TPartDownloaderState state, std::ostream* out)
{
    *out << StateName(state);
}

void PrintTo(TFileMirrorError error, std::ostream* out)
{
    *out << "fme " << int(error);
}

bool EndsRequest(TPartDownloaderState state)
{
    return state == pdsPartDone || state == pdsError || state == pdsAuthRequired || state == pdsPaused ||
           state == pdsAborted;
}

void PartWatch::Watch(TPartDownloader& part)
{
    part.OnChange = [this](TPartDownloader* sender, TPartDownloaderState state) {
        states.push_back(state);
        if (EndsRequest(state))
            ended = true;
        if (React)
            React(*sender, state);
    };
}

bool PartWatch::WaitForEnd(int timeoutMs)
{
    return ProcessEventsUntil([this] { return ended; }, timeoutMs);
}

bool PartWatch::Run(TPartDownloader& part, int timeoutMs)
{
    ended = false;
    part.Get();
    return WaitForEnd(timeoutMs);
}

bool PartWatch::Saw(TPartDownloaderState state) const
{
    return std::find(states.begin(), states.end(), state) != states.end();
}

States PartWatch::Distinct() const
{
    States result;
    for (TPartDownloaderState state : states)
        if (result.empty() || result.back() != state)
            result.push_back(state);
    return result;
}

void UseHttpProxy(const QString& host, quint16 port, const QString& user, const QString& password)
{
    Write(Setting::UseHTTPProxy, true);
    Write(Setting::HTTPProxyAddress, host);
    Write(Setting::HTTPProxyPort, QString::number(port));
    Write(Setting::HTTPProxyUser, user);
    Write(Setting::HTTPProxyPass, password);
}

void StoreCredentials(const QString& url, const QString& realm, const QString& user, const QString& password)
{
    // An entry is made by the first slot that waits for it.
    TPartDownloadSlot waiting;
    SiteManager().AddWaitingSlot(TUrl(url), realm, &waiting);
    SiteManager().SetUserPass(TUrl(url), realm, user, password);
}

void PauseOrAbortMidway(TPartDownloader& part, PartWatch& watch, bool pause, const QByteArray& source)
{
    watch.React = [pause](TPartDownloader& sender, TPartDownloaderState state) {
        if (state == pdsDownloading)
            pause ? sender.Pause() : sender.Abort();
    };
    ASSERT_TRUE(watch.Run(part));
    EXPECT_EQ(part.State, pause ? pdsPaused : pdsAborted);
    EXPECT_EQ(watch.states.back(), part.State);
    if (!pause) {
        EXPECT_FALSE(QFile::exists(part.FileName));
        return;
    }
    const QByteArray file = ReadWholeFile(part.FileName);
    EXPECT_GT(file.size(), 0);
    EXPECT_LT(file.size(), source.size());
    EXPECT_TRUE(source.startsWith(file));
}

void DestroyInsideReport(TPartDownloader& part, PartWatch& watch, TPartDownloaderState target,
                         TPartDownloaderState pauseOrAbortAt, const std::function<void()>& destroy)
{
    bool destroyed = false;
    watch.React = [&](TPartDownloader& sender, TPartDownloaderState state) {
        if (state == target && !destroyed) {
            destroyed = true;
            destroy();
        } else if (state == pauseOrAbortAt) {
            target == pdsPaused ? sender.Pause() : sender.Abort();
        }
    };
    part.Get();
    ASSERT_TRUE(ProcessEventsUntil([&] { return destroyed; }));
    ProcessEventsUntil([] { return false; }, 50);
}
