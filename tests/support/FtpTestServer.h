#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class FtpTestServer;

// One control connection of the FtpTestServer, handed to the command handlers.
class FtpTestSession {
public:
    FtpTestSession(FtpTestServer& server, QTcpSocket* control);
    ~FtpTestSession();

    // Sends bytes on the control connection exactly as they stand.
    void Send(const QByteArray& bytes);
    // Sends each piece a little after the one before has left, so that the client
    // receives them in separate reads.
    void SendPieces(QList<QByteArray> pieces);
    void Close();
    // Runs then after ms milliseconds, unless the session is gone by then.
    void Later(int ms, std::function<void()> then);
    // What the server does for a command when no handler replaces it.
    void Default(const QByteArray& verb, const QByteArray& argument);
    // Runs once the data connection is open: at once in passive mode when the client
    // has connected, after connecting to the PORT address in active mode.
    void WithData(std::function<void(QTcpSocket* data)> then);
    // Writes the bytes to the data connection and closes it; then() runs once it is closed.
    void SendData(const QByteArray& bytes, std::function<void()> then = {});

    qint64 restOffset = 0;

private:
    void ReadCommands();
    void Command(const QByteArray& line);
    void Pasv();
    void Port(const QByteArray& argument);
    void Retr(const QByteArray& name);
    void DataReady();
    void DropData();

    FtpTestServer& m_server;
    QTcpSocket* m_control;
    QByteArray m_pending;
    QTcpServer* m_passive = nullptr;
    QTcpSocket* m_data = nullptr;
    QHostAddress m_portAddress;
    quint16 m_portNumber = 0;
    std::vector<std::function<void(QTcpSocket*)>> m_waiting;
};

// A scriptable FTP server on a loopback port the system picks, for the replies real
// servers will not give. Out of the box it is a small working server: any USER and
// PASS, TYPE, CWD, SIZE, REST, PASV, PORT and RETR of the files added. On() and
// Reply() replace the answer to one command; every command line received is kept.
class FtpTestServer {
public:
    using Handler = std::function<void(FtpTestSession& session, const QByteArray& argument)>;

    FtpTestServer();
    ~FtpTestServer();

    quint16 Port() const;
    void AddFile(const QByteArray& name, const QByteArray& content);
    QByteArray File(const QByteArray& name) const { return m_files.value(name); }
    bool HasFile(const QByteArray& name) const { return m_files.contains(name); }
    // Replaces the answer to a command verb (upper case) for every later occurrence.
    void On(const QByteArray& verb, Handler handler);
    // Answers the command with these bytes as they stand.
    void Reply(const QByteArray& verb, const QByteArray& bytes);
    // Answers with these bytes, then closes the control connection.
    void ReplyAndClose(const QByteArray& verb, const QByteArray& bytes);
    // Every command line received, over all sessions, without its line end.
    const QList<QByteArray>& Commands() const { return m_commands; }
    // The verbs of Commands(), in order.
    QList<QByteArray> Verbs() const;

    // Sent to a new session, as it stands; ReplyAndClose("", ...) closes after it.
    QByteArray Greeting = "220 Test server ready\r\n";
    // The address named in 227 replies (the data listener is always on 127.0.0.1).
    QByteArray PasvAddress = "127,0,0,1";
    // A REST followed by PASV is forgotten, as some servers do.
    bool ForgetRestOnPasv = false;
    // REST is answered with 350 and then ignored: the file comes from byte 0.
    bool IgnoreRest = false;

private:
    friend class FtpTestSession;
    QTcpServer* m_listener;
    QMap<QByteArray, QByteArray> m_files;
    QMap<QByteArray, Handler> m_handlers;
    QList<QByteArray> m_commands;
    std::vector<std::unique_ptr<FtpTestSession>> m_sessions;
};
