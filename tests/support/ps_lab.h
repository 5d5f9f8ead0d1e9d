// A network laboratory for the data path on the real kernel: two private network namespaces,
// "modem" and "host", joined by a veth pair whose host end carries the name the fake sysfs tree
// gives the modem's interface; a real DHCP server (dnsmasq) on the modem side. The test process
// re-runs its own case (zvril: itself) inside the host namespace and a private mount namespace,
// so the DHCP client's lease and pid files are its own; the library it loads then configures
// that namespace's interface through the kernel. The host's own network namespace and files are
// never touched. Needs root: otherwise the case is skipped with the reason printed.
#ifndef ZORVIK_TESTS_SUPPORT_PS_LAB_H
#define ZORVIK_TESTS_SUPPORT_PS_LAB_H

#include <signal.h>

#include <string>
#include <vector>

namespace zvtest {

class NetworkLab {
public:
    // True inside the re-run case (the library may touch the network there).
    static bool Inside();

    NetworkLab() = default;
    ~NetworkLab();  // stops the DHCP server and deletes both namespaces
    NetworkLab(const NetworkLab &) = delete;
    NetworkLab &operator=(const NetworkLab &) = delete;

    // Builds the namespaces in dir (the DHCP server's lease, pid and log files go there);
    // false with the reason when this machine cannot. prefix starts the namespaces' names.
    bool Build(const std::string &dir, const std::string &ifname, std::string *why,
               const std::string &prefix = "zvps");
    // Runs the program argv[0] with its arguments inside (through the test emulator, when
    // there is one) with Inside() true there; returns its exit status, 128 + the signal when
    // one ended it, -1 when it could not start. *child (when given) holds its process id
    // while it runs, for passing signals on.
    int RunInside(const std::vector<std::string> &argv, volatile sig_atomic_t *child = nullptr);
    // Runs the current test case again inside; returns its exit status (0: passed). Defined
    // with the test cases (it needs the test framework).
    int RunCurrentCaseInside();
    // The program this process runs (for running itself again inside).
    static std::string Self();

    // Inside: the helper programs the library runs, under root (a ZORVIK_ROOT): ifconfig,
    // dhcpcd with a hook writing the DNS servers into propDir, and /proc/net/route.
    static bool InstallPrograms(const std::string &root, const std::string &propDir, std::string *why);
    // Inside: the output of a command (for "ip" checks).
    static std::string Run(const std::string &command);

private:
    std::string modemNs_, hostNs_, dir_;
    int dnsmasq_ = -1;
};

}  // namespace zvtest

#endif
