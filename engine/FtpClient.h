#pragma once
#include "engine/FtpReply.h"
#include "platform/net/SplicePipe.h"

#include <QAbstractSocket>
#include <QFile>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QObject;
class QTcpServer;
class QTcpSocket;

// What a request-done event reports as finished; named after the request calls.
enum class TFtpRequest { Connect, TypeSet, Cwd, Size, Rest, RestGet, Get };

// The control connection: Connected once the server accepted the TCP connection
// (before its greeting), LoggedIn after a successful Connect request.
enum class TFtpState { NotConnected, Connecting, Connected, LoggedIn };

// The asynchronous FTP client a part download drives: one control connection, one
// data connection per transfer, and requests that each end in exactly one
// OnRequestDone. Everything happens on the thread's event loop; no call blocks.
//
// Request-done error codes are 0 for success, else the server's reply code, or one
// of our own for failures that did not come from the server, with ErrorMessage()
// starting with the same code:
//   421 could not connect, control connection lost, reply lines past the bounds
//   425 the server ended a transfer without ever opening the data connection
//   426 local file could not be opened or written, transfer aborted before RETR
//   501 CR, LF or NUL in a name or password (nothing was sent)
//   530 empty user name, or empty password when the server asks for one
//   550 the data connection could not be set up ("550 Passive: ..." / "550 Active: ...")
//
// The client may be destroyed at any time, also inside its own events: it closes
// both connections at once (no QUIT) and raises nothing afterwards.
class TFtpClient {
public:
    TFtpClient();
    ~TFtpClient();
    TFtpClient(const TFtpClient&) = delete;
    TFtpClient& operator=(const TFtpClient&) = delete;

    // Settings, read when a request starts; StopMark is also read after every block.
    QString HostName;
    QString Port = "21";
    QString UserName;
    QString PassWord;
    QString HostDirName;
    QString HostFileName;
    QString LocalFileName;    // empty: a retrieve only counts what arrives
    bool Binary = true;       // TYPE I, else TYPE A
    bool Passive = false;     // PASV, else PORT
    bool NoAutoResumeAt = false; // when clear, REST sends the local file's size instead of ResumeAt
    qint64 ResumeAt = 0;      // sent with REST; negative: no REST. Zeroed when a retrieve ends.
    qint64 WriteOffset = 0;   // > 0: the existing local file is written from here; 0: truncated
    qint64 StopMark = 0;      // > 0: the data connection is cut once ByteCount() reaches it

    // Requests. Each returns false, and does nothing, while another request runs or
    // when the control connection is not in the state it needs (Connect wants none,
    // the others a connected one); otherwise it ends in one OnRequestDone, never
    // inside the call itself.
    bool Connect();  // open, greeting, USER (331 or 230), PASS (230)
    bool TypeSet();  // TYPE I / TYPE A: 200
    bool Cwd();      // CWD HostDirName (nothing sent when empty): 200, 250, 257
    bool Size();     // SIZE HostFileName: 213, SizeResult()
    bool Rest();     // REST ResumeAt: any reply; 350 means accepted (StatusCode())
    // PASV or PORT, then REST, then RETR: servers may forget a REST sent before PASV.
    // A REST reply other than 350 ends the request with that code: RETR would send
    // the file from byte 0 into the middle of the local file.
    bool RestGet();
    bool Get();      // PASV or PORT, then RETR
    // Cuts the running transfer's data connection; the retrieve still ends with the
    // server's final reply.
    void Abort();

    bool Connected() const { return m_state == TFtpState::Connected || m_state == TFtpState::LoggedIn; }
    bool Ready() const { return !m_running; }
    TFtpState State() const { return m_state; }
    int StatusCode() const { return m_statusCode; }
    const QByteArray& LastResponse() const { return m_lastResponse; }
    qint64 ByteCount() const { return m_byteCount; } // received in the current transfer
    qint64 SizeResult() const { return m_sizeResult; } // -1 when SIZE gave no number
    const QString& ErrorMessage() const { return m_errorMessage; }
    // Why the last retrieve could not write its local file; empty when nothing failed.
    const QString& LocalWriteError() const { return m_localWriteError; }

