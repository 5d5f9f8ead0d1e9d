// modemsim: the MODEM port's pty and serving thread (see data_port.h).
#include <modemsim/data_port.h>
#include <modemsim/pty_ends.h>

#include <modemsim/features.h>
#include <modemsim/modemsim.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <system_error>

namespace modemsim {
namespace {

constexpr std::size_t kMaxCommand = 4096;
// How often a taken line checks whether its program has ended.
constexpr int kTakerPollMs = 50;

// Answers are short and the slave side is always open (our own descriptor): a full buffer
// only means nobody reads, and the bytes are not missed.
void Send(int fd, const std::string &bytes) {
    if (write(fd, bytes.data(), bytes.size()) < 0) return;
}

std::string Frame(const Modem::Lines &lines) {
    std::string bytes;
    for (const std::string &l : lines) bytes += "\r\n" + l + "\r\n";
    return bytes;
}

// The command from the first "AT" of the line on; "" when there is none.
std::string FromAt(const std::string &line) {
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if ((line[i] == 'A' || line[i] == 'a') && (line[i + 1] == 'T' || line[i + 1] == 't')) return line.substr(i);
    }
    return {};
}

bool EndsWith(const std::string &text, const char *suffix) {
    const std::string s(suffix);
    return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

}  // namespace

struct DataPort::Line {
    int master = -1;
    int slave = -1;  // kept open so the master never sees a hang-up between the dialler's opens
    int wake = -1;
    bool online = false;
    std::string line;
    std::string tail;  // the last bytes while online, for "+++" and "ATH\r"
    pid_t taker = -1;
};

DataPort::DataPort(Modem &modem) : modem_(modem) {}

DataPort::~DataPort() { Unplug(); }

bool DataPort::Plug() {
    std::lock_guard<std::mutex> plug_lock(plug_mu_);
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (live_) return true;
    }
    if (thread_.joinable()) thread_.join();
    auto line = std::make_unique<Line>();
    char path[128] = {};
    if (!OpenPtyEnds(line->master, line->slave, line->wake, path, sizeof path)) return false;
    modem_.Update([](ModelState &s) { s.data.online = false; });
    std::lock_guard<std::mutex> lock(mu_);
    slave_path_ = path;
    wake_fd_ = line->wake;
    stop_ = false;
    try {
        thread_ = std::thread(&DataPort::Serve, this, line.get());
    } catch (const std::system_error &) {
        wake_fd_ = -1;
        CloseFd(line->master);
        CloseFd(line->slave);
        CloseFd(line->wake);
        return false;
    }
    live_ = true;
    line.release();  // the serving thread deletes it
    return true;
}

void DataPort::Unplug() {
    std::lock_guard<std::mutex> plug_lock(plug_mu_);
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        if (wake_fd_ >= 0) {
            uint64_t one = 1;
            if (write(wake_fd_, &one, sizeof one) < 0) {
            }
        }
    }
    if (thread_.joinable()) thread_.join();
}

bool DataPort::IsPlugged() const {
    std::lock_guard<std::mutex> lock(mu_);
    return live_ && !stop_;
}

std::string DataPort::SlavePath() const {
    std::lock_guard<std::mutex> lock(mu_);
    return live_ && !stop_ ? slave_path_ : std::string();
}

void DataPort::SetAnswerer(Answerer answerer) {
    std::lock_guard<std::mutex> lock(mu_);
    answerer_ = std::move(answerer);
}

void DataPort::SetTaker(Taker taker) {
    std::lock_guard<std::mutex> lock(mu_);
    taker_ = std::move(taker);
}

std::vector<std::string> DataPort::Commands() const {
    std::lock_guard<std::mutex> lock(mu_);
    return commands_;
}

void DataPort::ClearCommands() {
    std::lock_guard<std::mutex> lock(mu_);
    commands_.clear();
}

bool DataPort::WaitForCommand(const std::string &prefix, int timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return received_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)), [&] {
        return std::any_of(commands_.begin(), commands_.end(),
                           [&](const std::string &c) { return c.compare(0, prefix.size(), prefix) == 0; });
    });
}

