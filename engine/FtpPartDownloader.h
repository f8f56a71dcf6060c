#pragma once
#include "engine/FtpClient.h"
#include "engine/PartDownloader.h"

#include <memory>

// A part downloader over FTP: log in, TYPE I, CWD, SIZE, REST probe, then REST + RETR
// from the end of what the part file holds, cut off once the range is complete. The
// connection is kept after a transfer, so a restart or another range on the same
// server goes straight to REST + RETR.
class TFTPPartDownloader : public TPartDownloader {
public:
    using TPartDownloader::TPartDownloader;
    ~TFTPPartDownloader() override;

    void Stop() override;
    void Get() override;
    void Abort() override;
    void Pause() override;
    void SetReadBudget(qint64 bytes) override;

    // The part file's size when Get started.
    qint64 ExistingBytes = 0;

private:
    void CreateClient(bool proxied);
    bool Proxied() const;
    qint64 StopMark() const;

    void SessionConnected(int error);
    void ClientStateChange(TFtpState state);
    void Progress(qint64 count, bool& abort);
    void RequestDone(TFtpRequest request, int error);
    // False when the request-done must not report: the part was stopped and reported.
    bool Advance(TFtpRequest request, int error);
    void Issue(bool (TFtpClient::*request)());
    void NoResume();
    void Complete();
    void Halt(TPartDownloaderState state);

    std::unique_ptr<TFtpClient> client;
};
