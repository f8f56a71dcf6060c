#pragma once
#include "engine/FtpClient.h"
#include "engine/PartDownloader.h"

#include <memory>

// A part downloader over FTP: log in, TYPE I, CWD, SIZE, REST probe (and, for a
// transfer not from byte 0, a check that REST is honoured), then REST + RETR from the
// end of what the part file holds, cut off once the range is complete. The
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
    void ResumeKnown(bool supported);
    bool NeedsRestCheck() const;
    void CheckRest();
    void RestChecked();
    void NoResume();
    void Complete();
    void Halt(TPartDownloaderState state);

    std::unique_ptr<TFtpClient> client;
    // Some servers answer REST with 350 and then send the file from its first byte.
    // Before a transfer from anywhere else, a connection fetches the file's last byte
    // from its own REST: exactly one byte proves the server honours it.
    bool restChecked = false; // this client's server honours REST
    bool checkingRest = false;
};
