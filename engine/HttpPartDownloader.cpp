#include "engine/HttpPartDownloader.h"

#include "engine/FileSteps.h"
#include "engine/HttpAnswer.h"
#include "platform/base/Clock.h"
#include "platform/base/Guard.h"
#include "platform/net/HttpClient.h"
#include "records/Settings.h"
#include "records/SiteManager.h"
#include "records/StatusTexts.h"

#include <cstring>
#include <limits>

THTTPPartDownloader::~THTTPPartDownloader()
{
    Guarded("destructor THTTPPartDownloader.Destroy", [&] {
        client.reset();
        partFile.close();
    });
}

void THTTPPartDownloader::Get()
{
    Guarded("procedure THTTPPartDownloader.Get", [&] {
        redirects = 0;
        Request();
    });
}

void THTTPPartDownloader::Request()
{
    Redirecting = false;
    accepting = bodyWanted = false;
    location.clear();
    ++serial;
    pending = true;
    if (!client) {
        client = std::make_unique<THttpClient>();
        client->OnSessionConnected = [this] { SessionConnected(); };
        client->OnHeaderData = [this](const QByteArray&) { LastActivity = GetTickCount(); };
        client->OnHeaderEnd = [this] { HeaderEnd(); };
        client->OnDocData = [this](const char* data, qint64 size) { DocData(data, size); };
        client->SpliceTarget = [this](THttpSpliceTarget& target) { return SpliceTarget(target); };
        client->OnRequestDone = [this](int error, const QString&) { RequestDone(error); };
    }
    // Credentials in the URL only update what the store already holds for the host;
    // the store decides what is sent, so a new host gets none it was not given.
    TSiteManager& store = SiteManager();
    if (!Url.User.isEmpty())
        store.SetUserPass(Url, Realm, Url.User, Url.Password);
    Url.User = store.GetUser(Url, Realm);
    Url.Password = store.GetPass(Url, Realm);

    client->ReadBudget = readBudget > 0 ? readBudget : THttpClient::MaxReadPerEvent;
    THttpRequest request;
    request.Url = Url.Url;
    request.User = Url.User;
    request.Password = Url.Password;
    ApplyProxy(request);
    if (!OpenPartFile())
        return; // no request; a time-out's Stop completes the part
    rangeStart = StartByte + partSize;
    request.RangeStart = rangeStart;
    TransferCount = partSize;
    LastActivity = GetTickCount();
    client->Get(request);
}

bool THTTPPartDownloader::OpenPartFile()
{
    partFile.close();
    partFile.setFileName(FileName);
    const bool exists = partFile.exists();
    const QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Unbuffered;
    if (!partFile.open(exists ? mode | QIODevice::ExistingOnly : mode | QIODevice::NewOnly))
        return false;
    partSize = partFile.size();
    return partFile.seek(partSize);
}

void THTTPPartDownloader::ApplyProxy(THttpRequest& request) const
{
    if (!Read(Setting::UseHTTPProxy) || BypassesProxy(Url.Host))
        return;
    request.ProxyHost = Read(Setting::HTTPProxyAddress).trimmed();
    request.ProxyPort = Read(Setting::HTTPProxyPort).trimmed().toUShort();
    request.ProxyUser = Read(Setting::HTTPProxyUser);
    request.ProxyPassword = Read(Setting::HTTPProxyPass);
}

bool THTTPPartDownloader::Busy() const
{
    return client && client->Busy();
}

void THTTPPartDownloader::SessionConnected()
{
    Guarded("procedure THTTPPartDownloader.OnSessionConnected(Sender: TObject; Error: Word)", [&] {
        LastActivity = GetTickCount();
        State = pdsGettingFileInfo;
        Change();
    });
}

void THTTPPartDownloader::HeaderEnd()
{
    Guarded("procedure THTTPPartDownloader.OnHeaderEnd(Sender: TObject)", [&] {
        LastActivity = GetTickCount();
        const int status = client->StatusCode();
        if (TakeRedirect(status))
            return;
        if (status == 200 || status == 206)
            return TakeBody(status);
        RefuseAnswer(status);
    });
}

// True when the answer is a redirect we follow or refuse; a Location naming the URL
// just asked for leaves the answer to its status.
bool THTTPPartDownloader::TakeRedirect(int status)
{
    const QByteArray header = client->Location();
    if (header.isEmpty())
        return false;
    const QString target = ResolveLocation(Url.Url, header);
    if (!target.isEmpty() && SameResource(target, Url.Url))
        return false;
    if (!IsFollowable(target) || redirects >= MaxRedirects) {
        RefuseAnswer(status);
        return true;
    }
    ++redirects;
    Redirecting = true;
    location = target;
    client->Abort(); // the redirect's body is of no use
    return true;
}

void THTTPPartDownloader::TakeBody(int status)
{
    const QByteArray rangeHeader = client->Header("Content-Range");
    const TContentRange range = ParseContentRange(rangeHeader);
    // A 206 from another byte than asked for would put its bytes in the wrong place.
    const bool continues = status == 200 || rangeHeader.isEmpty() || (range.Valid && range.First == rangeStart);
    const bool resume = status == 206 ? continues
                                      : rangeStart == 0 && client->Header("Accept-Ranges").toLower().contains("bytes");
    SetResumeSupport(resume);
    Validators = ValidatorsOf(client->Header("ETag"), client->Header("Last-Modified"));
    if (!continues || (!resume && rangeStart > 0)) {
        SetError(fmeResumeNotSupported, StatusTexts().ResumeNotSupported);
        client->Abort();
        return;
    }
    const quint64 mine = serial;
    State = pdsResumeInfoKnown;
    if (!Change() || serial != mine)
        return;
    const qint64 total = RemoteTotal(status, rangeStart, client->ContentLength(), range);
    if (RemoteFileSize == 0) {
        RemoteFileSize = total;
        State = pdsFileSizeKnown;
        if (!Change() || serial != mine)
            return;
    } else if (RemoteFileSize != total) {
        // Reported once, by the completion: the listener may park us meanwhile.
        SetError(fmeFileSizeMismatch, StatusTexts().FilesizeMismatch);
        client->Abort();
        return;
    }
    bodyWanted = accepting = true;
}

