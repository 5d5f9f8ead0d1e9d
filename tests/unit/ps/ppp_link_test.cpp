// The pppd command lines of the three cases, with credentials that would become extra pppd
// options if the line were split at blanks; and the packet service check's parser.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <string>
#include <vector>

#include <zorvik/host.h>
#include <zvril.h>

#include "atchannel/atchannel.h"
#include "ps/ppp_internal.h"
#include "ps/ps.h"

namespace {

std::vector<std::string> Words(const char *line) {
    std::vector<std::string> out;
    std::string w;
    for (const char *p = line;; ++p) {
        if (*p == ' ' || !*p) {
            if (!w.empty()) out.push_back(w);
            w.clear();
            if (!*p) break;
        } else {
            w.push_back(*p);
        }
    }
    return out;
}

TEST(PppLink, CommandLines) {
    struct Case {
        int type;
        const char *options, *user, *password, *expected;
    };
    const Case cases[] = {
        {1, "-pap -chap", "", "",
         "/system/bin/pppd /dev/ttyUSB0 115200 mru 1280 nodetach debug dump defaultroute usepeerdns novj -pap -chap "
         "novjccomp noipdefault ipcp-accept-local ipcp-accept-remote connect-delay 5000 ipcp-max-failure 60 "
         "ipcp-max-configure 60 -am"},
        {0, "", "", "",
         "/system/bin/pppd /dev/ttyUSB0 115200 mru 1280 nodetach debug dump defaultroute usepeerdns novj novjccomp "
         "noipdefault ipcp-accept-local ipcp-accept-remote connect-delay 5000 ipcp-max-failure 60 "
         "ipcp-max-configure 60"},
        {1, "-chap", "me", "secret",
         "/system/bin/pppd /dev/ttyUSB0 115200 mru 1280 nodetach debug dump -chap defaultroute usepeerdns novj user me "
         "password secret novjccomp noipdefault ipcp-accept-local ipcp-accept-remote connect-delay 5000 "
         "ipcp-max-failure 60 ipcp-max-configure 60 -am"},
        {0, "-pap", "me", "secret",
         "/system/bin/pppd /dev/ttyUSB0 115200 crtscts debug dump -pap nodetach modem noipdefault defaultroute "
         "usepeerdns user me password secret"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(zv::ps::PppdArguments(c.type, "/dev/ttyUSB0", c.options, c.user, c.password), Words(c.expected))
            << c.expected;
    }
}

// A password with blanks stays one argument: it cannot add "connect /bin/sh" as an option.
TEST(PppLink, CredentialsStayOneArgument) {
    for (int type : {0, 1}) {
        auto a = zv::ps::PppdArguments(type, "/dev/ttyUSB0", "", "a user", "x connect /bin/sh");
        int connects = 0;
        for (const auto &w : a) connects += w == "connect";
        EXPECT_EQ(connects, 0);
        auto at = std::find(a.begin(), a.end(), "password");
        ASSERT_NE(at, a.end());
        EXPECT_EQ(*(at + 1), "x connect /bin/sh");
        EXPECT_EQ(*(std::find(a.begin(), a.end(), "user") + 1), "a user");
    }
    // Credentials that could not be arguments at all are refused before pppd starts.
    EXPECT_EQ(ModemNegotiatedAddress(nullptr, 1, "me", "pw\nconnect /bin/sh", ""), -1);
    EXPECT_EQ(ModemNegotiatedAddress(nullptr, 0, "", "", ""), -1);
    EXPECT_EQ(ModemGetProcessId("pppd; reboot"), 0);
}

// The process has ended and is no zombie of this process (an orphan's is the init process's).
bool Ended(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t name = text.rfind(')');
    if (name == std::string::npos) return true;
    char state = '?';
    int ppid = 0;
    std::istringstream(text.substr(name + 1)) >> state >> ppid;
    return state == 'Z' && ppid != getpid();
}

// The process look-up through a ps that answers, says nothing, never ends (nor stops when asked
// to) or never stops writing: each is answered within a bound and leaves no process behind.
TEST(PppLink, ProcessLookupIsBounded) {
    char tmpl[] = "/tmp/zvps-ps-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, bin = dir + "/system/bin", pidFile = dir + "/ps.pid";
    ASSERT_EQ(mkdir((dir + "/system").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    setenv("ZORVIK_ROOT", dir.c_str(), 1);
    setenv("ZORVIK_TIME_SCALE", "20", 1);
    zv::ReloadHostEnvironment();
    struct Row {
        const char *body;
        int pid;
    };
    const Row rows[] = {
        {"echo 'USER PID PPID NAME'; echo 'root 4242 1 pppd'", 4242},
        {"echo 'pppd: no such process' >&2", 0},
        {"trap '' TERM; exec sleep 1000", 0},
        {"exec yes 'root 1 1 sh'", 0},
    };
    for (const Row &row : rows) {
        unlink(pidFile.c_str());
        std::ofstream(bin + "/ps") << "#!/bin/sh\necho $$ > '" << pidFile << "'\n" << row.body << "\n";
        ASSERT_EQ(chmod((bin + "/ps").c_str(), 0755), 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ModemGetProcessId("pppd"), row.pid) << row.body;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << row.body;
        int pid = 0;
        std::ifstream(pidFile) >> pid;
        ASSERT_GT(pid, 0) << row.body;
        for (int i = 0; i < 100 && !Ended(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(Ended(pid)) << row.body << ": ps is neither running nor a zombie of ours";
    }
    unsetenv("ZORVIK_ROOT");
    unsetenv("ZORVIK_TIME_SCALE");
    zv::ReloadHostEnvironment();
    EXPECT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

TEST(PppLink, NetworkRegistrationParser) {
    struct Case {
        const char *line;
        int result, attached;
    };
    const Case cases[] = {
        {"^SYSINFO:2,2,0,5,1", 1, 1},
        {"^SYSINFO:2,1,0,5,1", 1, 0},
        {"^SYSINFOEX:2,3,0,1,,3,\"WCDMA\",41,\"WCDMA\"", 1, 1},
        {"+CSQ: 1,2", 0, 0},
    };
    for (const Case &c : cases) {
        char text[128];
        strncpy(text, c.line, sizeof text - 1);
        text[sizeof text - 1] = '\0';
        ATLine line{nullptr, text};
        ATResponse response{};
        response.success = 1;
        response.p_intermediates = &line;
        ATResponse *list[] = {&response, nullptr};
        int attached = 0;
        RilMessage m{21, nullptr, &attached};
        EXPECT_EQ(ObtainNetworkRegistation(&m, list), c.result) << c.line;
        EXPECT_EQ(attached, c.attached) << c.line;
    }
}

}  // namespace
