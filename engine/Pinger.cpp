#include "engine/Pinger.h"

#include "platform/net/IcmpPing.h"

#include <QUrl>
#include <algorithm>

namespace {
// The resolver wants international host names in their ASCII form.
std::string ResolverName(const QString& host)
{
    const bool ascii = std::all_of(host.begin(), host.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return host.toStdString();
    return QUrl::toAce(host).toStdString();
}

class TIcmpPinger : public TPinger {
public:
    std::optional<int> Ping(const QString& host) override
    {
        TIcmpEchoOptions options;
        options.TimeoutMs = PingTimeOut;
        const TIcmpEchoResult result = IcmpEcho(ResolverName(host), options);
        if (!result.Answered)
            return std::nullopt;
        return result.RoundTripMs;
    }
};
}

std::shared_ptr<TPinger> IcmpPinger()
{
    return std::make_shared<TIcmpPinger>();
}
