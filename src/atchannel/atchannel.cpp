// The AT channel: one reader thread per open port turns the byte stream into lines and
// routes each to the exchange in progress or to the unsolicited handler; senders take turns
// through s_readdelmutex and wait on the channel's condition for their final line.
//
// Two choices go beyond the plain request/response protocol:
// - Waits are measured on CLOCK_MONOTONIC, so setting the wall clock (the network time
//   indication does exactly that on a device) can neither cut a wait short nor stretch it.
// - A single time-out is the modem being slow and leaves the channel alone. Several in a row
//   with not one line from the modem in between mean the port is dead although it is still
//   open; that exchange then fails with AT_ERR_TIMEOUT, which runs the time-out hook so the
//   owner can close and reopen the port.
#include "atchannel/atchannel.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include <zorvik/host.h>

#include "atchannel/at_internal.h"
#include "zvlog.h"
#include "zvshared.h"

extern "C" {
pthread_mutex_t s_readdelmutex = PTHREAD_MUTEX_INITIALIZER;
int at_request = 0;
int g_at_type = 1;
int terminal_connect = 0;
}

namespace zv::at {

std::atomic<int> g_failResponseAllocs{0};

namespace {

constexpr int kAllocAttempts = 10;
constexpr int kHandshakeAttempts = 8;
constexpr long long kHandshakeSettleMs = 250;
// A descriptor opened non-blocking may refuse a write while the modem drains its input; a
// port that takes longer than this to accept a few bytes is not coming back.
constexpr long long kWriteStallMs = 5000;
// write() returning 0 again and again would otherwise spin forever.
constexpr int kMaxEmptyWrites = 100;

// Everything one reader thread owns. The channel drops its reference on close; the thread
// keeps its own until it has stopped touching the descriptor, so the descriptor is closed
// only after that and its number cannot be reused under a reader that still reads it.
struct ReaderContext {
    int fd = -1;
    int wakeFd = -1;  // eventfd: at_close wakes a reader blocked in poll()
    std::atomic<bool> stop{false};
    std::mutex doneMutex;
    std::condition_variable doneCond;
    bool done = false;
    LineSplitter splitter;

    ~ReaderContext() {
        if (wakeFd >= 0) close(wakeFd);
    }
};

struct Channel {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;

    // Guarded by mutex.
    int fd = -1;
    bool readerClosed = false;
    unsigned generation = 0;  // bumped by every open, so a waiter notices a reopen
    std::shared_ptr<ReaderContext> reader;
    ATResponse *pending = nullptr;
    ATCommandType type = AT_TYPE_NO_RESULT;
    const char *prefix = nullptr;
    const char *pdu = nullptr;

    std::atomic<ATUnsolHandler> unsol{nullptr};
    std::atomic<void (*)(void)> onTimeout{nullptr};
    std::atomic<void (*)(void)> onReaderClosed{nullptr};
    std::atomic<int> silentTimeouts{0};

