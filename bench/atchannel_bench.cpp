// The AT channel's cost on a pseudo-terminal, with its logging on (to a file):
// - exchanges per second of at_send_command against a modem that answers at once, reported
//   with the raw round-trip rate of the same kind of pty measured in the same run and their
//   ratio (median, lowest and highest of interleaved rounds), which is what the channel keeps
//   of what the tty allows, and the process CPU time per exchange and per raw round trip;
// - unsolicited lines routed to the handler per second.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zorvik/host.h>

#include "atchannel/atchannel.h"
#include "bench_pty.h"

namespace {

using zvbench::Pty;
Pty OpenPty() { return zvbench::OpenRawPty(); }

void WriteAll(int fd, const char *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n <= 0) return;
        data += n;
        len -= static_cast<size_t>(n);
    }
}

// A modem that answers every command line with OK as soon as it has read it.
class InstantModem {
  public:
    explicit InstantModem(int master) : master_(master) {
        if (pipe2(wake_, O_CLOEXEC) != 0) abort();
        thread_ = std::thread([this] { Run(); });
    }
    ~InstantModem() {
        char b = 0;
        (void)!write(wake_[1], &b, 1);
        thread_.join();
        close(wake_[0]);
        close(wake_[1]);
    }

  private:
    void Run() {
        static const char kOk[] = "\r\nOK\r\n";
        char buf[4096];
        for (;;) {
            struct pollfd pfd[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (poll(pfd, 2, -1) < 0) continue;
            if (pfd[1].revents) return;
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) return;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r') WriteAll(master_, kOk, sizeof kOk - 1);
            }
        }
    }
    int master_;
    int wake_[2];
    std::thread thread_;
};

// Times `count` round trips of "AT\r" / "\r\nOK\r\n" on a pty without the channel.
double RawRoundTrips(int slave, int count) {
    char buf[256];
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        WriteAll(slave, "AT\r", 3);
        std::string got;
        while (got.find("OK\r\n") == std::string::npos) {
            ssize_t n = read(slave, buf, sizeof buf);
            if (n <= 0) abort();
            got.append(buf, static_cast<size_t>(n));
        }
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

// Logging goes to a file for the whole benchmark, as on a device with a log daemon.
class LogToFile {
  public:
    LogToFile() {
        char path[] = "/tmp/zv-atbench-XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0) abort();
        close(fd);
        path_ = path;
        setenv("ZORVIK_LOG_FILE", path_.c_str(), 1);
        zv::ReloadHostEnvironment();
    }
    ~LogToFile() {
        unsetenv("ZORVIK_LOG_FILE");
        zv::ReloadHostEnvironment();
        unlink(path_.c_str());
    }

  private:
    std::string path_;
};

void IgnoreUnsolicited(const char *, const char *) {}

double ProcessCpuSeconds() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Context switches of every thread of the process so far: a count of thread hand-offs that
// does not depend on how busy the machine is.
double ProcessSwitches() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_nvcsw + ru.ru_nivcsw);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

int EnvInt(const char *name, int fallback) {
    const char *v = getenv(name);
    return v && atoi(v) > 0 ? atoi(v) : fallback;
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;  // of the whole process: sender, reader and modem threads
    double switches = 0;
};

