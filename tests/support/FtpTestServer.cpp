#include "tests/support/FtpTestServer.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
// Long enough for the client to have read one piece before the next arrives.
constexpr int PiecePauseMs = 30;
}

FtpTestSession::FtpTestSession(FtpTestServer& server, QTcpSocket* control)
    : m_server(server), m_control(control)
{
    m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QObject::connect(m_control, &QTcpSocket::readyRead, m_control, [this] { ReadCommands(); });
}

FtpTestSession::~FtpTestSession()
{
    delete m_data;
    delete m_passive;
    delete m_control;
}

void FtpTestSession::Send(const QByteArray& bytes)
{
    if (m_control->state() == QAbstractSocket::ConnectedState)
        m_control->write(bytes);
}

void FtpTestSession::SendPieces(QList<QByteArray> pieces)
{
    if (pieces.isEmpty())
        return;
    Send(pieces.takeFirst());
    m_control->flush();
    if (!pieces.isEmpty())
        QTimer::singleShot(PiecePauseMs, m_control, [this, pieces] { SendPieces(pieces); });
}

void FtpTestSession::Later(int ms, std::function<void()> then)
{
    QTimer::singleShot(ms, m_control, std::move(then));
}

void FtpTestSession::Close()
{
    m_control->disconnectFromHost();
}

void FtpTestSession::ReadCommands()
{
    m_pending += m_control->readAll();
    for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
        QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        Command(line);
    }
}

void FtpTestSession::Command(const QByteArray& line)
{
    m_server.m_commands.append(line);
    const qsizetype blank = line.indexOf(' ');
    const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
    const QByteArray argument = blank < 0 ? QByteArray() : line.mid(blank + 1);
    const auto handler = m_server.m_handlers.constFind(verb);
    if (handler != m_server.m_handlers.constEnd())
        (*handler)(*this, argument);
    else
        Default(verb, argument);
}

void FtpTestSession::Default(const QByteArray& verb, const QByteArray& argument)
{
    if (verb == "USER")
        return Send("331 Password required\r\n");
    if (verb == "PASS")
        return Send("230 Logged in\r\n");
    if (verb == "TYPE")
        return Send("200 Type set\r\n");
    if (verb == "CWD")
        return Send("250 Directory changed\r\n");
    if (verb == "SIZE")
        return Send(m_server.HasFile(argument)
                        ? "213 " + QByteArray::number(m_server.File(argument).size()) + "\r\n"
                        : QByteArray("550 No such file\r\n"));
    if (verb == "REST") {
        restOffset = argument.toLongLong();
        return Send("350 Restarting at " + argument + "\r\n");
    }
    if (verb == "PASV")
        return Pasv();
    if (verb == "PORT")
        return Port(argument);
    if (verb == "RETR")
        return Retr(argument);
    if (verb == "QUIT") {
        Send("221 Bye\r\n");
        return Close();
    }
    Send("502 Command not implemented\r\n");
}

void FtpTestSession::Pasv()
{
    if (m_server.ForgetRestOnPasv)
        restOffset = 0;
    DropData();
    delete m_passive;
    m_passive = new QTcpServer;
    m_passive->setProxy(QNetworkProxy::NoProxy);
    m_passive->listen(QHostAddress::LocalHost, 0);
    QObject::connect(m_passive, &QTcpServer::newConnection, m_passive, [this] {
        if (m_data)
            return;
        m_data = m_passive->nextPendingConnection();
        m_data->setParent(nullptr);
        DataReady();
    });
    const quint16 port = m_passive->serverPort();
    Send("227 Entering Passive Mode (" + m_server.PasvAddress + "," + QByteArray::number(port / 256) + "," +
         QByteArray::number(port % 256) + ")\r\n");
}