    Channel() {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_condattr_destroy(&attr);
    }
};

// Never destroyed: a detached reader may still run while the process exits.
Channel &Chan() {
    static Channel *channel = new Channel;
    return *channel;
}

thread_local const ReaderContext *t_reader = nullptr;

void Lock(pthread_mutex_t *m, const char *failure) {
    if (pthread_mutex_lock(m) != 0) RLOGD("%s", failure);
}

void Unlock(pthread_mutex_t *m, const char *failure) {
    if (pthread_mutex_unlock(m) != 0) RLOGD("%s", failure);
}

// Writes every byte of the vector, continuing after partial writes and retrying interrupted
// ones. The command and its line end go out in one system call when the tty takes them.
bool WriteAll(int fd, struct iovec *iov, int count) {
    int emptyWrites = 0;
    for (;;) {
        while (count > 0 && iov->iov_len == 0) {
            ++iov;
            --count;
        }
        if (count == 0) return true;
        ssize_t n = writev(fd, iov, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                struct pollfd pfd = {fd, POLLOUT, 0};
                int ready;
                do {
                    ready = poll(&pfd, 1, static_cast<int>(zv::ScaleMs(kWriteStallMs)));
                } while (ready < 0 && errno == EINTR);
                if (ready <= 0) return false;
                continue;
            }
            return false;
        }
        if (n == 0) {
            if (++emptyWrites > kMaxEmptyWrites) return false;
            continue;
        }
        size_t done = static_cast<size_t>(n);
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char *>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
}

bool WriteWithTerminator(int fd, const char *text, char terminator) {
    struct iovec iov[2];
    iov[0].iov_base = const_cast<char *>(text);
    iov[0].iov_len = strlen(text);
    iov[1].iov_base = &terminator;
    iov[1].iov_len = 1;
    return WriteAll(fd, iov, 2);
}

// A CR, LF, Ctrl-Z or ESC inside a command would end it early and let the rest run as a
// command of its own, or abort or submit a pending SMS.
bool HasControlCharacter(const char *s) {
    return s && strpbrk(s, "\r\n\x1a\x1b") != nullptr;
}

ATResponse *NewResponse() {
    for (int attempt = 0; attempt < kAllocAttempts; ++attempt) {
        int injected = g_failResponseAllocs.load(std::memory_order_relaxed);
        while (injected > 0 && !g_failResponseAllocs.compare_exchange_weak(injected, injected - 1)) {
        }
        ATResponse *r = injected > 0 ? nullptr : static_cast<ATResponse *>(calloc(1, sizeof(ATResponse)));
        if (r) return r;
        RLOGD("at_response_new: calloc ATResponse failed.");
    }
    return nullptr;
}

char *CopyLine(const char *line) {
    for (int attempt = 0; attempt < kAllocAttempts; ++attempt) {
        if (char *copy = strdup(line)) return copy;
    }
    return nullptr;
}

struct timespec DeadlineAfter(long long ms) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += static_cast<time_t>(ms / 1000);
    ts.tv_nsec += static_cast<long>((ms % 1000) * 1000000L);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

thread_local unsigned t_commandsWritten = 0;

// One exchange with the channel's mutex held; the wait releases it to the reader.
int SendNoLock(const char *command, ATCommandType type, const char *prefix, const char *pdu, ATResponse **out) {
    Channel &c = Chan();
    if (c.pending) return AT_ERR_PENDING;
    zv::Store(g_at_type, (strstr(command, "ATA") || strstr(command, "ATD")) ? 0 : 1);
    if (c.fd < 0 || c.readerClosed) return AT_ERR_CLOSED;
    if (HasControlCharacter(command) || HasControlCharacter(pdu)) {
        RLOGD("at_send_command_full_nolock: control character in command refused");
        return AT_ERR_GENERIC;
    }

    // Allocated before anything is written: when memory is short the command is not sent at
    // all, rather than sent with nobody waiting for its answer.
    ATResponse *response = NewResponse();
    if (!response) {
        RLOGD("Error:at_send_command_full_nolock:at_response_new()=null");
        return AT_ERR_GENERIC;
    }

    // The deadline is taken before the write: an answer that comes at once then finds the
    // sender already waiting instead of the reader blocking on the mutex.
    const struct timespec deadline = DeadlineAfter(zv::ScaleMs(ChooseTimeoutMs(command)));
    PrintATCommand(command, static_cast<int>(strlen(command)), 1);
    if (!WriteWithTerminator(c.fd, command, '\r')) {
        at_response_free(response);
        return AT_ERR_GENERIC;
    }
    ++t_commandsWritten;

    c.type = type;
    c.prefix = prefix;
    c.pdu = pdu;
    c.pending = response;

    const unsigned generation = c.generation;
    auto waiting = [&] { return !response->finalResponse && !c.readerClosed && c.generation == generation; };
    bool timedOut = false;
    while (waiting()) {
        if (pthread_cond_timedwait(&c.cond, &c.mutex, &deadline) == ETIMEDOUT) {
            if (waiting()) {
                RLOGD("*****The AT command is TIMEOUT, You  can extend the wait time of this AT command*****");
                timedOut = true;
            }
            break;
        }
    }

    const bool closed = c.readerClosed || c.generation != generation;
    if (c.pending == response) {
        c.pending = nullptr;
        c.prefix = nullptr;
        c.pdu = nullptr;
    }

    int result = closed ? AT_ERR_CLOSED : 0;
    if (timedOut && !closed && c.silentTimeouts.fetch_add(1) + 1 >= kSilentTimeoutsBeforeFailure) {
        c.silentTimeouts.store(0);
        result = AT_ERR_TIMEOUT;
    }

    if (out) {
        ReverseIntermediates(response);
        *out = response;
    } else {
        at_response_free(response);
    }
    return result;
}

void WritePdu(Channel &c) {
    if (c.fd < 0 || c.readerClosed) return;
    PrintATCommand(c.pdu, static_cast<int>(strlen(c.pdu)), 1);
    WriteWithTerminator(c.fd, c.pdu, '\x1a');
}

void ProcessLine(const ReaderContext &ctx, const char *line) {
    Channel &c = Chan();
    Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
    if (c.reader.get() != &ctx) {
        // A reader of a port that has been closed meanwhile: its lines belong to nobody.
        Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
        return;
    }
    ExchangeView view;
    // Once the final line is in, the exchange is over even if its sender has not woken yet.
    view.pending = c.pending && !c.pending->finalResponse;
    view.type = c.type;
    view.prefix = c.prefix;
    view.hasIntermediate = c.pending && c.pending->p_intermediates;
    view.pduStored = c.pdu != nullptr;
    view.atType = zv::Load(g_at_type);

    bool wake = false;
    const LineClass cls = ClassifyLine(line, view);
    switch (cls) {
        case LineClass::kSuccess:
        case LineClass::kError:
            c.pending->success = cls == LineClass::kSuccess ? 1 : 0;
            c.pending->finalResponse = CopyLine(line);
            wake = true;
            break;
        case LineClass::kPrompt:
            WritePdu(c);
            c.pdu = nullptr;
            break;
        case LineClass::kIntermediate:
            AddIntermediate(c.pending, line);
            break;
        case LineClass::kUnsolicited:
            if (ATUnsolHandler handler = c.unsol.load()) handler(line, nullptr);
            break;
    }
    Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
    // Signalled after the unlock so the sender does not wake only to block on the mutex.
    if (wake && pthread_cond_signal(&c.cond) != 0) RLOGD("pthread_cond_signal error !");
}

// Next line from the port, or null when the port is gone or the channel was closed.
const char *ReadLine(ReaderContext &ctx) {
    Channel &c = Chan();
    for (;;) {
        if (ctx.stop.load(std::memory_order_acquire)) return nullptr;
        size_t len = 0;
        if (const char *line = ctx.splitter.Next(&len)) {
            c.silentTimeouts.store(0, std::memory_order_relaxed);
            PrintATCommand(line, static_cast<int>(len), 0);
            return line;
        }
        size_t room = 0;
        char *space = ctx.splitter.ReadSpace(&room);

        // Block until the modem sends something or at_close asks the reader to leave; a
        // blocked read() alone would not notice a close of its descriptor.
        struct pollfd pfd[2] = {{ctx.fd, POLLIN, 0}, {ctx.wakeFd, POLLIN, 0}};
        if (poll(pfd, 2, -1) < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            RLOGD("errno: %d", e);
            RLOGD("atchannel: read error %s", strerror(e));
            return nullptr;
        }
        if (pfd[1].revents != 0 || ctx.stop.load(std::memory_order_acquire)) return nullptr;

        ssize_t n = read(ctx.fd, space, room);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            const int e = errno;
            RLOGD("errno: %d", e);
            RLOGD("atchannel: read error %s", strerror(e));
            return nullptr;
        }
        if (n == 0) {
            RLOGD("errno: %d", errno);
            RLOGD("atchannel: EOF reached");
            return nullptr;
        }
        ctx.splitter.Commit(static_cast<size_t>(n));
    }
}

void OnReaderClosed(const ReaderContext &ctx) {
    Channel &c = Chan();
    Lock(&c.mutex, "onReaderClosed:pthread_mutex_lock error!");
    // Only the reader of the open port may declare it closed; after at_close (or a reopen)
    // this reader is no longer the channel's and leaves quietly.
    const bool lost = c.reader.get() == &ctx && !c.readerClosed;
    if (lost) {
        RLOGD("*****onReaderClosed is ******");
        c.readerClosed = true;
        if (pthread_cond_broadcast(&c.cond) != 0) RLOGD("onReaderClosed:pthread_cond_signal error!");
    }
    Unlock(&c.mutex, "onReaderClosed:pthread_mutex_unlock error!");
    if (lost) {
        if (void (*hook)(void) = c.onReaderClosed.load()) hook();
    }
}

void *ReaderMain(void *arg) {
    auto *handoff = static_cast<std::shared_ptr<ReaderContext> *>(arg);
    std::shared_ptr<ReaderContext> ctx = std::move(*handoff);
    delete handoff;
    t_reader = ctx.get();

    for (;;) {
        const char *line = ReadLine(*ctx);
        if (!line) break;
        if (IsSmsPairLine(line)) {
            // The indication and its PDU travel together. They never belong to a command, so
            // the handler runs without the command mutex and a sender is not held up while
            // the message is handed on.
            std::string indication(line);
            const char *pdu = ReadLine(*ctx);
            if (!pdu) break;
            ATUnsolHandler handler = Chan().unsol.load();
            if (handler && !ctx->stop.load(std::memory_order_acquire)) handler(indication.c_str(), pdu);
            continue;
        }
        ProcessLine(*ctx, line);
    }

    zv::Store(terminal_connect, 1);
    // The descriptor is no longer touched from here on: a closer waiting for that may go on
    // before the hook runs, so a hook that waits for the closer cannot deadlock with it.
    {
        std::lock_guard<std::mutex> lock(ctx->doneMutex);
        ctx->done = true;
    }
    ctx->doneCond.notify_all();
    OnReaderClosed(*ctx);
    return nullptr;
}

// Stops the reader and closes the port. The descriptor keepFd is not closed: at_open may be
// handed the descriptor of the channel it replaces.
void CloseChannel(int keepFd) {
    Channel &c = Chan();
    Lock(&c.mutex, "at_close:pthread_mutex_lock error !");
    const int fd = c.fd;
    c.fd = -1;
    std::shared_ptr<ReaderContext> ctx = std::move(c.reader);
    c.reader.reset();
    c.readerClosed = true;
    if (pthread_cond_broadcast(&c.cond) != 0) RLOGD("at_close:pthread_cond_signal error !");
    Unlock(&c.mutex, "at_close:pthread_mutex_unlock error !");

    if (ctx) {
        ctx->stop.store(true, std::memory_order_release);
        const uint64_t one = 1;
        while (write(ctx->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        // On the reader's own thread (a hook or handler) the reader is not reading right now.
        if (t_reader != ctx.get()) {
            std::unique_lock<std::mutex> lock(ctx->doneMutex);
            ctx->doneCond.wait(lock, [&] { return ctx->done; });
        }
    }
    if (fd >= 0 && fd != keepFd) close(fd);
}

}  // namespace

void AddIntermediate(ATResponse *r, const char *line) {
    ATLine *entry = nullptr;
    for (int attempt = 0; attempt < kAllocAttempts && !entry; ++attempt) {
        entry = static_cast<ATLine *>(malloc(sizeof(ATLine)));
        if (!entry) RLOGD("addIntermediate() malloc(ATLine)=NULL, there is something wrong!");
    }
    if (!entry) return;
    entry->line = strdup(line);
    if (!entry->line) {
        RLOGD("%s: strdup line FAIL.", "addIntermediate");
        free(entry);
        return;
    }
    entry->p_next = r->p_intermediates;
    r->p_intermediates = entry;
}

void ReverseIntermediates(ATResponse *r) {
    ATLine *reversed = nullptr;
    ATLine *cur = r->p_intermediates;
    while (cur) {
        ATLine *next = cur->p_next;
        cur->p_next = reversed;
        reversed = cur;
        cur = next;
    }
    r->p_intermediates = reversed;
}

unsigned CommandsWrittenByThisThread() { return t_commandsWritten; }

}  // namespace zv::at

using zv::at::Chan;

int at_open(int fd, ATUnsolHandler unsol_handler) {
    if (fd < 0) return -1;
    zv::at::CloseChannel(fd);

    auto ctx = std::make_shared<zv::at::ReaderContext>();
    ctx->fd = fd;
    ctx->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (ctx->wakeFd < 0) {
        fprintf(stderr, "eventfd: %s\n", strerror(errno));
        return -1;
    }

    zv::at::Channel &c = Chan();
    zv::at::Lock(&c.mutex, "at_open:pthread_mutex_lock error !");
    c.fd = fd;
    c.unsol.store(unsol_handler);
    c.readerClosed = false;
    c.pending = nullptr;
    c.prefix = nullptr;
    c.pdu = nullptr;
    c.reader = ctx;
    ++c.generation;
    c.silentTimeouts.store(0);
    zv::at::Unlock(&c.mutex, "at_open:pthread_mutex_unlock error !");

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    auto *handoff = new std::shared_ptr<zv::at::ReaderContext>(ctx);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, zv::at::ReaderMain, handoff);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        fprintf(stderr, "pthread_create: %s\n", strerror(rc));
        delete handoff;
        // Back to closed, but the descriptor stays the caller's.
        zv::at::Lock(&c.mutex, "at_open:pthread_mutex_lock error !");
        if (c.reader == ctx) {
            c.reader.reset();
            c.fd = -1;
            c.readerClosed = true;
        }
        zv::at::Unlock(&c.mutex, "at_open:pthread_mutex_unlock error !");
        return -1;
    }
    return 0;
}

