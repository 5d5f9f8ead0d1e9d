// Data calls over the modem's network interface, end to end: the framework's requests, the
// simulated modem's "^NDISDUP" dialogue and reports, the guard timer, and (inside the network
// laboratory, as root) the real kernel interface configured by a real DHCP client or from the
// modem's own "^DHCP?" answer. A case pinned to a release runs as 10 for the 8-13 daemon.
#include <gtest/gtest.h>

#include <modemsim/features.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ps_fixture.h"
#include "support/ps_lab.h"

namespace {

using namespace std::chrono_literals;
using V = std::vector<std::string>;
using I = std::vector<int>;

class PsNdis : public zvtest::PsTest {
protected:
    void Start(const std::function<void(modemsim::Modem &)> &prepare = {}, const char *release = "6.0") {
        SetProperty("ro.build.version.release", Hidl() ? "10" : release);
        zvtest::RigOptions options;
        options.ecm = true;
        StartWithModem(modemsim::ModuleType::kWcdma, options, prepare);
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY)) << RadioState();
        modem().ClearCommands();
    }
    modemsim::Modem &modem() { return rig_->modem(); }
    RIL_Token Setup(std::vector<const char *> args) {
        return daemon_.Request(RIL_REQUEST_SETUP_DATA_CALL, args.data(), args.size() * sizeof(char *));
    }
    zvtest::Completion Wait(RIL_Token t, std::chrono::milliseconds timeout = 10s) {
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(t, timeout, &c));
        return c;
    }
    zvtest::Completion Call(int request) { return Wait(daemon_.Request(request)); }
    zvtest::Completion Deactivate(std::vector<const char *> args = {"1", "0"}) {
        return Wait(daemon_.Request(RIL_REQUEST_DEACTIVATE_DATA_CALL, args.data(), args.size() * sizeof(char *)));
    }
    std::string Property(const std::string &key) {
        std::ifstream in(propDir_ + "/" + key);
        std::string v;
        std::getline(in, v);
        return v;
    }
    // Inside the laboratory: prepares the helper programs and returns kInside. Outside: runs
    // this case again inside (kRanInside), or says why it cannot (kCannot, *why).
    enum LabStep { kInside, kRanInside, kCannot };
    LabStep EnterLab(std::string *why) {
        if (zvtest::NetworkLab::Inside()) {
            EXPECT_TRUE(zvtest::NetworkLab::InstallPrograms(root_, propDir_, why)) << *why;
            return kInside;
        }
        zvtest::NetworkLab lab;
        if (!lab.Build(dir_, "usb0", why)) {
            printf("skipped: %s\n", why->c_str());
            return kCannot;
        }
        EXPECT_EQ(lab.RunCurrentCaseInside(), 0) << "the case failed inside the network laboratory";
        return kRanInside;
    }
    static std::string Ip(const std::string &args) { return zvtest::NetworkLab::Run("ip " + args); }
};

#define ZV_IN_NETWORK_LAB()                         \
    do {                                            \
        std::string why_;                           \
        switch (EnterLab(&why_)) {                  \
            case kCannot: GTEST_SKIP() << why_;     \
            case kRanInside: return;                \
            case kInside: break;                    \
        }                                           \
    } while (0)

const std::vector<const char *> kInternet = {"1", "0", "internet", "", "", "0", "IP"};

