// Runs inside a fresh network namespace (unshare -n or unshare -rn), where it may
// change the ICMP permissions without touching the host. Prints "started", then one
// line per case: "<case> answered=<0|1> socket=<any|datagram|raw> error=<text>" or
// "<case> skipped (<why>)".
#include "platform/net/IcmpPing.h"

#include <linux/capability.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {
const char* SocketName(TIcmpSocket socket)
{
    switch (socket) {
    case TIcmpSocket::Datagram: return "datagram";
    case TIcmpSocket::Raw: return "raw";
    default: return "any";
    }
}

void Report(const char* name, const char* host, TIcmpSocket kind)
{
    TIcmpEchoOptions options;
    options.Socket = kind;
    const TIcmpEchoResult result = IcmpEcho(host, options);
    std::printf("%s answered=%d socket=%s error=%s\n", name, int(result.Answered), SocketName(result.Socket),
                result.Error.c_str());
    std::fflush(stdout);
}

bool BringLoopbackUp()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

bool SetPingGroupRange(const char* range)
{
    std::ofstream file("/proc/sys/net/ipv4/ping_group_range");
    file << range << '\n';
    file.close();
    return bool(file);
}

// A user namespace maps group 0 only, so "1 0" cannot be written there; a new
// namespace starts with an empty range anyway.
bool DenyDatagramIcmp()
{
    if (SetPingGroupRange("1 0"))
        return true;
    std::ifstream file("/proc/sys/net/ipv4/ping_group_range");
    long low = 0, high = 0;
    return bool(file >> low >> high) && low > high;
}

// Everyone's groups; in a user namespace only our own group 0 is mapped.
bool AllowDatagramIcmp()
{
    return SetPingGroupRange("0 2147483647") || SetPingGroupRange("0 0");
}

bool DropRawSockets()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~(1u << CAP_NET_RAW);
    data[0].permitted &= ~(1u << CAP_NET_RAW);
    return syscall(SYS_capset, &header, data) == 0;
}

int Fail(const char* what)
{
    std::printf("setup failed: %s: %s\n", what, std::strerror(errno));
    return 2;
}
}

int main()
{
    std::printf("started\n");
    if (!BringLoopbackUp())
        return Fail("bring lo up");
    if (!DenyDatagramIcmp())
        return Fail("deny datagram ICMP");
    Report("denied-datagram", "127.0.0.1", TIcmpSocket::Datagram);
    Report("raw-fallback", "127.0.0.1", TIcmpSocket::Any);
    if (!AllowDatagramIcmp())
        return Fail("allow datagram ICMP");
    Report("datagram-v4", "127.0.0.1", TIcmpSocket::Datagram);
    Report("datagram-v6", "::1", TIcmpSocket::Datagram);
    Report("datagram-first", "localhost", TIcmpSocket::Any);
    if (!DenyDatagramIcmp()) {
        std::printf("no-icmp skipped (datagram ICMP cannot be denied again in a user namespace)\n");
        return 0;
    }
    if (!DropRawSockets())
        return Fail("drop CAP_NET_RAW");
    Report("no-icmp", "127.0.0.1", TIcmpSocket::Any);
    return 0;
}