void at_close(void) {
    zv::at::CloseChannel(-1);
}

void at_set_on_timeout(void (*hook)(void)) {
    Chan().onTimeout.store(hook);
}

void at_set_on_reader_closed(void (*hook)(void)) {
    Chan().onReaderClosed.store(hook);
}

int at_send_command_full(const char *command, ATCommandType type, const char *prefix, const char *pdu,
                         ATResponse **out) {
    if (zv::at::t_reader) return AT_ERR_WRONG_THREAD;
    if (!command) return AT_ERR_GENERIC;
    zv::at::Channel &c = Chan();
    zv::at::Lock(&s_readdelmutex, "at_send_command_full:pthread_mutex_lock1 error!");
    zv::at::Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");
    const int err = zv::at::SendNoLock(command, type, prefix, pdu, out);
    zv::at::Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
    zv::at::Unlock(&s_readdelmutex, "at_send_command_full:pthread_mutex_unlock1 error!");
    if (err == 0) return 0;
    RLOGD("at_send_command_full_nolock err = %d", err);
    if (err == AT_ERR_TIMEOUT) {
        if (void (*hook)(void) = c.onTimeout.load()) hook();
    }
    return err;
}

namespace {

// The forms that need an intermediate line: a success without one is a failure for them.
int SendForLine(const char *command, ATCommandType type, const char *prefix, const char *pdu, ATResponse **out) {
    ATResponse *response = nullptr;
    int err = at_send_command_full(command, type, prefix, pdu, &response);
    if (err == 0 && response && response->success > 0 && !response->p_intermediates) {
        at_response_free(response);
        if (out) *out = nullptr;
        return AT_ERR_NO_INTERMEDIATE;
    }
    if (!response) return err;  // nothing was exchanged: out stays as the caller left it
    if (out) {
        *out = response;
    } else {
        at_response_free(response);
    }
    return err;
}

}  // namespace

