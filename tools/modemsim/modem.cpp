// The simulated modem's pty, serving thread and command dispatch.
//
// One thread per plug does all I/O on the master: it reads commands, writes answers, echo and
// unsolicited output from one time-ordered queue, and sleeps in poll() in between. Other threads
// only queue output and wake it through an eventfd; closing an fd would not wake a blocked poll.

#include <modemsim/modemsim.h>

#include <modemsim/data_port.h>
#include <modemsim/pty_ends.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

namespace modemsim {
namespace {

// A command line longer than this is answered with ERROR; a modem's line buffer is finite too.
constexpr std::size_t kMaxCommand = 4096;
// Longest PDU collected at the prompt; a longer one is refused at Ctrl-Z.
constexpr std::size_t kMaxPdu = 8192;
// Output kept for a slave side that does not read; beyond this new output is dropped.
constexpr std::size_t kMaxPendingOutput = 4 << 20;

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;

std::string Frame(const Modem::Lines &lines) {
    std::string bytes;
    for (const std::string &line : lines) bytes += "\r\n" + line + "\r\n";
    return bytes;
}

// A throwing handler is a broken test script; the modem answers ERROR and keeps serving.
template <typename F>
Modem::Lines Guarded(const std::string &command, F &&answer) {
    try {
        return answer();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "modemsim: handler for \"%s\" threw: %s\n", command.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "modemsim: handler for \"%s\" threw\n", command.c_str());
    }
    return {"ERROR"};
}

bool StartsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

struct Modem::Connection {
    int master = -1;
    int slave = -1;  // kept open so the master never sees a hang-up between the user's opens
    int wake = -1;
    enum class Mode { kCommand, kPdu } mode = Mode::kCommand;
    std::string line;
    bool line_overflow = false;
    std::string prompt_command;
    std::string pdu;
    bool pdu_overflow = false;
    std::string unwritten;  // taken from out_ but not yet accepted by the master
    Clock::time_point next_write{};  // a paced line rests until then
};

Modem::Modem(ModuleType type) : type_(type), data_port_(std::make_unique<DataPort>(*this)) {
    if (type == ModuleType::kCdmaNoCard) state_.sim = SimState::kAbsent;
}

Modem::~Modem() {
    Unplug();
}

bool Modem::Plug() {
    std::lock_guard<std::mutex> plug_lock(plug_mu_);
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (Live()) return true;
        if (OnServingThread()) return false;  // a handler cannot wait for its own thread to end
        // A plug that ends or ended by itself (Unplug() from a handler) leaves its thread to join.
        finished = std::move(thread_);
    }
    if (finished.joinable()) finished.join();

    auto conn = std::make_unique<Connection>();
    char path[128] = {};
    if (!OpenPtyEnds(conn->master, conn->slave, conn->wake, path, sizeof path)) return false;

    {
        std::lock_guard<std::mutex> lock(mu_);
        slave_path_ = path;
        wake_fd_ = conn->wake;
        stop_ = false;
        state_.echo = echo_at_power_on_;
        out_.clear();
        after_answer_.clear();
        last_answer_due_ = Clock::time_point{};
        try {
            thread_ = std::thread(&Modem::Serve, this, conn.get());
        } catch (const std::system_error &) {
            wake_fd_ = -1;
            CloseFd(conn->master);
            CloseFd(conn->slave);
            CloseFd(conn->wake);
            return false;
        }
        conn_ = conn.release();  // the serving thread deletes it
    }
    // A MODEM port that cannot be opened leaves the control port usable.
    if (!data_port_->Plug()) std::fprintf(stderr, "modemsim: cannot open the MODEM port's pty\n");
    return true;
}

void Modem::Unplug() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (OnServingThread()) {
            // Joining ourselves is impossible: the loop sees stop_ when the handler returns.
            stop_ = true;
            return;
        }
    }
    std::lock_guard<std::mutex> plug_lock(plug_mu_);
    std::thread serving;
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        Wake();
        serving = std::move(thread_);
    }
    if (serving.joinable()) serving.join();
}

bool Modem::IsPlugged() const {
    std::lock_guard<std::mutex> lock(mu_);
    return Live();
}

std::string Modem::SlavePath() const {
    std::lock_guard<std::mutex> lock(mu_);
    return Live() ? slave_path_ : std::string();
}

bool Modem::Live() const {
    return conn_ != nullptr && !stop_;
}

// ---- serving thread

