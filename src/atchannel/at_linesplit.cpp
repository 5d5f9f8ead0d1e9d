// Line splitting of the modem's byte stream: one fixed buffer, reused for the life of a
// reader, lines terminated in place and handed out without a copy.
#include <string.h>

#include "atchannel/at_internal.h"
#include "zvlog.h"

namespace zv::at {
namespace {

inline bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

char *LineSplitter::Next(size_t *len) {
    if (discarding_) {
        // The rest of an overlong line: nothing in it can be trusted to be a line of its own.
        char *eol = buf_ + cur_;
        char *const stop = buf_ + end_;
        while (eol < stop && !IsLineEnd(*eol)) ++eol;
        if (eol == stop) {
            cur_ = end_ = scan_ = 0;
            return nullptr;
        }
        discarding_ = false;
        cur_ = static_cast<size_t>(eol - buf_);
    }
    while (cur_ < end_ && IsLineEnd(buf_[cur_])) ++cur_;
    if (cur_ == end_) {
        cur_ = end_ = scan_ = 0;
        return nullptr;
    }
    // Bytes before scan_ were already looked at by an earlier call and hold no line end, so
    // a line that trickles in byte by byte is not rescanned from its start every time.
    if (scan_ < cur_) scan_ = cur_;
    char *const line = buf_ + cur_;
    char *const stop = buf_ + end_;
    char *p = buf_ + scan_;
    while (p < stop && !IsLineEnd(*p)) ++p;
    if (p == stop) {
        scan_ = end_;
        // The modem sends the SMS prompt without a line end: "> " as the last bytes received
        // is a line, since nothing more will come until the PDU is written.
        if (end_ - cur_ == 2 && line[0] == '>' && line[1] == ' ') {
            *stop = '\0';  // buf_ has one byte beyond kLineBufferSize for this
            cur_ = scan_ = end_;
            *len = 2;
            return line;
        }
        return nullptr;
    }
    *p = '\0';
    *len = static_cast<size_t>(p - line);
    cur_ = scan_ = static_cast<size_t>(p - buf_) + 1;
    return line;
}

char *LineSplitter::ReadSpace(size_t *room) {
    if (cur_ > 0) {
        memmove(buf_, buf_ + cur_, end_ - cur_);
        end_ -= cur_;
        scan_ -= cur_;
        cur_ = 0;
    }
    if (end_ >= kLineBufferSize) {
        RLOGD("ERROR: Input line exceeded buffer\n");
        end_ = scan_ = 0;
        discarding_ = true;
    }
    *room = kLineBufferSize - end_;
    return buf_ + end_;
}

void LineSplitter::Commit(size_t n) {
    char *const p = buf_ + end_;
    if (n > kLineBufferSize - end_) n = kLineBufferSize - end_;
    if (memchr(p, '\0', n)) {
        size_t w = 0;
        for (size_t i = 0; i < n; ++i) {
            if (p[i] != '\0') p[w++] = p[i];
        }
        n = w;
    }
    end_ += n;
    buf_[end_] = '\0';
}

}  // namespace zv::at
