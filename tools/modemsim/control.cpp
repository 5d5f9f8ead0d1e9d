#include <modemsim/calls.h>
#include <modemsim/control.h>
#include <modemsim/modemsim.h>
#include <modemsim/network.h>
#include <modemsim/sms.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace modemsim {

namespace {

constexpr std::size_t kMaxClients = 8;

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

const char *SimName(SimState s) {
    switch (s) {
        case SimState::kReady: return "ready";
        case SimState::kPin: return "pin";
        case SimState::kPuk: return "puk";
        case SimState::kAbsent: return "absent";
        case SimState::kBusy: return "busy";
    }
    return "?";
}

// Writes all of a short reply; a client that stops reading is dropped rather than waited for.
bool WriteReply(int fd, const std::string &reply) {
    std::string line = reply + "\n";
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = send(fd, line.data() + done, line.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}


// A whole decimal number in [lo, hi]; the control line comes from a person, so anything else is
// refused rather than read as 0.
bool Number(const std::string &s, long lo, long hi, int *out) {
    if (s.empty() || s.size() > 9) return false;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (!end || *end || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

bool IsNumberText(const std::string &s) {
    if (s.empty() || s.size() > 40) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (!((s[i] >= '0' && s[i] <= '9') || s[i] == '*' || s[i] == '#' || (s[i] == '+' && i == 0))) return false;
    return true;
}

bool IsHex(const std::string &s) {
    return !s.empty() && s.size() % 2 == 0 && s.size() <= 2 * 255 &&
           s.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

// The calls' ids when none is named: the one call the network side can act on.
int OnlyCall(Modem &m, std::string *error) {
    auto calls = CurrentCalls(m);
    if (calls.size() == 1) return calls[0].id;
    *error = calls.empty() ? "there is no call" : "more than one call: name the call id (see calls)";
    return -1;
}

std::string CallsText(Modem &m) {
    static const char *const kStat[] = {"active", "held", "dialling", "alerting", "incoming", "waiting"};
    std::string out;
    for (const auto &c : CurrentCalls(m)) {
        out += (out.empty() ? "" : "; ") + std::to_string(c.id) + " " + (c.dir ? "in " : "out ") +
               (c.stat >= 0 && c.stat <= 5 ? kStat[c.stat] : "?") + " " + c.number;
    }
    return out.empty() ? "no calls" : out;
}

}  // namespace

std::string UssdUcs2Hex(const std::string &utf8) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    auto unit = [&](unsigned u) {
        for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(u >> shift) & 15];
    };
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = '?';
        int extra = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
        if (extra < 0 || i + extra >= utf8.size() + (extra == 0)) {
            ++i;
            unit('?');
            continue;
        }
        cp = extra == 0 ? c : c & (0x3f >> extra);
        for (int k = 1; k <= extra; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xd800 + (cp >> 10));
            unit(0xdc00 + (cp & 0x3ff));
        } else {
            unit(cp);
        }
    }
    return out;
}

Control::~Control() { Stop(); }

void Control::Add(const std::string &name, const std::string &usage, Action action) {
    std::lock_guard<std::mutex> lock(mu_);
    actions_[name] = Entry{usage, std::move(action)};
}

void Control::AddModemActions(Modem &modem) {
    Add("inject", "inject LINE           send LINE as an unsolicited line", [&modem](const std::string &a, bool *failed) {
        if (a.empty()) {
            *failed = true;
            return std::string("inject needs the line to send");
        }
        modem.Inject(a);
        return std::string();
    });
    Add("sim", "sim ready|pin|puk|absent|busy   change the SIM card's state",
        [&modem](const std::string &a, bool *failed) {
            static const std::pair<const char *, SimState> kStates[] = {{"ready", SimState::kReady},
                                                                        {"pin", SimState::kPin},
                                                                        {"puk", SimState::kPuk},
                                                                        {"absent", SimState::kAbsent},
                                                                        {"busy", SimState::kBusy}};
            for (const auto &[name, state] : kStates) {
                if (a == name) {
                    SimState s = state;
                    modem.Update([s](ModelState &m) { m.sim = s; });
                    return std::string();
                }
            }
            *failed = true;
            return "unknown SIM state \"" + a + "\"; use ready, pin, puk, absent or busy";
        });
    Add("ussd", "ussd [--reply] TEXT   a USSD message from the network (--reply: it waits for an answer)",
        [&modem](const std::string &a, bool *failed) {
            bool reply = a.rfind("--reply", 0) == 0;
            std::string text = Trim(reply ? a.substr(7) : a);
            if (text.empty()) {
                *failed = true;
                return std::string("ussd needs the text the network sends");
            }
            modem.Inject(std::string("+CUSD: ") + (reply ? "1" : "0") + ",\"" + UssdUcs2Hex(text) + "\",72");
            return std::string();
        });
    Add("script", "script DIRECTIVE      one line of the --script format (on, prefix, withhold, delay, ...)",
        [&modem](const std::string &a, bool *failed) {
            std::string error;
            if (!LoadScript(modem, a, &error)) {
                *failed = true;
                return "cannot read the directive \"" + a + "\"";
            }
            return std::string();
        });
    Add("status", "status                plugged or not, the pty, the SIM state, the radio power",
        [&modem](const std::string &, bool *) {
            ModelState s = modem.State();
            std::string out = modem.IsPlugged() ? "plugged " + modem.SlavePath() : std::string("unplugged");
            out += std::string(" sim ") + SimName(s.sim) + " cfun " + std::to_string(s.cfun);
            return out;
        });
}

