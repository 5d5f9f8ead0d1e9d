// Reports end to end: floods of one kind of indication written to the modem side of a
// pseudo-terminal, read by the AT channel, routed to the network service and delivered to the
// daemon. "^RSSI:" and "^HCSQ:" become RIL_UNSOL_SIGNAL_STRENGTH (1009), "+CREG:" and "^MODE:"
// RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED (1002). Reports the reports received per
// second (line in to OnUnsolicitedResponse out), with the log going to a file as on a device.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include <zorvik/host.h>
#include <zvril.h>
#include <zvshared.h>

#include "bench_pty.h"
#include "atchannel/atchannel.h"

namespace {

std::atomic<int> g_counted{RIL_UNSOL_SIGNAL_STRENGTH};
std::atomic<int64_t> g_reports{0};
std::atomic<int64_t> g_target{0};
std::mutex g_mutex;
std::condition_variable g_cond;

void OnUnsolicited(int id, const void *, size_t) {
    if (id != g_counted.load()) return;
    if (g_reports.fetch_add(1) + 1 >= g_target.load()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_cond.notify_all();
    }
}
void OnComplete(RIL_Token, RIL_Errno, void *, size_t) {}
void OnTimed(RIL_TimedCallback, void *, const struct timeval *) {}

void WriteAll(int fd, const char *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n <= 0) return;
        data += n;
        len -= static_cast<size_t>(n);
    }
}

struct Flood {
    int id;
    const char *lines[4];
};
const Flood kFloods[] = {
    {RIL_UNSOL_SIGNAL_STRENGTH, {"^RSSI: 17", "^RSSI: 18", "^RSSI: 150", "^RSSI: 19"}},
    {RIL_UNSOL_SIGNAL_STRENGTH,
     {"^HCSQ: \"LTE\",60,70,100,20", "^HCSQ: \"WCDMA\",50,40,35", "^HCSQ: \"LTE\",61,70,100,20",
      "^HCSQ: \"GSM\",40"}},
    {RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED,
     {"+CREG: 1,\"00C3\",\"0000001A\",2", "+CREG: 5", "+CREG: 1,\"00C4\",\"0000001B\",7", "+CREG: 2"}},
    {RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, {"^MODE: 5,4", "^MODE: 3,3", "^MODE: 17,17", "^MODE: 5,9"}},
};

void BM_Reports(benchmark::State &state) {
    const Flood &flood = kFloods[state.range(0)];
    g_counted = flood.id;
    char logPath[] = "/tmp/zv-sigbench-XXXXXX";
    int logFd = mkstemp(logPath);
    if (logFd < 0) abort();
    close(logFd);
    setenv("ZORVIK_LOG_FILE", logPath, 1);
    zv::ReloadHostEnvironment();

    static const RIL_Env env = {OnComplete, OnUnsolicited, OnTimed};
    const RIL_Env *savedEnv = s_rilenv;
    s_rilenv = &env;
    const int savedState = zv::Load(sState), savedVersion = zv::Load(ANDROID_VERSION);
    zv::Store(sState, RADIO_STATE_SIM_READY);
    zv::Store(ANDROID_VERSION, 6);

    constexpr int kBatch = 2000;
    std::string batch;
    for (int i = 0; i < kBatch; ++i) {
        batch += "\r\n";
        batch += flood.lines[i % 4];
        batch += "\r\n";
    }

    const zvbench::Pty pty = zvbench::OpenRawPty();
    const int master = pty.master, slave = pty.slave;
    g_reports = 0;
    if (at_open(slave, ZvRilUnsolicited) != 0) abort();
    int64_t reports = 0;
    for (auto _ : state) {
        const int64_t target = reports + kBatch;
        g_target = target;
        WriteAll(master, batch.data(), batch.size());
        std::unique_lock<std::mutex> lock(g_mutex);
        g_cond.wait(lock, [&] { return g_reports.load() >= target; });
        reports = target;
    }
    at_close();
    close(master);
    s_rilenv = savedEnv;
    zv::Store(sState, savedState);
    zv::Store(ANDROID_VERSION, savedVersion);
    unsetenv("ZORVIK_LOG_FILE");
    zv::ReloadHostEnvironment();
    unlink(logPath);
    state.counters["reports_per_s"] = benchmark::Counter(static_cast<double>(reports), benchmark::Counter::kIsRate);
}
// 0 ^RSSI, 1 ^HCSQ, 2 +CREG, 3 ^MODE
BENCHMARK(BM_Reports)->DenseRange(0, 3)->MinTime(1.0)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
