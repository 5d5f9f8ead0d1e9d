// Data calls over PPP, end to end: the framework's requests, the context defined on the
// simulated control port, the dial on the simulated MODEM port, and pppd started on it. pppd is
// a stand-in (tests/support/pppd) that checks its exact command line and makes ppp0 with the
// negotiated address in a private network namespace, so the library reads the address back
// from the real kernel. The command lines are also put to Debian's pppd option parser. Needs
// root (private namespaces, TUN): otherwise skipped with the reason printed. The 8-13 daemon's
// runs take release 10.
#include <gtest/gtest.h>

#include <modemsim/data_port.h>
#include <modemsim/features.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ps_fixture.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;
using V = std::vector<std::string>;
using modemsim::DialReply;

constexpr const char *kInsideVar = "ZV_PPP_PRIVATE_NS";
const char *const kDefaultOptions[] = {"115200", "mru", "1280", "nodetach", "debug", "dump", "defaultroute",
                                       "usepeerdns", "novj"};
const char *const kTail[] = {"novjccomp", "noipdefault", "ipcp-accept-local", "ipcp-accept-remote", "connect-delay",
                             "5000", "ipcp-max-failure", "60", "ipcp-max-configure", "60"};

std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

V SplitLines(const std::string &text) {
    V out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string Output(const std::string &command) {
    std::string out;
    if (FILE *p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The exit status of a program run with exactly these arguments.
int Status(const V &args, bool quiet = true) {
    std::vector<char *> argv;
    V copy = args;
    for (std::string &a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid;
    int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class PsPpp : public zvtest::PsTest {
protected:
    // Outside: runs this case again in private network, PID and mount namespaces (kRanInside),
    // or says why it cannot (kCannot). Inside: kInside.
    enum Step { kInside, kRanInside, kCannot };
    Step Enter(std::string *why) {
        if (getenv(kInsideVar)) return kInside;
        if (geteuid() != 0) {
            *why = "needs root for a private network namespace and a TUN device";
            return kCannot;
        }
        if (Status({"/bin/sh", "-c", "command -v unshare && command -v ip"}) != 0 || access("/dev/net/tun", F_OK) != 0) {
            *why = "needs unshare, ip and /dev/net/tun (scripts/install-deps.sh installs them)";
            return kCannot;
        }
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return kCannot;
        self[n] = '\0';
        // A PID namespace of its own: the ps stand-in lists only this case's processes, so a
        // parallel case's pppd is never found, let alone killed.
        const std::string script = "ip link set lo up && exec ${ZV_TEST_EMULATOR:+\"$ZV_TEST_EMULATOR\"} \"$0\" \"$@\"";
        setenv(kInsideVar, "1", 1);
        int status = Status({"/usr/bin/unshare", "--net", "--pid", "--fork", "--mount-proc", "/bin/sh", "-c", script,
                             self, std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name()},
                        false);
        unsetenv(kInsideVar);
        EXPECT_EQ(status, 0) << "the case failed inside its private namespaces (run it with " << kInsideVar
                             << "=1 under unshare to see why)";
        return kRanInside;
    }

    // The stand-ins under the fake root: pppd, and ps as the device's shell offers it.
    void Install() {
        const std::string bin = root_ + "/system/bin";
        ASSERT_EQ(Status({"/bin/mkdir", "-p", bin, root_ + "/proc/net"}), 0);
        ASSERT_EQ(symlink("/proc/net/route", (root_ + "/proc/net/route").c_str()), 0);
        if (const char *emulator = getenv("ZV_TEST_EMULATOR"); emulator && *emulator) {
            // A cross build's stand-in runs under the emulator, named pppd as the platform's
            // would be (the ps below goes by the name a process was started with).
            std::ofstream(bin + "/pppd") << "#!/bin/bash\nexec -a pppd '" << emulator << "' -0 /system/bin/pppd '"
                                         << ZV_PPPD_STANDIN << "' \"$@\"\n";
            ASSERT_EQ(chmod((bin + "/pppd").c_str(), 0755), 0);
        } else {
            ASSERT_EQ(symlink(ZV_PPPD_STANDIN, (bin + "/pppd").c_str()), 0);
        }
        std::ofstream(bin + "/ps") << "#!/bin/sh\n"
                                      "# The device's ps: with a name, only the processes of that name.\n"
                                      "name=${1##*/}\n"
                                      "echo 'USER     PID   PPID  VSIZE  RSS   WCHAN    PC         NAME'\n"
                                      "for d in /proc/[0-9]*; do\n"
                                      "  c=$(tr '\\0' '\\n' < \"$d/cmdline\" 2>/dev/null | head -n 1) || continue\n"
                                      "  c=${c##*/}\n"
                                      "  [ -z \"$name\" ] || [ \"$c\" = \"$name\" ] || continue\n"
                                      "  echo \"root      ${d#/proc/}     1     1000   100   ffffffff 00000000 S $c\"\n"
                                      "done\n";
        ASSERT_EQ(chmod((bin + "/ps").c_str(), 0755), 0);
        pppdDir_ = dir_ + "/pppd";
        ASSERT_EQ(mkdir(pppdDir_.c_str(), 0755), 0);
        setenv("ZV_PPPD_DIR", pppdDir_.c_str(), 1);
    }

    void Start(modemsim::ModuleType type, int platform = 1) {
        Install();
        SetProperty("ro.build.version.release", Hidl() ? "10" : "6.0");
        StartWithModem(type, {}, [platform](modemsim::Modem &m) {
            m.Update([platform](modemsim::ModelState &s) { s.platform = platform; });
        });
        ASSERT_TRUE(WaitRadioState(type == modemsim::ModuleType::kCdma ? RADIO_STATE_RUIM_READY : RADIO_STATE_SIM_READY))
            << RadioState();
        modem().ClearCommands();
    }
    modemsim::Modem &modem() { return rig_->modem(); }
    modemsim::DataPort &port() { return modem().data_port(); }
    modemsim::DataModel data() { return modem().State().data; }
    void Reply(DialReply r) {
        modem().Update([r](modemsim::ModelState &s) { s.data.dial_reply = r; });
    }

    void Expect(const V &args, const char *mode = "up") {
        std::string text;
        for (const std::string &a : args) text += a + "\n";
        std::ofstream(pppdDir_ + "/pppd.expect") << text;
        std::ofstream(pppdDir_ + "/pppd.mode") << mode << "\n";
        unlink((pppdDir_ + "/pppd.args").c_str());
        unlink((pppdDir_ + "/pppd.rejected").c_str());
    }
    V PppdArgs() { return SplitLines(ReadFile(pppdDir_ + "/pppd.args")); }
    pid_t PppdPid() { return atoi(ReadFile(pppdDir_ + "/pppd.pid").c_str()); }
    std::string Rejected() { return ReadFile(pppdDir_ + "/pppd.rejected"); }

    zvtest::Completion Setup(std::vector<const char *> args, std::chrono::milliseconds timeout = 20s) {
        zvtest::Completion c;
        RIL_Token t = daemon_.Request(RIL_REQUEST_SETUP_DATA_CALL, args.data(), args.size() * sizeof(char *));
        EXPECT_TRUE(daemon_.WaitForCompletion(t, timeout, &c));
        return c;
    }
    zvtest::Completion List() {
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_DATA_CALL_LIST), 5s, &c));
        return c;
    }
    zvtest::Completion Deactivate() {
        const char *args[] = {"1", "0"};
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_DEACTIVATE_DATA_CALL, args, sizeof args),
                                              20s, &c));
        return c;
    }
    static std::string Ip(const std::string &args) { return Output("ip " + args); }

    // After a failure or a tear-down: no pppd left, no ppp0, and the MODEM port hung up.
    void ExpectTornDown(const std::string &shutdown, size_t portCommandsBefore, const char *what) {
        pid_t pid = PppdPid();
        if (pid > 0) {
            // Killed is not yet reaped: the PPP thread's wait collects it a moment later.
            auto gone = [pid] { return kill(pid, 0) < 0 && errno == ESRCH; };
            daemon_.WaitUntil(gone, 5s);
            EXPECT_TRUE(gone()) << what << ": pppd " << pid << " still runs";
        }
        EXPECT_EQ(Ip("-o link show dev ppp0").find("ppp0:"), std::string::npos) << what;
        // The dialler does not wait for an answer to "+++": the simulator may still be reading it.
        auto hungUpSince = [&] {
            V cmds = port().Commands();
            for (size_t i = portCommandsBefore; i < cmds.size(); ++i)
                if (cmds[i] == shutdown) return true;
            return false;
        };
        daemon_.WaitUntil([&] { return hungUpSince() && !data().online; }, 5s);
        EXPECT_FALSE(data().online) << what;
        const bool hungUp = hungUpSince();
        EXPECT_TRUE(hungUp) << what << ": the MODEM port did not get " << shutdown;
        EXPECT_EQ(Property("net.ppp0.dns1"), "") << what;
    }
    std::string Property(const std::string &key) {
        V lines = SplitLines(ReadFile(propDir_ + "/" + key));
        return lines.empty() ? "" : lines[0];
    }

    // Debian's pppd must accept the options the library gave: with no /dev/ppp (this host) it
    // ends with status 4 after parsing, a rejected option ends it with 2. Where /dev/ppp exists,
    // "dryrun" makes it stop after the checks with 0.
    void ExpectRealPppdAccepts(V args) {
        if (access("/usr/sbin/pppd", X_OK) != 0) {
            printf("not checked against the real pppd: /usr/sbin/pppd is missing (package ppp)\n");
            return;
        }
        ASSERT_GE(args.size(), 2u);
        args[0] = "/usr/sbin/pppd";
        args[1] = root_ + args[1];  // the MODEM port's pseudo-terminal, through the fake /dev
        const bool kernel = access("/dev/ppp", F_OK) == 0;
        if (kernel) args.push_back("dryrun");
        EXPECT_EQ(Status(args), kernel ? 0 : 4) << "Debian's pppd refused the command line";
    }

    std::string pppdDir_;
};

