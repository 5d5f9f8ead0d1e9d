// modemsim: Call model: calls with their states, hold, conference, waiting; CLIR/CLIP/CCFC/CCWA/CMUT settings.
//
// The modem's side of voice calls: dialling ("ATD<n>;" on 3GPP modules, "AT+CDV<n>" on CDMA
// ones), answering, hanging up ("AT+CHUP", "AT+CHV", "ATH"), the TS 27.007 +CHLD call
// handling, the call list, tones, flash, and the supplementary-service settings. An outgoing
// call alerts and is answered by itself after the model's delays; its state is brought up to
// date whenever someone looks, and the matching lines were sent at those moments.
#include <modemsim/calls.h>
#include <modemsim/features.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace modemsim {
namespace {

using Lines = Modem::Lines;
using Clock = std::chrono::steady_clock;

constexpr int kMaxCalls = 7;          // call identifiers 1..7 (TS 22.030)
constexpr int kLocalEndStatus = 104;  // ended by a call-control release, cause follows
constexpr const char *kNotAllowed = "+CME ERROR: 3";
constexpr const char *kBadParameter = "+CME ERROR: 50";

bool IsCdma(const Modem &m) { return m.type() == ModuleType::kCdma || m.type() == ModuleType::kCdmaNoCard; }

bool StartsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

void Advance(CallModel &c, Clock::time_point now) {
    for (SimCall &call : c.calls) {
        if (!call.scheduled) continue;
        if (call.stat == 2 && now >= call.alert_at) call.stat = 3;
        if ((call.stat == 2 || call.stat == 3) && now >= call.answer_at) {
            call.stat = 0;
            call.since = call.answer_at;
            call.scheduled = false;
        }
    }
}

// Looks at the calls with their scheduled steps applied.
template <typename Fn>
auto WithCalls(Modem &m, Fn fn) {
    decltype(fn(std::declval<CallModel &>())) result{};
    m.Update([&](ModelState &s) {
        Advance(s.calls, Clock::now());
        result = fn(s.calls);
    });
    return result;
}

int FreeId(const CallModel &c) {
    for (int id = 1; id <= kMaxCalls; ++id) {
        if (std::none_of(c.calls.begin(), c.calls.end(), [id](const SimCall &k) { return k.id == id; })) return id;
    }
    return -1;
}

SimCall *Find(CallModel &c, int id) {
    for (SimCall &call : c.calls) {
        if (call.id == id) return &call;
    }
    return nullptr;
}

bool Any(const CallModel &c, std::initializer_list<int> stats) {
    return std::any_of(c.calls.begin(), c.calls.end(), [&](const SimCall &k) {
        return std::find(stats.begin(), stats.end(), k.stat) != stats.end();
    });
}

int DefaultToa(const std::string &number) { return !number.empty() && number[0] == '+' ? 145 : 129; }

// "^CEND: <id>,<duration>,<end_status>[,<cc_cause>]": 3GPP modules name the call-control
// cause behind end status 104; CDMA modules give the end status alone.
std::string EndLine(const Modem &m, const SimCall &call, int cause) {
    long duration = 0;
    if (call.stat == 0 || call.stat == 1) {
        duration = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - call.since).count());
    }
    std::string line = "^CEND: " + std::to_string(call.id) + "," + std::to_string(duration) + ",";
    if (IsCdma(m)) return line + std::to_string(cause);
    return line + std::to_string(kLocalEndStatus) + "," + std::to_string(cause);
}

// Ends the calls `which` picks, returning their "^CEND:" lines.
template <typename Pred>
std::vector<std::string> EndCalls(const Modem &m, CallModel &c, Pred which, int cause) {
    std::vector<std::string> ended;
    for (auto it = c.calls.begin(); it != c.calls.end();) {
        if (which(*it)) {
            ended.push_back(EndLine(m, *it, cause));
            it = c.calls.erase(it);
        } else {
            ++it;
        }
    }
    if (!ended.empty()) c.last_end_cause = cause;
    return ended;
}

