// Hand-over messages: a decoded message is exactly what encoding its data and bytes
// gives, every proper prefix of a valid message waits for more, a verdict of
// Rejected stays whatever follows, and what is encoded decodes to the same data and
// text (up to its first NUL).
#include "fuzz/FuzzCheck.h"
#include "platform/instance/HandOverMessage.h"

#include <QtEndian>

namespace {
QByteArrayView UpToNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}

void CheckPrefixesIncomplete(QByteArrayView bytes)
{
    THandOverMessage message;
    for (qsizetype n = 0; n < bytes.size(); ++n)
        FUZZ_CHECK(DecodeHandOver(bytes.first(n), message) == THandOverDecode::Incomplete);
}

void CheckComplete(QByteArrayView bytes, const THandOverMessage& message)
{
    const QByteArrayView body = bytes.sliced(HandOverHeaderSize, bytes.size() - HandOverHeaderSize - 1);
    FUZZ_CHECK(EncodeHandOver(message.Data, body) == bytes);
    FUZZ_CHECK(message.Text == UpToNul(body));
    CheckPrefixesIncomplete(bytes);
    THandOverMessage longer;
    FUZZ_CHECK(DecodeHandOver(bytes.toByteArray() + '\0', longer) == THandOverDecode::Rejected);
}

void CheckEncoded(quint64 data, QByteArrayView text)
{
    if (!FitsHandOver(text))
        return;
    const QByteArray bytes = EncodeHandOver(data, text);
    THandOverMessage message;
    FUZZ_CHECK(DecodeHandOver(bytes, message) == THandOverDecode::Complete);
    FUZZ_CHECK(message.Data == data);
    FUZZ_CHECK(message.Text == UpToNul(text));
    CheckPrefixesIncomplete(bytes);
}

void CheckReply(QByteArrayView bytes)
{
    const std::optional<qint64> reply = DecodeHandOverReply(bytes);
    FUZZ_CHECK(reply.has_value() == (bytes.size() >= HandOverReplySize));
    if (reply)
        FUZZ_CHECK(EncodeHandOverReply(*reply) == bytes.first(HandOverReplySize));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    THandOverMessage message;
    switch (DecodeHandOver(bytes, message)) {
    case THandOverDecode::Complete:
        CheckComplete(bytes, message);
        break;
    case THandOverDecode::Rejected:
        FUZZ_CHECK(DecodeHandOver(bytes.toByteArray() + bytes.toByteArray(), message) == THandOverDecode::Rejected);
        break;
    case THandOverDecode::Incomplete:
        FUZZ_CHECK(bytes.size() < HandOverHeaderSize + qsizetype(MaxHandOverBytes));
        break;
    }
    const quint64 value = size >= 8 ? qFromLittleEndian<quint64>(data) : size;
    CheckEncoded(value, bytes);
    CheckReply(bytes);
    return 0;
}