#define ZV_IN_PRIVATE_NAMESPACES()              \
    do {                                        \
        std::string why_;                       \
        switch (Enter(&why_)) {                 \
            case kCannot:                       \
                printf("skipped: %s\n", why_.c_str()); \
                GTEST_SKIP() << why_;           \
            case kRanInside: return;            \
            case kInside: break;                \
        }                                       \
    } while (0)

V Line(std::initializer_list<const char *> head, const char *options, std::initializer_list<const char *> tail) {
    V v(head.begin(), head.end());
    for (const char *o : kDefaultOptions) v.push_back(o);
    std::istringstream words(options);
    for (std::string w; words >> w;) v.push_back(w);
    for (const char *o : kTail) v.push_back(o);
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

const std::vector<const char *> kInternet = {"1", "0", "internet", "", "", "0", "IP"};

// A WCDMA module on a platform-1 chip: the call comes up with "ATD*99#", a second setup is
// answered from ppp0 at once, the deactivation tears it down; then every way a setup fails
// (NO CARRIER, a silent modem, pppd ending early, pppd refusing its options) answers once and
// leaves no pppd and a hung-up port behind.
TEST_F(PsPpp, WcdmaCallAndEveryFailure) {
    ZV_IN_PRIVATE_NAMESPACES();
    Start(modemsim::ModuleType::kWcdma);
    const V line = Line({"/system/bin/pppd", "/dev/ttyUSB0"}, "-pap -chap", {"-am"});
    Expect(line);
    size_t from = daemon_.UnsolicitedCount();
    zvtest::Completion c = Setup(kInternet);
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << Rejected() << ReadLog();
    EXPECT_EQ(PppdArgs(), line);
    ASSERT_EQ(c.length, sizeof(RIL_Data_Call_Response_v11));
    EXPECT_EQ(c.ints, (std::vector<int>{0, -1, 1, 2, 0}));
    EXPECT_EQ(c.strings, (V{"IP", "ppp0", "10.64.64.5", "10.11.12.1 10.11.12.2", "0.0.0.0"}));
    EXPECT_TRUE(modem().ExpectCommands({"AT^SYSINFOEX", "AT+CGACT=0, 1", "AT+CGDCONT=1,\"IP\",\"internet\""}, 0));
    EXPECT_EQ(port().Commands(), (V{"ATD*99#"}));
    EXPECT_TRUE(data().online);
    EXPECT_GT(data().ppp_bytes, 0u) << "pppd's frames reach the simulated modem";
    EXPECT_NE(Ip("-4 -o addr show dev ppp0").find("inet 10.64.64.5 peer 10.64.64.1"), std::string::npos);
    EXPECT_EQ(Property("net.dns1"), "10.11.12.1");
    ExpectRealPppdAccepts(PppdArgs());

    // The same APN again while ppp0 has its address: answered without touching the modem.
    modem().ClearCommands();
    c = Setup(kInternet);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.strings, (V{"IP", "ppp0", "10.64.64.5", "10.11.12.1 10.11.12.2", "0.0.0.0"}));
    EXPECT_EQ(modem().CountCommands("AT+CGDCONT"), 0u);
    EXPECT_EQ(port().Commands().size(), 1u) << "no second dial";

    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands({"AT+CGACT=0, 1", "ATH"}, 0));
    ExpectTornDown("+++", 1, "deactivation");
    EXPECT_EQ(data().hangups, 1);
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, from)) << "pppd's end is reported";

    struct Failure {
        const char *what;
        DialReply reply;
        const char *mode;
        V expect;
        const char *log;
        int cause;  // the modem's last error (its 0 is no cause)
    };
    const Failure failures[] = {
        {"NO CARRIER", DialReply::kNoCarrier, "up", line, "Fail to activate the PDP context: 1", 33},
        {"silent modem", DialReply::kSilent, "up", line, "Read CONNECT or NO CARRIER from modem port TIMEOUT!!!", 0},
        {"pppd ends early", DialReply::kConnect, "exit 300", line, "ModemRunPPPScript return ret 256!", 0},
        {"pppd refuses", DialReply::kConnect, "up", V{"/system/bin/pppd", "other"}, "ModemRunPPPScript return ret 512!",
         29},
    };
    for (const Failure &f : failures) {
        Reply(f.reply);
        Expect(f.expect, f.mode);
        modem().Update([&f](modemsim::ModelState &s) { s.data.last_error = f.cause; });
        unlink((pppdDir_ + "/pppd.pid").c_str());
        const size_t before = port().Commands().size();
        from = daemon_.UnsolicitedCount();
        EXPECT_TRUE(SetupFailed(Setup(kInternet), f.cause ? f.cause : PDP_FAIL_ERROR_UNSPECIFIED)) << f.what;
        EXPECT_TRUE(LogContains(f.log)) << f.what;
        ExpectTornDown("+++", before, f.what);
        const bool started = f.reply == DialReply::kConnect;
        EXPECT_EQ(!PppdArgs().empty(), started) << f.what;
        if (started) {
            EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 5s, from)) << f.what;
        }
    }

    // Up again after all that, by a second setup while the first still waits for ppp0's address.
    // The port drops each line at once (a taker that ends), as a modem does when the DTR falls
    // with pppd's end, so the second dial meets a port in command mode. The first is answered
    // once, with a failure, and its clean-up neither hangs up nor kills the call that replaced it.
    port().SetTaker([](int master) -> pid_t {
        close(master);
        char *argv[] = {const_cast<char *>("/bin/true"), nullptr};
        pid_t pid = -1;
        return posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) == 0 ? pid : -1;
    });
    Reply(DialReply::kConnect);
    modem().Update([](modemsim::ModelState &s) { s.data.last_error = 0; });
    Expect(line, "silent");
    unlink((pppdDir_ + "/pppd.pid").c_str());
    std::vector<const char *> args = kInternet;
    RIL_Token first = daemon_.Request(RIL_REQUEST_SETUP_DATA_CALL, args.data(), args.size() * sizeof(char *));
    ASSERT_TRUE(daemon_.WaitUntil([&] { return PppdPid() > 0; }, 10s)) << ReadLog();
    Expect(line);
    modem().ClearCommands();
    const size_t dialled = port().Commands().size();
    EXPECT_EQ(Setup(kInternet).error, RIL_E_SUCCESS) << Rejected() << ReadLog();
    EXPECT_TRUE(daemon_.WaitForCompletion(first, 10s, &c));
    EXPECT_TRUE(SetupFailed(c, PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_EQ(modem().CountCommands("AT+CGACT=0, 1"), 1u) << "the second setup's own";
    EXPECT_EQ(modem().CountCommands("ATH"), 0u);
    const V sent = port().Commands();
    EXPECT_EQ(V(sent.begin() + static_cast<long>(dialled), sent.end()), V{"ATD*99#"});
    EXPECT_NE(Ip("-4 -o addr show dev ppp0").find("inet 10.64.64.5"), std::string::npos) << "the second call is up";
    port().SetTaker(nullptr);
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
}

// A CDMA module with credentials: "ATH", the credentials for the modem's own PPP, "atd#777",
// and the CDMA command line with the password as one argument whatever blanks it holds.
TEST_F(PsPpp, CdmaWithCredentials) {
    ZV_IN_PRIVATE_NAMESPACES();
    Start(modemsim::ModuleType::kCdma);
    const V line = {"/system/bin/pppd", "/dev/ttyUSB0", "115200", "crtscts", "debug", "dump", "-chap", "nodetach",
                    "modem", "noipdefault", "defaultroute", "usepeerdns", "user", "alice", "password",
                    "s3cret pass"};
    Expect(line);
    zvtest::Completion c = Setup({"0", "0", "#777", "alice", "s3cret pass", "1", "IP"});
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << Rejected() << ReadLog();
    EXPECT_EQ(c.strings[2], "10.64.64.5");
    EXPECT_TRUE(modem().ExpectCommands({"ATH", "AT^PPPCFG = \"alice\", \"s3cret pass\""}, 0));
    EXPECT_EQ(modem().CountCommands("AT+CGDCONT"), 0u);
    EXPECT_EQ(data().ppp_user, "alice");
    EXPECT_EQ(data().ppp_password, "s3cret pass");
    EXPECT_EQ(port().Commands(), (V{"atd#777"}));
    EXPECT_FALSE(LogContains("s3cret")) << "credentials never reach the log";
    ExpectRealPppdAccepts(PppdArgs());
    // The modem is not asked about a CDMA call: the socket daemon hears of call 1 inactive
    // whatever runs; the 8-13 daemon of the call while pppd runs, then of none.
    zvtest::Completion list = List();
    EXPECT_EQ(list.ints, Hidl() ? std::vector<int>({0, -1, 1, 2, 0}) : std::vector<int>({0, -1, 1, 0}));
    EXPECT_EQ(list.strings[2], "10.64.64.5");

    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    ExpectTornDown("ATH", 1, "deactivation");
    EXPECT_EQ(data().hangups, 1);
    const size_t idle = Hidl() ? 0 : sizeof(RIL_Data_Call_Response_v6);
    EXPECT_TRUE(daemon_.WaitUntil([&] { return List().length == idle; }, 5s)) << "no call once pppd ended";

    // A user name that would end the quoted field is refused before anything is sent.
    modem().ClearCommands();
    EXPECT_TRUE(SetupFailed(Setup({"0", "0", "#777", "al\"ice", "pw", "1", "IP"}), PDP_FAIL_USER_AUTHENTICATION));
    EXPECT_EQ(modem().CountCommands("AT^PPPCFG"), 0u);
}

// A WCDMA module on another chip dials with "AT+CGDATA"; credentials give the 3GPP line with
// "user" and "password".
TEST_F(PsPpp, WcdmaOtherChipWithCredentials) {
    ZV_IN_PRIVATE_NAMESPACES();
    Start(modemsim::ModuleType::kWcdma, 2);
    V line = {"/system/bin/pppd", "/dev/ttyUSB0", "115200", "mru", "1280", "nodetach", "debug", "dump", "-pap",
              "defaultroute", "usepeerdns", "novj", "user", "bob", "password", "x connect /bin/sh"};
    for (const char *o : kTail) line.push_back(o);
    line.push_back("-am");
    Expect(line);
    zvtest::Completion c = Setup({"1", "0", "web", "bob", "x connect /bin/sh", "2", "IP"});
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << Rejected() << ReadLog();
    EXPECT_TRUE(modem().WaitForCommand("AT+CGDCONT=1,\"IP\",\"web\"", 0));
    EXPECT_EQ(port().Commands(), (V{"AT+CGDATA=\"PPP\",1"}));
    ExpectRealPppdAccepts(PppdArgs());
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    ExpectTornDown("+++", 1, "deactivation");
}

// A TD-SCDMA module dials on the control port; its MODEM port only carries pppd's line.
TEST_F(PsPpp, TdscdmaDialsOnTheControlPort) {
    ZV_IN_PRIVATE_NAMESPACES();
    Start(modemsim::ModuleType::kTdscdma);
    const V line = Line({"/system/bin/pppd", "/dev/ttyUSB0"}, "", {"-am"});
    Expect(line);
    zvtest::Completion c = Setup({"1", "0", "cmnet", "", "", "3", "IP"});
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << Rejected() << ReadLog();
    EXPECT_TRUE(modem().ExpectCommands({"ATH", "AT+CGDCONT=1,\"IP\",\"cmnet\"", "ATD*99#"}, 0));
    EXPECT_TRUE(port().Commands().empty());
    ExpectRealPppdAccepts(PppdArgs());
    modem().ClearCommands();
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().CountCommands("ATH"), 2u) << "the call's and the port's hang-up, both on the control port";
    EXPECT_EQ(modem().CountCommands("AT+CGACT=0"), 0u);

    // The control port refuses the dial: failed, torn down, answered once.
    Reply(DialReply::kNoCarrier);
    modem().ClearCommands();
    EXPECT_TRUE(SetupFailed(Setup({"1", "0", "cmnet", "", "", "3", "IP"}), PDP_FAIL_ERROR_UNSPECIFIED));
    EXPECT_TRUE(modem().ExpectCommands({"ATD*99#", "ATH", "ATH"}, 0));
}