void SendLater(Modem &m, const std::vector<std::string> &lines, int ms = 0) {
    for (const std::string &line : lines) m.InjectLater(line, ms);
}

bool IsDialCharacter(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'D') || std::string("+*#pw,").find(ch) != std::string::npos;
}

Lines Dial(Modem &m, std::string number, bool cdma_form) {
    if (!cdma_form) {
        if (number.empty() || number.back() != ';') return {"ERROR"};  // a data call: not ours
        number.pop_back();
        if (!number.empty() && (number.back() == 'I' || number.back() == 'i')) number.pop_back();
    }
    if (number.empty() || !std::all_of(number.begin(), number.end(), IsDialCharacter)) return {"ERROR"};
    if (m.State().cfun != 1) return {"NO CARRIER"};
    const auto now = Clock::now();
    int id = -1;
    int alert = -1;
    int answer = -1;
    WithCalls(m, [&](CallModel &c) {
        if (c.calls.size() >= kMaxCalls || Any(c, {2, 3, 4})) return 0;
        // A new call puts the one in progress on hold, as the network does.
        for (SimCall &call : c.calls) {
            if (call.stat == 0) call.stat = 1;
        }
        SimCall call;
        call.id = id = FreeId(c);
        call.number = number;
        call.toa = DefaultToa(number);
        alert = c.alert_after_ms;
        answer = c.answer_after_ms;
        call.scheduled = alert >= 0 || answer >= 0;
        call.alert_at = alert >= 0 ? now + std::chrono::milliseconds(alert) : Clock::time_point::max();
        call.answer_at = answer >= 0 ? now + std::chrono::milliseconds(answer) : Clock::time_point::max();
        c.calls.push_back(call);
        return 0;
    });
    if (id < 0) return {kNotAllowed};
    m.InjectLater("^ORIG: " + std::to_string(id) + ",0", 0);
    if (alert >= 0 && (answer < 0 || alert < answer)) m.InjectLater("^CONF: " + std::to_string(id), alert);
    if (answer >= 0) m.InjectLater("^CONN: " + std::to_string(id) + ",0", answer);
    return {"OK"};
}

Lines Answer(Modem &m) {
    int id = WithCalls(m, [](CallModel &c) {
        for (SimCall &call : c.calls) {
            if (call.stat == 4 && call.mode == 0) {
                call.stat = 0;
                call.since = Clock::now();
                return call.id;
            }
        }
        return -1;
    });
    if (id < 0) return {"NO CARRIER"};
    m.InjectLater("^CONN: " + std::to_string(id) + ",0", 0);
    return {"OK"};
}

// "AT+CHUP": the calls in progress end; with none, a call that rings is rejected.
Lines HangUp(Modem &m, bool everything) {
    auto lines = WithCalls(m, [&](CallModel &c) {
        if (everything) return EndCalls(m, c, [](const SimCall &) { return true; }, kCauseNormalClearing);
        auto current = [](const SimCall &k) { return k.stat == 0 || k.stat == 2 || k.stat == 3; };
        if (std::any_of(c.calls.begin(), c.calls.end(), current)) return EndCalls(m, c, current, kCauseNormalClearing);
        return EndCalls(m, c, [](const SimCall &k) { return k.stat == 4 || k.stat == 5; }, kCauseNormalClearing);
    });
    SendLater(m, lines);
    return {"OK"};
}

