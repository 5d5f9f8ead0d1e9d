// Host log: one logcat-style line per call ("D/RIL     ( pid): text"), written with a
// single write() so concurrent lines never interleave. Goes to ZORVIK_LOG_FILE when set,
// else to stderr. A test may also install an in-process capture, and a fuzz target keep the
// lines in memory: millions of runs would otherwise write gigabytes of log.
#include <android/log.h>

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
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

namespace {

// Appends src to buf[*at..cap-1), cut at the end; the result stays NUL-terminated.
void Append(char *buf, size_t cap, size_t *at, const char *src, size_t n) {
    if (*at + 1 >= cap) return;
    if (n > cap - 1 - *at) n = cap - 1 - *at;
    memcpy(buf + *at, src, n);
    *at += n;
    buf[*at] = '\0';
}

// The message of a format whose only conversions are plain "%s" (the AT lines, written twice
// an exchange, and most others) is put together by copying, as vsnprintf would print it
// (a null string as "(null)"); any other format is left to vsnprintf. Returns the length the
// whole message has, or -1 when the format is not of that kind.
int FormatPlainStrings(char *buf, size_t cap, const char *fmt, va_list ap) {
    for (const char *p = strchr(fmt, '%'); p; p = strchr(p + 2, '%'))
        if (p[1] != 's') return -1;
    size_t at = 0, whole = 0;
    buf[0] = '\0';
    for (const char *p = fmt; *p;) {
        const char *pct = strchr(p, '%');
        const size_t n = pct ? static_cast<size_t>(pct - p) : strlen(p);
        Append(buf, cap, &at, p, n);
        whole += n;
        if (!pct) break;
        const char *arg = va_arg(ap, const char *);
        if (!arg) arg = "(null)";
        const size_t m = strlen(arg);
        Append(buf, cap, &at, arg, m);
        whole += m;
        p = pct + 2;
    }
    return whole > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(whole);
}

}  // namespace
}  // namespace zv

extern "C" __attribute__((visibility("default"))) int __android_log_print(int prio, const char *tag, const char *fmt,
                                                                          ...) {
    char text[4096];
    if (!fmt) return -1;
    va_list ap;
    va_start(ap, fmt);
    int n = zv::FormatPlainStrings(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_start(ap, fmt);
        n = vsnprintf(text, sizeof text, fmt, ap);
        va_end(ap);
    }
    if (n < 0) return -1;
    size_t len = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1;
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r')) text[--len] = '\0';
    if (!tag) tag = "";

    if (zv::LogCapture cap = zv::g_capture.load()) cap(prio, tag, text, zv::g_captureCtx.load());

    // "%c/%-8s(%5d): %s\n", put together by hand: it is written for every line.
    char line[4096 + 64];
    size_t total = 0;
    line[total++] = zv::PriorityLetter(prio);
    line[total++] = '/';
    const size_t tagLen = strnlen(tag, 32);
    memcpy(line + total, tag, tagLen);
    total += tagLen;
    for (size_t i = tagLen; i < 8; ++i) line[total++] = ' ';
    line[total++] = '(';
    char digits[16];
    size_t d = sizeof digits;
    unsigned pid = static_cast<unsigned>(zv::CachedPid());
    do {
        digits[--d] = static_cast<char>('0' + pid % 10);
        pid /= 10;
    } while (pid != 0 && d > 0);
    for (size_t width = sizeof digits - d; width < 5; ++width) line[total++] = ' ';
    memcpy(line + total, digits + d, sizeof digits - d);
    total += sizeof digits - d;
    memcpy(line + total, "): ", 3);
    total += 3;
    const size_t room = sizeof line - 1 - total;  // the line end always fits
    const size_t textLen = len < room ? len : room;
    memcpy(line + total, text, textLen);
    total += textLen;
    line[total++] = '\n';
    // The line is complete on the stack; only the system call and the file behind it are spared.
    if (zv::g_inMemory.load(std::memory_order_relaxed)) return static_cast<int>(len);
    int fd = zv::TargetFd();
    ssize_t w;
    do {
        w = write(fd, line, total);
    } while (w < 0 && errno == EINTR);
    return static_cast<int>(len);
}
