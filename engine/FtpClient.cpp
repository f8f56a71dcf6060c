#include "engine/FtpClient.h"

#include "engine/FileSteps.h"
#include "engine/PartDownloader.h"
#include "platform/base/Guard.h"

#include <QFileInfo>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

namespace {
constexpr int ErrorConnection = 421;
constexpr int ErrorNoDataConnection = 425;
constexpr int ErrorLocalFile = 426;
constexpr int ErrorArgument = 501;
constexpr int ErrorLogin = 530;
constexpr int ErrorDataSetup = 550;
// When splicing is refused: enough to keep the network busy while we write; bounds
// what a fast server can pile up.
constexpr qint64 DataReadBuffer = 256 * 1024;

bool IsRetrieve(TFtpRequest request)
{
    return request == TFtpRequest::RestGet || request == TFtpRequest::Get;
}

bool EndsTransfer(int code)
{
    return code == 125 || code == 226 || code == 250;
}
}

TFtpClient::TFtpClient() : m_context(new QObject) {}

TFtpClient::~TFtpClient()
{
    Guarded("destructor TFtpClient.Destroy", [&] {
        *m_alive = false;
        DropListener();
        DropSocket(m_data);
        DropSocket(m_control);
        m_context->deleteLater();
    });
}

template <class Handler, class... Args>
bool TFtpClient::Raise(const Handler& event, Args&&... args)
{
    if (!event)
        return true;
    const std::shared_ptr<bool> alive = m_alive;
    // A copy, because the listener may destroy us, and the member with us, inside
    // the call. Listeners that capture a pointer or two are stored without allocating.
    const Handler handler = event;
    handler(std::forward<Args>(args)...);
    return *alive;
}

template <class Sender, class Signal, class Member>
void TFtpClient::Listen(Sender* sender, Signal signal, const char* signature, Member member)
{
    QObject::connect(sender, signal, m_context, [this, alive = m_alive, signature, member](auto... args) {
        if (*alive)
            Guarded(signature, [&] { (this->*member)(args...); });
    });
}

// ---- requests ----

template <class Body>
bool TFtpClient::Start(TFtpRequest request, const char* signature, Body&& body)
{
    bool started = false;
    Guarded(signature, [&] {
        if (m_running || !Connected())
            return;
        started = true;
        Begin(request);
        body();
    });
    return started;
}

bool TFtpClient::Connect()
{
    bool started = false;
    Guarded("function TFtpClient.Connect: boolean", [&] {
        if (m_running || m_control)
            return;
        started = true;
        Begin(TFtpRequest::Connect);
        m_replies.Clear();
        if (BreaksCommandLine(HostName) || BreaksCommandLine(UserName) || BreaksCommandLine(PassWord))
            return FinishLater(ErrorArgument, "501 Invalid characters in host name, user name or password");
        bool valid = false;
        const uint port = Port.trimmed().toUInt(&valid);
        if (HostName.isEmpty() || !valid || port == 0 || port > 65535)
            return FinishLater(ErrorConnection, "421 Invalid host or port: " + HostName + ":" + Port);
        m_control = NewSocket();
        Listen(m_control, &QTcpSocket::connected, "procedure TFtpClient.ControlConnected",
               &TFtpClient::ControlConnected);
        Listen(m_control, &QTcpSocket::readyRead, "procedure TFtpClient.ControlReadyRead",
               &TFtpClient::ReadControl);
        Listen(m_control, &QTcpSocket::disconnected, "procedure TFtpClient.ControlClosed",
               &TFtpClient::ControlClosed);
        Listen(m_control, &QTcpSocket::errorOccurred, "procedure TFtpClient.ControlError",
               &TFtpClient::ControlError);
        m_step = Step::Connecting;
        m_control->connectToHost(HostName, quint16(port));
        SetState(TFtpState::Connecting);
    });
    return started;
}

bool TFtpClient::TypeSet()
{
    return Start(TFtpRequest::TypeSet, "function TFtpClient.TypeSet: boolean",
                 [&] { Send(Step::Type, Binary ? "TYPE I" : "TYPE A"); });
}

bool TFtpClient::Cwd()
{
    return Start(TFtpRequest::Cwd, "function TFtpClient.Cwd: boolean", [&] {
        if (BreaksCommandLine(HostDirName))
            return FinishLater(ErrorArgument, "501 Invalid characters in directory name");
        if (HostDirName.isEmpty())
            return FinishLater(0);
        Send(Step::Cwd, "CWD " + HostDirName.toUtf8());
    });
}

