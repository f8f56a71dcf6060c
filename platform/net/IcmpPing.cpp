#include "platform/net/IcmpPing.h"

#include "platform/base/Guard.h"

#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr uint8_t EchoRequestV4 = 8, EchoReplyV4 = 0;
constexpr uint8_t EchoRequestV6 = 128, EchoReplyV6 = 129;
constexpr size_t IcmpHeaderSize = 8;
constexpr size_t MinIpv4HeaderSize = 20;
constexpr int MaxDataSize = 65000;

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

class TSocket {
public:
    TSocket() = default;
    explicit TSocket(int fd) : Fd(fd) {}
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    ~TSocket()
    {
        if (Fd >= 0)
            close(Fd);
    }
    int Fd = -1;
};

struct TAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
    int Family() const { return Storage.ss_family; }
};

std::vector<TAddress> Resolve(const std::string& host, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        error = "cannot resolve \"" + host + "\": " + gai_strerror(rc);
        return {};
    }
    std::vector<TAddress> addresses;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
            continue;
        TAddress address;
        std::memcpy(&address.Storage, entry->ai_addr, entry->ai_addrlen);
        address.Length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    freeaddrinfo(list);
    if (addresses.empty())
        error = "no IPv4 or IPv6 address for \"" + host + "\"";
    return addresses;
}

bool SameHost(const sockaddr_storage& a, const TAddress& b)
{
    if (a.ss_family != b.Family())
        return false;
    if (a.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr
            == reinterpret_cast<const sockaddr_in&>(b.Storage).sin_addr.s_addr;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(b.Storage).sin6_addr, sizeof(in6_addr)) == 0;
}

uint16_t Checksum(const std::vector<uint8_t>& bytes)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        sum += uint32_t(bytes[i]) << 8 | bytes[i + 1];
    if (bytes.size() % 2)
        sum += uint32_t(bytes.back()) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

// Identifier and sequence number of one echo. Pings run in several threads and
// processes at once and a raw socket sees every reply on the host, so the sequence
// counts per process and the payload carries a random nonce as well.
struct TEchoIdentity {
    uint16_t Id;
    uint16_t Sequence;
    std::vector<uint8_t> Payload;
};

TEchoIdentity NewIdentity(int dataSize)
{
    static const uint16_t processId = uint16_t(std::random_device{}());
    static std::atomic<uint16_t> nextSequence{uint16_t(std::random_device{}())};
    thread_local std::mt19937_64 random{std::random_device{}()};
    TEchoIdentity identity{processId, nextSequence++, std::vector<uint8_t>(size_t(dataSize))};
    const uint64_t nonce = random();
    for (size_t i = 0; i < identity.Payload.size(); ++i)
        identity.Payload[i] = i < sizeof nonce ? uint8_t(nonce >> (8 * i)) : uint8_t(i);
    return identity;
}

std::vector<uint8_t> EchoRequest(int family, const TEchoIdentity& identity)
{
    std::vector<uint8_t> packet(IcmpHeaderSize + identity.Payload.size(), 0);
    packet[0] = family == AF_INET ? EchoRequestV4 : EchoRequestV6;
    packet[4] = uint8_t(identity.Id >> 8);
    packet[5] = uint8_t(identity.Id);
    packet[6] = uint8_t(identity.Sequence >> 8);
    packet[7] = uint8_t(identity.Sequence);
    std::copy(identity.Payload.begin(), identity.Payload.end(), packet.begin() + IcmpHeaderSize);
    // The kernel fills in the ICMPv6 checksum itself (it covers a pseudo-header).
    if (family == AF_INET) {
        const uint16_t sum = Checksum(packet);
        packet[2] = uint8_t(sum >> 8);
        packet[3] = uint8_t(sum);
    }
    return packet;
}

int OpenSocket(int family, TIcmpSocket kind, TIcmpSocket& used, std::string& error)
{
    const int protocol = family == AF_INET ? int(IPPROTO_ICMP) : int(IPPROTO_ICMPV6);
    error.clear();
    if (kind != TIcmpSocket::Raw) {
        const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
        if (fd >= 0) {
            used = TIcmpSocket::Datagram;
            return fd;
        }
        error = ErrnoText("datagram ICMP socket");
    }
    if (kind != TIcmpSocket::Datagram) {
        const int fd = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
        if (fd >= 0) {
            used = TIcmpSocket::Raw;
            return fd;
        }
        error += (error.empty() ? "" : "; ") + ErrnoText("raw ICMP socket");
    }
    return -1;
}

