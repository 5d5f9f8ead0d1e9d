// Running the data path's programs (pppd, ifconfig, dhcpcd) without a shell: the command line
// is split at blanks into an argument vector, or the caller hands the vector itself when an
// argument comes from the framework and may hold blanks. The caller waits for the program:
// pppd for the life of the call, every other program only up to its deadline, after which it
// is stopped and reaped, so that a client that never returns cannot hold its caller for good.
#include <errno.h>
#include <fcntl.h>
#include <paths.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <zorvik/host.h>
#include <zvlog.h>

#include "ps/ps.h"
#include "ps/ps_internal.h"

extern char **environ;

namespace {

constexpr size_t kLineMax = 1024;  // the copy of the command line, terminator included
constexpr size_t kArgMax = 32;     // argument slots, the terminating null included

// Like system(), the waiting caller does not die of the terminal's interrupt and quit keys.
// The handlers are process-wide while several threads may be waiting at once (pppd runs for
// the life of a call): the first waiter saves and ignores them, the last one restores them.
std::mutex g_ignoreMutex;
int g_waiters = 0;
struct sigaction g_savedInt, g_savedQuit;

void BeginWait() {
    std::lock_guard<std::mutex> lock(g_ignoreMutex);
    if (g_waiters++ > 0) return;
    struct sigaction ignore;
    memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &g_savedInt);
    sigaction(SIGQUIT, &ignore, &g_savedQuit);
}

void EndWait() {
    std::lock_guard<std::mutex> lock(g_ignoreMutex);
    if (--g_waiters > 0) return;
    sigaction(SIGINT, &g_savedInt, nullptr);
    sigaction(SIGQUIT, &g_savedQuit, nullptr);
}

// A program that was asked to stop gets this long to do so before it is killed.
constexpr long long kStopGraceMs = 1000;
// A real program keeps its own pace whatever the test clock says: its deadline is scaled like
// the library's other waits, but never below this (nor above the unscaled deadline).
constexpr long long kProgramFloorMs = 3000;

long long DeadlineAfter(long long ms) {
    return zv::ps::NowMs() + std::max(zv::ScaleMs(ms), std::min(ms, kProgramFloorMs));
}

void Pause(long long *stepMs) {
    struct timespec ts = {0, static_cast<long>(*stepMs) * 1000000L};
    nanosleep(&ts, nullptr);
    *stepMs = std::min(*stepMs * 2, 50LL);
}

// Reaps the child, waiting until the deadline (0: for as long as it runs). Past the deadline
// the child's process group is asked to stop, then killed, and the child is reaped all the
// same; the result is then -1, as for a failed wait.
int WaitChild(pid_t pid, long long deadline, const char *name, bool *stopped = nullptr) {
    int status = 0;
    long long step = 1;
    for (;;) {
        pid_t r = waitpid(pid, &status, deadline ? WNOHANG : 0);
        if (r == pid) return status;
        if (r < 0 && errno != EINTR) return -1;
        if (r == 0 && zv::ps::NowMs() >= deadline) break;
        if (r == 0) Pause(&step);
    }
    RLOGD("%s did not end in time: stopping it", name);
    if (stopped) *stopped = true;
    if (kill(-pid, SIGTERM) < 0) kill(pid, SIGTERM);
    const long long grace = zv::ps::NowMs() + zv::ScaleMs(kStopGraceMs);
    step = 1;
    bool reaped = false;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            reaped = true;
            break;
        }
        if (r == 0 && zv::ps::NowMs() >= grace) break;
        if (r == 0) Pause(&step);
    }
    // Whatever the program started may have outlived it, ignoring the request to stop: the
    // group's number stays taken while any of them lives.
    if (kill(-pid, SIGKILL) < 0 && !reaped) kill(pid, SIGKILL);
    if (!reaped) {
        pid_t r;
        do {
            r = waitpid(pid, &status, 0);
        } while (r < 0 && errno == EINTR);
    }
    return -1;
}

