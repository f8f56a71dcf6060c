#pragma once
#include "engine/PartDownloader.h"
#include "platform/net/HttpClient.h"

#include <QFile>
#include <memory>


// A part downloader over HTTP/1.0 (and https): one GET with an open-ended range from
// the end of what the part file holds; the transfer is stopped once the range is
// complete. Redirects are followed (at most MaxRedirects in a row), credentials come
// from the site credentials store, the proxy from the settings at each Get.
//
// Only the body of an answer that continues the part file exactly is written to it:
// nothing of an error answer, a redirect, or a 206 that starts elsewhere. Over plain
// TCP the client may move the body into the part file itself (splice), never past the
// range's end; every block is still reported here, and written here when it came
// through memory. Both write at the part file's byte count, not at a file position.
class THTTPPartDownloader : public TPartDownloader {
public:
    using TPartDownloader::TPartDownloader;
    ~THTTPPartDownloader() override;

    void Stop() override;
    void Get() override;
    void Abort() override;
    void Pause() override;
    void SetReadBudget(qint64 bytes) override;

    bool Redirecting = false;

    static constexpr int MaxRedirects = 20;

private:
    void Request();
    bool OpenPartFile();
    void ApplyProxy(THttpRequest& request) const;
    bool Busy() const;

    void SessionConnected();
    void HeaderEnd();
    bool TakeRedirect(int status);
    void TakeBody(int status);
    void RefuseAnswer(int status);
    bool SpliceTarget(THttpSpliceTarget& target) const;
    void DocData(const char* data, qint64 size);
    void RequestDone(int error);
    void Finish(int error);
    void EndRequest();

    std::unique_ptr<THttpClient> client;
    QFile partFile;
    qint64 partSize = 0;      // bytes in the part file
    qint64 rangeStart = 0;    // what the running request asked for
    bool accepting = false;   // the answer's body goes into the part file
    bool bodyWanted = false;  // the answer was a usable 200 or 206
    bool pending = false;     // a Get has not been completed yet
    int redirects = 0;        // followed since the last Get from outside
    QString location;         // where Redirecting leads
    quint64 serial = 0;       // tells the running request from a newer one
};