bool TFtpClient::Size()
{
    return Start(TFtpRequest::Size, "function TFtpClient.Size: boolean", [&] {
        m_sizeResult = -1;
        if (BreaksCommandLine(HostFileName))
            return FinishLater(ErrorArgument, "501 Invalid characters in file name");
        Send(Step::Size, "SIZE " + HostFileName.toUtf8());
    });
}

bool TFtpClient::Rest()
{
    return Start(TFtpRequest::Rest, "function TFtpClient.Rest: boolean", [&] {
        if (!NoAutoResumeAt)
            ResumeAt = QFileInfo(LocalFileName).size();
        if (ResumeAt < 0)
            return FinishLater(0);
        Send(Step::Rest, "REST " + QByteArray::number(ResumeAt));
    });
}

bool TFtpClient::RestGet()
{
    return Start(TFtpRequest::RestGet, "function TFtpClient.RestGet: boolean", [&] { StartRetrieve(true); });
}

bool TFtpClient::Get()
{
    return Start(TFtpRequest::Get, "function TFtpClient.Get: boolean", [&] {
        if (!m_restAccepted)
            ResumeAt = 0;
        StartRetrieve(false);
    });
}

void TFtpClient::Begin(TFtpRequest request)
{
    m_running = true;
    m_request = request;
    ++m_serial;
    m_errorMessage.clear();
}

void TFtpClient::StartRetrieve(bool withRest)
{
    if (BreaksCommandLine(HostFileName))
        return FinishLater(ErrorArgument, "501 Invalid characters in file name");
    if (withRest && !NoAutoResumeAt)
        ResumeAt = QFileInfo(LocalFileName).size();
    m_withRest = withRest && ResumeAt >= 0;
    m_byteCount = 0;
    m_aborted = m_finalReply = m_dataClosed = false;
    m_writeError.clear();
    m_localWriteError.clear();
    if (!OpenLocalFile())
        return FinishLater(ErrorLocalFile, "426 Unable to open local file " + LocalFileName);
    if (Passive)
        return Send(Step::DataCommand, "PASV");
    QString error;
    if (!ListenForData(error))
        return FinishLater(ErrorDataSetup, "550 Active: " + error);
    Send(Step::DataCommand, PortCommand(m_control->localAddress(), m_listener->serverPort()));
}

bool TFtpClient::OpenLocalFile()
{
    m_file.setFileName(LocalFileName);
    if (LocalFileName.isEmpty())
        return true; // the data is counted, not kept
    if (WriteOffset > 0)
        return m_file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered) &&
               m_file.seek(WriteOffset);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool TFtpClient::ListenForData(QString& error)
{
    if (PortCommand(m_control->localAddress(), 1).isEmpty()) {
        error = "PORT needs an IPv4 control connection";
        return false;
    }
    m_listener = new QTcpServer(m_context);
    m_listener->setProxy(QNetworkProxy::NoProxy);
    Listen(m_listener, &QTcpServer::newConnection, "procedure TFtpClient.AcceptData", &TFtpClient::AcceptData);
    if (m_listener->listen(QHostAddress::Any, 0))
        return true;
    error = m_listener->errorString();
    DropListener();
    return false;
}

void TFtpClient::Send(Step step, const QByteArray& command)
{
    m_step = step;
    m_control->write(command + "\r\n");
}

void TFtpClient::SendRestOrRetr()
{
    if (m_withRest)
        Send(Step::RestBeforeRetr, "REST " + QByteArray::number(ResumeAt));
    else
        Send(Step::Retr, "RETR " + HostFileName.toUtf8());
}

void TFtpClient::Abort()
{
    Guarded("procedure TFtpClient.Abort", [&] {
        if (!m_running || !IsRetrieve(m_request) || m_aborted)
            return;
        m_aborted = true;
        DropListener();
        if (m_step == Step::DataConnecting) {
            DropSocket(m_data);
            return FinishLater(ErrorLocalFile, "426 Transfer aborted");
        }
        // While PASV, PORT or REST await their reply, the reply ends the request.
        if (m_step == Step::Retr || m_step == Step::Transfer)
            CutData();
        else
            DropSocket(m_data);
    });
}

// ---- replies ----

