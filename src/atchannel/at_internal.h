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

/* Fault injection for tests: the next n response allocations fail. */
extern std::atomic<int> g_failResponseAllocs;

}  // namespace zv::at

#endif