void Modem::Serve(Connection *conn) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        serving_id_ = std::this_thread::get_id();
    }
    while (Pump(conn)) {
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;  // unplugged from now on, also when the pty broke
    }
    data_port_->Unplug();  // both ports go with the device
    // Master first: from here on a reader of the slave gets EIO, as after a real unplug.
    CloseFd(conn->master);
    CloseFd(conn->slave);
    std::lock_guard<std::mutex> lock(mu_);
    conn_ = nullptr;
    slave_path_.clear();
    wake_fd_ = -1;
    CloseFd(conn->wake);
    out_.clear();
    after_answer_.clear();
    serving_id_ = std::thread::id{};
    delete conn;
}

bool Modem::Pump(Connection *conn) {
    int timeout_ms = -1;
    std::size_t pace_bytes;
    int pace_gap_ms;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (stop_) return false;
        const Clock::time_point now = Clock::now();
        auto first_later = std::find_if(out_.begin(), out_.end(), [&](const Pending &p) { return p.due > now; });
        for (auto it = out_.begin(); it != first_later; ++it) {
            if (conn->unwritten.size() + it->bytes.size() <= kMaxPendingOutput) conn->unwritten += it->bytes;
        }
        out_.erase(out_.begin(), first_later);
        if (!out_.empty()) {
            auto wait = std::chrono::ceil<std::chrono::milliseconds>(out_.front().due - now).count();
            timeout_ms = static_cast<int>(std::clamp<long long>(wait, 1, 60000));
        }
        pace_bytes = pace_bytes_;
        pace_gap_ms = pace_gap_ms_;
    }

    const bool paced = pace_bytes > 0;
    if (!conn->unwritten.empty() && (!paced || Clock::now() >= conn->next_write)) {
        const std::size_t chunk = paced ? std::min(pace_bytes, conn->unwritten.size()) : conn->unwritten.size();
        ssize_t n = write(conn->master, conn->unwritten.data(), chunk);
        if (n > 0) {
            TraceBytes('>', conn->unwritten.substr(0, static_cast<std::size_t>(n)));
            conn->unwritten.erase(0, static_cast<std::size_t>(n));
            if (paced) conn->next_write = Clock::now() + std::chrono::milliseconds(pace_gap_ms);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
    }

    struct pollfd fds[2] = {{conn->wake, POLLIN, 0}, {conn->master, POLLIN, 0}};
    if (!conn->unwritten.empty()) {
        const Clock::time_point now = Clock::now();
        if (!paced || now >= conn->next_write) {
            fds[1].events |= POLLOUT;
        } else {
            // Waiting for POLLOUT here would spin: the master is writable, the line is resting.
            auto rest = std::chrono::ceil<std::chrono::milliseconds>(conn->next_write - now).count();
            const int rest_ms = static_cast<int>(std::clamp<long long>(rest, 1, 60000));
            timeout_ms = timeout_ms < 0 ? rest_ms : std::min(timeout_ms, rest_ms);
        }
    }
    if (poll(fds, 2, timeout_ms) < 0) return errno == EINTR;

    if (fds[0].revents & POLLIN) {
        uint64_t count;
        while (read(conn->wake, &count, sizeof(count)) > 0) {
        }
    }
    if (fds[1].revents & POLLIN) {
        char buf[4096];
        ssize_t n = read(conn->master, buf, sizeof(buf));
        if (n > 0) {
            TraceBytes('<', std::string(buf, static_cast<std::size_t>(n)));
            OnBytes(conn, buf, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return false;
        }
    } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        // We hold a slave fd, so this is not the user closing theirs: the pty is broken.
        return false;
    }
    return true;
}

void Modem::OnBytes(Connection *conn, const char *data, std::size_t n) {
    bool echo;
    {
        std::lock_guard<std::mutex> lock(mu_);
        echo = state_.echo;
    }
    std::string echoed;
    auto flush_echo = [&] {
        if (echoed.empty()) return;
        std::lock_guard<std::mutex> lock(mu_);
        Enqueue(Clock::now(), std::move(echoed));
        echoed.clear();
    };

    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (conn->mode == Connection::Mode::kPdu) {
            if (c == kCtrlZ) {
                conn->mode = Connection::Mode::kCommand;
                OnPduComplete(conn);
            } else if (c == kEsc) {
                conn->mode = Connection::Mode::kCommand;
                Answer(Frame({"OK"}), 0);
            } else if (c != '\r' && c != '\n') {
                if (conn->pdu.size() < kMaxPdu) {
                    conn->pdu += c;
                } else {
                    conn->pdu_overflow = true;
                }
            }
            continue;
        }

        if (echo) echoed += c;
        if (c == '\r') {
            std::string command;
            command.swap(conn->line);
            const bool overflow = conn->line_overflow;
            conn->line_overflow = false;
            flush_echo();
            if (overflow) {
                Answer(Frame({"ERROR"}), 0);
            } else if (!command.empty()) {
                OnCommand(conn, command);
                // ATE<n> takes effect from the next byte on; a handler may have unplugged us.
                std::lock_guard<std::mutex> lock(mu_);
                if (stop_) return;
                echo = state_.echo;
            }
        } else if (c == '\n') {
            // Line feeds after the CR are common and mean nothing.
        } else if (c == kBackspace) {
            if (!conn->line.empty()) conn->line.pop_back();
        } else if (conn->line.size() < kMaxCommand) {
            conn->line += c;
        } else {
            conn->line_overflow = true;
        }
    }
    flush_echo();
}