void TFtpClient::HandleReply(const TFtpReply& reply)
{
    m_statusCode = reply.Code;
    m_lastResponse = reply.Text;
    const int code = reply.Code;
    switch (m_step) {
    case Step::Greeting:
        return GreetingReply(reply);
    case Step::User:
        return UserReply(reply);
    case Step::Pass:
        if (code != 230)
            return FailWithReply(reply);
        if (SetState(TFtpState::LoggedIn))
            Finish(0);
        return;
    case Step::Type:
        return code == 200 ? Finish(0) : FailWithReply(reply);
    case Step::Cwd:
        return code == 200 || code == 250 || code == 257 ? Finish(0) : FailWithReply(reply);
    case Step::Size:
        return SizeReply(reply);
    case Step::Rest:
        m_restAccepted = code == 350;
        return Finish(0);
    case Step::DataCommand:
        return DataCommandReply(reply);
    case Step::RestBeforeRetr:
        return RestBeforeRetrReply(reply);
    case Step::Retr:
        if (code != 125 && code != 150)
            return FailWithReply(reply);
        m_step = Step::Transfer;
        return;
    case Step::Transfer:
        return TransferReply(reply);
    default:
        return; // nothing asked for it, or we wait for a connection
    }
}

void TFtpClient::GreetingReply(const TFtpReply& reply)
{
    if (reply.Code >= 100 && reply.Code < 200)
        return; // "ready in a moment": the real greeting follows
    if (reply.Code >= 300)
        return FailWithReply(reply);
    if (UserName.isEmpty())
        return Fail(ErrorLogin, "530 User name is empty");
    Send(Step::User, "USER " + UserName.toUtf8());
}

void TFtpClient::UserReply(const TFtpReply& reply)
{
    if (reply.Code == 230) {
        if (SetState(TFtpState::LoggedIn))
            Finish(0);
        return;
    }
    if (reply.Code != 331)
        return FailWithReply(reply);
    if (PassWord.isEmpty())
        return Fail(ErrorLogin, "530 Password is empty");
    Send(Step::Pass, "PASS " + PassWord.toUtf8());
}

void TFtpClient::SizeReply(const TFtpReply& reply)
{
    if (reply.Code != 213)
        return FailWithReply(reply);
    m_sizeResult = ParseSizeReply(reply.Text);
    if (m_sizeResult < 0)
        return FailWithReply(reply);
    Finish(0);
}

void TFtpClient::DataCommandReply(const TFtpReply& reply)
{
    if (m_aborted)
        return Fail(ErrorLocalFile, "426 Transfer aborted");
    if (!Passive)
        return reply.Code == 200 ? SendRestOrRetr() : FailWithReply(reply);
    if (reply.Code != 227)
        return FailWithReply(reply);
    const std::optional<quint16> port = ParsePassivePort(reply.Text);
    if (!port)
        return Fail(ErrorDataSetup, "550 Passive: no port in reply " + QString::fromUtf8(reply.Text));
    m_data = NewSocket();
    AttachDataSocket(m_data);
    Listen(m_data, &QTcpSocket::connected, "procedure TFtpClient.DataConnected", &TFtpClient::DataConnected);
    m_step = Step::DataConnecting;
    m_data->connectToHost(m_control->peerAddress(), *port);
}

void TFtpClient::RestBeforeRetrReply(const TFtpReply& reply)
{
    if (m_aborted)
        return Fail(ErrorLocalFile, "426 Transfer aborted");
    if (reply.Code != 350)
        return FailWithReply(reply);
    m_restAccepted = true;
    Send(Step::Retr, "RETR " + HostFileName.toUtf8());
}

void TFtpClient::TransferReply(const TFtpReply& reply)
{
    if (!EndsTransfer(reply.Code))
        return m_writeError.isEmpty() ? FailWithReply(reply) : Fail(ErrorLocalFile, m_writeError);
    m_finalReply = true;
    // In active mode the server's connection may still wait in the listen queue.
    if (!m_data && !m_dataClosed && m_listener)
        m_listener->waitForNewConnection(0);
    if (!m_data && !m_dataClosed)
        return Fail(ErrorNoDataConnection, "425 No data connection");
    CheckTransferDone();
}

// ---- ending a request ----

void TFtpClient::Finish(int error)
{
    const TFtpRequest request = m_request;
    DropListener();
    DropSocket(m_data);
    m_file.close();
    if (IsRetrieve(request)) {
        ResumeAt = 0;
        m_restAccepted = false;
    }
    m_step = Step::Idle;
    m_running = false;
    if (!m_control && !SetState(TFtpState::NotConnected))
        return;
    Raise(OnRequestDone, request, error);
}

