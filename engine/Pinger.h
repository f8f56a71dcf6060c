#pragma once
#include <QString>
#include <memory>
#include <optional>

// How long a ping waits for its echo, in ms; a slower answer counts as none.
inline constexpr int PingTimeOut = 1000;

// Measures the round trip to a host. The ping system calls it on its worker threads,
// several at once; tests put in one with answers of their choosing.
class TPinger {
public:
    virtual ~TPinger() = default;
    // Blocks until the answer or the time-out: the round trip in ms, none without an
    // answer (also when host does not resolve).
    virtual std::optional<int> Ping(const QString& host) = 0;
};

// One ICMP echo of 56 bytes with a time to live of 255.
std::shared_ptr<TPinger> IcmpPinger();