void Modem::OnCommand(Connection *conn, const std::string &command) {
    std::optional<Rule> rule;
    Handler fallback;
    int delay_ms;
    {
        std::lock_guard<std::mutex> lock(mu_);
        commands_.push_back(command);
        received_.notify_all();
        for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
            bool match = it->kind == RuleKind::kExact ? command == it->text : StartsWith(command, it->text);
            if (match) {
                rule = *it;
                break;
            }
        }
        delay_ms = DelayFor(command);
        fallback = fallback_;
    }

    Lines lines;
    if (rule) {
        if (rule->kind == RuleKind::kWithhold) return;
        lines = rule->kind == RuleKind::kHandler ? Guarded(command, [&] { return rule->handler(*this, command); })
                                                 : rule->lines;
    } else if (IsPromptingCommand(command)) {
        conn->mode = Connection::Mode::kPdu;
        conn->prompt_command = command;
        conn->pdu.clear();
        conn->pdu_overflow = false;
        // The prompt comes at once; a delay applies to the answer after the PDU.
        Answer("\r\n> ", 0);
        return;
    } else if (fallback) {
        lines = Guarded(command, [&] { return fallback(*this, command); });
    } else {
        lines = Guarded(command, [&] {
            Lines answer;
            if (!DefaultAnswer(*this, command, &answer)) answer = {"ERROR"};
            return answer;
        });
    }
    Answer(Frame(lines), delay_ms);
}

void Modem::OnPduComplete(Connection *conn) {
    PduHandler handler;
    int delay_ms;
    {
        std::lock_guard<std::mutex> lock(mu_);
        pdus_.push_back({conn->prompt_command, conn->pdu});
        received_.notify_all();
        for (auto it = pdu_rules_.rbegin(); it != pdu_rules_.rend(); ++it) {
            if (StartsWith(conn->prompt_command, it->prefix)) {
                handler = it->handler;
                break;
            }
        }
        delay_ms = DelayFor(conn->prompt_command);
    }
    Lines lines;
    if (conn->pdu_overflow) {
        lines = {"+CMS ERROR: 304"};
    } else if (handler) {
        lines = Guarded(conn->prompt_command, [&] { return handler(*this, conn->prompt_command, conn->pdu); });
    } else {
        lines = Guarded(conn->prompt_command, [&] { return DefaultPduAnswer(*this, conn->prompt_command, conn->pdu); });
    }
    Answer(Frame(lines), delay_ms);
}

// Queues an answer behind every earlier answer, then the InjectLater() lines of its handler.
void Modem::Answer(std::string bytes, int delay_ms) {
    std::lock_guard<std::mutex> lock(mu_);
    const Clock::time_point now = Clock::now();
    Clock::time_point due = std::max(now + std::chrono::milliseconds(delay_ms), last_answer_due_);
    if (!bytes.empty()) {
        last_answer_due_ = due;
        Enqueue(due, std::move(bytes));
    }
    for (auto &[ms, line] : after_answer_) {
        Enqueue(std::max(due, now + std::chrono::milliseconds(ms)), Frame({line}));
    }
    after_answer_.clear();
}

void Modem::Enqueue(Clock::time_point due, std::string bytes) {
    auto pos = std::upper_bound(out_.begin(), out_.end(), due,
                                [](Clock::time_point t, const Pending &p) { return t < p.due; });
    out_.insert(pos, Pending{due, std::move(bytes)});
}

void Modem::Wake() {
    if (wake_fd_ < 0) return;
    uint64_t one = 1;
    // A full counter already means "wake up"; nothing to do about a failure.
    if (write(wake_fd_, &one, sizeof(one)) < 0) return;
}

int Modem::DelayFor(const std::string &command) const {
    for (auto it = delays_.rbegin(); it != delays_.rend(); ++it) {
        if (StartsWith(command, it->prefix)) return it->ms;
    }
    return 0;
}

bool Modem::OnServingThread() const {
    return serving_id_ == std::this_thread::get_id();
}