void FtpTestSession::Port(const QByteArray& argument)
{
    const QList<QByteArray> numbers = argument.split(',');
    if (numbers.size() != 6)
        return Send("501 Bad PORT\r\n");
    m_portAddress = QHostAddress(QString::fromLatin1(numbers.mid(0, 4).join('.')));
    m_portNumber = quint16(numbers[4].toUInt() * 256 + numbers[5].toUInt());
    DropData();
    delete m_passive;
    m_passive = nullptr;
    Send("200 PORT command successful\r\n");
}

void FtpTestSession::Retr(const QByteArray& name)
{
    if (!m_server.HasFile(name))
        return Send("550 No such file\r\n");
    const qint64 from = m_server.IgnoreRest ? 0 : restOffset;
    restOffset = 0;
    Send("150 Opening data connection\r\n");
    SendData(m_server.File(name).mid(from), [this] { Send("226 Transfer complete\r\n"); });
}

void FtpTestSession::WithData(std::function<void(QTcpSocket*)> then)
{
    m_waiting.push_back(std::move(then));
    if (m_data && m_data->state() == QAbstractSocket::ConnectedState)
        return DataReady();
    if (m_data || m_passive)
        return; // connecting, or waiting for the client
    m_data = new QTcpSocket;
    m_data->setProxy(QNetworkProxy::NoProxy);
    QObject::connect(m_data, &QTcpSocket::connected, m_data, [this] { DataReady(); });
    m_data->connectToHost(m_portAddress, m_portNumber);
}

// A data connection left over from an earlier transfer.
void FtpTestSession::DropData()
{
    if (!m_data)
        return;
    QObject::disconnect(m_data, nullptr, nullptr, nullptr);
    m_data->abort();
    m_data->deleteLater();
    m_data = nullptr;
    m_waiting.clear();
}

void FtpTestSession::DataReady()
{
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto& then : waiting)
        then(m_data);
}

void FtpTestSession::SendData(const QByteArray& bytes, std::function<void()> then)
{
    WithData([this, bytes, then](QTcpSocket* data) {
        QObject::connect(data, &QTcpSocket::disconnected, data, [this, data, then] {
            if (m_data == data)
                m_data = nullptr;
            data->deleteLater();
            if (then)
                then();
        });
        data->write(bytes);
        data->disconnectFromHost();
    });
}

FtpTestServer::FtpTestServer() : m_listener(new QTcpServer)
{
    m_listener->setProxy(QNetworkProxy::NoProxy);
    m_listener->listen(QHostAddress::LocalHost, 0);
    QObject::connect(m_listener, &QTcpServer::newConnection, m_listener, [this] {
        while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
            socket->setParent(nullptr);
            m_sessions.push_back(std::make_unique<FtpTestSession>(*this, socket));
            FtpTestSession& session = *m_sessions.back();
            const auto handler = m_handlers.constFind("");
            if (handler != m_handlers.constEnd())
                (*handler)(session, {});
            else
                session.Send(Greeting);
        }
    });
}

FtpTestServer::~FtpTestServer()
{
    m_sessions.clear();
    delete m_listener;
}

quint16 FtpTestServer::Port() const
{
    return m_listener->serverPort();
}

void FtpTestServer::AddFile(const QByteArray& name, const QByteArray& content)
{
    m_files.insert(name, content);
}

void FtpTestServer::On(const QByteArray& verb, Handler handler)
{
    m_handlers.insert(verb, std::move(handler));
}

void FtpTestServer::Reply(const QByteArray& verb, const QByteArray& bytes)
{
    On(verb, [bytes](FtpTestSession& session, const QByteArray&) { session.Send(bytes); });
}

void FtpTestServer::ReplyAndClose(const QByteArray& verb, const QByteArray& bytes)
{
    On(verb, [bytes](FtpTestSession& session, const QByteArray&) {
        session.Send(bytes);
        session.Close();
    });
}

QList<QByteArray> FtpTestServer::Verbs() const
{
    QList<QByteArray> verbs;
    for (const QByteArray& line : m_commands)
        verbs.append(line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ')));
    return verbs;
}
