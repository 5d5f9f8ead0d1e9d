// The library as the daemon sees it, against the simulated modem on a pseudo-terminal: the
// time from RIL_Init to SIM ready, then for the ten requests a device sends most often the wall
// latency from onRequest to OnRequestComplete, the AT round trips each needs, its latency as a
// multiple of that many raw pty round trips, and the CPU time of the requesting thread. Then
// the heap (mallinfo2) across many requests and reports. Run under
//   valgrind --tool=callgrind --collect-atstart=no
// it collects only while the requests run and dumps once per request, for the instructions
// per request. Environment: ZORVIK_TIME_SCALE (as the library reads it), ZV_BENCH_REQUESTS
// (iterations per request, 200), ZV_BENCH_HEAP_REQUESTS (0: no heap rounds), ZV_BENCH_IDLE_S
// (seconds of a quiet modem at the end, thread by thread wake-ups; 0: none), ZV_BENCH_SAR=1
// (a SAR state file in the fake root), ZV_BENCH_NO_MODEM=1 (nothing plugged in: only the
// idle watch, while the library searches for a modem), ZV_TEST_GENERATION=hidl (the 8-13
// daemon).
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <telephony/ril.h>

#include "../bench_pty.h"
#include "support/fake_daemon.h"
#include "support/modem_rig.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else  // without valgrind's headers there is nothing to count instructions with
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_TOGGLE_COLLECT
#define CALLGRIND_DUMP_STATS_AT(name) (void)(name)
#endif

namespace {

using Clock = std::chrono::steady_clock;

int EnvInt(const char *name, int fallback) {
    const char *v = getenv(name);
    return v && atoi(v) >= 0 && *v ? atoi(v) : fallback;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double ThreadCpuUs() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// Median time of one "AT\r" -> "\r\nOK\r\n" round trip on a raw pty with an instant answerer.
double RawRoundTripUs(int count) {
    const zvbench::Pty pty = zvbench::OpenRawPty();
    const int master = pty.master, slave = pty.slave;
    std::thread modem([master] {
        char buf[256];
        for (;;) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) return;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r' && write(master, "\r\nOK\r\n", 6) != 6) return;
            }
        }
    });
    std::vector<double> us;
    char buf[256];
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (write(slave, "AT\r", 3) != 3) abort();
        std::string got;
        while (got.find("OK\r\n") == std::string::npos) {
            ssize_t n = read(slave, buf, sizeof buf);
            if (n <= 0) abort();
            got.append(buf, static_cast<size_t>(n));
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    close(slave);  // the answerer's read ends with the slave
    modem.join();
    close(master);
    return Median(us);
}

// Context switches (voluntary + involuntary) of every thread but the caller, by thread.
std::map<long, std::pair<std::string, long long>> ThreadSwitches() {
    std::map<long, std::pair<std::string, long long>> out;
    const long self = static_cast<long>(gettid());
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        const long tid = atol(e.path().filename().c_str());
        if (tid == self) continue;
        std::ifstream comm(e.path() / "comm");
        std::string name;
        std::getline(comm, name);
        std::ifstream status(e.path() / "status");
        std::string line;
        long long n = 0;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                n += atoll(line.c_str() + line.find(':') + 1);
        }
        out[tid] = {name, n};
    }
    return out;
}

void WatchIdle(int seconds) {
    const auto before = ThreadSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = ThreadSwitches();
    long long total = 0;
    for (const auto &[tid, v] : after) {
        const auto it = before.find(tid);
        const long long d = v.second - (it == before.end() ? 0 : it->second.second);
        total += d;
        if (d > 0) printf("idle_wakeups thread %ld (%s): %lld in %d s\n", tid, v.first.c_str(), d, seconds);
    }
    printf("idle_wakeups_total %lld in %d s over %zu threads\n", total, seconds, after.size());
}

struct RequestCase {
    const char *name;
    int request;
    std::vector<int> data;  // ints, or nothing
};

}  // namespace

