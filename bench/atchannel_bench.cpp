// The AT channel's cost on a pseudo-terminal, with its logging on (to a file):
// - exchanges per second of at_send_command against a modem that answers at once, reported
//   with the raw round-trip rate of the same kind of pty measured in the same run and their
//   ratio, which is what the channel keeps of what the tty allows;
// - unsolicited lines routed to the handler per second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <zorvik/host.h>

#include "atchannel/atchannel.h"

namespace {

struct Pty {
    int master = -1;
    int slave = -1;
};

Pty OpenPty() {
    Pty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0) abort();
    p.slave = open(ptsname(p.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.slave < 0) abort();
    struct termios t;
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    tcsetattr(p.slave, TCSANOW, &t);
    return p;
}

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

// The raw round trips run on a second pty in blocks between blocks of exchanges, so both
// rates see the same machine load and the ratio stays meaningful on a busy machine.
void BM_AtExchange(benchmark::State &state) {
    constexpr int kBlock = 256;
    LogToFile log;
    Pty raw = OpenPty();
    Pty chan = OpenPty();
    double rawSeconds = 0;
    int64_t rawTrips = 0;
    double chanSeconds = 0;
    int64_t exchanges = 0;
    {
        InstantModem rawModem(raw.master);
        InstantModem chanModem(chan.master);
        if (at_open(chan.slave, IgnoreUnsolicited) != 0) abort();
        auto blockStart = std::chrono::steady_clock::now();
        for (auto _ : state) {
            ATResponse *r = nullptr;
            if (at_send_command("AT", &r) != 0 || !r || r->success != 1) abort();
            at_response_free(r);
            if (++exchanges % kBlock == 0) {
                state.PauseTiming();
                std::chrono::duration<double> took = std::chrono::steady_clock::now() - blockStart;
                chanSeconds += took.count();
                rawSeconds += RawRoundTrips(raw.slave, kBlock);
                rawTrips += kBlock;
                state.ResumeTiming();
                blockStart = std::chrono::steady_clock::now();
            }
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - blockStart;
        chanSeconds += took.count();
        at_close();
    }
    for (int fd : {raw.master, raw.slave, chan.master}) close(fd);

    const double chanRate = exchanges / chanSeconds;
    const double rawRate = rawTrips > 0 ? rawTrips / rawSeconds : 0;
    state.counters["exchanges_per_s"] = chanRate;
    state.counters["raw_round_trips_per_s"] = rawRate;
    state.counters["ratio"] = rawRate > 0 ? chanRate / rawRate : 0;
}
BENCHMARK(BM_AtExchange)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

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

}  // namespace