// A packet call the network offers: whoever learns of it sets g_pspackage and wakes the worker
// thread; the worker answers "ATA" on the MODEM port and starts pppd, and once ppp0 has its
// address there is no request to answer: the list change is reported and the flag cleared.
TEST_F(PsPpp, NetworkOfferedCallIsAnsweredByTheWorker) {
    ZV_IN_PRIVATE_NAMESPACES();
    Start(modemsim::ModuleType::kWcdma);
    Expect(Line({"/system/bin/pppd", "/dev/ttyUSB0"}, "", {"-am"}));
    const size_t from = daemon_.UnsolicitedCount(), answered = daemon_.CompletionCount();
    int *flag = Sym<int>("g_pspackage");
    auto *mutex = Sym<pthread_mutex_t>("s_cmd_mutex");
    auto *cond = Sym<pthread_cond_t>("s_cmd_cond");
    ASSERT_TRUE(flag && mutex && cond);
    pthread_mutex_lock(mutex);
    __atomic_store_n(flag, 1, __ATOMIC_RELAXED);
    pthread_cond_signal(cond);
    pthread_mutex_unlock(mutex);

    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, 20s, from)) << ReadLog();
    EXPECT_TRUE(daemon_.WaitUntil([flag] { return __atomic_load_n(flag, __ATOMIC_RELAXED) == 0; }, 5s));
    EXPECT_EQ(port().Commands(), (V{"ATA"}));
    EXPECT_EQ(PppdArgs(), Line({"/system/bin/pppd", "/dev/ttyUSB0"}, "", {"-am"})) << Rejected();
    EXPECT_NE(Ip("-4 -o addr show dev ppp0").find("inet 10.64.64.5"), std::string::npos);
    EXPECT_EQ(daemon_.CompletionCount(), answered) << "nothing was asked, so nothing is answered";

    // The framework ends it like any call.
    const size_t before = port().Commands().size();
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    ExpectTornDown("+++", before, "network-offered call ended");
}

