// Unplug and replug, over and over, at random moments, with framework requests in flight the
// whole time: at the end the radio is back, every request was answered exactly once, and no
// descriptor, thread, child process or heap was left behind. One flow, two rows: a descriptor
// shortage that comes and goes, and the storm with requests of every kind and data calls up on
// both paths (PPP and the network interface, inside the network laboratory as root). The
// moments come from a seed the case prints; ZV_STRESS_SEED repeats a run, ZV_STRESS_CYCLES
// sets its length (scripts/reliability.sh storm runs the long one).
#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <modemsim/data_port.h>

#include "support/emulator.h"
#include "support/fd_squeeze.h"
#include "support/library_fixture.h"
#include "support/modem_rig.h"
#include "support/ps_lab.h"

namespace {

using namespace std::chrono_literals;

int CountEntries(const char *dir) {
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (struct dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// The child processes of this process (any of its threads may have started them), each as
// "pid name state" (state Z: a zombie nobody reaped).
std::vector<std::string> Children() {
    std::vector<std::string> children;
    if (DIR *d = opendir("/proc/self/task")) {
        while (struct dirent *e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/children");
            for (int pid; in >> pid;) {
                std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                std::string line;
                std::getline(stat, line);
                const size_t open = line.find('('), close = line.rfind(')');
                if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size()) continue;
                children.push_back(std::to_string(pid) + " " + line.substr(open + 1, close - open - 1) + " " +
                                   line[close + 2]);
            }
        }
        closedir(d);
    }
    return children;
}

// What a failed count was made of: each thread's name and state, each descriptor's target.
std::string Entries(const char *dir) {
    std::string out;
    if (DIR *d = opendir(dir)) {
        while (struct dirent *e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const std::string path = std::string(dir) + "/" + e->d_name;
            std::string what;
            if (std::ifstream stat{path + "/stat"}) {
                std::getline(stat, what);
                what = what.substr(0, what.find(' ', what.rfind(')') + 2));
            } else {
                char target[256];
                const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
                what = std::string(e->d_name) + " " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
            }
            out += "\n  " + what;
        }
        closedir(d);
    }
    return out;
}

std::string Join(const std::vector<std::string> &v) {
    std::string out;
    for (const std::string &s : v) out += (out.empty() ? "" : ", ") + s;
    return out.empty() ? "none" : out;
}

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// What the heap may grow by over a storm: allocator slack, not a leak of every cycle (that
// would be megabytes over a long run).
constexpr size_t kHeapSlack = 256 * 1024;

struct Flow {
    const char *name;
    int cycles, sanitizedCycles;  // sanitized builds run several times slower: fewer of the same mix
    bool shortage;                // descriptors run out now and then
    bool storm;                   // requests of every kind, data calls on both paths, resources measured
};

void PrintTo(const Flow &flow, std::ostream *os) { *os << flow.name; }

const Flow kFlows[] = {
    {"DescriptorShortages", 200, 40, true, false},
    {"Storm", 20, 8, false, true},
};

const char *kInternet[] = {"1", "0", "internet", "", "", "0", "IP"};
const char *kDeactivate[] = {"1", "0"};
const char *kSms[] = {nullptr, "11000B916407281553F80000AA0AE8329BFD4697D9EC37"};
char kUssd[] = "*100#";

// One kind of request the framework keeps asking, with its arguments (the library copies them).
struct Kind {
    int request;
    void *data;
    size_t length;
    bool storm;  // only in the storm
    int every;   // asked once in so many turns
};
const Kind kKinds[] = {
    {RIL_REQUEST_GET_IMEI, nullptr, 0, false, 1},
    {RIL_REQUEST_GET_IMSI, nullptr, 0, false, 1},
    {RIL_REQUEST_BASEBAND_VERSION, nullptr, 0, false, 1},
    {RIL_REQUEST_GET_SIM_STATUS, nullptr, 0, false, 1},
    {RIL_REQUEST_SIGNAL_STRENGTH, nullptr, 0, false, 1},
    {RIL_REQUEST_DEVICE_IDENTITY, nullptr, 0, false, 1},
    {RIL_REQUEST_VOICE_REGISTRATION_STATE, nullptr, 0, true, 1},
    {RIL_REQUEST_DATA_REGISTRATION_STATE, nullptr, 0, true, 1},
    {RIL_REQUEST_OPERATOR, nullptr, 0, true, 1},
    {RIL_REQUEST_GET_CURRENT_CALLS, nullptr, 0, true, 1},
    {RIL_REQUEST_DATA_CALL_LIST, nullptr, 0, true, 1},
    {RIL_REQUEST_SEND_SMS, kSms, sizeof kSms, true, 4},
    {RIL_REQUEST_SEND_USSD, kUssd, sizeof(char *), true, 4},
    {RIL_REQUEST_SETUP_DATA_CALL, kInternet, sizeof kInternet, true, 64},
    {RIL_REQUEST_DEACTIVATE_DATA_CALL, kDeactivate, sizeof kDeactivate, true, 96},
};

class ReattachStressTest : public zvtest::LibraryTest, public ::testing::WithParamInterface<Flow> {
protected:
    // The shortage is the library's to cope with: the rig's own tree and pseudo-terminal
    // work is done between shortages (a half-removed sysfs tree would be a broken modem).
    void PlugIn(const zvtest::RigOptions &options) {
        std::lock_guard<std::mutex> lock(rigMutex_);
        ASSERT_TRUE(rig_->PlugIn(options)) << rig_->error();
    }
    void Unplug() {
        std::lock_guard<std::mutex> lock(rigMutex_);
        rig_->Unplug();
    }

    // Inside the network laboratory: the DHCP client and interface programs for the network
    // interface's path, and the pppd stand-in with a ps that lists only this case's pppd for the
    // PPP path. Outside: runs the case again inside (false), or says it cannot (*why).
    enum Lab { kInside, kRanInside, kCannot };
    Lab EnterLab(std::string *why) {
        if (zvtest::NetworkLab::Inside()) {
            if (!zvtest::NetworkLab::InstallPrograms(root_, propDir_, why)) return kCannot;
            const std::string bin = root_ + "/system/bin", pppd = dir_ + "/pppd";
            if (const char *emulator = zvtest::TestEmulator()) {
                std::ofstream(bin + "/pppd") << "#!/bin/bash\nexec -a pppd '" << emulator << "' -0 /system/bin/pppd '"
                                             << ZV_PPPD_STANDIN << "' \"$@\"\n";
                chmod((bin + "/pppd").c_str(), 0755);
            } else if (symlink(ZV_PPPD_STANDIN, (bin + "/pppd").c_str()) != 0) {
                *why = "cannot install the pppd stand-in";
                return kCannot;
            }
            // Another case's pppd is never this one's to find, let alone to kill.
            std::ofstream(bin + "/ps") << "#!/bin/sh\nname=${1##*/}\n"
                                          "echo 'USER     PID   PPID  VSIZE  RSS   WCHAN    PC         NAME'\n"
                                          "for d in /proc/[0-9]*; do\n"
                                          "  c=$(tr '\\0' '\\n' < \"$d/cmdline\" 2>/dev/null | head -n 1) || continue\n"
                                          "  c=${c##*/}\n"
                                          "  [ -z \"$name\" ] || [ \"$c\" = \"$name\" ] || continue\n"
                                          "  tr '\\0' '\\n' < \"$d/environ\" 2>/dev/null | grep -qxF 'ZV_PPPD_DIR="
                                       << pppd << "' || continue\n"
                                          "  echo \"root      ${d#/proc/}     1     1000   100   ffffffff 00000000 S $c\"\n"
                                          "done\n";
            chmod((bin + "/ps").c_str(), 0755);
            mkdir(pppd.c_str(), 0755);
            setenv("ZV_PPPD_DIR", pppd.c_str(), 1);
            return kInside;
        }
        zvtest::NetworkLab lab;
        if (!lab.Build(dir_, "usb0", why, "zvst")) return kCannot;
        EXPECT_EQ(lab.RunCurrentCaseInside(), 0) << "the case failed inside the network laboratory";
        return kRanInside;
    }

    std::mutex rigMutex_;
};

TEST_P(ReattachStressTest, UnplugReplugWithRequestsInFlight) {
    const Flow &flow = GetParam();
    bool data = false;
    if (flow.storm) {
        std::string why;
        switch (EnterLab(&why)) {
            case kRanInside: return;
            case kInside: data = true; break;
            case kCannot: printf("no data calls: %s\n", why.c_str()); break;
        }
    }
    unsigned seed = std::random_device{}();
    if (const char *env = getenv("ZV_STRESS_SEED")) seed = static_cast<unsigned>(strtoul(env, nullptr, 10));
    int cycles = kSanitized ? flow.sanitizedCycles : flow.cycles;
    if (const char *env = getenv("ZV_STRESS_CYCLES")) cycles = atoi(env);
    printf("%s: %d cycles, seed %u (ZV_STRESS_SEED=%u repeats it)\n", flow.name, cycles, seed, seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);

    SetProperty("ro.build.version.release", Hidl() ? "10" : "6.0");
    zvtest::RigOptions options;
    options.ecm = data;  // the network interface's path first; the PPP path every other cycle
    StartWithModem(modemsim::ModuleType::kWcdma, options);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    // The SIM set-up goes on after the state says ready; its end starts, once per process, the
    // packet data guard timer's thread and pipe, which are no part of what a replug may leave.
    EXPECT_TRUE(daemon_.WaitUntil([&] { return LogContains("init_sigaction"); }, 20s));
    std::this_thread::sleep_for(100ms);

    // The radio is up as both the library and the daemon see it, and answers.
    auto settled = [&](int cycle) {
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY, 20s)) << "cycle " << cycle << " state " << RadioState();
        EXPECT_EQ(daemon_.functions()->onStateRequest(), Hidl() ? RADIO_STATE_ON : RADIO_STATE_SIM_READY)
            << "cycle " << cycle;
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_GET_SIM_STATUS), 20s, &c)) << "cycle " << cycle;
        EXPECT_EQ(c.error, RIL_E_SUCCESS) << "cycle " << cycle;
    };
    // A data call up on the path this plug offers (its answer names the interface). The
    // framework's own setups and deactivations in flight may end one attempt (a setup starts by
    // ending the call before it): a few attempts, one of which brings it up.
    int up[2] = {0, 0};  // PPP, network interface
    auto dataCall = [&](int cycle, bool ecm) {
        // Up: answered with success and a record whose status is no failure (the 8-13 daemon
        // hears of a failure as a success whose record holds the cause).
        auto upNow = [](const zvtest::Completion &c) {
            return c.error == RIL_E_SUCCESS && !c.ints.empty() && c.ints[0] == PDP_FAIL_NONE;
        };
        zvtest::Completion c;
        c.error = RIL_E_GENERIC_FAILURE;
        for (int attempt = 0; attempt < 5 && !upNow(c); ++attempt) {
            RIL_Token t = daemon_.Request(RIL_REQUEST_SETUP_DATA_CALL, kInternet, sizeof kInternet);
            ASSERT_TRUE(daemon_.WaitForCompletion(t, 90s, &c)) << "cycle " << cycle;
        }
        ASSERT_TRUE(upNow(c)) << "cycle " << cycle << " " << zvtest::FakeDaemon::Describe(c);
        ASSERT_GE(c.strings.size(), 2u) << "cycle " << cycle;
        EXPECT_EQ(c.strings[1], ecm ? "usb0" : "ppp0") << "cycle " << cycle;
        ++up[ecm];
    };
    // What the test's own journals hold is forgotten before the heap is measured.
    auto heap = [&] {
        daemon_.Compact();
        rig_->modem().ClearCommands();
        rig_->modem().data_port().ClearCommands();
        return mallinfo2().uordblks;
    };
    if (data) {
        // Each path once before anything is measured: what the library sets up once is no leak.
        dataCall(-1, true);
        Unplug();
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE, 10s));
        options.ecm = false;
        PlugIn(options);
        settled(-1);
        dataCall(-1, false);
        EXPECT_TRUE(daemon_.WaitForCompletion(
            daemon_.Request(RIL_REQUEST_DEACTIVATE_DATA_CALL, kDeactivate, sizeof kDeactivate), 20s));
    }
    if (HasFatalFailure()) return;
    std::atomic<bool> stop{false};
    std::mutex tokensMutex;
    std::vector<RIL_Token> tokens;
    std::vector<const Kind *> kinds;
    for (const Kind &k : kKinds) {
        const bool dataKind = k.request == RIL_REQUEST_SETUP_DATA_CALL || k.request == RIL_REQUEST_DEACTIVATE_DATA_CALL;
        if ((!k.storm || flow.storm) && zvtest::CheckRequestSent(daemon_.generation(), k.request).empty() &&
            (data || !dataKind)) {
            kinds.push_back(&k);
            if (flow.storm && !dataKind) daemon_.WaitForCompletion(daemon_.Request(k.request, k.data, k.length), 20s);
        }
    }
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    // No program the library started outlives what it was started for.
    EXPECT_TRUE(daemon_.WaitUntil([] { return Children().empty(); }, 10s)) << "children: " << Join(Children());
    const size_t heapBefore = heap();

    // The framework keeps asking, whatever the modem is doing (what its daemon can ask).
    std::thread requester([&] {
        for (size_t i = 0; !stop.load(); ++i) {
            const Kind &k = *kinds[i % kinds.size()];
            if ((i / kinds.size()) % k.every != 0) continue;
            RIL_Token t = daemon_.Request(k.request, k.data, k.length);
            {
                std::lock_guard<std::mutex> lock(tokensMutex);
                tokens.push_back(t);
            }
            std::this_thread::sleep_for(flow.storm ? 3ms : 1ms);  // a busy framework, not a spinning one
        }
    });
    // Descriptors run out now and then, for a few milliseconds, at random moments.
    std::thread shortage([&, shortageSeed = rng()] {
        std::mt19937 rng(shortageSeed);
        while (flow.shortage && !stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 15));
            std::lock_guard<std::mutex> lock(rigMutex_);
            zvtest::FdSqueeze squeeze(rng() % 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 25));
        }
    });

    // However the cycles end, the helper threads stop before the test does.
    zvtest::StopAndJoin joiner{stop, shortage, requester};

    for (int cycle = 0; cycle < cycles && !HasFatalFailure(); ++cycle) {
        Unplug();
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE, 10s)) << "cycle " << cycle;
        options.firstTty = (cycle % 2) ? 0 : 4;
        options.ecm = data && cycle % 2 == 0;
        PlugIn(options);
        // Either all the way up (with a data call in the storm) and then pulled out at a random
        // moment, or pulled out at some point of the start-up.
        if (rng() % 3 == 0) {
            settled(cycle);
            if (data) dataCall(cycle, options.ecm);
            if (flow.storm) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 200));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % (flow.storm ? 400 : 40)));
        }
        if (flow.storm && cycle % 50 == 49) {
            printf("cycle %d\n", cycle + 1);
            fflush(stdout);
        }
    }

    stop = true;
    shortage.join();
    requester.join();
    Unplug();
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE, 10s));
    options.firstTty = 0;
    options.ecm = data;
    PlugIn(options);
    settled(cycles);

    {
        const std::string log = ReadLog();
        auto count = [&](const char *text) {
            size_t n = 0;
            for (size_t p = 0; (p = log.find(text, p)) != std::string::npos; ++p) ++n;
            return n;
        };
        // How often the shortage bit the library's own start-up, for whoever reads the output.
        // The identities asked for all along never reach the log, in either direction.
        const modemsim::ModelState model = rig_->modem().State();
        EXPECT_EQ(log.find(model.imei), std::string::npos) << "IMEI in the log";
        EXPECT_EQ(log.find(model.imsi), std::string::npos) << "IMSI in the log";
        if (flow.shortage)
            printf("shortage hits: at_open %zu, port open or search retries %zu, commands on a closed channel %zu\n",
                   count("AT error -1 on at_open"), count("_____Searching Ports..._____"), count("err = -3"));
    }

    // Every request answered, once (a second answer is a contract violation of the daemon).
    std::vector<RIL_Token> issued;
    {
        std::lock_guard<std::mutex> lock(tokensMutex);
        issued.swap(tokens);
    }
    EXPECT_GT(issued.size(), static_cast<size_t>(cycles));
    size_t unanswered = 0;
    for (RIL_Token t : issued) unanswered += !daemon_.WaitForCompletion(t, 5s);
    EXPECT_EQ(unanswered, 0u) << "requests never answered";

    // The library's threads, descriptors, children and heap are what they were with the radio
    // up before.
    EXPECT_TRUE(daemon_.WaitUntil([&] { return CountEntries("/proc/self/fd") == fds; }, 20s))
        << CountEntries("/proc/self/fd") << " descriptors, " << fds << " before:" << Entries("/proc/self/fd");
    EXPECT_TRUE(daemon_.WaitUntil([&] { return CountEntries("/proc/self/task") == threads; }, 20s))
        << CountEntries("/proc/self/task") << " threads, " << threads << " before:" << Entries("/proc/self/task");
    if (!flow.storm) return;
    EXPECT_TRUE(daemon_.WaitUntil([] { return Children().empty(); }, 10s)) << "children: " << Join(Children());
    std::vector<RIL_Token>().swap(issued);
    const size_t heapAfter = heap();
    printf("%zu requests answered once each; data calls up %d times over PPP, %d over the network interface; "
           "heap %zu bytes before, %zu after\n",
           daemon_.CompletionCount(), up[0], up[1], heapBefore, heapAfter);
    EXPECT_LT(heapAfter, heapBefore + kHeapSlack) << "heap grew by " << heapAfter - heapBefore << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Flows, ReattachStressTest, ::testing::ValuesIn(kFlows),
                         [](const ::testing::TestParamInfo<Flow> &info) { return std::string(info.param.name); });

}  // namespace