void Configure(int fd, int family, TIcmpSocket used, int ttl)
{
    if (family == AF_INET) {
        setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        return;
    }
    setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
    if (used == TIcmpSocket::Raw) {
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
        setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
}

struct TEcho {
    const TAddress& Target;
    TIcmpSocket Socket;
    const TEchoIdentity& Identity;
};

bool IsReplyTo(const TEcho& echo, const uint8_t* data, size_t size, const sockaddr_storage& from)
{
    const int family = echo.Target.Family();
    // A raw IPv4 socket hands over the IP header as well.
    if (family == AF_INET && echo.Socket == TIcmpSocket::Raw) {
        if (size < MinIpv4HeaderSize)
            return false;
        const size_t headerSize = size_t(data[0] & 0x0F) * 4;
        if (headerSize < MinIpv4HeaderSize || headerSize > size)
            return false;
        data += headerSize;
        size -= headerSize;
    }
    const TEchoIdentity& identity = echo.Identity;
    if (size != IcmpHeaderSize + identity.Payload.size())
        return false;
    if (data[0] != (family == AF_INET ? EchoReplyV4 : EchoReplyV6) || data[1] != 0)
        return false;
    // A datagram socket gets its identifier from the kernel, which delivers it only
    // the replies that carry it.
    const uint16_t id = uint16_t(data[4] << 8 | data[5]);
    if (echo.Socket == TIcmpSocket::Raw && id != identity.Id)
        return false;
    if (uint16_t(data[6] << 8 | data[7]) != identity.Sequence)
        return false;
    if (!std::equal(identity.Payload.begin(), identity.Payload.end(), data + IcmpHeaderSize))
        return false;
    return SameHost(from, echo.Target);
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up, so a fraction of a millisecond left is waited for, not spun on.
    return int(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void AwaitReply(int fd, const TEcho& echo, Clock::time_point sent, int timeoutMs, TIcmpEchoResult& result)
{
    const Clock::time_point deadline = sent + std::chrono::milliseconds(timeoutMs);
    std::vector<uint8_t> buffer(IcmpHeaderSize + echo.Identity.Payload.size() + 512);
    for (int left = RemainingMs(deadline); left > 0; left = RemainingMs(deadline)) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, left);
        if (ready < 0 && errno != EINTR) {
            result.Error = ErrnoText("poll");
            return;
        }
        if (ready <= 0)
            continue;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t size = recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            result.Error = ErrnoText("receive");
            return;
        }
        if (!IsReplyTo(echo, buffer.data(), size_t(size), from))
            continue;
        result.Answered = true;
        result.RoundTripMs =
            int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count());
        return;
    }
    result.Error = "no answer within " + std::to_string(timeoutMs) + " ms";
}

// Sends the echo to target and waits for its reply; false when it could not be sent.
bool EchoTo(const TAddress& target, const TIcmpEchoOptions& options, TIcmpEchoResult& result)
{
    TIcmpSocket used = TIcmpSocket::Any;
    TSocket socket(OpenSocket(target.Family(), options.Socket, used, result.Error));
    if (socket.Fd < 0)
        return false;
    Configure(socket.Fd, target.Family(), used, options.Ttl);
    const TEchoIdentity identity = NewIdentity(std::clamp(options.DataSize, 0, MaxDataSize));
    const std::vector<uint8_t> packet = EchoRequest(target.Family(), identity);
    const Clock::time_point sent = Clock::now();
    if (sendto(socket.Fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target.Storage),
               target.Length) < 0) {
        result.Error = ErrnoText("send");
        return false;
    }
    result.Socket = used;
    result.Error.clear();
    AwaitReply(socket.Fd, TEcho{target, used, identity}, sent, options.TimeoutMs, result);
    return true;
}
}

TIcmpEchoResult IcmpEcho(const std::string& host, const TIcmpEchoOptions& options)
{
    TIcmpEchoResult result;
    Guarded("function IcmpEcho(Host: string): TIcmpEchoResult", [&] {
        for (const TAddress& target : Resolve(host, result.Error)) {
            if (EchoTo(target, options, result))
                return;
        }
    });
    return result;
}
