#include "record.h"

#include <cerrno>
#include <cstring>

#include <zorvik/host.h>

namespace zvril {

namespace {

const char *KindName(int event) {
    switch (event) {
        case ZV_MODEM_OPEN: return "open";
        case ZV_MODEM_CLOSE: return "close";
        case ZV_MODEM_CMD: return "cmd";
        case ZV_MODEM_PDU: return "pdu";
        case ZV_MODEM_ANS: return "ans";
        case ZV_MODEM_UNSOL: return "unsol";
        default: return nullptr;
    }
}

}  // namespace

Recorder::~Recorder() { Close(); }

bool Recorder::Open(const std::string &path, bool unmasked, std::string *error) {
    out_ = std::fopen(path.c_str(), "w");
    if (!out_) {
        *error = "cannot write the transcript file " + path + ": " + std::strerror(errno) +
                 "; give --record a writable path";
        return false;
    }
    unmasked_ = unmasked;
    start_ = std::chrono::steady_clock::now();
    writer_ = std::thread([this] { Write(); });
    return true;
}

void Recorder::Header(const std::string &key, const std::string &value) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!headerDone_) header_.push_back(key + " " + value);
}

void Recorder::HeaderDone() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        headerDone_ = true;
    }
    cv_.notify_all();
}

std::string Recorder::EventLine(const char *port, int event, const char *text, size_t len) {
    const char *kind = KindName(event);
    std::string line = std::string(port ? port : "?") + "\t" + (kind ? kind : "?");
    if (event == ZV_MODEM_OPEN || event == ZV_MODEM_CLOSE) return line;
    line += '\t';
    // One event a line whatever the modem sent: tab, backslash and control bytes escaped.
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < len; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\t') {
            line += "\\t";
        } else if (c == '\\') {
            line += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            line += "\\x";
            line += kHex[c >> 4];
            line += kHex[c & 15];
        } else {
            line += static_cast<char>(c);
        }
    }
    return line;
}

void Recorder::Receive(const char *port, int event, const char *text, size_t len, void *self) {
    auto *r = static_cast<Recorder *>(self);
    std::string line = EventLine(port, event, text, len);
    {
        std::lock_guard<std::mutex> lock(r->mu_);
        if (r->stop_) return;
        if (r->queuedBytes_ + line.size() > kMaxQueuedBytes) {
            ++r->dropped_;  // the writer is far behind: the file says how many went missing
            return;
        }
        // Taken under the lock, so the times in the file never go backwards.
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - r->start_).count();
        r->queuedBytes_ += line.size();
        r->queue_.push_back({s, std::move(line)});
    }
    r->cv_.notify_one();
}

void Recorder::Write() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return headerDone_ || stop_; });
    std::fprintf(out_, "# zvril transcript 1 %s\n", unmasked_ ? "UNMASKED" : "masked");
    for (const auto &h : header_) std::fprintf(out_, "# %s\n", h.c_str());
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        std::deque<Event> batch;
        batch.swap(queue_);
        queuedBytes_ = 0;
        const bool last = stop_;
        lock.unlock();
        for (const auto &e : batch) std::fprintf(out_, "%.3f\t%s\n", e.seconds, e.line.c_str());
        std::fflush(out_);
        lock.lock();
        if (last && queue_.empty()) break;
    }
    if (dropped_ > 0) std::fprintf(out_, "# dropped %llu\n", dropped_);
}

void Recorder::Close() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (out_) std::fclose(out_);
    out_ = nullptr;
}

}  // namespace zvril
