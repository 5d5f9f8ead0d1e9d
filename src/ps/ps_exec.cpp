// Running the data path's programs (pppd, ifconfig, dhcpcd) without a shell: the command line
// is split at blanks into an argument vector, or the caller hands the vector itself when an
// argument comes from the framework and may hold blanks. The caller waits for the program.
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include <zorvik/host.h>
#include <zvlog.h>

#include "ps/ps.h"

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

}  // namespace

extern "C" {

int ril_exec_argv(const char *const *argv) {
    if (!argv || !argv[0]) return -1;
    std::string program = zv::RootPath(argv[0]);

    sigset_t chld, previous;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &chld, &previous);

    // posix_spawn instead of a hand-made vfork: the child runs nothing but the exec, and the
    // sanitizers and the C library know how to follow it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    sigaddset(&defaults, SIGALRM);
    posix_spawnattr_setsigmask(&attr, &previous);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int err = posix_spawn(&pid, program.c_str(), nullptr, &attr, const_cast<char *const *>(argv), environ);
    posix_spawnattr_destroy(&attr);
    if (err != 0) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        // The C library reports a program that cannot be executed here instead of in the
        // child; answer as a child that failed its exec would have.
        if (err == ENOENT || err == EACCES || err == ENOEXEC || err == ENOTDIR || err == ELOOP) {
            RLOGD("ril_exec_cmd: cannot execute %s: %s", argv[0], strerror(err));
            return 127 << 8;
        }
        RLOGD("ril_exec_cmd: cannot start %s: %s", argv[0], strerror(err));
        return -1;
    }

    BeginWait();
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    EndWait();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return r < 0 ? -1 : status;
}

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