// The DHCP-client way end to end: connect, configure through the real client, list, tear
// down on request, connect again, and lose the call to a network drop.
TEST_F(PsNdis, DhcpClientWayOnTheKernel) {
    ZV_IN_NETWORK_LAB();
    Start();
    zvtest::Completion c = Wait(Setup(kInternet));
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << ReadLog();
    EXPECT_TRUE(modem().WaitForCommand("AT^NDISDUP=1, 1,\"internet\"", 0));
    ASSERT_EQ(c.length, sizeof(RIL_Data_Call_Response_v11)) << "release 6.0 answers the setup with _v11";
    EXPECT_EQ(c.ints, (I{0, -1, 1, 2, 0}));
    ASSERT_EQ(c.strings.size(), 5u);
    EXPECT_EQ(c.strings[0], "IP");
    EXPECT_EQ(c.strings[1], "usb0");
    EXPECT_EQ(c.strings[2].rfind("192.168.225.", 0), 0u) << c.strings[2];
    EXPECT_EQ(c.strings[3], "192.168.225.1 192.168.225.2");
    EXPECT_EQ(c.strings[4], "192.168.225.1");
    EXPECT_NE(Ip("-4 -o addr show dev usb0").find("inet " + c.strings[2] + "/"), std::string::npos);
    EXPECT_NE(Ip("route show default").find("via 192.168.225.1 dev usb0"), std::string::npos);
    EXPECT_EQ(Property("net.dns1"), "192.168.225.1");
    EXPECT_EQ(Property("net.dns2"), "192.168.225.2");

    zvtest::Completion list = Call(RIL_REQUEST_DATA_CALL_LIST);
    ASSERT_EQ(list.error, RIL_E_SUCCESS);
    EXPECT_EQ(list.length, Hidl() ? sizeof(RIL_Data_Call_Response_v11) : sizeof(RIL_Data_Call_Response_v6))
        << "the list stays _v6 for the socket daemon";
    EXPECT_EQ(list.ints, Hidl() ? I({0, -1, 1, 2, 0}) : I({0, -1, 1, 2}));
    ASSERT_EQ(list.strings.size(), 5u);
    EXPECT_EQ(list.strings[1], "usb0");
    EXPECT_EQ(list.strings[2], c.strings[2]);

    // Deactivation waits for the modem's report, then the route and the interface are down.
    modem().ClearCommands();
    c = Deactivate();
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^NDISDUP= 1,0", 0));
    EXPECT_EQ(Ip("route show default"), "");
    EXPECT_EQ(Ip("-o link show dev usb0").find(",UP"), std::string::npos) << Ip("-o link show dev usb0");
    EXPECT_EQ(Call(RIL_REQUEST_DATA_CALL_LIST).length, Hidl() ? 0 : sizeof(RIL_Data_Call_Response_v6));

    // Up again, then the network drops the call: torn down, and the framework told.
    ASSERT_EQ(Wait(Setup(kInternet)).error, RIL_E_SUCCESS);
    EXPECT_NE(Ip("route show default").find("dev usb0"), std::string::npos);
    size_t from = daemon_.UnsolicitedCount();
    modemsim::DropDataCall(modem(), 33);
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, from));
    EXPECT_TRUE(daemon_.WaitUntil([] { return Ip("route show default").empty(); }, 5s));
}

// The modem's own addresses on an interface without ARP, with credentials; a second setup
// while connected is answered at once from what is configured.
TEST_F(PsNdis, ModemAddressesWithoutArpOnTheKernel) {
    ZV_IN_NETWORK_LAB();
    Start([](modemsim::Modem &m) { m.On("AT^NDISCAP?", {"^NDISCAP: 1,0", "OK"}); }, "4.4.2");
    zvtest::Completion c = Wait(Setup({"1", "0", "internet", "alice", "s3cret pass", "2", "IP"}));
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << ReadLog();
    EXPECT_TRUE(modem().WaitForCommand("AT^NDISDUP=1, 1,\"internet\",\"alice\",\"s3cret pass\",2", 0));
    EXPECT_FALSE(LogContains("s3cret")) << "credentials never reach the log";
    ASSERT_EQ(c.length, Hidl() ? sizeof(RIL_Data_Call_Response_v11) : sizeof(RIL_Data_Call_Response_v6))
        << "release 4.4 answers with _v6";
    EXPECT_EQ(c.strings, (V{"IP", "usb0", "192.168.225.30", "192.168.225.1 192.168.225.2", "192.168.225.1"}));
    EXPECT_NE(Ip("-o link show dev usb0").find("NOARP"), std::string::npos);
    EXPECT_NE(Ip("-4 -o addr show dev usb0").find("inet 192.168.225.30/24"), std::string::npos);
    EXPECT_NE(Ip("route show default").find("via 192.168.225.1 dev usb0"), std::string::npos);
    EXPECT_EQ(Property("net.usb0.dns1"), "192.168.225.1");
    EXPECT_EQ(Property("net.usb0.gw"), "192.168.225.1");
    EXPECT_EQ(Property("net.dns2"), "192.168.225.2");

    modem().ClearCommands();
    c = Wait(Setup({"1", "0", "internet", "alice", "s3cret pass", "2", "IP"}));
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.strings, (V{"IP", "usb0", "192.168.225.30", "192.168.225.1 192.168.225.2", "192.168.225.1"}));
    EXPECT_EQ(modem().CountCommands("AT^NDISDUP=1, 1"), 0u) << "no second connect";

    // The modem never confirms the disconnection: the guard's time-out repeats it and answers.
    modem().Update([](modemsim::ModelState &s) { s.data.withhold_report = true; });
    modem().ClearCommands();
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    EXPECT_TRUE(LogContains("DeactivePDPTimeOut"));
    EXPECT_EQ(modem().CountCommands("AT^NDISDUP= 1,0"), 2u);
    EXPECT_EQ(Ip("route show default"), "");
    EXPECT_EQ(Property("net.usb0.gw"), "");
}