void THTTPPartDownloader::RefuseAnswer(int status)
{
    if (status == 401) {
        State = pdsAuthRequired;
        Realm = RealmOf(client->Header("WWW-Authenticate"));
    } else {
        SetError(fmeFileNotFound, {});
    }
    const QByteArray reason = client->ReasonPhrase();
    if (status == 404)
        ErrorText = StatusTexts().FileNotFound;
    else
        ErrorText = reason.isEmpty() ? QString::number(status) : QString::fromUtf8(reason);
    client->Abort();
}

// The part file takes what the range still wants, after what it holds.
bool THTTPPartDownloader::SpliceTarget(THttpSpliceTarget& target) const
{
    if (!accepting || State == pdsError || State == pdsAuthRequired || Redirecting || !partFile.isOpen())
        return false;
    target.File = partFile.handle();
    target.Offset = partSize;
    target.MaxBytes = EndByte > 0 ? RangeLength() - partSize : std::numeric_limits<qint64>::max();
    return target.MaxBytes > 0;
}

// data is null for a block the client has already put into the part file.
void THTTPPartDownloader::DocData(const char* data, qint64 size)
{
    Guarded("procedure THTTPPartDownloader.OnDocData(Sender: TObject; Buffer: Pointer; Len: Integer)", [&] {
        LastActivity = GetTickCount();
        if (!accepting || State == pdsError || State == pdsAuthRequired || Redirecting)
            return;
        const int error = data ? WriteAll(partFile.handle(), data, size_t(size), partSize) : 0;
        if (error != 0) {
            accepting = false;
            SetError(fmeCouldNotConnect, CouldntWriteText(FileName, QString::fromLocal8Bit(std::strerror(error))));
            client->Abort();
            return;
        }
        partSize += size;
        TransferCount = partSize;
        const quint64 mine = serial;
        if (EndByte > 0 && partSize >= RangeLength()) {
            State = pdsEndReached; // the slot may extend the range now
            if (!Change() || serial != mine)
                return;
            if (EndByte > 0 && partSize >= RangeLength())
                Stop();
        }
        if (State != pdsDownloading) {
            State = pdsDownloading;
            Change();
        }
    });
}

void THTTPPartDownloader::RequestDone(int error)
{
    Guarded("procedure THTTPPartDownloader.OnRequestDone(Sender: TObject; RqType: THttpRequest; Error: Word)",
            [&] { Finish(error); });
}

void THTTPPartDownloader::Finish(int error)
{
    pending = accepting = false;
    if (error != httpOk && error != httpAborted)
        SetError(fmeCouldNotConnect, StatusTexts().CouldntConnect);
    LastActivity = GetTickCount();
    if (partFile.isOpen() && partFile.size() > partSize)
        partFile.resize(partSize); // the rest of a block that could not be written whole
    partFile.close();

    if (Aborted) {
        QFile::remove(FileName);
        State = pdsAborted;
    } else if (Paused) {
        State = pdsPaused;
    } else if (Redirecting && State != pdsError) {
        Url = TUrl(location);
        Request();
        return;
    } else if (State != pdsError && State != pdsAuthRequired) {
        // With a range, or the file's total, the bytes decide; otherwise the answer's end.
        const bool whole = EndByte > 0            ? partSize >= RangeLength()
                           : RemoteFileSize >= 0 ? StartByte + partSize >= RemoteFileSize
                                                 : error == httpOk && client && client->BodyComplete();
        if (!bodyWanted)
            SetError(CredentialsTried ? fmeCouldNotLogin : fmeCouldNotConnect,
                     CredentialsTried ? StatusTexts().CouldntLogin : StatusTexts().CouldntConnect);
        else if (whole)
            State = pdsPartDone;
        else
            SetError(fmeLostConnection, StatusTexts().LostConnection);
    } else if (State == pdsAuthRequired && CredentialsTried) {
        SetError(fmeCouldNotLogin, StatusTexts().CouldntLogin);
    }
    Redirecting = false;
    Change();
}

void THTTPPartDownloader::SetReadBudget(qint64 bytes)
{
    TPartDownloader::SetReadBudget(bytes);
    if (client)
        client->ReadBudget = bytes > 0 ? bytes : THttpClient::MaxReadPerEvent;
}

void THTTPPartDownloader::Stop()
{
    Guarded("procedure THTTPPartDownloader.Stop", [&] { EndRequest(); });
}

void THTTPPartDownloader::Pause()
{
    Guarded("procedure THTTPPartDownloader.Pause", [&] {
        TPartDownloader::Pause();
        EndRequest();
    });
}

// A Get that never reached the network (its part file would not open) is completed
// here, so a time-out or a pause still gets its report.
void THTTPPartDownloader::EndRequest()
{
    if (Busy())
        client->Abort();
    else if (pending)
        Finish(httpOk);
}

void THTTPPartDownloader::Abort()
{
    Guarded("procedure THTTPPartDownloader.Abort", [&] {
        TPartDownloader::Abort();
        if (Busy())
            client->Abort();
        else
            Finish(httpOk);
    });
}
