// Host log: one logcat-style line per call ("D/RIL     ( pid): text"), written with a
// single write() so concurrent lines never interleave. Goes to ZORVIK_LOG_FILE when set,
// else to stderr. A test may also install an in-process capture, and a fuzz target keep the
// lines in memory: millions of runs would otherwise write gigabytes of log.
#include <android/log.h>

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include <zorvik/host.h>

#include "host_env.h"

namespace zv {
namespace {

std::mutex g_targetMutex;
std::atomic<int> g_fd{-2};  // -2: not opened yet
std::atomic<LogCapture> g_capture{nullptr};
std::atomic<void *> g_captureCtx{nullptr};
std::atomic<bool> g_inMemory{false};

int TargetFd() {
    int fd = g_fd.load(std::memory_order_acquire);
    if (fd != -2) return fd;
    std::lock_guard<std::mutex> lock(g_targetMutex);
    fd = g_fd.load(std::memory_order_relaxed);
    if (fd != -2) return fd;
    std::string path = HostLogFile();
    fd = STDERR_FILENO;
    if (!path.empty()) {
        int f = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (f >= 0) fd = f;
    }
    g_fd.store(fd, std::memory_order_release);
    return fd;
}

// getpid() is a system call; the log writes a line per AT exchange, so the pid is taken once
// (and again after a fork, when it changes).
int CachedPid() {
    static std::atomic<int> pid{0};
    static std::atomic<bool> atforkRegistered{false};
    int p = pid.load(std::memory_order_relaxed);
    if (p == 0) {
        p = static_cast<int>(getpid());
        pid.store(p, std::memory_order_relaxed);
        if (!atforkRegistered.exchange(true))
            pthread_atfork(nullptr, nullptr, [] { pid.store(0, std::memory_order_relaxed); });
    }
    return p;
}

char PriorityLetter(int prio) {
    static const char kLetters[] = "??VDIWEFS";
    return (prio >= 0 && prio <= ANDROID_LOG_SILENT) ? kLetters[prio] : '?';
}

}  // namespace

// Another thread may have loaded the descriptor and be about to write to it, so a descriptor
// the log has handed out is never closed: a new target is put in its place with dup2(), which
// swaps the file under the same number at once, and a writer's line lands in the old file or
// in the new one but never in whatever a close would have let reuse the number.
void ReopenLogTarget() {
    std::lock_guard<std::mutex> lock(g_targetMutex);
    const int old = g_fd.load(std::memory_order_relaxed);
    if (old <= STDERR_FILENO) {
        // Not opened yet, or standard error (which is not ours to replace): open afresh.
        g_fd.store(-2, std::memory_order_release);
        return;
    }
    std::string path = HostLogFile();
    int next = -1;
    if (!path.empty()) next = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (next < 0) next = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (next < 0) return;  // keep writing to the old file rather than lose the log
    while (dup3(next, old, O_CLOEXEC) < 0 && errno == EINTR) {
    }
    close(next);
}

void SetLogCapture(LogCapture fn, void *ctx) {
    g_captureCtx.store(ctx);
    g_capture.store(fn);
}

void KeepLogInMemory(bool on) { g_inMemory.store(on, std::memory_order_relaxed); }

}  // namespace zv

extern "C" __attribute__((visibility("default"))) int __android_log_print(int prio, const char *tag, const char *fmt,
                                                                          ...) {
    char text[4096];
    if (!fmt) return -1;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0) return -1;
    size_t len = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1;
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r')) text[--len] = '\0';
    if (!tag) tag = "";

    if (zv::LogCapture cap = zv::g_capture.load()) cap(prio, tag, text, zv::g_captureCtx.load());

    char line[4096 + 64];
    int m = snprintf(line, sizeof line, "%c/%-8s(%5d): %s\n", zv::PriorityLetter(prio), tag, zv::CachedPid(),
                     text);
    if (m < 0) return -1;
    size_t total = static_cast<size_t>(m) < sizeof line ? static_cast<size_t>(m) : sizeof line - 1;
    if (total == sizeof line - 1) line[total - 1] = '\n';
    // The line is complete on the stack; only the system call and the file behind it are spared.
    if (zv::g_inMemory.load(std::memory_order_relaxed)) return static_cast<int>(len);
    int fd = zv::TargetFd();
    ssize_t w;
    do {
        w = write(fd, line, total);
    } while (w < 0 && errno == EINTR);
    return static_cast<int>(len);
}
