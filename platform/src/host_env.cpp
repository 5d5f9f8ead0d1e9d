// The one place that reads the host environment: filesystem root, time scale, log target
// and property directory. Device builds do not compile this file.
#include "host_env.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <vector>

#include <zorvik/host.h>

namespace zv {
namespace {

struct HostEnv {
    std::string root;
    std::string logFile;
    std::string propertyDir;
    int timeScale = 1;
};

std::mutex g_envMutex;
// Replaced on reload but never freed: a reader may still hold the old one. Old ones stay
// reachable from this list so leak checkers see them as kept, not lost.
HostEnv *g_env = nullptr;
std::vector<HostEnv *> &Retired() {
    static auto *v = new std::vector<HostEnv *>;
    return *v;
}
std::atomic<int> g_scale{0};

HostEnv *Load() {
    auto *e = new HostEnv;
    if (const char *v = getenv("ZORVIK_ROOT")) e->root = v;
    while (!e->root.empty() && e->root.back() == '/') e->root.pop_back();
    if (const char *v = getenv("ZORVIK_LOG_FILE")) e->logFile = v;
    if (const char *v = getenv("ZORVIK_PROPERTY_DIR")) e->propertyDir = v;
    if (const char *v = getenv("ZORVIK_TIME_SCALE")) {
        long n = strtol(v, nullptr, 10);
        e->timeScale = n >= 1 ? static_cast<int>(n) : 1;
    }
    return e;
}

const HostEnv &Env() {
    std::lock_guard<std::mutex> lock(g_envMutex);
    if (!g_env) {
        g_env = Load();
        g_scale.store(g_env->timeScale, std::memory_order_relaxed);
    }
    return *g_env;
}

}  // namespace

void ReloadHostEnvironment() {
    {
        std::lock_guard<std::mutex> lock(g_envMutex);
        if (g_env) Retired().push_back(g_env);
        g_env = Load();
        g_scale.store(g_env->timeScale, std::memory_order_relaxed);
    }
    ReopenLogTarget();
}

std::string RootPath(const char *logical) {
    const HostEnv &e = Env();
    if (!logical) return {};
    if (e.root.empty() || logical[0] != '/') return logical;
    return e.root + logical;
}

int TimeScale() {
    int s = g_scale.load(std::memory_order_relaxed);
    if (s == 0) s = Env().timeScale;
    return s;
}

long long ScaleMs(long long ms) {
    int s = TimeScale();
    if (ms <= 0 || s == 1) return ms;
    long long r = ms / s;
    return r > 0 ? r : 1;
}

struct timeval ScaleTimeval(const struct timeval &tv) {
    int s = TimeScale();
    if (s == 1) return tv;
    long long us = static_cast<long long>(tv.tv_sec) * 1000000LL + tv.tv_usec;
    if (us > 0) {
        us /= s;
        if (us == 0) us = 1;
    }
    struct timeval out;
    out.tv_sec = static_cast<time_t>(us / 1000000LL);
    out.tv_usec = static_cast<suseconds_t>(us % 1000000LL);
    return out;
}

std::string HostLogFile() { return Env().logFile; }
std::string HostPropertyDir() { return Env().propertyDir; }

}  // namespace zv