void Control::AddNetworkActions(Modem &modem) {
    Add("call", "call NUMBER           a voice call comes in (a second one waits)", [&modem](const std::string &a, bool *failed) {
        if (!IsNumberText(a)) {
            *failed = true;
            return std::string("call needs the caller's number (digits, a leading +, * and #)");
        }
        int id = IncomingCall(modem, a);
        if (id < 0) id = WaitingCall(modem, a);
        if (id < 0) {
            *failed = true;
            return std::string("a call is up and call waiting is off: the caller gets busy");
        }
        return "call " + std::to_string(id);
    });
    // alerting / answer / hangup act on the far end of a call: the one call, or the id given.
    using Step = bool (*)(Modem &, int);
    static const struct {
        const char *name, *usage;
        Step step;
    } kSteps[] = {
        {"alerting", "alerting [ID]         the called phone rings", [](Modem &m, int id) { return RemoteAlerting(m, id); }},
        {"answer", "answer [ID]           the called party answers", [](Modem &m, int id) { return RemoteAnswer(m, id); }},
        {"hangup", "hangup [ID [CAUSE]]   the other party ends the call (TS 24.008 cause, default 16)", nullptr},
    };
    for (const auto &st : kSteps) {
        Step step = st.step;
        std::string name = st.name;
        Add(name, st.usage, [&modem, step, name](const std::string &a, bool *failed) {
            std::string idText = a.substr(0, a.find(' '));
            std::string causeText = a.find(' ') == std::string::npos ? "" : Trim(a.substr(a.find(' ') + 1));
            std::string error;
            int id = -1, cause = kCauseNormalClearing;
            if (idText.empty()) {
                id = OnlyCall(modem, &error);
            } else if (!Number(idText, 1, 7, &id)) {
                error = "the call id must be a number from 1 to 7";
            }
            if (error.empty() && !causeText.empty() && (step || !Number(causeText, 0, 127, &cause)))
                error = step ? name + " takes only the call id" : "the cause must be a number from 0 to 127";
            if (!error.empty()) {
                *failed = true;
                return error;
            }
            bool ok = step ? step(modem, id) : RemoteHangUp(modem, id, cause);
            if (!ok) {
                *failed = true;
                return "no call " + std::to_string(id) + " to " + name;
            }
            return std::string();
        });
    }
    Add("calls", "calls                 the calls as the network sees them",
        [&modem](const std::string &, bool *) { return CallsText(modem); });
    Add("sms", "sms PDU               deliver an SMS-DELIVER (SMSC part and TPDU, hex)",
        [&modem](const std::string &a, bool *failed) {
            if (!IsHex(a)) {
                *failed = true;
                return std::string("sms needs the message as hex (SMSC part and TPDU), at most 255 octets");
            }
            int index = DeliverSms(modem, a);
            return index >= 0 ? "stored at " + std::to_string(index) : std::string("delivered");
        });
    Add("register", "register STAT [LAC CI]   registration state (0 none, 1 home, 2 searching, 3 denied, 5 roaming)",
        [&modem](const std::string &a, bool *failed) {
            std::vector<std::string> w;
            for (size_t b = 0, e; b < a.size(); b = e + 1) {
                e = a.find(' ', b);
                if (e == std::string::npos) e = a.size();
                if (e > b) w.push_back(a.substr(b, e - b));
            }
            int stat = 0, lac = 0x2540, ci = 0x0A3B;
            bool ok = (w.size() == 1 || w.size() == 3) && Number(w[0], 0, 5, &stat) &&
                      (w.size() == 1 || (Number(w[1], 0, 0xffff, &lac) && Number(w[2], 0, 0xfffffff, &ci)));
            if (!ok) {
                *failed = true;
                return std::string("register needs a state from 0 to 5, optionally the area and cell as decimal numbers");
            }
            SetRegistration(modem, stat, lac, ci);
            return std::string();
        });
    Add("signal", "signal LEVEL          signal level on the +CSQ scale (0..31, 99 unknown)",
        [&modem](const std::string &a, bool *failed) {
            int level = 0;
            if (!Number(a, 0, 99, &level) || (level > 31 && level != 99)) {
                *failed = true;
                return std::string("signal needs a level from 0 to 31, or 99");
            }
            SetSignal(modem, level);
            return std::string();
        });
    Add("mode", "mode TECH             hand over to gsm, gprs, edge, wcdma, hsdpa, hspa, hspa+, tdscdma, lte, 1x or evdo",
        [&modem](const std::string &a, bool *failed) {
            static const std::pair<const char *, Tech> kTechs[] = {
                {"gsm", Tech::kGsm},     {"gprs", Tech::kGprs},     {"edge", Tech::kEdge},   {"wcdma", Tech::kWcdma},
                {"hsdpa", Tech::kHsdpa}, {"hsupa", Tech::kHsupa},   {"hspa", Tech::kHspa},   {"hspa+", Tech::kHspaPlus},
                {"tdscdma", Tech::kTdscdma}, {"lte", Tech::kLte},  {"1x", Tech::kCdma1x},   {"evdo", Tech::kEvdo},
                {"none", Tech::kNone}};
            for (const auto &[name, tech] : kTechs) {
                if (a == name) {
                    HandOver(modem, tech);
                    return std::string();
                }
            }
            *failed = true;
            return "unknown technology \"" + a + "\"";
        });
}

