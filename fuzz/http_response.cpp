// The HTTP answer parser: the same bytes give the same items however the network
// splits them, no header line beyond the limit gets through, and the body never
// outgrows what the answer promised.
#include "fuzz/FuzzCheck.h"
#include "platform/net/HttpResponseParser.h"

#include <vector>

namespace {
using Item = THttpResponseParser::Item;

struct Parsed {
    QList<QByteArray> items; // every item but NeedMore, with its line
    QByteArray body;
    qint64 unused = 0; // input after the answer; -1 after an error, where it means nothing
    bool ended = false, failed = false;
    bool Finished() const { return ended || failed; }
    bool operator==(const Parsed&) const = default;
};

void Take(const THttpResponseParser& parser, const THttpResponseParser::Token& token, Parsed& parsed)
{
    switch (token.item) {
    case Item::NeedMore:
        return;
    case Item::Body:
        FUZZ_CHECK(token.size > 0);
        parsed.body.append(token.data, token.size);
        return;
    case Item::StatusLine:
    case Item::HeaderLine:
        FUZZ_CHECK(token.size <= MaxHeaderLineLength);
        parsed.items.append(QByteArray::number(int(token.item)) + QByteArray(token.data, token.size));
        return;
    case Item::Error:
        parsed.failed = true;
        parsed.items.append("error " + parser.ErrorText().toUtf8());
        return;
    case Item::End:
        parsed.ended = true;
        [[fallthrough]];
    default:
        parsed.items.append(QByteArray::number(int(token.item)));
    }
}

// Feeds the input in the given pieces, then closes the connection.
Parsed Parse(const QByteArray& input, const std::vector<qsizetype>& pieces, bool tunnel)
{
    THttpResponseParser parser;
    parser.Reset(tunnel);
    Parsed parsed;
    qsizetype at = 0;
    for (const qsizetype piece : pieces) {
        const char* data = input.constData() + at;
        qint64 size = piece;
        at += piece;
        while (!parsed.Finished()) {
            const qint64 before = size;
            const THttpResponseParser::Token token = parser.Next(data, size);
            FUZZ_CHECK(size >= 0 && size <= before);
            if (token.item == Item::NeedMore && size == 0)
                break;
            Take(parser, token, parsed);
        }
        if (parsed.Finished()) {
            parsed.unused = parsed.failed ? -1 : input.size() - at + size;
            break;
        }
    }
    if (!parsed.Finished())
        Take(parser, parser.Close(), parsed);
    FUZZ_CHECK(parser.BodyReceived() == parsed.body.size());
    if (parser.ContentLength() >= 0)
        FUZZ_CHECK(parsed.body.size() <= parser.ContentLength());
    if (parser.HeaderComplete())
        FUZZ_CHECK(parser.Headers().size() <= MaxHeaderLines);
    return parsed;
}

// Stretches one byte of the input into a run that makes its line just shorter or
// longer than the limit, which inputs of a fuzzer's usual size never reach.
QByteArray Stretched(QByteArray input, uint16_t where, int beyondLimit)
{
    if (input.isEmpty())
        return input;
    const qsizetype at = where % input.size();
    input.insert(at, QByteArray(MaxHeaderLineLength + beyondLimit, input[at] == '\n' ? 'x' : input[at]));
    return input;
}

std::vector<qsizetype> RandomPieces(qsizetype size, uint32_t seed)
{
    std::vector<qsizetype> pieces;
    uint32_t random = seed | 1;
    for (qsizetype at = 0; at < size;) {
        random ^= random << 13, random ^= random >> 17, random ^= random << 5;
        pieces.push_back(qMin<qsizetype>(size - at, 1 + random % 9));
        at += pieces.back();
    }
    return pieces;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const bool tunnel = provider.ConsumeBool();
    const uint32_t seed = provider.ConsumeIntegral<uint32_t>();
    const bool stretch = provider.ConsumeBool();
    const uint16_t where = provider.ConsumeIntegral<uint16_t>();
    const int beyondLimit = provider.ConsumeIntegralInRange(-3, 3);
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    QByteArray input(rest.data(), qsizetype(rest.size()));
    if (stretch)
        input = Stretched(input, where, beyondLimit);

    const Parsed whole = Parse(input, {input.size()}, tunnel);
    FUZZ_CHECK(Parse(input, RandomPieces(input.size(), seed), tunnel) == whole);
    return 0;
}