// TS 27.007 +CHLD: 0 release held calls or reject the waiting one, 1 release active calls and
// take the other, 1x release call x, 2 hold active calls and take the other, 2x keep only x
// active, 3 join held and active calls. 4 (transfer) is not offered.
Lines Hold(Modem &m, const std::string &arg) {
    if (arg.empty() || arg.size() > 2 || !std::all_of(arg.begin(), arg.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)) != 0; })) return {kBadParameter};
    const int op = arg[0] - '0';
    const int x = arg.size() == 2 ? arg[1] - '0' : 0;
    std::vector<std::string> lines;
    bool ok = WithCalls(m, [&](CallModel &c) {
        auto end = [&](auto pred) {
            auto ended = EndCalls(m, c, pred, kCauseNormalClearing);
            lines.insert(lines.end(), ended.begin(), ended.end());
        };
        auto takeOther = [&] {
            for (SimCall &k : c.calls) {
                if (k.stat == 5) {
                    k.stat = 0;
                    k.since = Clock::now();
                    lines.push_back("^CONN: " + std::to_string(k.id) + ",0");
                    return;
                }
            }
            for (SimCall &k : c.calls) {
                if (k.stat == 1) k.stat = 0;
            }
        };
        switch (op) {
            case 0:
                if (x != 0) return false;
                if (Any(c, {5})) {
                    end([](const SimCall &k) { return k.stat == 5; });
                } else {
                    end([](const SimCall &k) { return k.stat == 1; });
                }
                return true;
            case 1:
                if (x != 0) {
                    if (!Find(c, x)) return false;
                    end([x](const SimCall &k) { return k.id == x; });
                    return true;
                }
                end([](const SimCall &k) { return k.stat == 0; });
                takeOther();
                return true;
            case 2:
                if (x != 0) {
                    SimCall *keep = Find(c, x);
                    if (!keep || keep->stat != 0) return false;
                    for (SimCall &k : c.calls) {
                        if (k.stat == 0 && k.id != x) k.stat = 1;
                    }
                    keep->mpty = 0;
                    if (std::count_if(c.calls.begin(), c.calls.end(), [](const SimCall &k) { return k.mpty; }) == 1) {
                        for (SimCall &k : c.calls) k.mpty = 0;
                    }
                    return true;
                }
                if (Any(c, {5})) {
                    for (SimCall &k : c.calls) {
                        if (k.stat == 0) k.stat = 1;
                    }
                    takeOther();
                    return true;
                }
                if (!Any(c, {0, 1})) return false;
                for (SimCall &k : c.calls) {
                    if (k.stat == 0) {
                        k.stat = 1;
                    } else if (k.stat == 1) {
                        k.stat = 0;
                    }
                }
                return true;
            case 3: {
                auto inCall = [](const SimCall &k) { return k.stat == 0 || k.stat == 1; };
                if (std::count_if(c.calls.begin(), c.calls.end(), inCall) < 2 || !Any(c, {0}) || !Any(c, {1}))
                    return false;
                for (SimCall &k : c.calls) {
                    if (inCall(k)) {
                        k.stat = 0;
                        k.mpty = 1;
                    }
                }
                return true;
            }
            default:
                return false;
        }
    });
    if (!ok) return {kNotAllowed};
    SendLater(m, lines);
    return {"OK"};
}

Lines ListCalls(Modem &m) {
    Lines lines = WithCalls(m, [](CallModel &c) {
        Lines out;
        for (const SimCall &k : c.calls) {
            std::string row = "+CLCC: " + std::to_string(k.id) + "," + std::to_string(k.dir) + "," +
                              std::to_string(k.stat) + "," + std::to_string(k.mode) + "," + std::to_string(k.mpty);
            if (!k.number.empty()) row += ",\"" + k.number + "\"," + std::to_string(k.toa);
            out.push_back(row);
        }
        return out;
    });
    lines.push_back("OK");
    return lines;
}

// "AT^DTMF=<id>,<tone>" and the CDMA burst "AT^DTMF=<id>,<digits>,<on>,<off>"; "AT+VTS=<tone>".
Lines Tones(Modem &m, const std::string &command) {
    const bool vts = StartsWith(command, "AT+VTS=");
    std::string arg = command.substr(command.find('=') + 1);
    int id = 0;
    std::string digits = arg;
    if (!vts) {
        const std::size_t comma = arg.find(',');
        if (comma == std::string::npos) return {kBadParameter};
        id = std::atoi(arg.substr(0, comma).c_str());
        digits = arg.substr(comma + 1);
        digits = digits.substr(0, digits.find(','));
    }
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDialCharacter)) return {kBadParameter};
    bool ok = WithCalls(m, [&](CallModel &c) {
        const bool active = vts ? Any(c, {0}) : (Find(c, id) && Find(c, id)->stat == 0);
        if (active) c.tones += digits;
        return active;
    });
    return ok ? Lines{"OK"} : Lines{kNotAllowed};
}

