#include "platform/net/HttpResponseParser.h"

#include <cstring>

namespace {
// "HTTP/1.1 206 Partial Content": code 206, reason "Partial Content".
bool SplitStatusLine(const QByteArray& line, int& code, QByteArray& reason)
{
    if (!line.startsWith("HTTP/"))
        return false;
    const qsizetype blank = line.indexOf(' ');
    if (blank < 0 || line.size() < blank + 4)
        return false;
    code = 0;
    for (qsizetype i = blank + 1; i < blank + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        code = code * 10 + (line[i] - '0');
    }
    if (line.size() > blank + 4 && line[blank + 4] != ' ')
        return false;
    reason = line.mid(blank + 5);
    return true;
}

// Decimal digits only, at most 18 of them so the value fits a qint64.
qint64 ParseLength(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "1a2b;name=value" -> 0x1a2b; -1 when there is no hex number or it is too large.
qint64 ParseChunkSize(const QByteArray& line)
{
    qint64 value = 0;
    qsizetype i = 0;
    for (; i < line.size() && HexDigit(line[i]) >= 0; ++i) {
        if (i >= 15)
            return -1;
        value = value * 16 + HexDigit(line[i]);
    }
    if (i == 0)
        return -1;
    const QByteArray rest = line.mid(i).trimmed();
    return rest.isEmpty() || rest.startsWith(';') ? value : -1;
}

bool NoBodyStatus(int code)
{
    return (code >= 100 && code < 200) || code == 204 || code == 304;
}
}

void THttpResponseParser::Reset(bool tunnelAnswer)
{
    *this = THttpResponseParser();
    tunnel = tunnelAnswer;
}

THttpResponseParser::LineResult THttpResponseParser::TakeLine(const char*& data, qint64& size)
{
    const char* end = static_cast<const char*>(std::memchr(data, '\n', size_t(size)));
    const qint64 used = end ? end - data + 1 : size;
    const qint64 kept = end ? used - 1 : used;
    if (line.size() + kept > MaxHeaderLineLength)
        return LineResult::TooLong;
    line.append(data, kept);
    data += used;
    size -= used;
    if (!end)
        return LineResult::Incomplete;
    if (line.endsWith('\r'))
        line.chop(1);
    return LineResult::Complete;
}

THttpResponseParser::Token THttpResponseParser::Fail(const QString& text)
{
    phase = Phase::Error;
    errorText = text;
    return {Item::Error};
}

THttpResponseParser::Token THttpResponseParser::Next(const char*& data, qint64& size)
{
    if (phase == Phase::End)
        return {Item::End};
    if (phase == Phase::Error)
        return {Item::Error};
    if (phase == Phase::Body || phase == Phase::ChunkData)
        return BodyToken(data, size);
    if (size <= 0)
        return {};
    if (lineTaken) {
        line.clear();
        lineTaken = false;
    }
    switch (TakeLine(data, size)) {
    case LineResult::Incomplete:
        return {};
    case LineResult::TooLong:
        return Fail(QStringLiteral("The server sent a header line longer than %1 bytes").arg(MaxHeaderLineLength));
    case LineResult::Complete:
        break;
    }
    lineTaken = true;
    Token token = HeaderLine();
    token.data = line.constData();
    return token;
}

THttpResponseParser::Token THttpResponseParser::HeaderLine()
{
    const qint64 size = line.size();
    switch (phase) {
    case Phase::StatusLine:
        return StatusLineToken();
    case Phase::Header:
        if (line.isEmpty())
            return HeaderEndToken();
        break;
    case Phase::ChunkSize:
        return ChunkSizeLine();
    case Phase::ChunkDataEnd:
        if (!line.isEmpty())
            return Fail(QStringLiteral("The server sent a malformed chunked body"));
        phase = Phase::ChunkSize;
        return {Item::NeedMore};
    case Phase::Trailer:
        if (line.isEmpty()) {
            phase = Phase::End;
            return {Item::End};
        }
        break;
    default:
        return {Item::NeedMore};
    }
    if (++lineCount > MaxHeaderLines)
        return Fail(QStringLiteral("The server sent more than %1 header lines").arg(MaxHeaderLines));
    if (phase == Phase::Header) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        return {Item::HeaderLine, nullptr, size};
    }
    return {Item::NeedMore}; // a trailer line: counted, not kept
}

