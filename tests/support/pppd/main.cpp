// A stand-in for the platform's pppd, for tests on a host whose kernel has no PPP. Installed as
// <ZORVIK_ROOT>/system/bin/pppd, it does what the library relies on pppd for: it checks its
// command line, makes the call's interface (a TUN device named ppp0, which goes away with the
// process as pppd's interface does), gives it the negotiated address, writes the DNS properties
// and stays in the foreground until killed (pppd with "nodetach").
//
// Driven by files in $ZV_PPPD_DIR:
//   pppd.expect  the exact argument list, one per line; any difference: pppd.rejected, exit 2
//   pppd.mode    "up" (default), "silent" (no address, stays), "exit <ms>" (no address, ends
//                with status 1 after ms)
// and writes pppd.args (what it got, one per line) and pppd.pid.
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char *kLocal = "10.64.64.5";
constexpr const char *kPeer = "10.64.64.1";
constexpr const char *kDns1 = "10.11.12.1";
constexpr const char *kDns2 = "10.11.12.2";

std::string Env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

std::string Read(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

std::string Lines(const std::vector<std::string> &args) {
    std::string out;
    for (const std::string &a : args) out += a + "\n";
    return out;
}

bool Has(const std::vector<std::string> &args, const char *option) {
    return std::find(args.begin(), args.end(), option) != args.end();
}

// The peer's first LCP configure-request, as pppd would send it on the line.
void Greet(const std::string &tty) {
    int fd = open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    static const unsigned char kFrame[] = {0x7e, 0xff, 0x7d, 0x23, 0xc0, 0x21, 0x7d, 0x21, 0x7d, 0x21,
                                           0x7d, 0x20, 0x7d, 0x24, 0x7d, 0x20, 0x7d, 0x20, 0x7e};
    if (write(fd, kFrame, sizeof kFrame) < 0) {
    }
    close(fd);
}

int Tun(const char *name) {
    int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &ifr) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Sh(const std::string &command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

int main(int argc, char **argv) {
    const std::string dir = Env("ZV_PPPD_DIR");
    std::vector<std::string> args(argv, argv + argc);
    if (dir.empty()) {
        fprintf(stderr, "pppd stand-in: ZV_PPPD_DIR is not set\n");
        return 2;
    }
    Write(dir + "/pppd.args", Lines(args));
    Write(dir + "/pppd.pid", std::to_string(getpid()) + "\n");
    std::string expected = Read(dir + "/pppd.expect");
    if (!expected.empty() && expected != Lines(args)) {
        Write(dir + "/pppd.rejected", Lines(args));
        return 2;  // pppd's exit status for a rejected option
    }
    std::istringstream mode(Read(dir + "/pppd.mode"));
    std::string how;
    mode >> how;
    if (how == "exit") {
        int ms = 0;
        mode >> ms;
        usleep(static_cast<useconds_t>(ms) * 1000);
        return 1;
    }
    if (how != "silent") {
        if (argc > 1) Greet(Env("ZORVIK_ROOT") + argv[1]);
        int tun = Tun("ppp0");
        if (tun < 0) {
            perror("pppd stand-in: ppp0");
            return 1;
        }
        bool ok = Sh(std::string("ip addr add ") + kLocal + " peer " + kPeer + " dev ppp0") &&
                  Sh("ip link set ppp0 up");
        if (ok && Has(args, "defaultroute")) ok = Sh("ip route add default dev ppp0");
        if (!ok) {
            fprintf(stderr, "pppd stand-in: cannot configure ppp0\n");
            return 1;
        }
        const std::string props = Env("ZORVIK_PROPERTY_DIR");
        if (Has(args, "usepeerdns") && !props.empty()) {
            Write(props + "/net.ppp0.dns1", std::string(kDns1) + "\n");
            Write(props + "/net.ppp0.dns2", std::string(kDns2) + "\n");
        }
    }
    // Until killed, or until the line hangs up: pulled out with the modem, pppd's tty reports
    // the hang-up and pppd ends ("Modem hangup"), as it does without "persist"; a line already
    // gone cannot be opened, and pppd ends at once. The TUN device goes with us.
    if (argc < 2) {
        for (;;) pause();
    }
    const int line = open((Env("ZORVIK_ROOT") + argv[1]).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line < 0) return 1;
    for (;;) {
        struct pollfd p = {line, 0, 0};
        if (poll(&p, 1, -1) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return 1;
    }
}