// CDMA flash: an empty flash takes the waiting call; with digits it is a three-way dial.
Lines Flash(Modem &m, const std::string &command) {
    std::string digits = command.size() > 9 && command[9] == '=' ? command.substr(10) : "";
    WithCalls(m, [&](CallModel &c) {
        c.flashes.push_back(digits);
        if (digits.empty()) {
            for (SimCall &k : c.calls) {
                if (k.stat == 5) {
                    for (SimCall &o : c.calls) {
                        if (o.stat == 0) o.stat = 1;
                    }
                    k.stat = 0;
                    k.since = Clock::now();
                    break;
                }
            }
        }
        return 0;
    });
    return {"OK"};
}

// The arguments of "<command>=a,b,..." with their quoting.
struct Arg {
    std::string text;
    bool quoted = false;
};
std::vector<Arg> Args(const std::string &command) {
    std::vector<Arg> args;
    const std::size_t eq = command.find('=');
    if (eq == std::string::npos) return args;
    Arg current;
    bool inQuotes = false;
    for (std::size_t i = eq + 1; i < command.size(); ++i) {
        const char ch = command[i];
        if (ch == '"') {
            inQuotes = !inQuotes;
            current.quoted = true;
        } else if (ch == ',' && !inQuotes) {
            args.push_back(current);
            current = Arg{};
        } else {
            current.text += ch;
        }
    }
    args.push_back(current);
    return args;
}

int IntArg(const std::vector<Arg> &args, std::size_t i, int fallback) {
    if (i >= args.size() || args[i].text.empty()) return fallback;
    return std::atoi(args[i].text.c_str());
}

// AT+CCFC=<reason>,<mode>[,<number>[,<type>[,<class>[,<subaddr>[,<satype>[,<time>]]]]]]
Lines Forwarding(Modem &m, const std::string &command) {
    const std::vector<Arg> args = Args(command);
    if (args.size() < 2) return {kBadParameter};
    const int reason = IntArg(args, 0, -1);
    const int mode = IntArg(args, 1, -1);
    const int classes = IntArg(args, 4, 7);
    if (reason < 0 || reason > 5 || mode < 0 || mode > 4 || classes <= 0 || classes > 255) return {kBadParameter};
    const ModelState s = m.State();
    if (mode == 2) {
        if (reason > 3) return {kBadParameter};
        Lines lines;
        for (int bit = 1; bit <= 128; bit <<= 1) {
            if (!(classes & bit)) continue;
            auto it = s.calls.forwards.find({reason, bit});
            if (it == s.calls.forwards.end() || !it->second.active) continue;
            std::string line = "+CCFC: 1," + std::to_string(bit) + ",\"" + it->second.number + "\"," +
                               std::to_string(it->second.toa);
            if (reason == 2) line += ",,," + std::to_string(it->second.time);
            lines.push_back(line);
        }
        if (lines.empty()) lines.push_back("+CCFC: 0," + std::to_string(classes));
        lines.push_back("OK");
        return lines;
    }
    const bool hasNumber = args.size() > 2 && !args[2].text.empty();
    if (hasNumber) {
        if (s.calls.ccfc_needs_quotes && !args[2].quoted) return {kBadParameter};
        if (!std::all_of(args[2].text.begin(), args[2].text.end(), IsDialCharacter)) return {kBadParameter};
    }
    if (mode == 3 && !hasNumber) return {kBadParameter};
    std::vector<int> reasons = {reason};
    if (reason == 4) reasons = {0, 1, 2, 3};
    if (reason == 5) reasons = {1, 2, 3};
    bool ok = true;
    m.Update([&](ModelState &state) {
        for (int r : reasons) {
            for (int bit = 1; bit <= 128; bit <<= 1) {
                if (!(classes & bit)) continue;
                auto key = std::make_pair(r, bit);
                SimForward &f = state.calls.forwards[key];
                if (mode == 4) {
                    state.calls.forwards.erase(key);
                    continue;
                }
                if (hasNumber) {
                    f.number = args[2].text;
                    f.toa = IntArg(args, 3, DefaultToa(f.number));
                }
                if (args.size() > 7 && !args[7].text.empty()) f.time = IntArg(args, 7, 20);
                if (mode == 0) {
                    f.active = false;
                } else if (f.number.empty()) {
                    ok = false;  // nothing registered to enable
                } else {
                    f.active = true;
                }
            }
        }
    });
    return ok ? Lines{"OK"} : Lines{kNotAllowed};
}

