// A network laboratory for the data path on the real kernel: two private network namespaces,
// "modem" and "host", joined by a veth pair whose host end carries the name the fake sysfs tree
// gives the modem's interface; a real DHCP server (dnsmasq) on the modem side. The test process
// re-runs its own case inside the host namespace (and a private mount namespace, so the DHCP
// client's lease and pid files are its own); the library it loads then configures that
// namespace's interface through the kernel. Needs root: otherwise the case is skipped with the
// reason printed.
#ifndef ZORVIK_TESTS_INTEGRATION_PS_LAB_H
#define ZORVIK_TESTS_INTEGRATION_PS_LAB_H

#include <string>

namespace zvtest {

class NetworkLab {
public:
    // True inside the re-run case (the library may touch the network there).
    static bool Inside();

    NetworkLab() = default;
    ~NetworkLab();  // stops the DHCP server and deletes both namespaces
    NetworkLab(const NetworkLab &) = delete;
    NetworkLab &operator=(const NetworkLab &) = delete;

    // Builds the namespaces in dir; false with the reason when this machine cannot.
    bool Build(const std::string &dir, const std::string &ifname, std::string *why);
    // Runs the current test case again inside; returns its exit status (0: passed).
    int RunCurrentCaseInside();

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
