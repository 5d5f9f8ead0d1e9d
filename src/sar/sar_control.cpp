// The SAR state follower. The state file is a sysfs attribute: a driver that calls
// sysfs_notify() on a change wakes a poll() for POLLPRI on it, one that does not is simply
// read again at a modest interval. Either way the thread sleeps between reads; it never reads
// the file in a loop. The modem is told when the file names a different state than last time
// (or the kernel says it was written again), so a steady file costs one read per interval and
// no AT traffic.
#include "sar/sar.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <zorvik/host.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "dev/dev.h"

extern "C" {
pthread_t s_tid_processSarCtrlNotification;
}

namespace zv::sar {
namespace {

constexpr size_t kMaxLine = 49;             // the state file is one line of at most 49 characters
constexpr size_t kReadBytes = 64;           // enough to tell a line of 49 from a longer one
constexpr long long kMissingFileMs = 10000;  // look for a missing state file again this often
constexpr long long kRecheckMs = 1000;       // re-read a file that does not notify this often
constexpr char kContinue[] = "SAR_CONTINUE";

std::atomic<bool> g_following{false};

struct StateWord {
    const char *word;
    SarState state;
};
// Compared over the word's own length, in this order.
constexpr StateWord kStateWords[] = {
    {"SAR_CONTROL_ON", SarState::kOn},
    {"SAR_CONTROL_OFF", SarState::kOff},
    {"SAR_CONTROL_SUSPEND", SarState::kSuspend},
};

void SleepMs(long long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(zv::ScaleMs(ms))); }

// Runs on the daemon's timed-callback thread, so that the follower never waits on the modem
// (a modem that withholds its answer cannot hold up following the file) and keeps no state of
// the channel's. It sends the level that is current by then, and nothing in airplane mode.
void SendCurrentLevel(void *) {
    const int level = zv::Load(g_sarctrl);
    if ((level != 0 && level != 1) || zv::Load(g_airplanemode) != 0) return;
    RLOGD("Airplane Mode OFF, send AT command");
    at_send_command(level ? "AT^SARCTRL=1" : "AT^SARCTRL=0", nullptr);
}

void Tell(const char *word, int level) {
    RLOGD("***************%s:%s\n", "processSarCtrlNotification", word);
    // Stored before anything looks at airplane mode: switching the radio on clears airplane
    // mode before it replays the level, so one of the two sides sends the new one.
    zv::Store(g_sarctrl, level);
    zv::ScheduleCallback(SendCurrentLevel, nullptr, 0, 0);
}

// The driver waits for the host to confirm a suspension.
void WriteContinue() {
    const std::string path = zv::RootPath(kStateFile);
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return;
    ssize_t n;
    do {
        n = write(fd, kContinue, sizeof kContinue - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
}

void Apply(const StateText &text) {
    if (text.empty) RLOGD("***************************read NULL***************");
    switch (Classify(text)) {
        case SarState::kOn:
            Tell("SAR_CONTROL_ON", 1);
            break;
        case SarState::kOff:
            Tell("SAR_CONTROL_OFF", 0);
            break;
        case SarState::kSuspend:
            Tell("SAR_CONTROL_SUSPEND", 1);
            WriteContinue();
            break;
        case SarState::kUnknown:
            RLOGD("**************%s:string not match!", "processSarCtrlNotification");
            break;
    }
}

// What decides whether a read is news: the line, or a marker for the two unreadable cases.
std::string KeyOf(const StateText &text) {
    if (text.empty) return std::string(1, '\x01');
    if (text.tooLong) return std::string(1, '\x02');
    return text.line;
}

bool ClaimFollower() {
    if (g_following.exchange(true)) {
        RLOGD("processSarCtrlNotification: the state file is followed already");
        return false;
    }
    pthread_setname_np(pthread_self(), "zv-sar");
    return true;
}

}  // namespace

StateText ReadStateText(int fd) {
    char buffer[kReadBytes];
    size_t n = 0;
    while (n < sizeof buffer) {
        ssize_t r = read(fd, buffer + n, sizeof buffer - n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        n += static_cast<size_t>(r);
    }
    StateText text;
    if (n == 0) {
        text.empty = true;
        return text;
    }
    size_t length = 0;
    while (length < n && buffer[length] != '\n' && buffer[length] != '\0') ++length;
    if (length > kMaxLine) {
        text.tooLong = true;
        return text;
    }
    text.line.assign(buffer, length);
    return text;
}

SarState Classify(const StateText &text) {
    if (text.empty || text.tooLong) return SarState::kUnknown;
    for (const StateWord &w : kStateWords)
        if (text.line.compare(0, strlen(w.word), w.word) == 0) return w.state;
    return SarState::kUnknown;
}

void Follow(const std::function<bool()> &stop) {
    RLOGD("************create thread*****************");
    std::string last;
    bool haveLast = false;
    bool notified = false;
    while (!stop || !stop()) {
        const std::string path = zv::RootPath(kStateFile);
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            haveLast = false;
            SleepMs(kMissingFileMs);
            continue;
        }
        const StateText text = ReadStateText(fd);
        std::string key = KeyOf(text);
        if (notified || !haveLast || key != last) {
            Apply(text);
            last = std::move(key);
            haveLast = true;
        }
        // The read above armed the attribute's notification; a plain file never signals POLLPRI.
        struct pollfd pfd = {fd, POLLPRI, 0};
        const auto started = std::chrono::steady_clock::now();
        const int ready = poll(&pfd, 1, static_cast<int>(zv::ScaleMs(kRecheckMs)));
        close(fd);
        notified = ready > 0 && (pfd.revents & POLLPRI) != 0;
        if (!notified && ready != 0) {
            // Woken for anything else (a hang-up, a signal): still wait out the interval.
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count();
            const long long rest = zv::ScaleMs(kRecheckMs) - waited;
            if (rest > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rest));
        }
    }
}

void *LibrarySarThread(void *) {
    const std::string path = zv::RootPath(kStateFile);
    if (access(path.c_str(), F_OK) != 0) return nullptr;  // no SAR driver on this device
    if (!ClaimFollower()) return nullptr;
    std::atomic_ref<pthread_t>(s_tid_processSarCtrlNotification).store(pthread_self(), std::memory_order_release);
    // The library runs SAR control here, so switching the radio on applies the level again.
    zv::Store(sarfeature, 1);
    Follow({});
    return nullptr;
}

}  // namespace zv::sar

extern "C" void *processSarCtrlNotification(void * /*arg*/) {
    if (!zv::sar::ClaimFollower()) return nullptr;
    zv::sar::Follow({});
    return nullptr;
}