// AT+CCWA=<n>[,<mode>[,<class>]]
Lines Waiting(Modem &m, const std::string &command) {
    const std::vector<Arg> args = Args(command);
    const int mode = IntArg(args, 1, -1);
    const int classes = IntArg(args, 2, 7);
    if (classes <= 0 || classes > 255 || mode < -1 || mode > 2) return {kBadParameter};
    if (mode == 2) {
        const int on = m.State().calls.ccwa_classes;
        Lines lines;
        for (int bit = 1; bit <= 128; bit <<= 1) {
            if ((classes & bit) && (on & bit)) lines.push_back("+CCWA: 1," + std::to_string(bit));
        }
        if (lines.empty()) lines.push_back("+CCWA: 0," + std::to_string(classes));
        lines.push_back("OK");
        return lines;
    }
    if (mode >= 0) {
        m.Update([&](ModelState &s) {
            if (mode == 1) {
                s.calls.ccwa_classes |= classes;
            } else {
                s.calls.ccwa_classes &= ~classes;
            }
        });
    }
    return {"OK"};
}

// "AT+<name>?" answers "+<name>: <a>[,<b>]"; "AT+<name>=<v>" sets a value in [0, max].
Lines Setting(Modem &m, const std::string &command, const char *name, int CallModel::*value, int CallModel::*second,
              int max) {
    const std::string base = std::string("AT+") + name;
    const CallModel c = m.State().calls;
    if (command == base + "?") {
        std::string line = std::string("+") + name + ": " + std::to_string(c.*value);
        if (second) line += "," + std::to_string(c.*second);
        return {line, "OK"};
    }
    if (command.size() <= base.size() + 1 || command[base.size()] != '=') return {kBadParameter};
    const std::string arg = command.substr(base.size() + 1);
    if (arg.size() != 1 || arg[0] < '0' || arg[0] - '0' > max) return {kBadParameter};
    m.Update([&](ModelState &s) { s.calls.*value = arg[0] - '0'; });
    return {"OK"};
}

}  // namespace

bool CallAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    const bool cdma = IsCdma(m);
    if (StartsWith(command, "ATD") && command.size() > 3) {
        *lines = Dial(m, command.substr(3), false);
    } else if (cdma && StartsWith(command, "AT+CDV")) {
        *lines = Dial(m, command.substr(6), true);
    } else if (command == "AT+CLCC") {
        *lines = ListCalls(m);
    } else if (command == "ATA") {
        *lines = Answer(m);
    } else if (command == "ATH" || (cdma && command == "AT+CHV")) {
        *lines = HangUp(m, true);
    } else if (!cdma && command == "AT+CHUP") {
        *lines = HangUp(m, false);
    } else if (StartsWith(command, "AT+CHLD=")) {
        *lines = Hold(m, command.substr(8));
    } else if (StartsWith(command, "AT^DTMF=") || StartsWith(command, "AT+VTS=")) {
        *lines = Tones(m, command);
    } else if (cdma && StartsWith(command, "AT^HFLASH")) {
        *lines = Flash(m, command);
    } else if (StartsWith(command, "AT+CCFC=")) {
        *lines = Forwarding(m, command);
    } else if (StartsWith(command, "AT+CCWA")) {
        *lines = Waiting(m, command);
    } else if (StartsWith(command, "AT+CLIR")) {
        *lines = Setting(m, command, "CLIR", &CallModel::clir, &CallModel::clir_m, 2);
    } else if (StartsWith(command, "AT+CLIP")) {
        *lines = Setting(m, command, "CLIP", &CallModel::clip, &CallModel::clip_m, 1);
    } else if (StartsWith(command, "AT+CRC")) {
        *lines = Setting(m, command, "CRC", &CallModel::crc, nullptr, 1);
    } else if (StartsWith(command, "AT+CMUT")) {
        *lines = Setting(m, command, "CMUT", &CallModel::mute, nullptr, 1);
    } else {
        return false;
    }
    return true;
}