// Starts the program at path with argv and the file actions given; a bounded program gets a
// process group of its own, so that stopping it stops whatever it started too. Returns the
// child, or -1 with *status set to what the caller answers instead.
pid_t Spawn(const char *path, const char *const *argv, const posix_spawn_file_actions_t *files, bool bounded,
            sigset_t *previous, int *status) {
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &chld, previous);

    // posix_spawn instead of a hand-made vfork: the child runs nothing but the exec, and the
    // sanitizers and the C library know how to follow it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    sigaddset(&defaults, SIGALRM);
    posix_spawnattr_setsigmask(&attr, previous);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (bounded) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
    pid_t pid = -1;
    int err = posix_spawn(&pid, path, files, &attr, const_cast<char *const *>(argv), environ);
    posix_spawnattr_destroy(&attr);
    if (err == 0) return pid;
    pthread_sigmask(SIG_SETMASK, previous, nullptr);
    // The C library reports a program that cannot be executed here instead of in the child;
    // answer as a child that failed its exec would have.
    if (err == ENOENT || err == EACCES || err == ENOEXEC || err == ENOTDIR || err == ELOOP) {
        RLOGD("ril_exec_cmd: cannot execute %s: %s", argv[0], strerror(err));
        *status = 127 << 8;
    } else {
        RLOGD("ril_exec_cmd: cannot start %s: %s", argv[0], strerror(err));
        *status = -1;
    }
    return -1;
}

int RunArgv(const char *const *argv, long long boundMs, bool *stopped) {
    if (!argv || !argv[0]) return -1;
    std::string program = zv::RootPath(argv[0]);
    const long long deadline = boundMs > 0 ? DeadlineAfter(boundMs) : 0;
    sigset_t previous;
    int status = -1;
    pid_t pid = Spawn(program.c_str(), argv, nullptr, boundMs > 0, &previous, &status);
    if (pid < 0) return status;
    BeginWait();
    status = WaitChild(pid, deadline, argv[0], stopped);
    EndWait();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return status;
}

}  // namespace

namespace zv::ps {

int RunProgram(const char *const *argv, long long boundMs, bool *stopped) {
    if (stopped) *stopped = false;
    return RunArgv(argv, boundMs, stopped);
}

bool ReadCommandOutput(const char *command, long long boundMs, size_t maxBytes, std::string *out) {
    out->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) < 0) return false;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char *const argv[] = {"sh", "-c", command, nullptr};
    const long long deadline = DeadlineAfter(boundMs);
    sigset_t previous;
    int status = -1;
    pid_t pid = Spawn(_PATH_BSHELL, argv, &files, true, &previous, &status);
    posix_spawn_file_actions_destroy(&files);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    bool ended = false;
    char chunk[512];
    while (out->size() < maxBytes) {
        const long long left = deadline - NowMs();
        if (left <= 0) break;
        struct pollfd p = {fds[0], POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(std::min(left, 1000LL)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        ssize_t n = read(fds[0], chunk, std::min(sizeof chunk, maxBytes - out->size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = n == 0;
            break;
        }
        out->append(chunk, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (!ended && out->size() < maxBytes) RLOGD("%s: no end of output in time", command);
    // A program that has said all it will is given what is left of the deadline to end; one
    // that has not is stopped now.
    WaitChild(pid, ended ? deadline : NowMs(), command);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ended || out->size() >= maxBytes;
}

}  // namespace zv::ps

extern "C" {

int ril_exec_argv(const char *const *argv) { return RunArgv(argv, 0, nullptr); }

int ril_exec_cmd(const char *cmdline) {
    if (!cmdline) return 1;
    size_t length = strnlen(cmdline, kLineMax);
    // Only the program's name goes to the log: the rest may hold a password.
    std::string program(cmdline, strcspn(cmdline, " "));
    if (length >= kLineMax - 1) {
        RLOGD("command line too long while processing: %s", program.c_str());
        return -1;
    }
    RLOGD("ril_exec_cmd command len is:%d", static_cast<int>(length));
    std::string copy(cmdline, length);
    std::vector<const char *> argv;
    argv.reserve(kArgMax);
    char *save = nullptr;
    for (char *piece = strtok_r(copy.data(), " ", &save); piece; piece = strtok_r(nullptr, " ", &save)) {
        if (argv.size() == kArgMax - 1) {
            RLOGD("argument overflow while processing: %s", program.c_str());
            return -1;
        }
        argv.push_back(piece);
    }
    if (argv.empty()) return -1;
    argv.push_back(nullptr);
    return ril_exec_argv(argv.data());
}

}  // extern "C"
