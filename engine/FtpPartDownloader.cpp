#include "engine/FtpPartDownloader.h"

#include "platform/base/Clock.h"
#include "platform/base/Guard.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"

#include <QFile>
#include <QUrl>

namespace {
// FTP URLs carry their names percent-encoded; the server wants them as they are.
QString Decoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

constexpr int ReplyNotImplemented = 502;
constexpr int ReplyNotLoggedIn = 530;
constexpr int ReplyRestAccepted = 350;
}

TFTPPartDownloader::~TFTPPartDownloader()
{
    Guarded("destructor TFTPPartDownloader.Destroy", [&] { client.reset(); });
}

bool TFTPPartDownloader::Proxied() const
{
    return Read(Setting::UseFTPProxy) && !BypassesProxy(Url.Host) && !Read(Setting::FTPProxyAddress).trimmed().isEmpty();
}

void TFTPPartDownloader::CreateClient(bool proxied)
{
    client = std::make_unique<TFtpClient>();
    restChecked = checkingRest = false;
    TFtpClient& ftp = *client;
    if (proxied) {
        ftp.HostName = Read(Setting::FTPProxyAddress).trimmed();
        ftp.Port = Read(Setting::FTPProxyPort).trimmed();
        ftp.UserName = Url.User + '@' + Url.Host + ':' + QString::number(Url.Port);
    } else {
        ftp.HostName = Url.Host;
        ftp.Port = QString::number(Url.Port);
        ftp.UserName = Url.User;
    }
    ftp.HostDirName = Decoded(Url.Dir);
    ftp.PassWord = Url.Password;
    ftp.HostFileName = Decoded(Url.FileName);
    ftp.NoAutoResumeAt = true;
    ftp.OnProgress = [this](qint64 count, bool& abort) { Progress(count, abort); };
    ftp.OnRequestDone = [this](TFtpRequest request, int error) { RequestDone(request, error); };
    ftp.OnSessionConnected = [this](int error) { SessionConnected(error); };
    ftp.OnStateChange = [this](TFtpState state) { ClientStateChange(state); };
}

// What the running transfer still needs for the range; 0 (no limit) when open-ended.
qint64 TFTPPartDownloader::StopMark() const
{
    if (EndByte <= 0)
        return 0;
    return qMax<qint64>(RangeLength() - ExistingBytes, 1);
}

void TFTPPartDownloader::Get()
{
    Guarded("procedure TFTPPartDownloader.Get", [&] {
        LastActivity = GetTickCount();
        // A kept connection busy with another transfer cannot take this one.
        if (client && client->Connected() && !client->Ready())
            client.reset();
        const bool proxied = Proxied();
        if (!client || !client->Connected())
            CreateClient(proxied);
        if (QFile::exists(FileName)) {
            ExistingBytes = PartFileSize(FileName);
        } else {
            QFile file(FileName);
            if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return; // no request; a time-out's Stop reports the part
            ExistingBytes = 0;
        }
        client->LocalFileName = FileName;
        client->ResumeAt = StartByte + ExistingBytes;
        client->WriteOffset = ExistingBytes;
        client->StopMark = StopMark();
        client->Passive = proxied || Read(Setting::PassiveMode);
        if (readBudget > 0)
            client->ReadBudget = readBudget;
        TransferCount = ExistingBytes;
        if (client->Connected()) {
            if (NeedsRestCheck()) {
                CheckRest();
                if (State == pdsError)
                    Change();
                return;
            }
            if (!client->RestGet()) {
                SetError(fmeLostConnection, StatusTexts().LostConnection);
                Change();
            }
            return;
        }
        client->Connect();
        State = pdsContactingHost;
        Change();
    });
}

void TFTPPartDownloader::SetReadBudget(qint64 bytes)
{
    TPartDownloader::SetReadBudget(bytes);
    if (client && bytes > 0)
        client->ReadBudget = bytes;
}

void TFTPPartDownloader::SessionConnected(int error)
{
    Guarded("procedure TFTPPartDownloader.FtpClientSessionConnected(Sender: TObject; Error: Word)", [&] {
        LastActivity = GetTickCount();
        if (error != 0)
            return; // the connect request reports the failure
        State = pdsGettingFileInfo;
        Change();
    });
}

void TFTPPartDownloader::ClientStateChange(TFtpState state)
{
    Guarded("procedure TFTPPartDownloader.FtpClientOnStateChange(Sender: TObject)", [&] {
        LastActivity = GetTickCount();
        if (state != TFtpState::Connected)
            return;
        State = pdsGettingFileInfo;
        Change();
    });
}

void TFTPPartDownloader::Progress(qint64 count, bool& abort)
{
    Guarded("procedure TFTPPartDownloader.OnFtpClientProgress(Sender: TObject; Count: Integer; var Abort: Boolean)", [&] {
        LastActivity = GetTickCount();
        if (Aborted || Paused)
            abort = true;
        if (checkingRest)
            return;
        TransferCount = count + ExistingBytes;
        TFtpClient* const mine = client.get();
        if (State != pdsDownloading) {
            State = pdsDownloading;
            if (!Change() || client.get() != mine)
                return;
        }
        if (EndByte >= 1 && TransferCount >= RangeLength()) {
            State = pdsEndReached; // the slot may extend the range now
            if (!Change() || client.get() != mine)
                return;
            if (EndByte >= 1 && TransferCount >= RangeLength())
                abort = true;
        }
        // The range's end may have moved.
        client->StopMark = StopMark();
    });
}

