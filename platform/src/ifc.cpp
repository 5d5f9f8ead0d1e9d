// Host network utility functions on the real kernel: SIOC[GS]IF* for flags and addresses,
// SIOCADDRT/SIOCDELRT for the default route, each call on its own IPv4 datagram socket. Inside
// a private network namespace (the tests) they touch only that namespace's interfaces.
#include <netutils/ifc.h>

#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <net/route.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<int> g_users{0};

// One datagram socket for the length of one call.
class Socket {
public:
    Socket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) {
            int saved = errno;
            close(fd_);
            errno = saved;
        }
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// An over-long name is refused rather than cut: a cut name could be another interface.
bool FillName(struct ifreq *ifr, const char *name) {
    memset(ifr, 0, sizeof *ifr);
    if (!name || strnlen(name, IFNAMSIZ) >= IFNAMSIZ || !*name) {
        errno = EINVAL;
        return false;
    }
    memcpy(ifr->ifr_name, name, strlen(name));
    return true;
}

void SetIn(struct sockaddr *sa, in_addr_t addr) {
    struct sockaddr_in sin;
    memset(&sin, 0, sizeof sin);
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addr;
    memcpy(sa, &sin, sizeof sin);
}

in_addr_t GetIn(const struct sockaddr *sa) {
    struct sockaddr_in sin;
    memcpy(&sin, sa, sizeof sin);
    return sin.sin_addr.s_addr;
}

int ChangeFlags(const char *name, unsigned set, unsigned clear) {
    struct ifreq ifr;
    if (!FillName(&ifr, name)) return -1;
    Socket s;
    if (s.fd() < 0 || ioctl(s.fd(), SIOCGIFFLAGS, &ifr) < 0) return -1;
    ifr.ifr_flags = static_cast<short>((static_cast<unsigned>(ifr.ifr_flags) | set) & ~clear);
    return ioctl(s.fd(), SIOCSIFFLAGS, &ifr) < 0 ? -1 : 0;
}

int DefaultRoute(const char *name, in_addr_t gw, unsigned long request) {
    struct ifreq probe;
    if (!FillName(&probe, name)) return -1;
    struct rtentry rt;
    memset(&rt, 0, sizeof rt);
    SetIn(&rt.rt_dst, INADDR_ANY);
    SetIn(&rt.rt_genmask, INADDR_ANY);
    SetIn(&rt.rt_gateway, gw);
    rt.rt_flags = RTF_UP | RTF_GATEWAY;
    rt.rt_dev = probe.ifr_name;
    Socket s;
    if (s.fd() < 0) return -1;
    return ioctl(s.fd(), request, &rt) < 0 ? -1 : 0;
}

}  // namespace

// The stand-in library hides everything by default; these are the platform's names it serves.
#pragma GCC visibility push(default)
extern "C" {

int ifc_init(void) {
    g_users.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void ifc_close(void) {
    int users = g_users.load(std::memory_order_relaxed);
    while (users > 0 && !g_users.compare_exchange_weak(users, users - 1, std::memory_order_relaxed)) {
    }
}

int ifc_up(const char *name) { return ChangeFlags(name, IFF_UP, 0); }

int ifc_down(const char *name) { return ChangeFlags(name, 0, IFF_UP); }

int ifc_set_addr(const char *name, in_addr_t addr) {
    struct ifreq ifr;
    if (!FillName(&ifr, name)) return -1;
    SetIn(&ifr.ifr_addr, addr);
    Socket s;
    if (s.fd() < 0) return -1;
    return ioctl(s.fd(), SIOCSIFADDR, &ifr) < 0 ? -1 : 0;
}

int ifc_get_addr(const char *name, in_addr_t *addr) { return ifc_get_info(name, addr, nullptr, nullptr); }

int ifc_get_info(const char *name, in_addr_t *addr, int *prefixLength, unsigned *flags) {
    struct ifreq ifr;
    if (!FillName(&ifr, name)) return -1;
    Socket s;
    if (s.fd() < 0) return -1;
    if (addr) {
        // No address yet is not an error: the caller polls until one appears.
        *addr = ioctl(s.fd(), SIOCGIFADDR, &ifr) < 0 ? 0 : GetIn(&ifr.ifr_addr);
    }
    if (prefixLength) {
        *prefixLength = 0;
        if (FillName(&ifr, name) && ioctl(s.fd(), SIOCGIFNETMASK, &ifr) == 0)
            *prefixLength = __builtin_popcount(ntohl(GetIn(&ifr.ifr_netmask)));
    }
    if (flags) {
        if (!FillName(&ifr, name) || ioctl(s.fd(), SIOCGIFFLAGS, &ifr) < 0) return -1;
        *flags = static_cast<unsigned short>(ifr.ifr_flags);
    }
    return 0;
}

int ifc_create_default_route(const char *name, in_addr_t gw) { return DefaultRoute(name, gw, SIOCADDRT); }

int ifc_remove_default_route(const char *name) { return DefaultRoute(name, INADDR_ANY, SIOCDELRT); }

}  // extern "C"
#pragma GCC visibility pop