int at_send_command(const char *command, ATResponse **out) {
    return at_send_command_full(command, AT_TYPE_NO_RESULT, nullptr, nullptr, out);
}

int at_send_command_singleline(const char *command, const char *prefix, ATResponse **out) {
    return SendForLine(command, AT_TYPE_SINGLELINE, prefix, nullptr, out);
}

int at_send_command_numeric(const char *command, ATResponse **out) {
    return SendForLine(command, AT_TYPE_NUMERIC, nullptr, nullptr, out);
}

int at_send_command_sms(const char *command, const char *pdu, const char *prefix, ATResponse **out) {
    return SendForLine(command, AT_TYPE_SINGLELINE, prefix, pdu, out);
}

int at_send_command_multiline(const char *command, const char *prefix, ATResponse **out) {
    return at_send_command_full(command, AT_TYPE_MULTILINE, prefix, nullptr, out);
}

int at_send_command_oem_string(const char *command, ATResponse **out) {
    return at_send_command_full(command, AT_TYPE_OEM_STRING, nullptr, nullptr, out);
}

int at_handshake(void) {
    if (zv::at::t_reader) return AT_ERR_WRONG_THREAD;
    zv::at::Channel &c = Chan();
    zv::at::Lock(&c.mutex, "at_handshake:pthread_mutex_lock error!");
    int err = AT_ERR_GENERIC;
    for (int attempt = 0; attempt < zv::at::kHandshakeAttempts; ++attempt) {
        err = zv::at::SendNoLock("ATE0V1", AT_TYPE_NO_RESULT, nullptr, nullptr, nullptr);
        if (err == 0) {
            sleepMsec(zv::at::kHandshakeSettleMs);
            break;
        }
    }
    zv::at::Unlock(&c.mutex, "at_handshake:pthread_mutex_unlock error!");
    return err;
}

void at_response_free(ATResponse *r) {
    if (!r) return;
    ATLine *line = r->p_intermediates;
    while (line) {
        ATLine *next = line->p_next;
        free(line->line);
        free(line);
        line = next;
    }
    free(r->finalResponse);
    free(r);
}

int at_get_cme_error(const ATResponse *r) {
    if (!r) return -1;
    if (r->success > 0) return 0;
    static constexpr char kCmeError[] = "+CME ERROR:";
    if (!r->finalResponse || strncmp(r->finalResponse, kCmeError, sizeof kCmeError - 1) != 0) return -1;
    const char *number = r->finalResponse + sizeof kCmeError - 1;
    char *end = nullptr;
    errno = 0;
    const long value = strtol(number, &end, 10);
    if (end == number || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return -1;
    return static_cast<int>(value);
}

// The library's one sleep: callers give real milliseconds and the host time scale applies
// here, so no caller has to remember it.
void sleepMsec(long long msec) {
    msec = zv::ScaleMs(msec);
    if (msec <= 0) return;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(msec / 1000);
    ts.tv_nsec = static_cast<long>((msec % 1000) * 1000000L);
    while (nanosleep(&ts, &ts) < 0 && errno == EINTR) {
    }
}
