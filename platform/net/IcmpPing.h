#pragma once
#include <string>

// One ICMP echo, IPv4 or IPv6, as a blocking call for a worker thread.
//
// Desktops let ordinary users open datagram ICMP sockets (net.ipv4.ping_group_range);
// where that is denied a raw socket is tried, which needs CAP_NET_RAW. Without either
// the echo simply gets no answer.

enum class TIcmpSocket {
    Any,      // datagram first, then raw
    Datagram, // SOCK_DGRAM with IPPROTO_ICMP / IPPROTO_ICMPV6 only
    Raw,      // SOCK_RAW only
};

struct TIcmpEchoOptions {
    int TimeoutMs = 1000;
    int Ttl = 255;
    int DataSize = 56;
    TIcmpSocket Socket = TIcmpSocket::Any;
};

struct TIcmpEchoResult {
    bool Answered = false;
    // Whole milliseconds from sending to the reply (0 for a reply within the first ms).
    int RoundTripMs = 0;
    // The kind of socket that carried the echo; Any when none could be opened.
    TIcmpSocket Socket = TIcmpSocket::Any;
    // Why there was no answer, for logs and test failures.
    std::string Error;
};

// Resolves host (a name or a numeric address) and sends one echo to the first address
// that can be reached, then waits up to TimeoutMs for its reply. Replies to other
// echoes (a raw socket sees all of them) are skipped. Safe to call from several
// threads at once. The time-out runs on the real clock, not the test clock.
TIcmpEchoResult IcmpEcho(const std::string& host, const TIcmpEchoOptions& options = {});
