#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// A hostile or broken server must not be able to grow our memory with its header.
constexpr qsizetype MaxHeaderLineLength = 64 * 1024;
constexpr int MaxHeaderLines = 200;

struct THttpHeaderField {
    QByteArray Name;
    QByteArray Value; // without surrounding blanks
};

// Reads one HTTP/1.x answer from the bytes as they arrive and hands it out one item
// at a time. Pulling items (instead of calling back) lets the caller stop, or even
// destroy itself, after any item without the parser being on the stack.
class THttpResponseParser {
public:
    enum class Item { NeedMore, StatusLine, HeaderLine, HeaderEnd, Body, End, Error };
    struct Token {
        Item item = Item::NeedMore;
        // StatusLine / HeaderLine: the line without its line end, valid until the next
        // call. Body: decoded body bytes inside the caller's input.
        const char* data = nullptr;
        qint64 size = 0;
    };

    // Forgets the answer. A tunnel answer (to CONNECT) that is a success ends with its
    // header: what follows belongs to the tunnel.
    void Reset(bool tunnelAnswer = false);
    // The next item in [data, data + size); data and size are moved past what it used.
    // NeedMore when all input is used up without completing an item.
    Token Next(const char*& data, qint64& size);
    // The connection has ended: End when inside the body (whole or not, see
    // BodyComplete), Error before the header is complete.
    Token Close();

    int StatusCode() const { return statusCode; }
    const QByteArray& ReasonPhrase() const { return reasonPhrase; }
    const QList<THttpHeaderField>& Headers() const { return headers; }
    // The first value of the named field (case-insensitive); empty when there is none.
    QByteArray Header(const QByteArray& name) const;
    QList<QByteArray> HeaderValues(const QByteArray& name) const;
    // The body length the answer promises, -1 when it promises none (also when chunked).
    qint64 ContentLength() const { return contentLength; }
    bool Chunked() const { return chunked; }
    bool HeaderComplete() const { return phase >= Phase::Body; }
    // Decoded body bytes handed out so far.
    qint64 BodyReceived() const { return bodyReceived; }
    // Inside a body sent as it is (neither chunked nor over yet): its bytes may be
    // taken from the connection past the parser, told to it with SkipBody.
    bool InPlainBody() const { return phase == Phase::Body; }
    // Bytes of a plain body still to come; -1 when the answer promised no length.
    qint64 PlainBodyLeft() const { return contentLength >= 0 ? contentLength - bodyReceived : -1; }
    // count bytes of a plain body (at most PlainBodyLeft) were taken elsewhere; the next
    // item is End once the promised length is reached.
    void SkipBody(qint64 count);
    // The body has everything the answer promised: all Content-Length bytes, or the
    // last chunk; an answer without any length counts as complete once it ends.
    bool BodyComplete() const;
    const QString& ErrorText() const { return errorText; }

private:
    enum class Phase { StatusLine, Header, Body, ChunkSize, ChunkData, ChunkDataEnd, Trailer, End, Error };
    enum class LineResult { Incomplete, Complete, TooLong };

    LineResult TakeLine(const char*& data, qint64& size);
    Token HeaderLine();
    Token StatusLineToken();
    Token HeaderEndToken();
    Token BodyToken(const char*& data, qint64& size);
    Token ChunkSizeLine();
    Token Fail(const QString& text);
    bool ParseContentLength();

    Phase phase = Phase::StatusLine;
    bool tunnel = false;
    QByteArray line;
    bool lineTaken = false; // the last complete line was handed out; the next one starts afresh
    int lineCount = 0;
    int statusCode = 0;
    QByteArray reasonPhrase;
    QList<THttpHeaderField> headers;
    qint64 contentLength = -1;
    bool chunked = false;
    bool sawLastChunk = false;
    qint64 chunkRemaining = 0;
    qint64 bodyReceived = 0;
    QString errorText;
};
