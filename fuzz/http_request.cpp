// The request builder: whatever the URL and the fields hold, a request that is built
// is a well-formed head with its lines in order, and one is refused only for a
// field that would break a line.
#include "fuzz/FuzzCheck.h"
#include "platform/net/HttpRequest.h"

#include <QList>
#include <limits>

namespace {
QString Text(FuzzedDataProvider& provider)
{
    return QString::fromStdString(provider.ConsumeRandomLengthString(200));
}

bool Clean(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

void CheckTarget(const THttpTarget& target)
{
    FUZZ_CHECK(!target.Host.isEmpty() && target.Port != 0);
    FUZZ_CHECK(target.PathAndQuery.startsWith('/'));
    for (const QByteArray& part : {target.Authority, target.Origin, target.PathAndQuery, target.AbsoluteUrl})
        FUZZ_CHECK(Clean(part) && !part.contains(' '));
    FUZZ_CHECK(target.Origin.endsWith(':' + QByteArray::number(target.Port)));
    FUZZ_CHECK(target.AbsoluteUrl.endsWith(target.Authority + target.PathAndQuery));
}

// The head's lines, each ended by CR LF, the last one blank; nothing when it is not.
QList<QByteArray> Lines(const QByteArray& head)
{
    if (!head.endsWith("\r\n\r\n"))
        return {};
    QList<QByteArray> lines = head.chopped(2).split('\n');
    lines.removeLast(); // after the last line's LF
    for (QByteArray& line : lines) {
        if (!line.endsWith('\r'))
            return {};
        line.chop(1);
        if (!Clean(line))
            return {};
    }
    return lines;
}

void CheckGet(const QByteArray& head, const THttpRequest& request, const THttpTarget& target, bool viaProxy)
{
    const QList<QByteArray> lines = Lines(head);
    FUZZ_CHECK(!lines.isEmpty());
    const QByteArray path = viaProxy ? target.AbsoluteUrl : target.PathAndQuery;
    FUZZ_CHECK(lines[0] == "GET " + path + " HTTP/1.0");
    QList<QByteArray> names;
    for (qsizetype i = 1; i < lines.size(); ++i)
        names.append(lines[i].left(lines[i].indexOf(':')));
    QList<QByteArray> expected{"Accept", "User-Agent", "Host"};
    if (!request.User.isEmpty())
        expected.append("Authorization");
    if (viaProxy && !request.ProxyUser.isEmpty())
        expected.append("Proxy-Authorization");
    expected.append("Range");
    FUZZ_CHECK(names == expected);
    FUZZ_CHECK(lines[3] == "Host: " + target.Authority);
    FUZZ_CHECK(lines.back() == "Range: bytes=" + QByteArray::number(request.RangeStart) + "-");
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    THttpRequest request;
    request.Accept = Text(provider);
    request.UserAgent = Text(provider);
    request.User = Text(provider);
    request.Password = Text(provider);
    request.ProxyUser = Text(provider);
    request.ProxyPassword = Text(provider);
    request.RangeStart = provider.ConsumeIntegralInRange<qint64>(0, std::numeric_limits<qint64>::max());
    const bool viaProxy = provider.ConsumeBool();
    request.Url = QString::fromStdString(provider.ConsumeRemainingBytesAsString());

    THttpTarget target;
    QString error;
    if (!ParseHttpTarget(request.Url, target, error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    CheckTarget(target);
    FUZZ_CHECK(!Lines(BuildConnectRequest(request, target)).isEmpty());

    const QByteArray head = BuildGetRequest(request, target, viaProxy, error);
    const bool fieldsClean = Clean(request.Accept.toUtf8()) && Clean(request.UserAgent.toUtf8());
    FUZZ_CHECK(head.isEmpty() != fieldsClean);
    if (!head.isEmpty())
        CheckGet(head, request, target, viaProxy);
    return 0;
}
