// The NDIS guard timer: the process's real-time interval timer, whose expiry arrives as
// SIGALRM. The handler only writes one byte into a pipe; a timer thread of our own reads it
// and runs the time-out handling, which takes the state machine's lock and sends AT commands
// (neither may happen inside a signal handler, and the interrupted thread may hold that lock).
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include <zorvik/host.h>
#include <zvlog.h>
#include <zvthread.h>

#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

constexpr long kGuardSeconds = 30;

// The wake-up pipe, made once; the handler and the thread only read these.
std::atomic<int> g_wakeRead{-1}, g_wakeWrite{-1};
// The start of the timer thread: a pipe or a thread that could not be made is tried again at the
// next start-up or arm, never given up on for the life of the process. The lock is held only
// for the pipe and thread calls, never by the thread's time-out handling.
std::mutex g_startMutex;
bool g_threadRunning = false;  // under g_startMutex
// The thread runs and the handler is installed: only then may the timer be armed, as an
// expiry nobody reads would leave the guarded request waiting for ever.
std::atomic<bool> g_ready{false};
std::atomic<long long> g_deadlineMs{0};

void *TimerThread(void *) {
    for (;;) {
        char bytes[16];
        ssize_t n = read(g_wakeRead.load(std::memory_order_relaxed), bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            RLOGD("guard timer thread: read failed, %s", n < 0 ? strerror(errno) : "end of file");
            // The next arm starts another.
            std::lock_guard<std::mutex> lock(g_startMutex);
            g_threadRunning = false;
            g_ready.store(false, std::memory_order_release);
            return nullptr;
        }
        zv::ps::GuardTimerExpired();
    }
}

// Needs g_startMutex.
bool StartTimerThreadLocked() {
    if (g_threadRunning) return true;
    if (g_wakeRead.load(std::memory_order_relaxed) < 0) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) < 0) {
            RLOGD("guard timer: pipe failed, %s", strerror(errno));
            return false;
        }
        fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        g_wakeRead.store(fds[0], std::memory_order_relaxed);
        g_wakeWrite.store(fds[1], std::memory_order_release);
    }
    // The thread must not take SIGALRM itself: it would only interrupt its own read.
    sigset_t alarm, previous;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &previous);
    int err = zv::StartDetachedThread(TimerThread, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (err != 0) {
        RLOGD("guard timer: pthread_create failed, %s", strerror(err));
        return false;
    }
    g_threadRunning = true;
    return true;
}

int ApplyTimeValue() {
    struct itimerval scaled;
    scaled.it_interval = zv::ScaleTimeval(time_value.it_interval);
    scaled.it_value = zv::ScaleTimeval(time_value.it_value);
    return setitimer(ITIMER_REAL, &scaled, nullptr);
}

}  // namespace

extern "C" {

struct itimerval time_value;

void on_signal(int) {
    int saved = errno;
    int fd = g_wakeWrite.load(std::memory_order_relaxed);
    if (fd >= 0) {
        char byte = 1;
        // Non-blocking: a full pipe already holds a wake-up, so losing this one is harmless.
        ssize_t n = write(fd, &byte, 1);
        (void)n;
    }
    errno = saved;
}

void init_sigaction(void) {
    RLOGD("init_sigaction \n");
    std::lock_guard<std::mutex> lock(g_startMutex);
    if (!StartTimerThreadLocked()) {
        RLOGD("guard timer: no timer thread, SIGALRM handler not installed");
        return;
    }
    struct sigaction act;
    memset(&act, 0, sizeof act);
    act.sa_handler = on_signal;
    act.sa_flags = SA_RESTART;
    sigemptyset(&act.sa_mask);
    if (sigaction(SIGALRM, &act, nullptr) < 0) {
        RLOGD("Unable to create handler for SIGALRM\n");
        exit(0);
    }
    g_ready.store(true, std::memory_order_release);
}

// -1 without arming when the timer thread cannot be started.
int TimerStartTime(void) {
    if (!zv::ps::EnsureGuardHandler()) return -1;
    time_value.it_interval.tv_sec = kGuardSeconds;
    time_value.it_interval.tv_usec = 0;
    time_value.it_value.tv_sec = kGuardSeconds;
    time_value.it_value.tv_usec = 0;
    struct timeval scaled = zv::ScaleTimeval(time_value.it_value);
    g_deadlineMs.store(zv::ps::NowMs() + scaled.tv_sec * 1000LL + scaled.tv_usec / 1000, std::memory_order_relaxed);
    int r = ApplyTimeValue();
    if (r != 0) g_deadlineMs.store(0, std::memory_order_relaxed);
    return r;
}

int TimerCleanupTime(void) {
    memset(&time_value, 0, sizeof time_value);
    g_deadlineMs.store(0, std::memory_order_relaxed);
    return ApplyTimeValue();
}

}  // extern "C"

namespace zv::ps {

long long NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000LL + ts.tv_nsec / 1000000;
}

// Without our handler an expiry would end the process (SIGALRM's default action).
bool EnsureGuardHandler() {
    if (!g_ready.load(std::memory_order_acquire)) init_sigaction();
    return g_ready.load(std::memory_order_acquire);
}

long long GuardDeadlineMs() { return g_deadlineMs.load(std::memory_order_relaxed); }

}  // namespace zv::ps
