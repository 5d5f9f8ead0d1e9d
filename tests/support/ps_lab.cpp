#include "support/ps_lab.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char **environ;

namespace zvtest {
namespace {

constexpr const char *kInsideVar = "ZV_PS_NETWORK_LAB";

bool Sh(const std::string &command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool Have(const char *program) { return Sh(std::string("command -v ") + program); }

// A value as one word of a shell script, whatever it holds.
std::string Quoted(const std::string &value) {
    std::string out = "'";
    for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool WriteFile(const std::string &path, const std::string &text, mode_t mode) {
    std::ofstream(path) << text;
    return chmod(path.c_str(), mode) == 0;
}

}  // namespace

bool NetworkLab::Inside() { return getenv(kInsideVar) != nullptr; }

bool NetworkLab::Build(const std::string &dir, const std::string &ifname, std::string *why,
                       const std::string &prefix) {
    if (geteuid() != 0) {
        *why = "needs root for private network namespaces";
        return false;
    }
    for (const char *p : {"ip", "dnsmasq", "/usr/sbin/dhcpcd", "unshare"}) {
        if (!Have(p)) {
            *why = std::string("missing ") + p + " (scripts/install-deps.sh installs it)";
            return false;
        }
    }
    dir_ = dir;
    const std::string id = std::to_string(getpid());
    modemNs_ = prefix + "-m-" + id;
    hostNs_ = prefix + "-h-" + id;
    const std::vector<std::string> steps = {
        "ip netns add " + modemNs_,
        "ip netns add " + hostNs_,
        "ip link add veth-m netns " + modemNs_ + " type veth peer name " + ifname + " netns " + hostNs_,
        "ip -n " + modemNs_ + " addr add 192.168.225.1/24 dev veth-m",
        "ip -n " + modemNs_ + " link set lo up",
        "ip -n " + modemNs_ + " link set veth-m up",
        "ip -n " + hostNs_ + " link set lo up",
    };
    for (const std::string &s : steps) {
        if (!Sh(s)) {
            *why = "could not run: " + s;
            return false;
        }
    }
    const std::string leases = "--dhcp-leasefile=" + dir + "/leases";
    const std::string pidFile = "--pid-file=" + dir + "/dnsmasq.pid";
    std::vector<std::string> args = {"ip", "netns", "exec", modemNs_, "dnsmasq", "--conf-file=/dev/null",
                                     "--keep-in-foreground", "--no-resolv", "--no-hosts", "--no-ping", "--interface=veth-m",
                                     "--bind-interfaces", "--dhcp-range=192.168.225.20,192.168.225.50,255.255.255.0,1h",
                                     "--dhcp-option=option:router,192.168.225.1",
                                     "--dhcp-option=option:dns-server,192.168.225.1,192.168.225.2", leases, pidFile};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Its messages go to a file of its own, not into the output of the program under test.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string log = dir + "/dnsmasq.log";
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid;
    int err = posix_spawnp(&pid, "ip", &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (err != 0) {
        *why = "could not start dnsmasq";
        return false;
    }
    dnsmasq_ = pid;
    return true;
}

NetworkLab::~NetworkLab() {
    if (dnsmasq_ > 0) {
        kill(dnsmasq_, SIGTERM);
        waitpid(dnsmasq_, nullptr, 0);
    }
    if (!hostNs_.empty()) Sh("ip netns delete " + hostNs_);
    if (!modemNs_.empty()) Sh("ip netns delete " + modemNs_);
}

std::string NetworkLab::Self() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::string();
    self[n] = '\0';
    return self;
}

int NetworkLab::RunInside(const std::vector<std::string> &program, volatile sig_atomic_t *child) {
    if (program.empty() || hostNs_.empty()) return -1;
    // "ip netns exec" gives the program a mount namespace of its own: the DHCP client's lease
    // and run directories there are private tmpfs mounts, so parallel runs never share them.
    const std::string script =
        "mkdir -p /var/lib/dhcpcd /run/dhcpcd && mount -t tmpfs tmpfs /var/lib/dhcpcd && "
        "mount -t tmpfs tmpfs /run/dhcpcd && exec ${ZV_TEST_EMULATOR:+\"$ZV_TEST_EMULATOR\"} \"$0\" \"$@\"";
    std::vector<std::string> args = {"ip", "netns", "exec", hostNs_, "sh", "-c", script};
    args.insert(args.end(), program.begin(), program.end());
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv(kInsideVar, "1", 1);
    pid_t pid;
    int err = posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ);
    unsetenv(kInsideVar);
    if (err != 0) return -1;
    if (child) *child = pid;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (child) *child = 0;
    if (r < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool NetworkLab::InstallPrograms(const std::string &root, const std::string &propDir, std::string *why) {
    const std::string bin = root + "/system/bin";
    std::error_code binError, procError;
    std::filesystem::create_directories(bin, binError);
    std::filesystem::create_directories(root + "/proc/net", procError);
    if (binError || procError ||
        symlink("/proc/net/route", (root + "/proc/net/route").c_str()) != 0) {
        *why = "cannot prepare " + root;
        return false;
    }
    const std::string conf = bin + "/dhcpcd.conf", hook = bin + "/dhcpcd-hook";
    bool ok = WriteFile(conf,
                        "noarp\nnodelay\nreboot 0\nnoipv4ll\nnoipv6\nnoipv6rs\npersistent\n"
                        "option domain_name_servers, routers\n",
                        0644);
    // The client runs the hook with its own environment: the property directory is written in.
    ok = ok && WriteFile(hook,
                         "#!/bin/sh\ncase \"$reason\" in BOUND|RENEW|REBIND|REBOOT)\n"
                         "  set -- $new_domain_name_servers\n"
                         "  printf '%s\\n' \"$1\" > " + Quoted(propDir) + "/net.$interface.dns1\n"
                         "  printf '%s\\n' \"$2\" > " + Quoted(propDir) + "/net.$interface.dns2 ;;\nesac\n",
                         0755);
    ok = ok && WriteFile(bin + "/dhcpcd",
                         "#!/bin/sh\nexec /usr/sbin/dhcpcd -f " + Quoted(conf) + " -c " + Quoted(hook) + " -q -4 -1 -B -t 10 \"$@\"\n",
                         0755);
    ok = ok && WriteFile(bin + "/ifconfig", "#!/bin/sh\nexec ip link set \"$1\" \"$2\"\n", 0755);
    if (!ok) *why = "cannot write the helper programs";
    return ok;
}

std::string NetworkLab::Run(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

}  // namespace zvtest
