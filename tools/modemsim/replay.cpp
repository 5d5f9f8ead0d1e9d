// The recorded modem. An exchange is one command with the lines the modem sent up to its final
// result; the unsolicited lines after that, until the next command, are its timed lines, sent
// after the answer with the gap they had in the recording. The next command flushes whatever is
// still due, so the lines keep their recorded order around the commands whatever the timing.

#include <modemsim/data_port.h>
#include <modemsim/replay.h>

#include <algorithm>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace modemsim {
namespace {

// A recorded gap longer than this is shortened: a replay is for tests, and a transcript could
// hold any number.
constexpr long long kMaxGapMs = 60000;

// Within this much of each other, a command and the one before it were written back to back,
// so the earlier one's answer came in between whatever order the recording lists them in.
constexpr long long kSameMomentMs = 100;

bool IsFinal(const std::string &line) {
    static const char *const kFinal[] = {"OK",   "ERROR",     "+CME ERROR", "+CMS ERROR",  "NO CARRIER",
                                         "BUSY", "NO ANSWER", "CONNECT",    "NO DIALTONE", "COMMAND NOT SUPPORT"};
    for (const char *f : kFinal) {
        if (line.rfind(f, 0) == 0) return true;
    }
    return false;
}

bool IsPrompt(const std::string &text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end != std::string::npos && end == 0 && text[0] == '>';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string &in, std::string *out) {
    out->clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            *out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
            case '\\': *out += '\\'; break;
            case 't': *out += '\t'; break;
            case 'r': *out += '\r'; break;
            case 'n': *out += '\n'; break;
            case 'x': {
                if (i + 2 >= in.size()) return false;
                const int hi = HexDigit(in[i + 1]), lo = HexDigit(in[i + 2]);
                if (hi < 0 || lo < 0) return false;
                *out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

// "12.345" in milliseconds; the recorder writes three decimals, fewer are read as well.
bool Milliseconds(const std::string &text, long long *ms) {
    if (text.empty() || text.size() > 16 || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    char *end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (!end || *end || seconds < 0 || seconds > 1e9) return false;
    *ms = static_cast<long long>(seconds * 1000 + 0.5);
    return true;
}

std::vector<std::string> Split(const std::string &line, char sep, std::size_t max_parts) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (parts.size() + 1 < max_parts) {
        const std::size_t at = line.find(sep, from);
        if (at == std::string::npos) break;
        parts.push_back(line.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(line.substr(from));
    return parts;
}

}  // namespace

bool ParseTranscript(const std::string &text, Transcript *out, std::string *error) {
    *out = Transcript{};
    std::size_t number = 0, from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        from = end + 1;
        ++number;
        auto fail = [&](const std::string &why) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxTranscriptLine) return fail("longer than " + std::to_string(kMaxTranscriptLine) + " bytes");
        if (number == 1) {
            if (line.rfind("# zvril transcript 1", 0) != 0) return fail("not a transcript (\"# zvril transcript 1\" expected)");
            out->masked = line.find("UNMASKED") == std::string::npos;
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '#') {
            const std::size_t key = line.find_first_not_of("# ");
            const std::vector<std::string> kv = Split(key == std::string::npos ? "" : line.substr(key), ' ', 2);
            const std::string value = kv.size() > 1 ? kv[1] : "";
            if (kv[0] == "module") out->module = value;
            else if (kv[0] == "ecm") out->ecm = value == "yes";
            else if (kv[0] == "sim") out->sim = value;
            else if (kv[0] == "command") out->command = value;
            continue;  // other keys belong to later versions
        }
        const std::vector<std::string> f = Split(line, '\t', 4);
        if (f.size() < 3) return fail("an event needs a time, a port and a kind");
        TranscriptEvent e;
        if (!Milliseconds(f[0], &e.ms)) return fail("bad time \"" + f[0] + "\"");
        e.port = f[1];
        e.kind = f[2];
        if (f.size() > 3 && !Unescape(f[3], &e.text)) return fail("bad escape in the text");
        if (out->events.size() >= kMaxTranscriptEvents)
            return fail("more than " + std::to_string(kMaxTranscriptEvents) + " events");
        out->events.push_back(std::move(e));
    }
    if (number == 0) {
        *error = "empty file";
        return false;
    }
    return true;
}

Replayer::Port Replayer::Build(const Transcript &t, const std::string &port) {
    Port p;
    long long open_ms = -1;
    // Exchanges still waiting for their final result, oldest first. The library writes one
    // command at a time, but a recording may list the next command before the answer that
    // let it go (two threads report them); such an answer still belongs to the oldest.
    std::deque<std::size_t> waiting;
    std::vector<long long> command_ms, last_ms;
    for (const TranscriptEvent &e : t.events) {
        if (e.port != port) continue;
        if (e.kind == "open" && open_ms < 0) open_ms = e.ms;
        if (e.kind == "cmd") {
            // One that waited longer got no answer at all (the library gave up on it).
            while (!waiting.empty() && e.ms - command_ms[waiting.front()] > kSameMomentMs) waiting.pop_front();
            p.exchanges.push_back(Exchange{});
            p.exchanges.back().command = e.text;
            command_ms.push_back(e.ms);
            last_ms.push_back(e.ms);
            waiting.push_back(p.exchanges.size() - 1);
        } else if (e.kind == "pdu") {
            if (!p.exchanges.empty()) p.exchanges.back().prompt = true;
        } else if (e.kind == "ans" || e.kind == "unsol") {
            if (p.exchanges.empty()) {
                if (e.kind == "unsol") p.leading.emplace_back(std::max(0LL, e.ms - std::max(open_ms, 0LL)), e.text);
                continue;
            }
            if (waiting.empty()) {
                // After the answer: sent after it, with the gap to the line before it.
                const std::size_t i = p.exchanges.size() - 1;
                if (e.kind == "ans") {
                    p.exchanges[i].answer.push_back(e.text);  // a late answer line
                } else {
                    p.exchanges[i].later.emplace_back(std::clamp(e.ms - last_ms[i], 0LL, kMaxGapMs), e.text);
                }
                last_ms[i] = e.ms;
                continue;
            }
            const std::size_t i = waiting.front();
            Exchange &x = p.exchanges[i];
            last_ms[i] = e.ms;
            if (e.kind == "ans" && IsPrompt(e.text)) {
                x.prompt = true;
                continue;
            }
            (x.prompt ? x.after_pdu : x.answer).push_back(e.text);
            if (e.kind == "ans" && IsFinal(e.text)) waiting.pop_front();
        }
    }
    return p;
}

Replayer::Replayer(Transcript transcript, Mask mask) : mask_(std::move(mask)), masked_(transcript.masked) {
    control_ = Build(transcript, "control");
    data_ = Build(transcript, "modem");
    serve_data_ = !data_.exchanges.empty();
}

Replayer::~Replayer() {
    Stop();
}

void Replayer::Attach(Modem &modem) {
    modem_ = &modem;
    modem.SetFallback([this](Modem &, const std::string &command) { return Answer(command, false); });
    modem.OnPdu("", [this](Modem &, const std::string &command, const std::string &) { return Answer(command, true); });
    if (serve_data_) {
        modem.data_port().SetAnswerer([this](const std::string &command, std::vector<std::string> *lines) {
            std::lock_guard<std::mutex> lock(mu_);
            const std::string key = masked_ && mask_ ? mask_(command) : command;
            Exchange *x = Match(data_, key);
            if (!x) {
                if (unexpected_.size() < kMaxUnexpectedKept) unexpected_.push_back("modem: " + key);
                ++unexpected_total_;
                return false;
            }
            *lines = x->answer;
            return true;
        });
    }
}

void Replayer::Start() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        Schedule(control_.leading);
    }
    pump_ = std::thread(&Replayer::Pump, this);
}