void TFTPPartDownloader::RequestDone(TFtpRequest request, int error)
{
    Guarded("procedure TFTPPartDownloader.FtpClientRequestDone(Sender: TObject; RqType: TFtpRequest; Error: Word)", [&] {
        LastActivity = GetTickCount();
        if (Advance(request, error))
            Change();
    });
}

bool TFTPPartDownloader::Advance(TFtpRequest request, int error)
{
    switch (request) {
    case TFtpRequest::Connect:
        if (error == 0 && client->StatusCode() == 230) {
            State = pdsGettingFileInfo;
            Issue(&TFtpClient::TypeSet);
            return true;
        }
        if (error == ReplyNotLoggedIn)
            SetError(fmeCouldNotLogin, StatusTexts().CouldntLogin);
        else
            SetError(fmeCouldNotConnect, StatusTexts().CouldntConnect);
        if (!client->Connected())
            return true;
        Stop(); // reports the error itself
        return false;
    case TFtpRequest::TypeSet:
        Issue(&TFtpClient::Cwd);
        return true;
    case TFtpRequest::Cwd:
        if (error != 0) {
            SetError(fmeFileNotFound, StatusTexts().FileNotFound);
            return true;
        }
        Issue(&TFtpClient::Size);
        return true;
    case TFtpRequest::Size:
        if (error != 0) {
            SetError(fmeFileNotFound, StatusTexts().FileNotFound);
            return true;
        }
        RemoteFileSize = client->SizeResult();
        State = pdsFileSizeKnown;
        client->ResumeAt = StartByte + ExistingBytes;
        Issue(&TFtpClient::Rest);
        return true;
    case TFtpRequest::Rest:
        if (client->StatusCode() == ReplyRestAccepted && NeedsRestCheck()) {
            CheckRest();
            return false; // nothing is known yet
        }
        ResumeKnown(client->StatusCode() == ReplyRestAccepted);
        return true;
    case TFtpRequest::RestGet:
        if (checkingRest) {
            RestChecked();
            return true;
        }
        if (error == ReplyNotImplemented) {
            SetResumeSupport(false);
            State = pdsResumeInfoKnown;
            NoResume();
            return true;
        }
        Complete();
        return true;
    case TFtpRequest::Get:
        Complete();
        return true;
    }
    return true;
}

// A request the client does not take (its connection is gone) fails the part.
void TFTPPartDownloader::Issue(bool (TFtpClient::*request)())
{
    if (!(client.get()->*request)())
        SetError(fmeLostConnection, StatusTexts().LostConnection);
}

void TFTPPartDownloader::ResumeKnown(bool supported)
{
    SetResumeSupport(supported);
    State = pdsResumeInfoKnown;
    if (supported)
        Issue(&TFtpClient::RestGet);
    else
        NoResume();
}

bool TFTPPartDownloader::NeedsRestCheck() const
{
    return !restChecked && client->ResumeAt > 0 && RemoteFileSize > 1;
}

// The last byte, counted and not kept, with the client's settings for the part put back
// once it has arrived.
void TFTPPartDownloader::CheckRest()
{
    checkingRest = true;
    client->LocalFileName.clear();
    client->ResumeAt = RemoteFileSize - 1;
    client->StopMark = 2;
    Issue(&TFtpClient::RestGet);
}

void TFTPPartDownloader::RestChecked()
{
    checkingRest = false;
    const bool honoured = client->ByteCount() == 1;
    client->LocalFileName = FileName;
    client->ResumeAt = StartByte + ExistingBytes;
    client->WriteOffset = ExistingBytes;
    client->StopMark = StopMark();
    if (!honoured && !client->Connected())
        return SetError(fmeLostConnection, StatusTexts().LostConnection);
    restChecked = honoured;
    ResumeKnown(honoured);
}

// Without REST only a part that starts at the file's beginning, with nothing in its
// part file yet, can be fetched: anything else would put byte 0 in the wrong place.
void TFTPPartDownloader::NoResume()
{
    if (StartByte < 1 && ExistingBytes == 0) {
        client->WriteOffset = 0;
        Issue(&TFtpClient::Get);
        return;
    }
    SetError(fmeResumeNotSupported, StatusTexts().ResumeNotSupported);
}

// A part is whole when its file holds the range, or, open-ended, the rest of the file
// as SIZE gave it.
void TFTPPartDownloader::Complete()
{
    if (!client->LocalWriteError().isEmpty())
        return SetError(fmeCouldNotConnect, CouldntWriteText(FileName, client->LocalWriteError()));
    const qint64 size = PartFileSize(FileName);
    const bool whole = EndByte > 0 ? size >= RangeLength() : StartByte + size >= RemoteFileSize;
    if (whole)
        State = pdsPartDone;
    else
        SetError(fmeLostConnection, StatusTexts().LostConnection);
}

void TFTPPartDownloader::Stop()
{
    Guarded("procedure TFTPPartDownloader.Stop", [&] {
        client.reset();
        Change();
    });
}

void TFTPPartDownloader::Abort()
{
    Guarded("procedure TFTPPartDownloader.Abort", [&] {
        TPartDownloader::Abort();
        Halt(pdsAborted);
    });
}

void TFTPPartDownloader::Pause()
{
    Guarded("procedure TFTPPartDownloader.Pause", [&] {
        TPartDownloader::Pause();
        Halt(pdsPaused);
    });
}

// Closes the connection at once: nothing of the transfer is waited for.
void TFTPPartDownloader::Halt(TPartDownloaderState state)
{
    client.reset();
    State = state;
    if (state == pdsAborted)
        QFile::remove(FileName);
    Change();
}