std::string Control::Execute(const std::string &raw) {
    std::string line = Trim(raw);
    size_t space = line.find(' ');
    std::string name = line.substr(0, space);
    std::string args = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    Action action;
    std::string list;
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = actions_.find(name);
        if (it != actions_.end()) action = it->second.action;
        for (const auto &[n, e] : actions_) {
            // "usage   what it does" -> "usage - what it does": the reply is one line.
            std::string usage = e.usage;
            size_t gap = usage.find("  ");
            if (gap != std::string::npos) usage = usage.substr(0, gap) + " - " + Trim(usage.substr(gap));
            list += (list.empty() ? "" : "; ") + usage;
        }
    }
    if (name == "help") return "ok " + list;
    if (!action) return "error: unknown command \"" + name + "\"; send help for the list";
    bool failed = false;
    std::string reply = action(args, &failed);
    if (failed) return "error: " + reply;
    return reply.empty() ? "ok" : "ok " + reply;
}

bool Control::Serve(const std::string &path, std::string *error) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        *error = "control socket path too long (at most " + std::to_string(sizeof addr.sun_path - 1) + " bytes)";
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    path_ = path;
    thread_ = std::thread([this, fd] { Loop(fd); });
    return true;
}

void Control::Stop() {
    if (!thread_.joinable()) return;
    char one = 1;
    while (write(wake_[1], &one, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    close(wake_[0]);
    close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    unlink(path_.c_str());
}

void Control::Loop(int listener) {
    struct Client {
        int fd;
        std::string buffer;
        bool discarding = false;  // a line longer than kMaxLine is dropped up to its end
    };
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener, POLLIN, 0}};
        for (const auto &c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        // Only the clients polled this round have an entry in fds; one accepted below waits
        // for the next round.
        const size_t polled = clients.size();
        if (fds[1].revents & POLLIN) {
            int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0 && clients.size() < kMaxClients) {
                clients.push_back({c, {}, false});
            } else if (c >= 0) {
                WriteReply(c, "error: too many control connections");
                close(c);
            }
        }
        for (size_t i = polled; i-- > 0;) {
            if (!(fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Client &c = clients[i];
            char buf[512];
            ssize_t n = read(c.fd, buf, sizeof buf);
            bool keep = n > 0 || (n < 0 && errno == EINTR);
            if (n > 0) {
                c.buffer.append(buf, static_cast<size_t>(n));
                size_t end;
                while (keep && (end = c.buffer.find('\n')) != std::string::npos) {
                    std::string line = c.buffer.substr(0, end);
                    c.buffer.erase(0, end + 1);
                    if (c.discarding) {
                        c.discarding = false;
                        keep = WriteReply(c.fd, "error: line too long");
                        continue;
                    }
                    if (!Trim(line).empty()) keep = WriteReply(c.fd, Execute(line));
                }
                if (c.buffer.size() > kMaxLine) {
                    c.buffer.clear();
                    c.discarding = true;
                }
            }
            if (!keep) {
                close(c.fd);
                clients.erase(clients.begin() + static_cast<long>(i));
            }
        }
    }
    for (const auto &c : clients) close(c.fd);
    close(listener);
}

}  // namespace modemsim