    std::function<void(int error)> OnSessionConnected;
    std::function<void(TFtpState state)> OnStateChange;
    // After every block written; set abort to cut the transfer.
    std::function<void(qint64 count, bool& abort)> OnProgress;
    std::function<void(TFtpRequest request, int error)> OnRequestDone;

    // Blocks that pass through our memory; the data connection's bytes are otherwise
    // spliced from the socket into the local file, each move one block (never past
    // the stop mark).
    static constexpr qint64 BlockSize = 4096;
    // The most bytes taken from the data connection per readiness event.
    qint64 ReadBudget = 1 << 20;

private:
    enum class Step {
        Idle, Connecting, Greeting, User, Pass, Type, Cwd, Size, Rest,
        DataCommand, DataConnecting, RestBeforeRetr, Retr, Transfer
    };

    template <class Body> bool Start(TFtpRequest request, const char* signature, Body&& body);
    void Begin(TFtpRequest request);
    void StartRetrieve(bool withRest);
    bool OpenLocalFile();
    bool ListenForData(QString& error);
    void Send(Step step, const QByteArray& command);
    void SendRestOrRetr();

    void HandleReply(const TFtpReply& reply);
    void GreetingReply(const TFtpReply& reply);
    void UserReply(const TFtpReply& reply);
    void SizeReply(const TFtpReply& reply);
    void DataCommandReply(const TFtpReply& reply);
    void RestBeforeRetrReply(const TFtpReply& reply);
    void TransferReply(const TFtpReply& reply);

    void Finish(int error);
    void Fail(int error, const QString& message);
    void FailWithReply(const TFtpReply& reply);
    void FinishLater(int error, const QString& message = {});
    void CheckTransferDone();
    void CheckTransferDoneLater();
    void CutData();

    QTcpSocket* NewSocket();
    void AttachDataSocket(QTcpSocket* socket);
    void DropSocket(QTcpSocket*& socket);
    void DropListener();
    bool SetState(TFtpState state);

    void ControlConnected();
    void ControlError(QAbstractSocket::SocketError error);
    void ControlClosed();
    void ReadControl();
    void LoseControl(const QString& why);
    void DataConnected();
    void DataError(QAbstractSocket::SocketError error);
    void DataClosed();
    void ReadData();
    // Counts a block written to the local file and raises OnProgress; false once the
    // transfer must not be read on (cut, or the client gone or replaced).
    bool TakeBlock(qint64 count);
    bool WriteBlock(const char* data, qint64 count);
    void LocalWriteFailed(int error);
    // Splices from the data connection within budget; false when reading must stop.
    bool SpliceData(qint64 budget);
    void DataEnded();
    void AcceptData();

    template <class Handler, class... Args> bool Raise(const Handler& event, Args&&... args);
    template <class Sender, class Signal, class Member>
    void Listen(Sender* sender, Signal signal, const char* signature, Member member);

    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QObject* m_context; // receiver of every socket signal; freed later, we may be inside one
    QTcpSocket* m_control = nullptr;
    QTcpSocket* m_data = nullptr;
    QTcpServer* m_listener = nullptr;
    QFile m_file;
    std::array<char, BlockSize> m_block;
    TSplicePipe m_pipe;
    bool m_spliceOff = false; // splicing failed in this transfer: Qt reads the rest
    TFtpReplyReader m_replies;

    TFtpState m_state = TFtpState::NotConnected;
    TFtpRequest m_request = TFtpRequest::Connect;
    Step m_step = Step::Idle;
    bool m_running = false;
    quint32 m_serial = 0; // tells a deferred end which request it belongs to
    bool m_restAccepted = false; // the last REST got 350; a plain Get keeps ResumeAt then
    bool m_withRest = false;
    bool m_aborted = false;
    bool m_finalReply = false;
    bool m_dataClosed = false;
    int m_statusCode = 0;
    QByteArray m_lastResponse;
    qint64 m_byteCount = 0;
    qint64 m_sizeResult = -1;
    QString m_errorMessage;
    QString m_writeError;
    QString m_localWriteError;
};
