// The packet data service's pure pieces: the modem's hexadecimal addresses, the "^DHCP:" and
// "^GLASTERR:" parsers, the default route read from a route table, and the command runner's
// splitting and limits (with real programs).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <zorvik/host.h>

#include "atchannel/atchannel.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"
#include "unit/support/responses.h"

namespace {

using zvtest::Response;

std::string Dotted(const char *hex) {
    char *s = hex_address_sting_to_network_string(hex);
    std::string out = s ? s : "<null>";
    free(s);
    return out;
}

TEST(PsAddresses, HexFormsConvertLowestByteFirst) {
    struct {
        const char *hex;
        const char *dotted;
    } const kCases[] = {
        {"0100A8C0", "192.168.0.1"},   {"0x0100A8C0", "192.168.0.1"}, {"0X0100A8C0", "192.168.0.1"},
        {"A8C0", "192.168.0.0"},       {"1010A0A", "10.10.1.1"},      {"CCDB080A", "10.8.219.204"},
        {"e67b59c0", "192.89.123.230"}, {"", "0.0.0.0"},              {"0", "0.0.0.0"},
        {"0x1234567890", "0.0.0.0"},   {"123456789012345678", "0.0.0.0"},
    };
    for (const auto &c : kCases) EXPECT_EQ(Dotted(c.hex), c.dotted) << c.hex;
    EXPECT_EQ(hex_address_string_to_int(nullptr), 0u);
    // The value, stored, is the address in network byte order.
    in_addr_t net = zv::ps::ToNetwork(hex_address_string_to_int("0100A8C0"));
    const unsigned char *b = reinterpret_cast<const unsigned char *>(&net);
    EXPECT_EQ((std::vector<int>{b[0], b[1], b[2], b[3]}), (std::vector<int>{192, 168, 0, 1}));
}

std::vector<std::string> Dhcp(const std::vector<std::string> &lines, int *result) {
    char *out[4] = {};
    RilMessage m = {RIL_REQUEST_SETUP_DATA_CALL, nullptr, out};
    auto r = Response(lines);
    ATResponse *list[] = {r.get(), nullptr};
    *result = HandlePSMessage(&m, list);
    std::vector<std::string> v;
    if (*result == 1)
        for (char *p : out) v.push_back(Dotted(p));
    return v;
}

TEST(PsAddresses, DhcpAnswerAndHostileForms) {
    using V = std::vector<std::string>;
    int ok = 0;
    EXPECT_EQ(Dhcp({"^DHCP: 0100A8C0,00FFFFFF,0200A8C0,0200A8C0,08080808,04040808,7200000,7200000"}, &ok),
              (V{"192.168.0.1", "192.168.0.2", "8.8.8.8", "8.8.4.4"}));
    EXPECT_EQ(Dhcp({"^DHCP: 0xCCDB080A,0xF8FFFFFF,0xC9DB080A,0xC9DB080A,0xE67B59C0,0xE77B59C0,85600,85600"}, &ok),
              (V{"10.8.219.204", "10.8.219.201", "192.89.123.230", "192.89.123.231"}));
    EXPECT_EQ(Dhcp({"^DHCP: 1010A0A,FCFFFFFF,2010A0A,2010A0A,0,0,150000000,150000000"}, &ok),
              (V{"10.10.1.1", "10.10.1.2", "0.0.0.0", "0.0.0.0"}));
    for (const char *bad : {"^DHCP: 0100A8C0,00FFFFFF,0200A8C0", "^DHCP:", "^DHCP", "^DHCP: ,,,,"}) {
        Dhcp({bad}, &ok);
        EXPECT_EQ(ok, 0) << bad;
    }
    Dhcp({}, &ok);
    EXPECT_EQ(ok, 0) << "no line: nothing to configure";
    EXPECT_EQ(HandlePSMessage(nullptr, nullptr), 0);
    RilMessage other = {999, nullptr, nullptr};
    EXPECT_EQ(HandlePSMessage(&other, nullptr), 0);
}

TEST(PsAddresses, LastFailCause) {
    struct {
        const char *line;
        int result, code;
    } const kCases[] = {
        {"^GLASTERR: 1,33", 1, 33}, {"^GLASTERR:1,0", 1, 0}, {"^GLASTERR: 1", 0, 0xffff}, {"^GLASTERR: x,y", 0, 0xffff},
    };
    for (const auto &c : kCases) {
        int code = 0xffff;
        RilMessage m = {RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE, nullptr, &code};
        auto r = Response({c.line});
        ATResponse *list[] = {r.get(), nullptr};
        EXPECT_EQ(HandlePSMessage(&m, list), c.result) << c.line;
        EXPECT_EQ(code, c.code) << c.line;
    }
}

class PsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zvps-unit-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("ZORVIK_ROOT", dir_.c_str(), 1);
        zv::ReloadHostEnvironment();
    }
    void TearDown() override {
        unsetenv("ZORVIK_ROOT");
        zv::ReloadHostEnvironment();
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    void Write(const std::string &logical, const std::string &text, mode_t mode = 0644) {
        std::string path = dir_ + logical;
        std::string mk = "mkdir -p '" + path.substr(0, path.rfind('/')) + "'";
        ASSERT_EQ(system(mk.c_str()), 0);
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
    }
    std::string Read(const std::string &logical) {
        std::ifstream in(dir_ + logical);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string dir_;
};

TEST_F(PsFiles, DefaultRouteOfTheRightInterface) {
    const std::string head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    Write("/proc/net/route", head +
                                 "eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                                 "usb0\t00E1A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                 "usb0\t00000000\t01E1A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    EXPECT_EQ(RIL_ifc_get_default_route("usb0"), 0x01E1A8C0u);
    EXPECT_EQ(RIL_ifc_get_default_route("eth0"), 0x0101A8C0u);
    EXPECT_EQ(RIL_ifc_get_default_route("usb1"), 0u);
    EXPECT_EQ(RIL_ifc_get_default_route(nullptr), 0u);
    // Hostile tables: an endless name, short lines, garbage; the read stops, nothing overflows.
    Write("/proc/net/route", head + std::string(5000, 'x') + "\t00000000\t01E1A8C0\t0003\t0\t0\t0\t0\t0\t0\t0\n");
    EXPECT_EQ(RIL_ifc_get_default_route("usb0"), 0u);
    Write("/proc/net/route", head + "usb0\t00000000\n\x01\xff garbage\n");
    EXPECT_EQ(RIL_ifc_get_default_route("usb0"), 0u);
    Write("/proc/net/route", "");
    EXPECT_EQ(RIL_ifc_get_default_route("usb0"), 0u);
}

TEST_F(PsFiles, CommandRunnerSplitsAtBlanksAndKeepsItsLimits) {
    // The program writes each argument on its own line.
    Write("/system/bin/args", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > \"$0.out\"\nexit 3\n", 0755);
    int status = ril_exec_cmd("/system/bin/args  usb0");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(Read("/system/bin/args.out"), "[usb0]\n");

    std::string words = "/system/bin/args";
    for (int i = 1; i < 31; ++i) words += " w";
    EXPECT_TRUE(WIFEXITED(ril_exec_cmd(words.c_str()))) << "31 words run";
    EXPECT_EQ(ril_exec_cmd((words + " w").c_str()), -1) << "32 words are refused";

    std::string line = "/system/bin/args ";
    line += std::string(1022 - line.size(), 'a');
    ASSERT_EQ(line.size(), 1022u);
    EXPECT_TRUE(WIFEXITED(ril_exec_cmd(line.c_str())));
    EXPECT_EQ(ril_exec_cmd((line + "a").c_str()), -1) << "1023 characters are refused";

    EXPECT_EQ(ril_exec_cmd(nullptr), 1);
    status = ril_exec_cmd("/system/bin/missing arg");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);

    // A framework string stays one argument, whatever it holds.
    const char *const argv[] = {"/system/bin/args", "x connect /bin/sh", "", nullptr};
    status = ril_exec_argv(argv);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(Read("/system/bin/args.out"), "[x connect /bin/sh]\n[]\n");
}

TEST(PsFields, FrameworkStringsThatCouldBreakTheCommand) {
    for (const char *good : {"internet", "cmnet.mnc001.mcc460.gprs", "a-b_c@d", ""})
        EXPECT_TRUE(zv::ps::SafeField(good, false)) << good;
    for (const char *bad : {"in\"ternet", "a\rb", "a\nb", "a\x1a", "a\x1b", "tab\t", "back\\slash", "caf\xc3\xa9"})
        EXPECT_FALSE(zv::ps::SafeField(bad, true)) << bad;
    EXPECT_FALSE(zv::ps::SafeField("with blank", false));
    EXPECT_TRUE(zv::ps::SafeField("with blank", true));
}

}  // namespace