THttpResponseParser::Token THttpResponseParser::StatusLineToken()
{
    if (!SplitStatusLine(line, statusCode, reasonPhrase))
        return Fail(QStringLiteral("The server did not answer with an HTTP status line"));
    phase = Phase::Header;
    return {Item::StatusLine, nullptr, line.size()};
}

bool THttpResponseParser::ParseContentLength()
{
    for (const QByteArray& value : HeaderValues("Content-Length")) {
        const qint64 length = ParseLength(value);
        if (length < 0 || (contentLength >= 0 && length != contentLength))
            return false;
        contentLength = length;
    }
    return true;
}

THttpResponseParser::Token THttpResponseParser::HeaderEndToken()
{
    chunked = Header("Transfer-Encoding").toLower().trimmed().endsWith("chunked");
    if (!chunked && !ParseContentLength())
        return Fail(QStringLiteral("The server sent an invalid Content-Length"));
    if ((tunnel && statusCode >= 200 && statusCode < 300) || NoBodyStatus(statusCode)) {
        contentLength = tunnel ? -1 : 0;
        phase = Phase::End;
    } else if (chunked) {
        phase = Phase::ChunkSize;
    } else {
        phase = contentLength == 0 ? Phase::End : Phase::Body;
    }
    return {Item::HeaderEnd};
}

THttpResponseParser::Token THttpResponseParser::ChunkSizeLine()
{
    const qint64 chunk = ParseChunkSize(line);
    if (chunk < 0)
        return Fail(QStringLiteral("The server sent a malformed chunked body"));
    if (chunk == 0) {
        sawLastChunk = true;
        phase = Phase::Trailer;
    } else {
        chunkRemaining = chunk;
        phase = Phase::ChunkData;
    }
    return {Item::NeedMore};
}

THttpResponseParser::Token THttpResponseParser::BodyToken(const char*& data, qint64& size)
{
    if (size <= 0)
        return {};
    qint64 take = size;
    if (phase == Phase::ChunkData)
        take = qMin(take, chunkRemaining);
    else if (contentLength >= 0)
        take = qMin(take, contentLength - bodyReceived);
    Token token{Item::Body, data, take};
    data += take;
    size -= take;
    bodyReceived += take;
    if (phase == Phase::ChunkData) {
        chunkRemaining -= take;
        if (chunkRemaining == 0)
            phase = Phase::ChunkDataEnd;
    } else if (contentLength >= 0 && bodyReceived == contentLength) {
        phase = Phase::End;
    }
    return token;
}

void THttpResponseParser::SkipBody(qint64 count)
{
    if (phase != Phase::Body || count <= 0)
        return;
    if (contentLength >= 0)
        count = qMin(count, contentLength - bodyReceived);
    bodyReceived += count;
    if (contentLength >= 0 && bodyReceived == contentLength)
        phase = Phase::End;
}

THttpResponseParser::Token THttpResponseParser::Close()
{
    if (phase == Phase::Error)
        return {Item::Error};
    if (phase < Phase::Body)
        return Fail(statusCode == 0 && line.isEmpty()
                        ? QStringLiteral("The server closed the connection without an answer")
                        : QStringLiteral("The server closed the connection inside the answer's header"));
    phase = Phase::End;
    return {Item::End};
}

QByteArray THttpResponseParser::Header(const QByteArray& name) const
{
    for (const THttpHeaderField& field : headers)
        if (field.Name.compare(name, Qt::CaseInsensitive) == 0)
            return field.Value;
    return {};
}

QList<QByteArray> THttpResponseParser::HeaderValues(const QByteArray& name) const
{
    QList<QByteArray> values;
    for (const THttpHeaderField& field : headers)
        if (field.Name.compare(name, Qt::CaseInsensitive) == 0)
            values.append(field.Value);
    return values;
}

bool THttpResponseParser::BodyComplete() const
{
    if (chunked)
        return sawLastChunk;
    if (contentLength >= 0)
        return bodyReceived == contentLength;
    return phase == Phase::End;
}