void TFtpClient::Fail(int error, const QString& message)
{
    m_errorMessage = message;
    Finish(error);
}

void TFtpClient::FailWithReply(const TFtpReply& reply)
{
    Fail(reply.Code, QString::fromUtf8(reply.Text));
}

// Ends the request from the event loop, so that no event is raised inside a call.
void TFtpClient::FinishLater(int error, const QString& message)
{
    m_step = Step::Idle;
    m_errorMessage = message;
    QMetaObject::invokeMethod(
        m_context,
        [this, alive = m_alive, serial = m_serial, error] {
            if (*alive && m_running && m_serial == serial)
                Guarded("procedure TFtpClient.FinishLater", [&] { Finish(error); });
        },
        Qt::QueuedConnection);
}

void TFtpClient::CheckTransferDone()
{
    if (m_step != Step::Transfer || !m_finalReply || !m_dataClosed)
        return;
    if (!m_writeError.isEmpty())
        return Fail(ErrorLocalFile, m_writeError);
    Finish(0);
}

void TFtpClient::CheckTransferDoneLater()
{
    QMetaObject::invokeMethod(
        m_context,
        [this, alive = m_alive, serial = m_serial] {
            if (*alive && m_running && m_serial == serial)
                Guarded("procedure TFtpClient.CheckTransferDone", [&] { CheckTransferDone(); });
        },
        Qt::QueuedConnection);
}

// Closes the data connection of a running transfer; the final reply may already
// be in, and we may be inside a progress event, so the end is checked later.
void TFtpClient::CutData()
{
    DropSocket(m_data);
    m_dataClosed = true;
    CheckTransferDoneLater();
}

// ---- sockets ----

QTcpSocket* TFtpClient::NewSocket()
{
    auto* socket = new QTcpSocket(m_context);
    socket->setProxy(QNetworkProxy::NoProxy);
    return socket;
}

void TFtpClient::AttachDataSocket(QTcpSocket* socket)
{
    // We read the data connection ourselves (spliced into the file); Qt takes a byte
    // before it tells us, which can never carry a block past the stop mark.
    m_pipe.Discard();
    m_spliceOff = false;
    socket->setReadBufferSize(1);
    Listen(socket, &QTcpSocket::readyRead, "procedure TFtpClient.DataReadyRead", &TFtpClient::ReadData);
    Listen(socket, &QTcpSocket::disconnected, "procedure TFtpClient.DataClosed", &TFtpClient::DataClosed);
    Listen(socket, &QTcpSocket::errorOccurred, "procedure TFtpClient.DataError", &TFtpClient::DataError);
}