void Modem::TraceBytes(char direction, const std::string &bytes) {
    Trace trace;
    {
        std::lock_guard<std::mutex> lock(mu_);
        trace = trace_;
    }
    if (trace) trace(direction, bytes);
}

// ---- scripting

void Modem::On(const std::string &command, Lines lines) {
    std::lock_guard<std::mutex> lock(mu_);
    rules_.push_back({RuleKind::kExact, command, std::move(lines), nullptr});
}

void Modem::OnPrefix(const std::string &prefix, Lines lines) {
    std::lock_guard<std::mutex> lock(mu_);
    rules_.push_back({RuleKind::kPrefix, prefix, std::move(lines), nullptr});
}

void Modem::OnHandler(const std::string &prefix, Handler handler) {
    std::lock_guard<std::mutex> lock(mu_);
    rules_.push_back({RuleKind::kHandler, prefix, {}, std::move(handler)});
}

void Modem::OnPdu(const std::string &prefix, PduHandler handler) {
    std::lock_guard<std::mutex> lock(mu_);
    pdu_rules_.push_back({prefix, std::move(handler)});
}

void Modem::Withhold(const std::string &prefix) {
    std::lock_guard<std::mutex> lock(mu_);
    rules_.push_back({RuleKind::kWithhold, prefix, {}, nullptr});
}

void Modem::Delay(const std::string &prefix, int ms) {
    std::lock_guard<std::mutex> lock(mu_);
    delays_.push_back({prefix, std::max(ms, 0)});
}

void Modem::ClearOverrides() {
    std::lock_guard<std::mutex> lock(mu_);
    rules_.clear();
    delays_.clear();
    pdu_rules_.clear();
}

void Modem::SetFallback(Handler handler) {
    std::lock_guard<std::mutex> lock(mu_);
    fallback_ = std::move(handler);
}

void Modem::SetEchoAtPowerOn(bool on) {
    std::lock_guard<std::mutex> lock(mu_);
    echo_at_power_on_ = on;
}

void Modem::SetPace(std::size_t bytes, int gap_ms) {
    std::lock_guard<std::mutex> lock(mu_);
    pace_bytes_ = bytes;
    pace_gap_ms_ = std::max(gap_ms, 0);
    Wake();
}

void Modem::SetTrace(Trace trace) {
    std::lock_guard<std::mutex> lock(mu_);
    trace_ = std::move(trace);
}

// ---- unsolicited output

void Modem::Inject(const std::string &line) {
    SendRaw(Frame({line}));
}

void Modem::SendRaw(const std::string &bytes) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!Live() || bytes.empty()) return;
    Enqueue(Clock::now(), bytes);
    Wake();
}

void Modem::InjectLater(const std::string &line, int ms) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!Live()) return;
    ms = std::max(ms, 0);
    if (OnServingThread()) {
        after_answer_.emplace_back(ms, line);
        return;
    }
    Enqueue(Clock::now() + std::chrono::milliseconds(ms), Frame({line}));
    Wake();
}

// ---- what the modem received

std::vector<std::string> Modem::Commands() const {
    std::lock_guard<std::mutex> lock(mu_);
    return commands_;
}

void Modem::ClearCommands() {
    std::lock_guard<std::mutex> lock(mu_);
    commands_.clear();
    pdus_.clear();
}

std::size_t Modem::CountCommands(const std::string &prefix) const {
    std::lock_guard<std::mutex> lock(mu_);
    return static_cast<std::size_t>(
        std::count_if(commands_.begin(), commands_.end(), [&](const std::string &c) { return StartsWith(c, prefix); }));
}

bool Modem::WaitForCommand(const std::string &prefix, int timeout_ms) {
    return ExpectCommands({prefix}, timeout_ms);
}

bool Modem::ExpectCommands(const std::vector<std::string> &in_order, int timeout_ms) {
    auto seen = [&] {
        std::size_t next = 0;
        for (const std::string &c : commands_) {
            if (next < in_order.size() && StartsWith(c, in_order[next])) ++next;
        }
        return next == in_order.size();
    };
    std::unique_lock<std::mutex> lock(mu_);
    return received_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)), seen);
}

std::vector<std::string> Modem::Pdus() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> pdus;
    for (const SubmittedPdu &p : pdus_) pdus.push_back(p.pdu);
    return pdus;
}

std::vector<SubmittedPdu> Modem::Submissions() const {
    std::lock_guard<std::mutex> lock(mu_);
    return pdus_;
}

// ---- the model

ModelState Modem::State() const {
    std::lock_guard<std::mutex> lock(mu_);
    return state_;
}

void Modem::Update(const std::function<void(ModelState &)> &change) {
    std::lock_guard<std::mutex> lock(mu_);
    change(state_);
}

}  // namespace modemsim