void Replayer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        changed_.notify_all();
    }
    if (pump_.joinable()) pump_.join();
}

std::vector<std::string> Replayer::Unexpected(std::size_t *total) const {
    std::lock_guard<std::mutex> lock(mu_);
    if (total) *total = unexpected_total_;
    return unexpected_;
}

// The next exchange with this command that has not been used yet, in recorded order; once all
// are used, the first of them again (a command the library repeats more often than it did).
Replayer::Exchange *Replayer::Match(Port &port, const std::string &command) {
    Exchange *again = nullptr;
    for (Exchange &x : port.exchanges) {
        if (x.command != command) continue;
        if (!x.used) {
            x.used = true;
            return &x;
        }
        if (!again) again = &x;
    }
    return again;
}

Modem::Lines Replayer::Answer(const std::string &command, bool pdu) {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string key = masked_ && mask_ ? mask_(command) : command;
    // What was due before this command goes out before its answer.
    Modem::Lines lines;
    for (Due &d : due_) lines.push_back(std::move(d.line));
    due_.clear();
    Exchange *x = Match(control_, key);
    if (!x) {
        if (unexpected_.size() < kMaxUnexpectedKept) unexpected_.push_back(key);
        ++unexpected_total_;
        lines.push_back("ERROR");
        return lines;
    }
    const Modem::Lines &answer = pdu && x->prompt ? x->after_pdu : x->answer;
    lines.insert(lines.end(), answer.begin(), answer.end());
    // A prompting command's timed lines follow the answer to its PDU.
    if (pdu || !x->prompt) Schedule(x->later);
    return lines;
}

void Replayer::Schedule(const std::vector<std::pair<long long, std::string>> &lines) {
    Clock::time_point at = Clock::now();
    for (const auto &[gap_ms, line] : lines) {
        at += std::chrono::milliseconds(gap_ms);
        due_.push_back({at, line});
    }
    std::stable_sort(due_.begin(), due_.end(), [](const Due &a, const Due &b) { return a.at < b.at; });
    changed_.notify_all();
}

void Replayer::Pump() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
        if (due_.empty()) {
            changed_.wait_for(lock, std::chrono::seconds(1));
            continue;
        }
        if (Clock::now() < due_.front().at) {
            changed_.wait_until(lock, due_.front().at);
            continue;
        }
        // Queued on the modem under this lock, so no answer can slip in ahead of it.
        modem_->Inject(due_.front().line);
        due_.erase(due_.begin());
    }
}

}  // namespace modemsim
