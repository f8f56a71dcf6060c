#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// One hand-over from a later instance to the first one, alone on its connection:
//   dwData  8 bytes, little-endian (always 0 from this program; kept, not used)
//   cbData  4 bytes, little-endian: the length of the text plus its closing NUL
//   lpData  cbData bytes: the text as the argument was given (8-bit) and one NUL
// The first instance answers with 8 bytes, little-endian: 1 once it took the text.
inline constexpr qsizetype HandOverHeaderSize = 12;
inline constexpr qsizetype HandOverReplySize = 8;
// Byte counts above this are refused from the header alone; no URL comes near it.
inline constexpr quint32 MaxHandOverBytes = 64 * 1024;

struct THandOverMessage {
    quint64 Data = 0;
    // lpData up to its first NUL.
    QByteArray Text;
};

enum class THandOverDecode {
    Incomplete, // a prefix of a valid message: wait for more bytes
    Complete, // exactly one message; `message` holds it
    Rejected, // never a valid message, however many bytes follow
};

// Decodes everything received so far on one connection. Rejected: a byte count of 0
// or above MaxHandOverBytes, bytes beyond the count, or data that does not end in
// the NUL the count includes.
THandOverDecode DecodeHandOver(QByteArrayView bytes, THandOverMessage& message);

// The message for text (which must fit MaxHandOverBytes with its NUL).
QByteArray EncodeHandOver(quint64 data, QByteArrayView text);
bool FitsHandOver(QByteArrayView text);

QByteArray EncodeHandOverReply(qint64 reply);
// The reply once all of its bytes are there.
std::optional<qint64> DecodeHandOverReply(QByteArrayView bytes);