// The tty goes away with a call up: the interface is torn down and the framework told; once the
// modem is back, the next setup succeeds.
TEST_F(PsNdis, CallLostWithTheTtyOnTheKernel) {
    ZV_IN_NETWORK_LAB();
    Start([](modemsim::Modem &m) { m.On("AT^NDISCAP?", {"^NDISCAP: 1,0", "OK"}); });
    ASSERT_EQ(Wait(Setup(kInternet)).error, RIL_E_SUCCESS) << ReadLog();
    const size_t from = daemon_.UnsolicitedCount();
    rig_->Unplug();
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, from));
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE));
    EXPECT_EQ(Ip("route show default"), "");

    // The modem comes back without the call it had.
    modem().Update([](modemsim::ModelState &s) { s.data.connected = false; });
    zvtest::RigOptions options;
    options.ecm = true;
    ASSERT_TRUE(rig_->PlugIn(options)) << rig_->error();
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    zvtest::Completion c = Wait(Setup(kInternet));
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    ASSERT_FALSE(c.ints.empty());
    EXPECT_EQ(c.ints[0], 0) << "the call's status";
    EXPECT_NE(Ip("route show default").find("via 192.168.225.1 dev usb0"), std::string::npos);
}

// The state machine's other paths, which never reach a configured interface: every request
// is answered exactly once (the daemon records a second answer as a violation), a failed setup
// with the cause that names the parameter at fault, or the modem's.
TEST_F(PsNdis, EveryPathAnswersOnce) {
    Start();
    // Refused before anything is sent.
    for (const char *apn : {"inter\"net", "a\rAT+CFUN=0", "a b"})
        EXPECT_TRUE(SetupFailed(Wait(Setup({"1", "0", apn, "", "", "0", "IP"})), PDP_FAIL_MISSING_UKNOWN_APN)) << apn;
    EXPECT_TRUE(SetupFailed(Wait(Setup({"1", "0", "internet", "u", "p\"w", "1", "IP"})), PDP_FAIL_USER_AUTHENTICATION));
    EXPECT_TRUE(
        SetupFailed(Wait(Setup({"1", "0", "internet", "", "", "0", "IP\r"})), PDP_FAIL_UNKNOWN_PDP_ADDRESS_TYPE));
    EXPECT_TRUE(SetupFailed(Wait(Setup({})), PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_EQ(modem().CountCommands("AT^NDISDUP"), 0u);

    // Deactivated: a deactivation answers at once. One naming no call (the 8-13 daemon's NULL
    // for an empty string) is refused there; the reason may be missing.
    EXPECT_EQ(Call(RIL_REQUEST_DEACTIVATE_DATA_CALL).error, Hidl() ? RIL_E_GENERIC_FAILURE : RIL_E_SUCCESS);
    EXPECT_EQ(Deactivate({"1", nullptr}).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^NDISDUP=1,0", 0));

    // A rejected connect.
    modem().Update([](modemsim::ModelState &s) {
        s.data.reject_connect = true;
        s.data.last_error = 33;
    });
    modem().ClearCommands();
    EXPECT_TRUE(SetupFailed(Wait(Setup(kInternet)), 33));
    EXPECT_TRUE(modem().ExpectCommands({"AT^NDISDUP=1, 1,\"internet\"", "AT^NDISDUP=1,0"}, 0));
    EXPECT_EQ(modem().CountCommands("AT^GLASTERR"), Hidl() ? 1u : 0u) << "the socket daemon asks by itself";

    // Accepted but never reported: the guard's time-out asks the modem, then gives up. The
    // modem's 0 is no cause.
    modem().Update([](modemsim::ModelState &s) {
        s.data.reject_connect = false;
        s.data.withhold_report = true;
        s.data.last_error = 0;
    });
    modem().ClearCommands();
    EXPECT_TRUE(SetupFailed(Wait(Setup(kInternet)), PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_TRUE(LogContains("ActivePDPTimeOut"));
    EXPECT_TRUE(modem().ExpectCommands({"AT^NDISDUP=1, 1", "AT^NDISSTATQRY?", "AT^NDISDUP=1,0"}, 0));

    // A second setup while the first is still connecting ends both.
    RIL_Token first = Setup(kInternet);
    RIL_Token second = Setup(kInternet);
    EXPECT_TRUE(SetupFailed(Wait(second), PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_TRUE(SetupFailed(Wait(first), PDP_FAIL_ERROR_UNSPECIFIED));

    // A report the modem's state does not confirm: the guard still ends the wait.
    modem().Update([](modemsim::ModelState &s) {
        s.data.withhold_report = false;
        s.data.query_lags = true;
    });
    size_t before = daemon_.UnsolicitedCount();
    EXPECT_TRUE(SetupFailed(Wait(Setup(kInternet)), PDP_FAIL_ERROR_UNSPECIFIED));
    // The modem reports the disconnection that followed.
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, before));

    // An IPv6-only report does nothing; reports and stray lines while idle only log.
    size_t callbacks = daemon_.TimedCallbacksScheduled();
    modem().Inject("^NDISSTAT: 1,,,\"IPV6\"");
    modem().Inject("^NDISSTAT: x");
    modem().Inject("^NDISSTAT:");
    modem().Inject("^DCONN");
    modem().Inject("^NDISSTAT: 0,,,\"IPV4\"");
    EXPECT_TRUE(daemon_.WaitUntil([&] { return daemon_.TimedCallbacksScheduled() == callbacks + 1; }, 2s));
}

// A DHCP client that never returns, not even when asked to stop: killed at its deadline and
// reaped, the setup fails; meanwhile the state machine's lock is free for the next request, and
// timed callbacks go on afterwards.
TEST_F(PsNdis, HangingDhcpClientIsStopped) {
    const std::string bin = root_ + "/system/bin", pidFile = dir_ + "/dhcpcd.pid";
    ASSERT_EQ(system(("mkdir -p '" + bin + "'").c_str()), 0);
    std::ofstream(bin + "/dhcpcd") << "#!/bin/sh\necho $$ > '" << pidFile << "'\ntrap '' TERM\nexec sleep 1000\n";
    ASSERT_EQ(chmod((bin + "/dhcpcd").c_str(), 0755), 0);
    Start();
    RIL_Token setup = Setup(kInternet);
    ASSERT_TRUE(daemon_.WaitUntil([&] { return std::ifstream(pidFile).peek() != EOF; }, 5s));
    int pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0);

    const size_t answered = daemon_.CompletionCount();
    std::thread list([&] { daemon_.Request(RIL_REQUEST_DATA_CALL_LIST); });
    EXPECT_TRUE(daemon_.WaitUntil([&] { return daemon_.CompletionCount() > answered; }, 2s))
        << "the list waited for the DHCP client";
    EXPECT_EQ(kill(pid, 0), 0) << "the client still runs meanwhile";
    if (daemon_.CompletionCount() > answered) list.join();
    else list.detach();

    EXPECT_TRUE(SetupFailed(Wait(setup, 6s), PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_TRUE(LogContains("/system/bin/dhcpcd did not end in time"));
    EXPECT_NE(kill(pid, 0), 0) << "the client is neither running nor a zombie";
    const size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^NDISSTAT: 0,,,\"IPV4\"");
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 2s, from));
}

// The 8-13 daemon never asks for the fail cause, and hears of no call as (NULL, 0), also in the
// report the screen coming on brings.
TEST_F(PsNdis, FailCauseAndListWithoutCall) {
    Start([](modemsim::Modem &m) { m.Update([](modemsim::ModelState &s) { s.data.last_error = 33; }); }, "4.0.4");
    if (!Hidl()) {
        zvtest::Completion c = Call(RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE);
        EXPECT_EQ(c.error, RIL_E_SUCCESS);
        EXPECT_EQ(c.ints, (I{33}));
        modem().On("AT^GLASTERR=1", {"ERROR"});
        EXPECT_EQ(Call(RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE).error, RIL_E_GENERIC_FAILURE);
    }

    zvtest::Completion c = Call(RIL_REQUEST_DATA_CALL_LIST);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, Hidl() ? I() : I({0, -1, 1, 0})) << "one record, call 1, not active";
    const size_t from = daemon_.UnsolicitedCount();
    int on = 1;
    EXPECT_EQ(Wait(daemon_.Request(RIL_REQUEST_SCREEN_STATE, &on, sizeof on)).error, RIL_E_SUCCESS);
    zvtest::Unsolicited u;
    ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, from, &u));
    EXPECT_EQ(u.length, 0u) << "no call: the empty list, without asking the modem again";
}

}  // namespace
