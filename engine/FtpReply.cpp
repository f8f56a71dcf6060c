#include "engine/FtpReply.h"

#include <cstring>

namespace {
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The code of a line that starts with three digits, and the character after them
// (0 at the end of the line); code 0 when the line starts otherwise.
std::pair<int, char> LineCode(const QByteArray& line)
{
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return {0, 0};
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    return {code, line.size() > 3 ? line[3] : char(0)};
}

bool EndsReply(char after)
{
    return after == ' ' || after == 0;
}

// Reads a run of decimal digits at pos, skipping blanks before it; -1 when there is
// none or it is implausibly long.
qint64 ReadNumber(const QByteArray& text, qsizetype& pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const qsizetype start = pos;
    qint64 value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - start < 6)
        value = value * 10 + (text[pos++] - '0');
    if (pos == start || (pos < text.size() && IsDigit(text[pos])))
        return -1;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return value;
}
}

bool TFtpReplyReader::Add(const char* data, qsizetype size)
{
    if (m_failed)
        return false;
    const char* end = data + size;
    while (data < end) {
        const char* newline = static_cast<const char*>(memchr(data, '\n', end - data));
        const char* stop = newline ? newline : end;
        if (m_line.size() + (stop - data) > MaxLineLength) {
            m_failed = true;
            return false;
        }
        m_line.append(data, stop - data);
        if (!newline)
            break;
        data = newline + 1;
        QByteArray line = std::move(m_line);
        m_line.clear();
        if (line.endsWith('\r'))
            line.chop(1);
        if (!AddLine(std::move(line))) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

bool TFtpReplyReader::AddLine(QByteArray line)
{
    const auto [code, after] = LineCode(line);
    if (m_openCode == 0) {
        if (code == 0)
            return true;
        if (after == '-') {
            m_openCode = code;
            m_text = std::move(line);
            return true;
        }
        if (EndsReply(after))
            m_replies.push_back({code, std::move(line)});
        return true;
    }
    if (m_text.size() + 1 + line.size() > MaxReplyLength)
        return false;
    m_text += '\n';
    m_text += line;
    if (code == m_openCode && EndsReply(after)) {
        m_replies.push_back({m_openCode, std::move(m_text)});
        m_text.clear();
        m_openCode = 0;
    }
    return true;
}

TFtpReply TFtpReplyReader::TakeReply()
{
    TFtpReply reply = std::move(m_replies.front());
    m_replies.pop_front();
    return reply;
}

void TFtpReplyReader::Clear()
{
    m_line.clear();
    m_text.clear();
    m_openCode = 0;
    m_failed = false;
    m_replies.clear();
}

std::optional<quint16> ParsePassivePort(const QByteArray& replyText)
{
    qsizetype pos = replyText.indexOf('(');
    if (pos >= 0) {
        ++pos;
    } else {
        pos = 3;
        while (pos < replyText.size() && !IsDigit(replyText[pos]))
            ++pos;
    }
    qint64 numbers[6];
    for (int i = 0; i < 6; ++i) {
        numbers[i] = ReadNumber(replyText, pos);
        if (numbers[i] < 0)
            return std::nullopt;
        const char expected = i < 5 ? ',' : ')';
        if (pos < replyText.size() && replyText[pos] == expected)
            ++pos;
        else if (i < 5)
            return std::nullopt;
    }
    const auto port = quint16((numbers[4] * 256 + numbers[5]) % 65536);
    if (port == 0)
        return std::nullopt;
    return port;
}

qint64 ParseSizeReply(const QByteArray& replyText)
{
    const QByteArray number = replyText.mid(3).trimmed();
    if (number.isEmpty() || number.size() > 18)
        return -1;
    for (char c : number)
        if (!IsDigit(c))
            return -1;
    return number.toLongLong();
}

QByteArray PortCommand(const QHostAddress& localAddress, quint16 port)
{
    bool isV4 = false;
    quint32 address = localAddress.toIPv4Address(&isV4);
    if (localAddress.isLoopback())
        address = 0x7f000001;
    else if (!isV4)
        return {};
    return QByteArray("PORT ") + QByteArray::number((address >> 24) & 0xff) + ',' +
           QByteArray::number((address >> 16) & 0xff) + ',' + QByteArray::number((address >> 8) & 0xff) +
           ',' + QByteArray::number(address & 0xff) + ',' + QByteArray::number(port / 256) + ',' +
           QByteArray::number(port % 256);
}

bool BreaksCommandLine(const QString& text)
{
    for (QChar c : text)
        if (c == u'\r' || c == u'\n' || c == QChar(0))
            return true;
    return false;
}