// Rounds of raw round trips on one pty and channel exchanges on another, alternately and in
// alternating order, so that both see the same load; the ratio is taken round by round. The
// CPU time of the process per operation is steadier than wall time on a busy machine.
// Argument 1: every log line is still formatted but kept in memory, not written to the file,
// which tells the cost of the log's write apart from the channel's own.
void BM_AtExchange(benchmark::State &state) {
    const int rounds = EnvInt("ZV_BENCH_ROUNDS", 9);
    const int perRound = EnvInt("ZV_BENCH_EXCHANGES", 3000);
    LogToFile log;
    zv::KeepLogInMemory(state.range(0) == 1);
    Pty raw = OpenPty();
    Pty chan = OpenPty();
    std::vector<double> ratios, chanRates, rawRates, chanCpuUs, rawCpuUs, chanSwitches, rawSwitches;
    {
        InstantModem rawModem(raw.master);
        InstantModem chanModem(chan.master);
        if (at_open(chan.slave, IgnoreUnsolicited) != 0) abort();
        auto exchanges = [&](int count) {
            Sample s;
            const double cpu0 = ProcessCpuSeconds(), sw0 = ProcessSwitches();
            const auto t0 = std::chrono::steady_clock::now();
            for (int i = 0; i < count; ++i) {
                ATResponse *r = nullptr;
                if (at_send_command("AT", &r) != 0 || !r || r->success != 1) abort();
                at_response_free(r);
            }
            s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            s.cpuSeconds = ProcessCpuSeconds() - cpu0;
            s.switches = ProcessSwitches() - sw0;
            return s;
        };
        auto trips = [&](int count) {
            Sample s;
            const double cpu0 = ProcessCpuSeconds(), sw0 = ProcessSwitches();
            s.seconds = RawRoundTrips(raw.slave, count);
            s.cpuSeconds = ProcessCpuSeconds() - cpu0;
            s.switches = ProcessSwitches() - sw0;
            return s;
        };
        exchanges(200);  // warm-up of both paths
        trips(200);
        for (auto _ : state) {
            for (int round = 0; round < rounds; ++round) {
                Sample x, y;
                if (round % 2 == 0) {
                    y = trips(perRound);
                    x = exchanges(perRound);
                } else {
                    x = exchanges(perRound);
                    y = trips(perRound);
                }
                chanRates.push_back(perRound / x.seconds);
                rawRates.push_back(perRound / y.seconds);
                ratios.push_back(chanRates.back() / rawRates.back());
                chanCpuUs.push_back(x.cpuSeconds * 1e6 / perRound);
                rawCpuUs.push_back(y.cpuSeconds * 1e6 / perRound);
                chanSwitches.push_back(x.switches / perRound);
                rawSwitches.push_back(y.switches / perRound);
            }
        }
        at_close();
    }
    for (int fd : {raw.master, raw.slave, chan.master}) close(fd);
    zv::KeepLogInMemory(false);

    state.counters["exchanges_per_s"] = Median(chanRates);
    state.counters["raw_trips_per_s"] = Median(rawRates);
    state.counters["ratio_median"] = Median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    state.counters["cpu_us_per_exchange"] = Median(chanCpuUs);
    state.counters["cpu_us_per_raw_trip"] = Median(rawCpuUs);
    state.counters["switches_per_exchange"] = Median(chanSwitches);
    state.counters["switches_per_raw_trip"] = Median(rawSwitches);
}
BENCHMARK(BM_AtExchange)->ArgName("log_in_memory")->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(
    benchmark::kMillisecond);

std::atomic<int64_t> g_routed{0};
std::atomic<int64_t> g_routedTarget{0};
std::mutex g_routedMutex;
std::condition_variable g_routedCond;

void CountUnsolicited(const char *, const char *) {
    if (g_routed.fetch_add(1, std::memory_order_relaxed) + 1 == g_routedTarget.load(std::memory_order_relaxed)) {
        std::lock_guard<std::mutex> lock(g_routedMutex);
        g_routedCond.notify_all();
    }
}

void BM_UnsolicitedLines(benchmark::State &state) {
    LogToFile log;
    // Shapes real modems send on their own, one of them masked in the log.
    static const char *const kLines[] = {
        "+CREG: 1,\"00C3\",\"0000001A\",2",     "^RSSI: 17", "^MODE: 5,4", "+CMTI: \"SM\",3",
        "+CLCC: 1,1,4,0,0,\"13800138000\",129", "^SRVST: 2", "+CGREG: 1",  "^DSFLOWRPT: 0000001A,00000000",
    };
    constexpr int kBatch = 2000;
    std::string batch;
    for (int i = 0; i < kBatch; ++i) {
        batch += "\r\n";
        batch += kLines[i % (sizeof kLines / sizeof kLines[0])];
        batch += "\r\n";
    }

    Pty p = OpenPty();
    g_routed = 0;
    g_routedTarget = 0;
    if (at_open(p.slave, CountUnsolicited) != 0) abort();
    int64_t lines = 0;
    for (auto _ : state) {
        const int64_t target = lines + kBatch;
        g_routedTarget = target;
        WriteAll(p.master, batch.data(), batch.size());
        std::unique_lock<std::mutex> lock(g_routedMutex);
        g_routedCond.wait(lock, [&] { return g_routed.load() >= target; });
        lines = target;
    }
    at_close();
    close(p.master);
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UnsolicitedLines)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMillisecond);

