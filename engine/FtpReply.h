#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <deque>
#include <optional>

// One complete reply of an FTP server: its three-digit code and every line of it
// (line ends removed, lines joined by "\n").
struct TFtpReply {
    int Code = 0;
    QByteArray Text;
};

// Collects the replies of a control connection from the bytes as they arrive, in
// whatever pieces the network delivers them. Lines end in CR LF or a bare LF. A
// reply is complete on a line of three digits followed by a blank (or nothing); a
// first line of three digits followed by "-" opens a multi-line reply that ends on
// a line starting with the same digits and a blank. Lines outside a reply that do
// not start with a code are ignored.
class TFtpReplyReader {
public:
    // Bounds that keep a hostile server from growing our memory.
    static constexpr qsizetype MaxLineLength = 8192;
    static constexpr qsizetype MaxReplyLength = 65536;

    // Adds received bytes. False once a line or a multi-line reply has grown past
    // the bounds; the connection's replies cannot be trusted after that.
    bool Add(const char* data, qsizetype size);
    bool Add(const QByteArray& bytes) { return Add(bytes.constData(), bytes.size()); }
    bool HasReply() const { return !m_replies.empty(); }
    TFtpReply TakeReply();
    void Clear();

private:
    bool AddLine(QByteArray line);

    QByteArray m_line;
    QByteArray m_text;
    int m_openCode = 0; // code of the multi-line reply being collected, 0 for none
    bool m_failed = false;
    std::deque<TFtpReply> m_replies;
};

// The data port named by a 227 reply: the six numbers after the first "(" (or, when
// a server leaves the parenthesis out, from the first digit after the code). The
// address in them is skipped on purpose: the data connection goes to the server the
// control connection reached. Nothing for a reply that does not hold six numbers
// or names port 0.
std::optional<quint16> ParsePassivePort(const QByteArray& replyText);

// The size in a 213 reply, or -1 when its text is not a plain decimal number.
qint64 ParseSizeReply(const QByteArray& replyText);

// "PORT h1,h2,h3,h4,p1,p2" for a data listener on port, announced with the control
// connection's local address (127,0,0,1 for any loopback address). Empty when the
// address has no IPv4 form, which PORT cannot express.
QByteArray PortCommand(const QHostAddress& localAddress, quint16 port);

// True when the text holds CR, LF or NUL, which would end or split a command line.
bool BreaksCommandLine(const QString& text);