void DataPort::Record(const std::string &command) {
    std::lock_guard<std::mutex> lock(mu_);
    commands_.push_back(command);
    received_.notify_all();
}

void DataPort::Serve(Line *line) {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (stop_) break;
        }
        if (line->taker > 0) {
            // The line belongs to the taker's program until it ends.
            int status;
            pid_t r = waitpid(line->taker, &status, WNOHANG);
            if (r == line->taker || (r < 0 && errno == ECHILD)) {
                line->taker = -1;
                EndCall(line, "NO CARRIER", false);
                continue;
            }
            struct pollfd wake = {line->wake, POLLIN, 0};
            poll(&wake, 1, kTakerPollMs);
            continue;
        }
        struct pollfd fds[2] = {{line->wake, POLLIN, 0}, {line->master, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            while (read(line->wake, &count, sizeof count) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) {
            char buf[4096];
            ssize_t n = read(line->master, buf, sizeof buf);
            if (n > 0) {
                OnBytes(line, buf, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                break;
            }
        } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
    }
    if (line->taker > 0) {
        kill(line->taker, SIGTERM);
        waitpid(line->taker, nullptr, 0);
    }
    CloseFd(line->master);
    CloseFd(line->slave);
    modem_.Update([](ModelState &s) { s.data.online = false; });
    std::lock_guard<std::mutex> lock(mu_);
    live_ = false;
    slave_path_.clear();
    wake_fd_ = -1;
    CloseFd(line->wake);
    delete line;
}

bool DataPort::OnBytes(Line *line, const char *data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (line->online) {
            modem_.Update([](ModelState &s) { ++s.data.ppp_bytes; });
            line->tail += c;
            if (line->tail.size() > 4) line->tail.erase(0, line->tail.size() - 4);
            if (EndsWith(line->tail, "+++")) {
                Record("+++");
                EndCall(line, "OK", true);
            } else if (EndsWith(line->tail, "ATH\r")) {
                Record("ATH");
                EndCall(line, "NO CARRIER", false);
            }
            continue;
        }
        if (c == '\r') {
            std::string command = FromAt(line->line);
            line->line.clear();
            if (command.empty()) continue;
            OnCommand(line, command);
            if (line->taker > 0) return false;  // what followed CONNECT is the taker's
        } else if (c == '\n') {
        } else if (line->line.size() < kMaxCommand) {
            line->line += c;
            if (EndsWith(line->line, "+++")) {
                // The escape on a line that is not online changes nothing but is noted.
                line->line.erase(line->line.size() - 3);
                Record("+++");
                modem_.Update([](ModelState &s) { ++s.data.escapes; });
            }
        }
    }
    return true;
}

void DataPort::OnCommand(Line *line, const std::string &command) {
    Record(command);
    Modem::Lines answer;
    Answerer answerer;
    {
        std::lock_guard<std::mutex> lock(mu_);
        answerer = answerer_;
    }
    const bool known = answerer ? answerer(command, &answer) : ModemPortAnswer(modem_, command, &answer);
    if (!known) answer = {"ERROR"};
    if (answer.empty()) return;
    Send(line->master, Frame(answer));
    if (answer.front().compare(0, 7, "CONNECT") != 0) return;
    line->online = true;
    line->tail.clear();
    modem_.Update([](ModelState &s) { s.data.online = true; });
    Taker taker;
    {
        std::lock_guard<std::mutex> lock(mu_);
        taker = taker_;
    }
    if (!taker) return;
    int fd = fcntl(line->master, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    pid_t pid = taker(fd);
    if (pid > 0) line->taker = pid;
}

void DataPort::EndCall(Line *line, const char *reply, bool escape) {
    line->online = false;
    line->tail.clear();
    modem_.Update([escape](ModelState &s) {
        s.data.online = false;
        ++s.data.hangups;
        if (escape) ++s.data.escapes;
    });
    Send(line->master, Frame({reply}));
}

}  // namespace modemsim