// Context switches (voluntary + involuntary) of every thread of this process but the caller.
long long OtherThreadSwitches() {
    long long total = 0;
    const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    DIR *dir = opendir("/proc/self/task");
    if (!dir) return -1;
    while (struct dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.' || atoi(e->d_name) == self) continue;
        std::string path = std::string("/proc/self/task/") + e->d_name + "/status";
        FILE *f = fopen(path.c_str(), "re");
        if (!f) continue;
        char line[256];
        while (fgets(line, sizeof line, f)) {
            long long n = 0;
            if (sscanf(line, "voluntary_ctxt_switches: %lld", &n) == 1 ||
                sscanf(line, "nonvoluntary_ctxt_switches: %lld", &n) == 1) {
                total += n;
            }
        }
        fclose(f);
    }
    closedir(dir);
    return total;
}

// A quiet modem after a burst of exchanges: the reader thread (and the modem thread of this
// benchmark, which blocks in poll() likewise) must not wake at all. ZV_BENCH_IDLE_S seconds.
void BM_IdleWakeups(benchmark::State &state) {
    const int seconds = EnvInt("ZV_BENCH_IDLE_S", 60);
    LogToFile log;
    Pty chan = OpenPty();
    long long wakes = 0;
    {
        InstantModem modem(chan.master);
        if (at_open(chan.slave, IgnoreUnsolicited) != 0) abort();
        for (auto _ : state) {
            for (int i = 0; i < 100; ++i) {
                if (at_send_command("AT", nullptr) != 0) abort();
            }
            // The reader's short stay off the port after the last exchange ends first.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const long long before = OtherThreadSwitches();
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            wakes = OtherThreadSwitches() - before;
        }
        at_close();
    }
    close(chan.master);
    state.counters["idle_seconds"] = seconds;
    state.counters["wakeups"] = static_cast<double>(wakes);
}
BENCHMARK(BM_IdleWakeups)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Heap of the process after rounds of exchanges and of unsolicited lines: flat when nothing
// is kept per exchange or per line.
void BM_HeapFlat(benchmark::State &state) {
    LogToFile log;
    Pty chan = OpenPty();
    std::vector<double> heap;
    {
        InstantModem modem(chan.master);
        g_routed = 0;
        if (at_open(chan.slave, CountUnsolicited) != 0) abort();
        std::string batch;
        for (int i = 0; i < 1000; ++i) batch += "\r\n^RSSI: 17\r\n";
        for (auto _ : state) {
            for (int round = 0; round < 10; ++round) {
                for (int i = 0; i < 10000; ++i) {
                    ATResponse *r = nullptr;
                    if (at_send_command_singleline("AT", "+X:", &r) != AT_ERR_NO_INTERMEDIATE) abort();
                    at_response_free(r);
                }
                const int64_t target = g_routed.load() + 10000;
                g_routedTarget = target;
                for (int i = 0; i < 10; ++i) WriteAll(chan.master, batch.data(), batch.size());
                std::unique_lock<std::mutex> lock(g_routedMutex);
                g_routedCond.wait(lock, [&] { return g_routed.load() >= target; });
                lock.unlock();
                heap.push_back(static_cast<double>(mallinfo2().uordblks));
            }
        }
        at_close();
    }
    close(chan.master);
    state.counters["heap_kib_after_10k"] = heap.front() / 1024;
    state.counters["heap_kib_after_100k"] = heap.back() / 1024;
}
BENCHMARK(BM_HeapFlat)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
