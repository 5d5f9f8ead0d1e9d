// The AT channel: senders take turns through s_readdelmutex; the sender of the exchange in
// progress reads the port itself until its final line is in, and one reader thread per open
// port reads it the rest of the time. Either splits the byte stream into lines and routes
// each to the exchange in progress or, through a queue, to the unsolicited handler, which
// only the reader thread runs. An exchange thus costs no thread switch beyond the modem's
// own; the reader stays off the port for a few milliseconds after each exchange, so a burst
// of exchanges does not wake it every time.
//
// Choices that go beyond the plain request/response protocol:
// - Waits are measured on CLOCK_MONOTONIC, so setting the wall clock (the network time
//   indication does exactly that on a device) can neither cut a wait short nor stretch it.
// - A single time-out is the modem being slow and leaves the channel alone. Several in a row
//   with not one line from the modem in between mean the port is dead although it is still
//   open; that exchange then fails with AT_ERR_TIMEOUT, which runs the time-out hook so the
//   owner can close and reopen the port.
// - The descriptor is non-blocking and every write is bounded by the exchange's deadline: a
//   port that stops draining ends the exchange like a silent modem does. Only the sender
//   writes (the PDU too, when the prompt comes), never with the channel mutex or the port
//   held, so the reader keeps routing lines meanwhile.
// - The reader runs the unsolicited handler without any channel lock: a handler that reports
//   to the daemon holds up nobody, and a sender still reads its answer meanwhile. One reader
//   thread delivers every line from one queue, so the order of the reports is the order of
//   the lines.
// - After a time-out the next exchange first resynchronises (kResyncProbe in at_internal.h).
#include "atchannel/atchannel.h"

#include <errno.h>
#include <fcntl.h>
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

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <zorvik/host.h>

#include "atchannel/at_internal.h"
#include "zvlog.h"
#include "zvshared.h"
#include "zvthreadword.h"

extern "C" {
pthread_mutex_t s_readdelmutex = PTHREAD_MUTEX_INITIALIZER;
int at_request = 0;
int g_at_type = 1;
int terminal_connect = 0;
}

namespace zv::at {

std::atomic<int> g_failResponseAllocs{0};

namespace {

constexpr char kPort[] = "control";
constexpr int kAllocAttempts = 10;
constexpr int kHandshakeAttempts = 8;
constexpr long long kHandshakeSettleMs = 250;
// write() returning 0 again and again would otherwise spin until the deadline.
constexpr int kMaxEmptyWrites = 100;
// How long the reader thread stays off the port after a sender read its answer there.
// Unsolicited lines that come in that gap wait at most this long (real time).
constexpr long long kReaderLingerNs = 5 * 1000 * 1000;
// Unsolicited lines read but not yet handed on: a handler that is slow while a modem floods
// the port must not grow the queue without limit.
constexpr size_t kMaxQueuedLines = 4096;
constexpr size_t kMaxQueuedBytes = 256 * 1024;
constexpr size_t kKeptQueueCapacity = 64;

struct QueuedLine {
    std::string line;
    std::string pdu;
    bool hasPdu = false;
};

// Everything one reader thread owns. The channel drops its reference on close; the thread
// keeps its own until it has stopped touching the descriptor, so the descriptor is closed
// only after that and its number cannot be reused under a reader that still reads it. A
// sender writing to the port counts itself in writers for the same reason.
struct ReaderContext {
    int fd = -1;
    int wakeFd = -1;  // eventfd: at_close wakes a reader blocked in poll() and a stalled writer
    int nudgeFd = -1;  // eventfd: a sender queued lines while the reader sat in poll()
    unsigned generation = 0;  // of the channel this reader serves
    std::atomic<bool> stop{false};
    std::mutex doneMutex;
    std::condition_variable doneCond;
    bool done = false;  // guarded by doneMutex
    int writers = 0;    // guarded by doneMutex, counts senders reading the port too

    // Whoever reads the port holds portMutex: the reader thread for one read and the lines
    // in it, a sender for as long as it waits for its own answer. The line buffer and a +CMT
    // style indication still waiting for its PDU line belong to the holder.
    std::mutex portMutex;
    LineSplitter splitter;
    std::string smsIndication;
    bool awaitingPdu = false;

    // Unsolicited lines read from the port, in order, for the reader thread to hand on
    // (guarded by the channel mutex). A sender that reads a line of nobody's queues it here:
    // the handler runs on the reader thread only, without any channel lock.
    std::vector<QueuedLine> queue;
    size_t queuedBytes = 0;
    // Lines queued and lines handed on so far: an exchange returns only once every line that
    // came before its final line has been handed on, as when the reader read them all.
    unsigned long long queuedSeq = 0;
    unsigned long long deliveredSeq = 0;