// Sockets are freed later: we may be inside one of their signals.
void TFtpClient::DropSocket(QTcpSocket*& socket)
{
    if (!socket)
        return;
    QObject::disconnect(socket, nullptr, m_context, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

void TFtpClient::DropListener()
{
    if (!m_listener)
        return;
    QObject::disconnect(m_listener, nullptr, m_context, nullptr);
    m_listener->close();
    m_listener->deleteLater();
    m_listener = nullptr;
}

bool TFtpClient::SetState(TFtpState state)
{
    if (m_state == state)
        return true;
    m_state = state;
    return Raise(OnStateChange, state);
}

void TFtpClient::ControlConnected()
{
    m_step = Step::Greeting;
    if (SetState(TFtpState::Connected))
        Raise(OnSessionConnected, 0);
}

void TFtpClient::ControlError(QAbstractSocket::SocketError)
{
    if (m_state != TFtpState::Connecting)
        return ControlClosed();
    const QString why = m_control->errorString();
    DropSocket(m_control);
    if (!SetState(TFtpState::NotConnected) || !Raise(OnSessionConnected, ErrorConnection))
        return;
    Fail(ErrorConnection, "421 Could not connect to " + HostName + ": " + why);
}

void TFtpClient::ControlClosed()
{
    if (!m_control)
        return;
    const std::shared_ptr<bool> alive = m_alive;
    ReadControl(); // replies that came with the close still count
    if (*alive && m_control)
        LoseControl("Connection closed by server");
}

void TFtpClient::ReadControl()
{
    if (!m_control)
        return;
    if (!m_replies.Add(m_control->readAll()))
        return LoseControl("Reply line too long");
    const std::shared_ptr<bool> alive = m_alive;
    while (*alive && m_replies.HasReply())
        HandleReply(m_replies.TakeReply());
}

void TFtpClient::LoseControl(const QString& why)
{
    DropSocket(m_control);
    m_replies.Clear();
    // After the final reply only the data may still be on its way.
    if (!m_running || (m_step == Step::Transfer && m_finalReply)) {
        SetState(TFtpState::NotConnected);
        return;
    }
    Fail(ErrorConnection, "421 " + why);
}

void TFtpClient::DataConnected()
{
    if (m_step == Step::DataConnecting)
        SendRestOrRetr();
}

void TFtpClient::DataError(QAbstractSocket::SocketError)
{
    if (m_step != Step::DataConnecting)
        return DataClosed(); // Qt reports a reset like a close; the count tells
    const QString why = m_data->errorString();
    Fail(ErrorDataSetup, "550 Passive: " + why);
}

void TFtpClient::DataClosed()
{
    if (!m_data)
        return;
    const std::shared_ptr<bool> alive = m_alive;
    ReadData();
    if (!*alive || !m_data)
        return;
    DataEnded();
}

void TFtpClient::DataEnded()
{
    DropSocket(m_data);
    m_dataClosed = true;
    CheckTransferDone();
}

// What Qt holds comes in blocks through memory, the rest is spliced from the socket.
void TFtpClient::ReadData()
{
    while (m_data && m_data->bytesAvailable() > 0) {
        const qint64 count = m_data->read(m_block.data(), BlockSize);
        if (count <= 0 || !WriteBlock(m_block.data(), count))
            return;
    }
    if (m_data && !m_spliceOff)
        SpliceData(ReadBudget);
}

bool TFtpClient::WriteBlock(const char* data, qint64 count)
{
    if (!m_file.isOpen())
        return TakeBlock(count);
    if (const int error = WriteAll(m_file.handle(), data, size_t(count), WriteOffset + m_byteCount)) {
        LocalWriteFailed(error);
        return false;
    }
    return TakeBlock(count);
}

void TFtpClient::LocalWriteFailed(int error)
{
    m_localWriteError = QString::fromLocal8Bit(strerror(error));
    m_writeError = "426 Unable to write local file " + LocalFileName + ": " + m_localWriteError;
    CutData();
}

bool TFtpClient::TakeBlock(qint64 count)
{
    m_byteCount += count;
    bool abort = false;
    if (!Raise(OnProgress, m_byteCount, abort))
        return false;
    if (!m_data)
        return false; // the listener aborted, or started over
    if (abort || (StopMark > 0 && m_byteCount >= StopMark)) {
        CutData();
        return false;
    }
    return true;
}

bool TFtpClient::SpliceData(qint64 budget)
{
    while (m_data && budget > 0) {
        const qint64 want = StopMark > 0 ? qMin(budget, StopMark - m_byteCount) : budget;
        const int socket = int(m_data->socketDescriptor());
        // Nothing to splice into when the data is only counted.
        const qint64 taken = socket < 0 || want <= 0 || !m_file.isOpen() ? TSplicePipe::Refused
                                                                         : m_pipe.FromSocket(socket, want);
        if (taken == TSplicePipe::Nothing)
            return true;
        if (taken == TSplicePipe::Ended) {
            DataEnded();
            return false;
        }
        if (taken == TSplicePipe::Refused) {
            // Qt reads the rest, in blocks through memory.
            m_spliceOff = true;
            m_data->setReadBufferSize(DataReadBuffer);
            return true;
        }
        const qint64 written = m_pipe.ToFile(m_file.handle(), WriteOffset + m_byteCount);
        if (written > 0 && !TakeBlock(written))
            return false;
        // The file took only part: the rest is written the usual way, which meets and
        // reports the failure.
        if (m_pipe.Held() > 0)
            m_spliceOff = true;
        while (m_pipe.Held() > 0) {
            const qint64 back = m_pipe.TakeBack(m_block.data(), BlockSize);
            if (back < 0) {
                LocalWriteFailed(errno);
                return false;
            }
            if (!WriteBlock(m_block.data(), back))
                return false;
        }
        budget -= taken;
    }
    return true;
}

void TFtpClient::AcceptData()
{
    QTcpSocket* socket = m_listener->nextPendingConnection();
    DropListener();
    if (!socket)
        return;
    socket->setParent(m_context);
    if (m_data || m_aborted || !m_running) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_data = socket;
    AttachDataSocket(m_data);
    ReadData();
}