int main() {
    char tmpl[] = "/tmp/zv-e2e-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl, root = dir + "/root", props = dir + "/props", log = dir + "/ril.log";
    mkdir(root.c_str(), 0755);
    mkdir(props.c_str(), 0755);
    setenv("ZORVIK_ROOT", root.c_str(), 1);
    setenv("ZORVIK_PROPERTY_DIR", props.c_str(), 1);
    setenv("ZORVIK_LOG_FILE", log.c_str(), 1);
    const bool underValgrind = RUNNING_ON_VALGRIND;
    const int iterations = EnvInt("ZV_BENCH_REQUESTS", underValgrind ? 20 : 200);
    const int heapRequests = EnvInt("ZV_BENCH_HEAP_REQUESTS", 0);

    // ZV_TEST_GENERATION=hidl: a platform of release 11, served as the 8-13 daemon does.
    const char *generation = getenv("ZV_TEST_GENERATION");
    if (generation && strcmp(generation, "hidl") == 0) std::ofstream(props + "/ro.build.version.sdk") << "30\n";
    const int idleSeconds = EnvInt("ZV_BENCH_IDLE_S", 0);
    const bool noModem = EnvInt("ZV_BENCH_NO_MODEM", 0) == 1;
    if (EnvInt("ZV_BENCH_SAR", 0) == 1) {
        std::filesystem::create_directories(root + "/sys/power/sar");
        std::ofstream(root + "/sys/power/sar/state") << "SAR_CONTROL_OFF\n";
    }


    zvtest::FakeDaemon daemon;
    zvtest::ModemRig rig(root, modemsim::ModuleType::kWcdma);
    if (noModem) {
        if (!daemon.Load() || !daemon.Init({})) {
            fprintf(stderr, "start: %s\n", daemon.error().c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        WatchIdle(idleSeconds > 0 ? idleSeconds : 10);
        fflush(stdout);
        _exit(0);
    }
    if (!rig.PlugIn()) {
        fprintf(stderr, "plug-in: %s\n", rig.error().c_str());
        return 1;
    }
    if (!daemon.Load()) {
        fprintf(stderr, "load: %s\n", daemon.error().c_str());
        return 1;
    }
    const auto init0 = Clock::now();
    if (!daemon.Init({})) {
        fprintf(stderr, "init: %s\n", daemon.error().c_str());
        return 1;
    }
    const int *state = static_cast<const int *>(daemon.Symbol("sState"));
    if (!state || !daemon.WaitUntil([&] { return __atomic_load_n(state, __ATOMIC_ACQUIRE) == RADIO_STATE_SIM_READY; },
                                    std::chrono::seconds(60))) {
        fprintf(stderr, "no SIM ready\n");
        return 1;
    }
    const double startupMs = std::chrono::duration<double, std::milli>(Clock::now() - init0).count();
    const char *scale = getenv("ZORVIK_TIME_SCALE");
    printf("startup_to_sim_ready_ms %.1f (ZORVIK_TIME_SCALE=%s)\n", startupMs, scale ? scale : "1");
    printf("heap_kib_at_sim_ready %.0f (library, fake daemon and simulator)\n",
           static_cast<double>(mallinfo2().uordblks) / 1024);
    // What start-up leaves running (guard timers, the first registration queries) settles first.
    std::this_thread::sleep_for(std::chrono::seconds(underValgrind ? 5 : 2));

    const std::vector<RequestCase> cases = {
        {"SIGNAL_STRENGTH", RIL_REQUEST_SIGNAL_STRENGTH, {}},
        {"VOICE_REGISTRATION_STATE", RIL_REQUEST_VOICE_REGISTRATION_STATE, {}},
        {"DATA_REGISTRATION_STATE", RIL_REQUEST_DATA_REGISTRATION_STATE, {}},
        {"OPERATOR", RIL_REQUEST_OPERATOR, {}},
        {"GET_CURRENT_CALLS", RIL_REQUEST_GET_CURRENT_CALLS, {}},
        {"GET_SIM_STATUS", RIL_REQUEST_GET_SIM_STATUS, {}},
        {"DATA_CALL_LIST", RIL_REQUEST_DATA_CALL_LIST, {}},
        {"SCREEN_STATE", RIL_REQUEST_SCREEN_STATE, {1}},
        {"SMS_ACKNOWLEDGE", RIL_REQUEST_SMS_ACKNOWLEDGE, {1, 0}},
        {"IMS_REGISTRATION_STATE", RIL_REQUEST_IMS_REGISTRATION_STATE, {}},
    };
    printf("%-26s %8s %6s %10s %8s %10s %s\n", "request", "lat_us", "trips", "raw_us", "ratio", "cpu_us",
           "error");
    modemsim::Modem &modem = rig.modem();
    auto issue = [&](const RequestCase &c) {
        std::vector<int> data = c.data;
        zvtest::Completion done;
        RIL_Token t = daemon.Request(c.request, data.empty() ? nullptr : data.data(), data.size() * sizeof(int));
        if (!daemon.WaitForCompletion(t, std::chrono::seconds(30), &done)) {
            fprintf(stderr, "%s: no answer\n", c.name);
            exit(1);
        }
        return done.error;
    };
    for (const RequestCase &c : cases) {
        // The raw round trip right before each request, so both see the same machine load.
        const double rawUs = underValgrind ? 0 : RawRoundTripUs(300);
        for (int i = 0; i < 5; ++i) issue(c);  // warm-up
        modem.ClearCommands();
        std::vector<double> lat, cpu, trips;
        RIL_Errno error = RIL_E_SUCCESS;
        for (int i = 0; i < iterations; ++i) {
            const size_t before = modem.Commands().size();
            const double cpu0 = ThreadCpuUs();
            const auto t0 = Clock::now();
            CALLGRIND_TOGGLE_COLLECT;
            error = issue(c);
            CALLGRIND_TOGGLE_COLLECT;
            lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            cpu.push_back(ThreadCpuUs() - cpu0);
            trips.push_back(static_cast<double>(modem.Commands().size() - before));
        }
        CALLGRIND_DUMP_STATS_AT(c.name);
        if (getenv("ZV_BENCH_SHOW_COMMANDS")) {
            const std::vector<std::string> sent = modem.Commands();
            for (size_t i = 0; i < sent.size() && i < 12; ++i) printf("  %s> %s\n", c.name, sent[i].c_str());
        }
        modem.ClearCommands();
        daemon.Compact();
        const double n = Median(trips);
        printf("%-26s %8.1f %6.0f %10.1f %8.2f %10.1f %d\n", c.name, Median(lat), n, rawUs,
               n > 0 && rawUs > 0 ? Median(lat) / (n * rawUs) : 0.0, Median(cpu), static_cast<int>(error));
    }

    if (heapRequests > 0) {
        // Many requests and many reports: the heap must stay where it was.
        // ZV_BENCH_HEAP_ONLY: "reports", or the name of one request, to tell the growth apart.
        const std::string heapOnly = getenv("ZV_BENCH_HEAP_ONLY") ? getenv("ZV_BENCH_HEAP_ONLY") : "";
        std::vector<size_t> heap;
        const int rounds = 10;
        for (int round = 0; round < rounds; ++round) {
            const size_t kinds = heapOnly.empty() ? cases.size() : 1;
            for (int i = 0; i < heapRequests / rounds && heapOnly != "reports"; ++i) {
                const RequestCase &c = heapOnly.empty() || heapOnly == "reports" ? cases[static_cast<size_t>(i) % kinds]
                                                                                 : *std::find_if(cases.begin(), cases.end(), [&](const RequestCase &k) { return heapOnly == k.name; });
                issue(c);
            }
            const size_t reports = daemon.UnsolicitedCount();
            for (int i = 0; i < heapRequests / rounds && (heapOnly.empty() || heapOnly == "reports"); ++i)
                modem.Inject(i % 2 ? "^RSSI: 17" : "^RSSI: 18");
            if (heapOnly.empty() || heapOnly == "reports")
                daemon.WaitUntil([&] { return daemon.UnsolicitedCount() >= reports + heapRequests / rounds; },
                                 std::chrono::seconds(60));
            modem.ClearCommands();
            daemon.Compact();
            heap.push_back(mallinfo2().uordblks);
        }
        printf("heap_kib after each %d requests and %d reports:", heapRequests / rounds, heapRequests / rounds);
        for (size_t h : heap) printf(" %.0f", static_cast<double>(h) / 1024);
        printf("\n");
    }
    if (idleSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        WatchIdle(idleSeconds);
    }
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    printf("max_rss_kib %ld\n", ru.ru_maxrss);
    fflush(stdout);
    rig.Unplug();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    _exit(0);  // the library's threads live as long as the process, as under the daemon
}