    ~ReaderContext() {
        if (wakeFd >= 0) close(wakeFd);
        if (nudgeFd >= 0) close(nudgeFd);
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
    const char *pdu = nullptr;         // to be written at the prompt
    const char *pduToWrite = nullptr;  // the prompt came: the sender writes this now
    size_t pendingLines = 0;
    size_t pendingBytes = 0;
    bool overflowed = false;    // the pending response hit a bound
    bool resyncNeeded = false;  // an exchange timed out since the last resynchronisation
    bool draining = false;      // a sender waits for the line to go quiet
    unsigned long long lines = 0;
    // The sender of the exchange in progress reads its own answer, which spares two thread
    // switches per exchange; the reader thread keeps off the port meanwhile and for a short
    // while after (kReaderLingerNs), so back-to-back exchanges do not wake it each time.
    pthread_cond_t readerCond;
    bool senderReading = false;
    bool readerParked = false;          // the reader waits on readerCond
    bool readerWaitsForSender = false;  // ... without a deadline, until senderReading ends
    long long portFreeSinceNs = 0;      // CLOCK_MONOTONIC, when the last sender let go
    unsigned long long finalSeq = 0;    // lines queued before the final line of the exchange
    bool senderWaitsForDelivery = false;

    std::atomic<ATUnsolHandler> unsol{nullptr};
    std::atomic<void (*)(void)> onTimeout{nullptr};
    std::atomic<void (*)(void)> onReaderClosed{nullptr};
    std::atomic<int> silentTimeouts{0};

    Channel() {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_cond_init(&readerCond, &attr);
        pthread_condattr_destroy(&attr);
    }
};

// Never destroyed: a detached reader may still run while the process exits.
Channel &Chan() {
    static Channel *channel = new Channel;
    return *channel;
}

zv::ThreadWord<const ReaderContext *> t_reader;
// The generation on which this thread's exchange timed out, while its time-out hook runs.
zv::ThreadWord<unsigned> t_timedOutGeneration;

void Lock(pthread_mutex_t *m, const char *failure) {
    if (pthread_mutex_lock(m) != 0) RLOGD("%s", failure);
}

void Unlock(pthread_mutex_t *m, const char *failure) {
    if (pthread_mutex_unlock(m) != 0) RLOGD("%s", failure);
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

// Milliseconds from now until the deadline, 0 when it has passed.
int MsUntil(const struct timespec &deadline) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ms = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000 +
                   (deadline.tv_nsec - now.tv_nsec) / 1000000;
    if (ms <= 0) return 0;
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

// Time left until the deadline; false when it has passed.
bool TimeUntil(const struct timespec &deadline, struct timespec *left) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ns = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000000000LL +
                   (deadline.tv_nsec - now.tv_nsec);
    if (ns <= 0) return false;
    left->tv_sec = static_cast<time_t>(ns / 1000000000LL);
    left->tv_nsec = static_cast<long>(ns % 1000000000LL);
    return true;
}

enum class WriteResult { kDone, kStalled, kClosed, kFailed };

// Writes every byte of the vector, continuing after partial writes and retrying interrupted
// ones, until the deadline. The command and its line end go out in one system call when the
// tty takes them.
WriteResult WriteAll(ReaderContext &ctx, struct iovec *iov, int count, const struct timespec &deadline) {
    int emptyWrites = 0;
    for (;;) {
        while (count > 0 && iov->iov_len == 0) {
            ++iov;
            --count;
        }
        if (count == 0) return WriteResult::kDone;
        if (ctx.stop.load(std::memory_order_acquire)) return WriteResult::kClosed;
        ssize_t n = writev(ctx.fd, iov, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return WriteResult::kFailed;
            n = 0;
        } else if (n == 0 && ++emptyWrites > kMaxEmptyWrites) {
            return WriteResult::kStalled;
        }
        if (n == 0) {
            struct pollfd pfd[2] = {{ctx.fd, POLLOUT, 0}, {ctx.wakeFd, POLLIN, 0}};
            const int ms = MsUntil(deadline);
            if (ms == 0) return WriteResult::kStalled;
            if (poll(pfd, 2, ms) < 0 && errno != EINTR) return WriteResult::kFailed;
            if (pfd[1].revents != 0) return WriteResult::kClosed;
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

// Writes text and its terminator to the port of ctx without any channel lock held.
WriteResult WriteWithTerminator(ReaderContext &ctx, const char *text, char terminator,
                                const struct timespec &deadline) {
    {
        std::lock_guard<std::mutex> lock(ctx.doneMutex);
        if (ctx.stop.load(std::memory_order_acquire)) return WriteResult::kClosed;
        ++ctx.writers;
    }
    struct iovec iov[2];
    iov[0].iov_base = const_cast<char *>(text);
    iov[0].iov_len = strlen(text);
    iov[1].iov_base = &terminator;
    iov[1].iov_len = 1;
    const WriteResult result = WriteAll(ctx, iov, 2, deadline);
    {
        std::lock_guard<std::mutex> lock(ctx.doneMutex);
        --ctx.writers;
    }
    ctx.doneCond.notify_all();
    return result;
}

// A CR, LF, Ctrl-Z or ESC inside a command would end it early and let the rest run as a
// command of its own, or abort or submit a pending SMS; a backspace (S5) edits the command
// line before the modem runs it. No control character at all belongs in a command.
bool HasControlCharacter(const char *s) {
    if (!s) return false;
    for (; *s; ++s) {
        const unsigned char c = static_cast<unsigned char>(*s);
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
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

// Counts a time-out without a line from the modem; true when it is the one that declares the
// port dead.
bool CountSilentTimeout(Channel &c) {
    if (c.silentTimeouts.fetch_add(1) + 1 < kSilentTimeoutsBeforeFailure) return false;
    c.silentTimeouts.store(0);
    return true;
}

// Queues a line for the reader thread to hand on, with the channel mutex held. True when the
// reader sits in poll() and must be nudged (after the unlock) to hand it on.
bool QueueUnsolicited(Channel &c, ReaderContext &ctx, const char *line, const char *pdu) {
    const size_t bytes = strlen(line) + (pdu ? strlen(pdu) : 0);
    if (ctx.queue.size() >= kMaxQueuedLines || ctx.queuedBytes + bytes > kMaxQueuedBytes) {
        RLOGD("AT channel: unsolicited line dropped, %zu lines wait for the handler", ctx.queue.size());
        return false;
    }
    const bool first = ctx.queue.empty();
    QueuedLine q;
    q.line.assign(line);
    if (pdu) {
        q.pdu.assign(pdu);
        q.hasPdu = true;
    }
    ctx.queue.push_back(std::move(q));
    ctx.queuedBytes += bytes;
    ++ctx.queuedSeq;
    if (c.readerParked) {
        if (pthread_cond_signal(&c.readerCond) != 0) RLOGD("pthread_cond_signal error !");
        return false;
    }
    return first && t_reader.Get() != &ctx;
}

void Nudge(const ReaderContext &ctx) {
    const uint64_t one = 1;
    while (write(ctx.nudgeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ProcessLine(ReaderContext &ctx, const char *line, size_t len) {
    Channel &c = Chan();
    Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
    if (c.reader.get() != &ctx) {
        // A reader of a port that has been closed meanwhile: its lines belong to nobody.
        Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
        return;
    }
    ++c.lines;
    ExchangeView view;
    // Once the final line is in, the exchange is over even if its sender has not woken yet.
    view.pending = c.pending && !c.pending->finalResponse;
    view.type = c.type;
    view.prefix = c.prefix;
    view.hasIntermediate = c.pending && (c.pending->p_intermediates || c.pendingLines > 0);
    view.pduStored = c.pdu != nullptr;
    view.atType = zv::Load(g_at_type);

    bool wake = c.draining;
    bool nudge = false;
    const LineClass cls = ClassifyLine(line, view);
    switch (cls) {
        case LineClass::kSuccess:
        case LineClass::kError:
            c.pending->success = cls == LineClass::kSuccess ? 1 : 0;
            c.pending->finalResponse = CopyLine(line);
            c.finalSeq = ctx.queuedSeq;
            wake = true;
            break;
        case LineClass::kPrompt:
            // The sender writes it: whoever reads never blocks on the port.
            c.pduToWrite = c.pdu;
            c.pdu = nullptr;
            wake = true;
            break;
        case LineClass::kIntermediate:
            if (c.overflowed) break;
            if (c.pendingLines >= kMaxResponseLines || c.pendingBytes + len > kMaxResponseBytes) {
                RLOGD("AT response exceeds %zu lines or %zu bytes; dropping the rest until its final line",
                      kMaxResponseLines, kMaxResponseBytes);
                c.overflowed = true;
                break;
            }
            ++c.pendingLines;
            c.pendingBytes += len;
            AddIntermediate(c.pending, line);
            break;
        case LineClass::kUnsolicited:
            nudge = QueueUnsolicited(c, ctx, line, nullptr);
            break;
    }
    Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
    // Recorded as the channel took it, with the mutex free but before the sender can go on: a
    // recording lists an answer before the command that follows it.
    zv::RecordModemLine(kPort, cls == LineClass::kUnsolicited ? ZV_MODEM_UNSOL : ZV_MODEM_ANS, line, len);
    // Signalled after the unlock so the sender does not wake only to block on the mutex.
    if (wake && pthread_cond_broadcast(&c.cond) != 0) RLOGD("pthread_cond_signal error !");
    if (nudge) Nudge(ctx);
}

// One line from the port, with portMutex held.
void RouteLine(ReaderContext &ctx, const char *line, size_t len) {
    if (ctx.awaitingPdu) {
        // The indication and its PDU travel together and never belong to a command.
        ctx.awaitingPdu = false;
        zv::RecordModemLine(kPort, ZV_MODEM_UNSOL, line, len);
        Channel &c = Chan();
        Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
        const bool nudge = c.reader.get() == &ctx && QueueUnsolicited(c, ctx, ctx.smsIndication.c_str(), line);
        Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
        if (nudge) Nudge(ctx);
        return;
    }
    if (IsSmsPairLine(line)) {
        zv::RecordModemLine(kPort, ZV_MODEM_UNSOL, line, len);
        ctx.smsIndication.assign(line);
        ctx.awaitingPdu = true;
        return;
    }
    ProcessLine(ctx, line, len);
}

void RouteBufferedLines(ReaderContext &ctx) {
    Channel &c = Chan();
    size_t len = 0;
    while (const char *line = ctx.splitter.Next(&len)) {
        c.silentTimeouts.store(0, std::memory_order_relaxed);
        PrintATCommand(line, static_cast<int>(len), 0);
        RouteLine(ctx, line, len);
    }
}

enum class PumpResult { kRead, kDrained, kEnd };

// Routes the lines already buffered, then what one read brings. With portMutex held. Only
// the reader thread reports the end of the port: a sender that meets it hands the port back,
// and the reader meets the same end on its next read.
PumpResult Pump(ReaderContext &ctx, bool onReader) {
    RouteBufferedLines(ctx);
    if (ctx.stop.load(std::memory_order_acquire)) return PumpResult::kEnd;
    size_t room = 0;
    char *space = ctx.splitter.ReadSpace(&room);
    for (;;) {
        const ssize_t n = read(ctx.fd, space, room);
        if (n > 0) {
            ctx.splitter.Commit(static_cast<size_t>(n));
            RouteBufferedLines(ctx);
            return PumpResult::kRead;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return PumpResult::kDrained;
        if (onReader) {
            const int e = errno;
            RLOGD("errno: %d", e);
            if (n < 0) {
                RLOGD("atchannel: read error %s", strerror(e));
            } else {
                RLOGD("atchannel: EOF reached");
            }
        }
        return PumpResult::kEnd;
    }
}

long long NowNs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

zv::ThreadWord<unsigned> t_commandsWritten;

enum class OwnRead { kProgress, kDeadline, kHandBack };

// The sender's side of an exchange once its command is out: it reads the port itself until
// its answer (or the prompt) is in, routing every other line as the reader thread would.
// Entered and left with the channel mutex held; the port is read without it.
template <typename Waiting>
OwnRead ReadOwnAnswer(Channel &c, ReaderContext &port, const struct timespec &deadline, Waiting &waiting) {
    c.senderReading = true;
    Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
    OwnRead result = OwnRead::kHandBack;
    {
        std::lock_guard<std::mutex> portLock(port.portMutex);
        {
            std::lock_guard<std::mutex> lock(port.doneMutex);
            ++port.writers;  // the descriptor stays open while this thread reads it
        }
        bool hungUp = false;
        // Right after the command the answer is hardly ever there yet: wait for it first
        // rather than spend a read that finds nothing.
        bool readFirst = false;
        for (;;) {
            Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");
            const bool more = waiting() && !c.pduToWrite;
            Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
            if (!more) {
                result = OwnRead::kProgress;
                break;
            }
            if (readFirst) {
                const PumpResult pumped = Pump(port, false);
                if (pumped == PumpResult::kRead) continue;
                if (pumped == PumpResult::kEnd) break;
            }
            readFirst = true;
            struct timespec left;
            if (!TimeUntil(deadline, &left)) {
                result = OwnRead::kDeadline;
                break;
            }
            // A port that reports a hang-up or an error yet has nothing to read goes back to
            // the reader rather than spin here until the deadline.
            if (hungUp) break;
            struct pollfd pfd[2] = {{port.fd, POLLIN, 0}, {port.wakeFd, POLLIN, 0}};
            if (ppoll(pfd, 2, &left, nullptr) < 0 && errno != EINTR) break;
            if (pfd[1].revents != 0) break;
            hungUp = (pfd[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        }
        {
            std::lock_guard<std::mutex> lock(port.doneMutex);
            --port.writers;
        }
        port.doneCond.notify_all();
    }
    Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");
    c.senderReading = false;
    c.portFreeSinceNs = NowNs();
    if (c.readerWaitsForSender && pthread_cond_signal(&c.readerCond) != 0) RLOGD("pthread_cond_signal error !");
    return result;
}

// One exchange with the channel's mutex held (and s_readdelmutex, which keeps every other
// sender out); the mutex is released while writing and while waiting. *timedOut tells the
// caller that the exchange ended by its deadline (or a port that stopped draining).
int Exchange(const char *command, ATCommandType type, const char *prefix, const char *pdu, long long timeoutMs,
             ATResponse **out, bool *timedOut) {
    Channel &c = Chan();
    *timedOut = false;
    if (c.pending) return AT_ERR_PENDING;
    zv::Store(g_at_type, (strstr(command, "ATA") || strstr(command, "ATD")) ? 0 : 1);
    if (c.fd < 0 || c.readerClosed || !c.reader) return AT_ERR_CLOSED;
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

    const struct timespec deadline = DeadlineAfter(zv::ScaleMs(timeoutMs));
    // Pending before the write: an answer that comes at once finds its exchange.
    c.type = type;
    c.prefix = prefix;
    c.pdu = pdu;
    c.pduToWrite = nullptr;
    c.pending = response;
    c.pendingLines = c.pendingBytes = 0;
    c.overflowed = false;
    const unsigned generation = c.generation;
    std::shared_ptr<ReaderContext> port = c.reader;

    Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
    PrintATCommand(command, static_cast<int>(strlen(command)), 1);
    zv::RecordModemLine(kPort, ZV_MODEM_CMD, command, strlen(command));
    WriteResult written = WriteWithTerminator(*port, command, '\r', deadline);
    if (written != WriteResult::kFailed) t_commandsWritten.Set(t_commandsWritten.Get() + 1);
    Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");

    auto waiting = [&] { return !response->finalResponse && !c.readerClosed && c.generation == generation; };
    bool failed = written == WriteResult::kFailed;
    bool stalled = written == WriteResult::kStalled;
    bool readsOwnAnswer = true;
    while (written == WriteResult::kDone && waiting()) {
        if (readsOwnAnswer && !c.pduToWrite) {
            const OwnRead got = ReadOwnAnswer(c, *port, deadline, waiting);
            if (got == OwnRead::kDeadline) {
                stalled = waiting();
                break;
            }
            // At the port's end or a close the reader thread takes over and the wait below
            // sees what it finds.
            if (got == OwnRead::kHandBack) readsOwnAnswer = false;
            continue;
        }
        if (const char *toWrite = c.pduToWrite) {
            c.pduToWrite = nullptr;
            Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
            PrintATCommand(toWrite, static_cast<int>(strlen(toWrite)), 1);
            zv::RecordModemLine(kPort, ZV_MODEM_PDU, toWrite, strlen(toWrite));
            written = WriteWithTerminator(*port, toWrite, '\x1a', deadline);
            Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");
            // A PDU that cannot be written is abandoned; the modem's answer (or the
            // deadline) still ends the exchange.
            stalled = written == WriteResult::kStalled;
            if (written != WriteResult::kClosed) written = WriteResult::kDone;
            if (stalled) break;
            continue;
        }
        if (pthread_cond_timedwait(&c.cond, &c.mutex, &deadline) == ETIMEDOUT) {
            if (waiting()) stalled = true;
            break;
        }
    }
    if (stalled) {
        RLOGD("*****The AT command is TIMEOUT, You  can extend the wait time of this AT command*****");
    }
    // The lines that came before the final line reach the handler before the sender goes on
    // (bounded by the exchange's deadline: a handler that hangs does not hold it longer).
    if (response->finalResponse) {
        const unsigned long long need = c.finalSeq;
        while (port->deliveredSeq < need && c.reader == port && !c.readerClosed && c.generation == generation) {
            c.senderWaitsForDelivery = true;
            if (pthread_cond_timedwait(&c.cond, &c.mutex, &deadline) == ETIMEDOUT) break;
        }
        c.senderWaitsForDelivery = false;
    }

    const bool closed = c.readerClosed || c.generation != generation || written == WriteResult::kClosed;
    if (c.pending == response) {
        c.pending = nullptr;
        c.prefix = nullptr;
        c.pdu = nullptr;
        c.pduToWrite = nullptr;
    }

    int result = closed ? AT_ERR_CLOSED : 0;
    if (failed && !closed) result = AT_ERR_GENERIC;
    if (stalled && !closed) {
        *timedOut = true;
        c.resyncNeeded = true;
        if (CountSilentTimeout(c)) {
            result = AT_ERR_TIMEOUT;
            t_timedOutGeneration.Set(generation);
        }
    }
    if (c.overflowed && result == 0) {
        response->success = 0;
        result = AT_ERR_GENERIC;
    }

    if (out && !failed) {
        ReverseIntermediates(response);
        *out = response;
    } else {
        at_response_free(response);
    }
    return result;
}

// Waits, with the channel mutex held, until no line has arrived for a while (bounded).
void WaitForQuiet(Channel &c) {
    const long long quiet = std::max(zv::ScaleMs(kResyncQuietMs), kResyncQuietFloorMs);
    const struct timespec limit = DeadlineAfter(std::max(zv::ScaleMs(kResyncDrainMaxMs), quiet));
    c.draining = true;
    for (;;) {
        const unsigned long long seen = c.lines;
        struct timespec until = DeadlineAfter(quiet);
        if (MsUntil(limit) < quiet) until = limit;
        int rc = 0;
        while (c.lines == seen && !c.readerClosed && rc != ETIMEDOUT) {
            rc = pthread_cond_timedwait(&c.cond, &c.mutex, &until);
        }
        if (c.lines == seen || c.readerClosed || MsUntil(limit) == 0) break;
    }
    c.draining = false;
}

// Resynchronisation after a time-out (see kResyncProbe). Returns 0 when the channel can be
// trusted again, else the result for the exchange that asked for it.
int Resync() {
    Channel &c = Chan();
    RLOGD("AT channel: resynchronising after a time-out");
    bool timedOut = false;
    const int err = Exchange(kResyncProbe, AT_TYPE_NO_RESULT, nullptr, nullptr, kResyncProbeTimeoutMs, nullptr,
                             &timedOut);
    if (err != 0 || timedOut) return err;
    WaitForQuiet(c);
    if (c.readerClosed) return AT_ERR_CLOSED;
    c.resyncNeeded = false;
    return 0;
}

// One exchange with the channel's mutex held, resynchronising first when needed.
int SendNoLock(const char *command, ATCommandType type, const char *prefix, const char *pdu, ATResponse **out) {
    Channel &c = Chan();
    if (c.pending) return AT_ERR_PENDING;
    if (c.resyncNeeded && c.fd >= 0 && !c.readerClosed) {
        const int err = Resync();
        if (c.resyncNeeded) {
            // The probe went unanswered: so does this command, which is not sent. Like any
            // time-out the caller gets an empty response.
            if ((err == 0 || err == AT_ERR_TIMEOUT) && out) {
                if (ATResponse *empty = NewResponse()) *out = empty;
            }
            return err;
        }
    }
    bool timedOut = false;
    return Exchange(command, type, prefix, pdu, ChooseTimeoutMs(command), out, &timedOut);
}

// Hands the queued lines to the unsolicited handler, without any lock held.
void DeliverQueued(ReaderContext &ctx, std::vector<QueuedLine> &batch) {
    Channel &c = Chan();
    Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
    batch.swap(ctx.queue);
    ctx.queuedBytes = 0;
    Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
    for (const QueuedLine &q : batch) {
        ATUnsolHandler handler = c.unsol.load();
        if (!handler) continue;
        if (q.hasPdu) {
            if (!ctx.stop.load(std::memory_order_acquire)) handler(q.line.c_str(), q.pdu.c_str());
        } else {
            handler(q.line.c_str(), nullptr);
        }
    }
    if (batch.empty()) return;
    Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
    ctx.deliveredSeq += batch.size();
    const bool wake = c.senderWaitsForDelivery;
    Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
    if (wake && pthread_cond_broadcast(&c.cond) != 0) RLOGD("pthread_cond_signal error !");
    batch.clear();
    // A flood leaves the two vectors that take turns as the queue large; give that back.
    if (batch.capacity() > kKeptQueueCapacity) std::vector<QueuedLine>().swap(batch);
}

enum class ReaderTurn { kDeliver, kRead, kLeave };

// Waits while a sender reads the port, or did a moment ago.
ReaderTurn WaitForPortTurn(ReaderContext &ctx) {
    Channel &c = Chan();
    ReaderTurn turn = ReaderTurn::kRead;
    Lock(&c.mutex, "processLine:pthread_mutex_lock error !");
    for (;;) {
        if (c.reader.get() != &ctx || ctx.stop.load(std::memory_order_acquire)) {
            turn = ReaderTurn::kLeave;
            break;
        }
        if (!ctx.queue.empty()) {
            turn = ReaderTurn::kDeliver;
            break;
        }
        c.readerParked = true;
        if (c.senderReading) {
            c.readerWaitsForSender = true;
            pthread_cond_wait(&c.readerCond, &c.mutex);
            c.readerWaitsForSender = false;
            c.readerParked = false;
            continue;
        }
        const long long until = c.portFreeSinceNs + kReaderLingerNs;
        if (c.portFreeSinceNs == 0 || NowNs() >= until) {
            c.readerParked = false;
            break;
        }
        struct timespec ts;
        ts.tv_sec = static_cast<time_t>(until / 1000000000LL);
        ts.tv_nsec = static_cast<long>(until % 1000000000LL);
        pthread_cond_timedwait(&c.readerCond, &c.mutex, &ts);
        c.readerParked = false;
    }
    Unlock(&c.mutex, "processLine:pthread_mutex_unlock error !");
    return turn;
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
    t_reader.Set(ctx.get());

    std::vector<QueuedLine> batch;
    for (;;) {
        DeliverQueued(*ctx, batch);
        const ReaderTurn turn = WaitForPortTurn(*ctx);
        if (turn == ReaderTurn::kLeave) break;
        if (turn == ReaderTurn::kDeliver) continue;

        // Block until the modem sends something or at_close asks the reader to leave; a
        // blocked read() alone would not notice a close of its descriptor.
        struct pollfd pfd[3] = {{ctx->fd, POLLIN, 0}, {ctx->wakeFd, POLLIN, 0}, {ctx->nudgeFd, POLLIN, 0}};
        if (poll(pfd, 3, -1) < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            RLOGD("errno: %d", e);
            RLOGD("atchannel: read error %s", strerror(e));
            break;
        }
        if (pfd[1].revents != 0 || ctx->stop.load(std::memory_order_acquire)) break;
        if (pfd[2].revents != 0) {
            uint64_t count = 0;
            while (read(ctx->nudgeFd, &count, sizeof count) < 0 && errno == EINTR) {
            }
            if (pfd[0].revents == 0) continue;
        }
        // A sender holds the port: it reads what came and queues what is not its own.
        if (!ctx->portMutex.try_lock()) continue;
        const PumpResult result = Pump(*ctx, true);
        ctx->portMutex.unlock();
        if (result == PumpResult::kEnd) break;
    }
    DeliverQueued(*ctx, batch);  // what came before the end still goes out

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
// handed the descriptor of the channel it replaces. With onlyGeneration non-zero the channel
// is closed only while it is still that one. True when a channel was closed.
bool CloseChannel(int keepFd, unsigned onlyGeneration = 0) {
    Channel &c = Chan();
    Lock(&c.mutex, "at_close:pthread_mutex_lock error !");
    if (onlyGeneration != 0 && c.generation != onlyGeneration) {
        Unlock(&c.mutex, "at_close:pthread_mutex_unlock error !");
        return false;
    }
    const int fd = c.fd;
    c.fd = -1;
    std::shared_ptr<ReaderContext> ctx = std::move(c.reader);
    c.reader.reset();
    c.readerClosed = true;
    if (pthread_cond_broadcast(&c.cond) != 0) RLOGD("at_close:pthread_cond_signal error !");
    if (pthread_cond_broadcast(&c.readerCond) != 0) RLOGD("at_close:pthread_cond_signal error !");
    Unlock(&c.mutex, "at_close:pthread_mutex_unlock error !");

    if (ctx) {
        ctx->stop.store(true, std::memory_order_release);
        const uint64_t one = 1;
        while (write(ctx->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        // On the reader's own thread (a hook or handler) the reader is not reading right now.
        const bool onReader = t_reader.Get() == ctx.get();
        std::unique_lock<std::mutex> lock(ctx->doneMutex);
        ctx->doneCond.wait(lock, [&] { return (onReader || ctx->done) && ctx->writers == 0; });
    }
    if (fd >= 0 && fd != keepFd) close(fd);
    const bool closed = fd >= 0 || ctx != nullptr;
    if (closed) zv::RecordModemLine(kPort, ZV_MODEM_CLOSE, nullptr, 0);
    return closed;
}

}  // namespace

bool CloseTimedOutChannel() {
    return CloseChannel(-1, t_timedOutGeneration.Get());
}

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

unsigned CommandsWrittenByThisThread() { return t_commandsWritten.Get(); }

}  // namespace zv::at

using zv::at::Chan;

int at_open(int fd, ATUnsolHandler unsol_handler) {
    if (fd < 0) return -1;
    zv::at::CloseChannel(fd);

    // Every write is bounded by its exchange's deadline: the port must not block a writer.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        fprintf(stderr, "fcntl: %s\n", strerror(errno));
        return -1;
    }

    auto ctx = std::make_shared<zv::at::ReaderContext>();
    ctx->fd = fd;
    ctx->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ctx->nudgeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (ctx->wakeFd < 0 || ctx->nudgeFd < 0) {
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
    c.pduToWrite = nullptr;
    c.resyncNeeded = false;
    c.reader = ctx;
    ++c.generation;
    if (c.generation == 0) ++c.generation;  // 0 means "any channel" to CloseChannel
    ctx->generation = c.generation;
    c.silentTimeouts.store(0);
    zv::at::Unlock(&c.mutex, "at_open:pthread_mutex_unlock error !");
    // Before the reader starts, so the port's first line comes after its opening.
    zv::RecordModemLine(zv::at::kPort, ZV_MODEM_OPEN, nullptr, 0);

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
    // On a reader thread (its closed hook, a handler) only that reader's own channel: a hook
    // that runs late must not close the channel that replaced it.
    const zv::at::ReaderContext *reader = zv::at::t_reader.Get();
    zv::at::CloseChannel(-1, reader ? reader->generation : 0);
}

void at_set_on_timeout(void (*hook)(void)) {
    Chan().onTimeout.store(hook);
}

void at_set_on_reader_closed(void (*hook)(void)) {
    Chan().onReaderClosed.store(hook);
}

namespace zv::at {
namespace {

void RunTimeoutHook() {
    if (void (*hook)(void) = Chan().onTimeout.load()) hook();
    t_timedOutGeneration.Set(0);
}

}  // namespace
}  // namespace zv::at

int at_send_command_full(const char *command, ATCommandType type, const char *prefix, const char *pdu,
                         ATResponse **out) {
    if (zv::at::t_reader.Get()) return AT_ERR_WRONG_THREAD;
    if (!command) return AT_ERR_GENERIC;
    zv::at::Channel &c = Chan();
    zv::at::Lock(&s_readdelmutex, "at_send_command_full:pthread_mutex_lock1 error!");
    zv::at::Lock(&c.mutex, "at_send_command_full:pthread_mutex_lock2 error!");
    const int err = zv::at::SendNoLock(command, type, prefix, pdu, out);
    zv::at::Unlock(&c.mutex, "at_send_command_full:pthread_mutex_unlock2 error!");
    zv::at::Unlock(&s_readdelmutex, "at_send_command_full:pthread_mutex_unlock1 error!");
    if (err == 0) return 0;
    RLOGD("at_send_command_full_nolock err = %d", err);
    if (err == AT_ERR_TIMEOUT) zv::at::RunTimeoutHook();
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

// The same locks in the same order as every exchange, released between attempts and during
// the settling pause: a request that comes meanwhile waits its turn instead of failing.
int at_handshake(void) {
    if (zv::at::t_reader.Get()) return AT_ERR_WRONG_THREAD;
    zv::at::Channel &c = Chan();
    int err = AT_ERR_GENERIC;
    for (int attempt = 0; attempt < zv::at::kHandshakeAttempts; ++attempt) {
        zv::at::Lock(&s_readdelmutex, "at_send_command_full:pthread_mutex_lock1 error!");
        zv::at::Lock(&c.mutex, "at_handshake:pthread_mutex_lock error!");
        err = zv::at::SendNoLock("ATE0V1", AT_TYPE_NO_RESULT, nullptr, nullptr, nullptr);
        zv::at::Unlock(&c.mutex, "at_handshake:pthread_mutex_unlock error!");
        zv::at::Unlock(&s_readdelmutex, "at_send_command_full:pthread_mutex_unlock1 error!");
        if (err == 0) {
            sleepMsec(zv::at::kHandshakeSettleMs);
            break;
        }
        if (err == AT_ERR_TIMEOUT) {
            zv::at::RunTimeoutHook();
            break;
        }
        if (err == AT_ERR_CLOSED) break;
    }
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
