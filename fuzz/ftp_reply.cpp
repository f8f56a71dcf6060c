// FTP replies: the same bytes give the same replies however they arrive, every reply
// is well-formed and within the bounds, and the port and size readers agree with
// what they are given.
#include "engine/FtpReply.h"
#include "fuzz/FuzzCheck.h"

#include <vector>

namespace {
struct Read {
    std::vector<std::pair<int, QByteArray>> replies;
    bool failed = false;
    bool operator==(const Read&) const = default;
};

Read ReadReplies(const QByteArray& input, qsizetype piece)
{
    TFtpReplyReader reader;
    Read read;
    for (qsizetype at = 0; at < input.size() && !read.failed; at += piece) {
        read.failed = !reader.Add(input.constData() + at, qMin(piece, input.size() - at));
        while (reader.HasReply()) {
            const TFtpReply reply = reader.TakeReply();
            read.replies.emplace_back(reply.Code, reply.Text);
        }
    }
    return read;
}

void CheckReply(int code, const QByteArray& text)
{
    const QByteArray digits = QByteArray::number(code).rightJustified(3, '0');
    FUZZ_CHECK(code >= 0 && code <= 999 && text.startsWith(digits));
    FUZZ_CHECK(text.size() <= TFtpReplyReader::MaxReplyLength);
    const qsizetype lastLine = text.lastIndexOf('\n') + 1;
    FUZZ_CHECK(text.mid(lastLine).startsWith(digits));
    FUZZ_CHECK(text.size() - lastLine <= TFtpReplyReader::MaxLineLength);
    if (const std::optional<quint16> port = ParsePassivePort(text))
        FUZZ_CHECK(*port != 0);
    if (const qint64 size = ParseSizeReply(text); size >= 0)
        FUZZ_CHECK(ParseSizeReply("213 " + QByteArray::number(size)) == size);
}

// What PortCommand announces, read back as a passive reply, names the same port.
void CheckPortCommand(quint32 address, quint16 port)
{
    const QByteArray command = PortCommand(QHostAddress(address), port);
    FUZZ_CHECK(command.startsWith("PORT "));
    const std::optional<quint16> read = ParsePassivePort("227 Entering Passive Mode (" + command.mid(5) + ")");
    FUZZ_CHECK(port == 0 ? !read : read == port);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const qsizetype piece = provider.ConsumeIntegralInRange<qsizetype>(1, 16);
    CheckPortCommand(provider.ConsumeIntegral<quint32>(), provider.ConsumeIntegral<quint16>());
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const QByteArray input(rest.data(), qsizetype(rest.size()));

    const Read whole = ReadReplies(input, qMax<qsizetype>(1, input.size()));
    FUZZ_CHECK(ReadReplies(input, piece) == whole);
    for (const auto& [code, text] : whole.replies)
        CheckReply(code, text);
    ParsePassivePort(input);
    ParseSizeReply(input);
    return 0;
}
