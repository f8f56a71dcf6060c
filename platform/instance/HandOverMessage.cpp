#include "platform/instance/HandOverMessage.h"

#include <QtEndian>

THandOverDecode DecodeHandOver(QByteArrayView bytes, THandOverMessage& message)
{
    if (bytes.size() < HandOverHeaderSize)
        return THandOverDecode::Incomplete;
    const quint32 count = qFromLittleEndian<quint32>(bytes.data() + 8);
    if (count == 0 || count > MaxHandOverBytes)
        return THandOverDecode::Rejected;
    const qsizetype total = HandOverHeaderSize + qsizetype(count);
    if (bytes.size() < total)
        return THandOverDecode::Incomplete;
    if (bytes.size() > total || bytes[total - 1] != '\0')
        return THandOverDecode::Rejected;
    const QByteArrayView data = bytes.sliced(HandOverHeaderSize, count);
    const qsizetype end = data.indexOf('\0');
    message.Data = qFromLittleEndian<quint64>(bytes.data());
    message.Text = data.first(end).toByteArray();
    return THandOverDecode::Complete;
}

bool FitsHandOver(QByteArrayView text)
{
    return text.size() < qsizetype(MaxHandOverBytes);
}

QByteArray EncodeHandOver(quint64 data, QByteArrayView text)
{
    QByteArray bytes(HandOverHeaderSize, '\0');
    qToLittleEndian<quint64>(data, bytes.data());
    qToLittleEndian<quint32>(quint32(text.size() + 1), bytes.data() + 8);
    bytes.append(text);
    bytes.append('\0');
    return bytes;
}

QByteArray EncodeHandOverReply(qint64 reply)
{
    QByteArray bytes(HandOverReplySize, '\0');
    qToLittleEndian<qint64>(reply, bytes.data());
    return bytes;
}

std::optional<qint64> DecodeHandOverReply(QByteArrayView bytes)
{
    if (bytes.size() < HandOverReplySize)
        return std::nullopt;
    return qFromLittleEndian<qint64>(bytes.data());
}