// ---- the network side

int IncomingCall(Modem &m, const std::string &number) {
    int crc = 1;
    int clip = 1;
    int toa = DefaultToa(number);
    int id = WithCalls(m, [&](CallModel &c) {
        if (!c.calls.empty()) return -1;
        SimCall call;
        call.id = FreeId(c);
        call.dir = 1;
        call.stat = 4;
        call.number = number;
        call.toa = toa;
        c.calls.push_back(call);
        crc = c.crc;
        clip = c.clip;
        return call.id;
    });
    if (id < 0) return -1;
    m.Inject(crc ? "+CRING: VOICE" : "RING");
    if (clip) m.Inject("+CLIP: \"" + number + "\"," + std::to_string(toa) + ",,,,0");
    return id;
}

bool Ring(Modem &m) {
    int crc = 1;
    bool ringing = WithCalls(m, [&](CallModel &c) {
        crc = c.crc;
        return Any(c, {4});
    });
    if (ringing) m.Inject(crc ? "+CRING: VOICE" : "RING");
    return ringing;
}

int WaitingCall(Modem &m, const std::string &number) {
    const int toa = DefaultToa(number);
    int id = WithCalls(m, [&](CallModel &c) {
        if (!Any(c, {0, 1}) || Any(c, {4, 5}) || !(c.ccwa_classes & 1) || c.calls.size() >= kMaxCalls) return -1;
        SimCall call;
        call.id = FreeId(c);
        call.dir = 1;
        call.stat = 5;
        call.number = number;
        call.toa = toa;
        c.calls.push_back(call);
        return call.id;
    });
    if (id >= 0) m.Inject("+CCWA: \"" + number + "\"," + std::to_string(toa) + ",1");
    return id;
}

int DataCallRing(Modem &m, const std::string &type) {
    int id = WithCalls(m, [&](CallModel &c) {
        if (c.calls.size() >= kMaxCalls) return -1;
        SimCall call;
        call.id = FreeId(c);
        call.dir = 1;
        call.stat = 4;
        call.mode = 1;
        c.calls.push_back(call);
        return call.id;
    });
    if (id >= 0) m.Inject("+CRING: " + type);
    return id;
}

bool RemoteAlerting(Modem &m, int id) {
    bool ok = WithCalls(m, [&](CallModel &c) {
        SimCall *call = Find(c, id);
        if (!call || call->stat != 2) return false;
        call->stat = 3;
        return true;
    });
    if (ok) m.Inject("^CONF: " + std::to_string(id));
    return ok;
}

bool RemoteAnswer(Modem &m, int id) {
    bool ok = WithCalls(m, [&](CallModel &c) {
        SimCall *call = Find(c, id);
        if (!call || (call->stat != 2 && call->stat != 3)) return false;
        call->stat = 0;
        call->since = Clock::now();
        call->scheduled = false;
        return true;
    });
    if (ok) m.Inject("^CONN: " + std::to_string(id) + ",0");
    return ok;
}

bool RemoteHangUp(Modem &m, int id, int cause) {
    auto lines = WithCalls(m, [&](CallModel &c) {
        return EndCalls(m, c, [id](const SimCall &k) { return k.id == id; }, cause);
    });
    for (const std::string &line : lines) m.Inject(line);
    return !lines.empty();
}

std::vector<SimCall> CurrentCalls(Modem &m) {
    return WithCalls(m, [](CallModel &c) { return c.calls; });
}

}  // namespace modemsim