// A real PPP link: the library's pppd is Debian's, and once the simulated modem says CONNECT a
// second real pppd (in a network namespace of its own) serves the network's side on the MODEM
// port's master end. The setup answer carries what IPCP negotiated. Needs a kernel with PPP:
// scripts/test-ppp-vm.sh runs it in a VM (tests/vm/ppp-real.sh prepares the VM's pppd options).
TEST_F(PsPpp, RealPppdLink) {
    const char *ipUp = getenv("ZV_PPP_IP_UP");
    if (!getenv("ZV_REAL_PPPD") || !ipUp || access("/dev/ppp", F_OK) != 0 || access("/usr/sbin/pppd", X_OK) != 0) {
        printf("skipped: needs a kernel with PPP and Debian's pppd; scripts/test-ppp-vm.sh runs it in a VM\n");
        GTEST_SKIP() << "needs a kernel with PPP (scripts/test-ppp-vm.sh)";
    }
    ZV_IN_PRIVATE_NAMESPACES();
    Install();
    const std::string bin = root_ + "/system/bin";
    ASSERT_EQ(unlink((bin + "/pppd").c_str()), 0);
    ASSERT_EQ(symlink("/usr/sbin/pppd", (bin + "/pppd").c_str()), 0);
    // The network's pppd under another name: the library's look-up for "pppd" must not find it.
    const std::string network = dir_ + "/netpppd";
    ASSERT_EQ(symlink("/usr/sbin/pppd", network.c_str()), 0);
    // Debian's pppd reports the peer's DNS servers to its ip-up script; the platform's writes
    // them into the property store, which this one does too.
    std::ofstream(ipUp) << "#!/bin/sh\n[ -n \"$DNS1\" ] || exit 0\n"
                           "printf '%s\\n' \"$DNS1\" > '" << propDir_ << "'/net.$1.dns1\n"
                           "printf '%s\\n' \"${DNS2:-$DNS1}\" > '" << propDir_ << "'/net.$1.dns2\n";
    ASSERT_EQ(chmod(ipUp, 0755), 0);

    SetProperty("ro.build.version.release", Hidl() ? "10" : "6.0");
    StartWithModem(modemsim::ModuleType::kWcdma);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    // The library hands pppd the device's path: here it leads to the simulated MODEM port.
    unlink("/dev/ttyUSB0");
    ASSERT_EQ(symlink(port().SlavePath().c_str(), "/dev/ttyUSB0"), 0);
    port().SetTaker([network](int master) -> pid_t {
        V args = {"/usr/bin/unshare", "-n", network, "notty", "noauth", "local", "nodetach", "novj", "noccp",
                  "10.64.64.1:10.64.64.5", "ms-dns", "10.11.12.1", "ms-dns", "10.11.12.2"};
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, master, 0);
        posix_spawn_file_actions_adddup2(&actions, master, 1);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(master);
        return pid;
    });
    zvtest::Completion c = Setup(kInternet, 90s);
    unlink("/dev/ttyUSB0");
    ASSERT_EQ(c.error, RIL_E_SUCCESS) << ReadLog();
    EXPECT_EQ(port().Commands(), (V{"ATD*99#"}));
    ASSERT_EQ(c.strings.size(), 5u);
    EXPECT_EQ(c.strings[1], "ppp0");
    EXPECT_EQ(c.strings[2], "10.64.64.5") << "the address IPCP gave";
    EXPECT_EQ(c.strings[3], "10.11.12.1 10.11.12.2");
    printf("setup answered over a real PPP link: %s on %s, DNS %s\n", c.strings[2].c_str(), c.strings[1].c_str(),
           c.strings[3].c_str());
    EXPECT_NE(Ip("-4 -o addr show dev ppp0").find("inet 10.64.64.5 peer 10.64.64.1"), std::string::npos);
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
    EXPECT_TRUE(daemon_.WaitUntil([] { return Ip("-o link show dev ppp0").find("ppp0:") == std::string::npos; }, 10s))
        << "the library's pppd is gone, and ppp0 with it";
}

// Without the platform's pppd there is no data path: the request is refused before the modem
// is dialled. Needs no privileges.
TEST_F(PsPpp, NoPppdNoDial) {
    SetProperty("ro.build.version.release", Hidl() ? "10" : "6.0");
    StartWithModem(modemsim::ModuleType::kWcdma);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    modem().ClearCommands();
    EXPECT_TRUE(SetupFailed(Setup(kInternet), PDP_FAIL_SERVICE_OPTION_NOT_SUPPORTED, RIL_E_REQUEST_NOT_SUPPORTED));
    EXPECT_EQ(modem().CountCommands("AT+CGDCONT"), 0u);
    EXPECT_TRUE(port().Commands().empty());
    EXPECT_EQ(Deactivate().error, RIL_E_SUCCESS);
}

}  // namespace
