/*
 * Pieces of the AT channel that need no thread and no descriptor: the line splitter, the
 * line classifier, the request time-out choice and the log masking. The channel in
 * atchannel.cpp wires them to the tty; tests and the fuzz target drive them directly.
 */
#ifndef ZORVIK_ATCHANNEL_AT_INTERNAL_H
#define ZORVIK_ATCHANNEL_AT_INTERNAL_H

#include <stddef.h>

#include <atomic>
#include <string>

#include "atchannel/atchannel.h"

namespace zv::at {

constexpr size_t kLineBufferSize = 8192;

/*
 * Splits the modem's byte stream into lines in one fixed buffer. Bytes are read into
 * ReadSpace() and announced with Commit(); Next() then hands out every complete line,
 * terminated in place, until it returns null and more bytes are needed. A returned line
 * stays valid until the next call to ReadSpace().
 *
 * The modem is not trusted: NUL bytes are dropped on arrival (a line is a C string for
 * everyone downstream, so an embedded NUL would silently cut it), and a line that overruns
 * the buffer is thrown away up to its line end rather than delivered in pieces.
 */
class LineSplitter {
  public:
    char *Next(size_t *len);
    char *ReadSpace(size_t *room);
    void Commit(size_t n);

  private:
    char buf_[kLineBufferSize + 1];
    size_t cur_ = 0;   // first unconsumed byte
    size_t end_ = 0;   // one past the last received byte
    size_t scan_ = 0;  // bytes from cur_ up to here hold no line end
    bool discarding_ = false;
};

/* What a received line means for the exchange in progress. */
enum class LineClass { kUnsolicited, kSuccess, kError, kPrompt, kIntermediate };

struct ExchangeView {
    bool pending = false;  // an exchange is waiting for its answer
    ATCommandType type = AT_TYPE_NO_RESULT;
    const char *prefix = nullptr;
    bool hasIntermediate = false;
    bool pduStored = false;
    int atType = 1;  // value of g_at_type for the exchange
};

LineClass ClassifyLine(const char *line, const ExchangeView &x);

/* +CMT:, +CDS:, +CBM: are followed by a PDU line that belongs to them. */
bool IsSmsPairLine(const char *line);

/*
 * Time-out in (unscaled) milliseconds for a command about to be sent. Consumes at_request
 * when the command takes the time-out of the request that is being served.
 */
long long ChooseTimeoutMs(const char *command);
long long TimeoutClassMs(int timeoutClass);

/* Masks the secret part of a NUL-terminated line of length len in place. */
void MaskLine(char *text, size_t len);
std::string MaskedCopy(const char *text);

/* Case-insensitive substring search. */
const char *FindNoCase(const char *haystack, const char *needle);

/* Appends a copy of line at the head of r's list (the sender reverses it at the end). */
void AddIntermediate(ATResponse *r, const char *line);
void ReverseIntermediates(ATResponse *r);

/*
 * Commands this thread has written to the modem so far. The dispatcher compares it around a
 * request handler so its log says whether the request went to the modem at all.
 */
unsigned CommandsWrittenByThisThread();

/* Consecutive time-outs without any line from the modem after which the exchange fails. */
constexpr int kSilentTimeoutsBeforeFailure = 3;

/*
 * Bounds of one response: a modem that keeps sending lines that match the command would
 * otherwise grow it without limit. Past either bound the exchange fails once its final line
 * (or its time-out) comes; the lines in between are dropped.
 */
constexpr size_t kMaxResponseLines = 2048;
constexpr size_t kMaxResponseBytes = 256 * 1024;

/*
 * After a time-out the modem may still answer the command it gave up on, and that late final
 * line must not end the next exchange. Before the next command the channel sends this probe,
 * waits for its final line, then lets the line go quiet for a while: whatever the modem still
 * owed has arrived by then (it answers in order) and went to the unsolicited handler.
 */
constexpr const char kResyncProbe[] = "AT";
constexpr long long kResyncProbeTimeoutMs = 5000;
constexpr long long kResyncQuietMs = 200;
constexpr long long kResyncQuietFloorMs = 20;  // real milliseconds, whatever the time scale
constexpr long long kResyncDrainMaxMs = 2000;

/*
 * For the time-out hook: closes the channel only when it is still the one on which the
 * calling thread's exchange timed out (a hook that runs after a reopen must leave the new
 * channel alone). Outside a hook it closes whatever channel is open. True when it closed.
 */
bool CloseTimedOutChannel();

/* Fault injection for tests: the next n response allocations fail. */
extern std::atomic<int> g_failResponseAllocs;

}  // namespace zv::at

#endif
