// The simulated card: codes with attempt counters, the PIN, FDN, network and barring locks,
// and the answers of the commands that read and change them (TS 27.007 +CPIN, +CLCK, +CPWD,
// +CIMI, and the family's ^CPIN, ^CARDLOCK, ^CARDMODE).

#include <modemsim/sim_card.h>

#include <cctype>
#include <mutex>
#include <vector>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

// The card lives outside ModelState: the modem carries the number of its card in an
// S-register no command can address (commands only parse non-negative register numbers).
constexpr int kCardRegister = -1;

std::mutex g_cards_mu;
std::map<int, SimCard> g_cards;
int g_next_card = 1;

constexpr int kUnlockAttempts = 10;

constexpr const char *kWrongPassword = "+CME ERROR: 16";
constexpr const char *kNotAllowed = "+CME ERROR: 3";
constexpr const char *kNotSupported = "+CME ERROR: 4";
constexpr const char *kBadParameters = "+CME ERROR: 50";
constexpr const char *kPuk2Required = "+CME ERROR: 18";

bool CdmaType(ModuleType type) {
    return type == ModuleType::kCdma || type == ModuleType::kCdmaNoCard;
}

bool PinEnabled(const ModelState &s, const SimCard &c) {
    return c.pin_enabled || s.sim == SimState::kPin || s.sim == SimState::kPuk;
}

bool NetworkLocked(const ModelState &s) {
    return s.cardlock == 1 || s.cardlock == 3;
}

// Why the card cannot even say which code it wants, or "" when it can.
std::string PresenceError(const ModelState &s, const SimCard &c) {
    if (c.failed) return "+CME ERROR: 13";
    if (s.sim == SimState::kAbsent) return "+CME ERROR: 10";
    if (s.sim == SimState::kBusy) return "+CME ERROR: 14";
    return "";
}

// Why the card cannot serve a command now, or "" when it can.
std::string CardError(const ModelState &s, const SimCard &c) {
    if (std::string error = PresenceError(s, c); !error.empty()) return error;
    if (s.sim == SimState::kPin) return "+CME ERROR: 11";
    if (s.sim == SimState::kPuk) return "+CME ERROR: 12";
    return "";
}

// The code the card waits for, as +CPIN? names it, and the attempts left for it (-1: none).
struct Wanted {
    std::string code;
    int attempts = -1;
};

Wanted WantedCode(const ModelState &s, const SimCard &c, ModuleType type) {
    const bool cdma = CdmaType(type);
    if (s.sim == SimState::kPin) return {cdma ? "R-UIM PIN" : "SIM PIN", c.pin_attempts};
    if (s.sim == SimState::kPuk) return {cdma ? "R-UIM PUK" : "SIM PUK", c.puk_attempts};
    if (c.ph_net_pin && NetworkLocked(s)) return {"PH-NET PIN", s.cardlock_attempts};
    if (c.awaiting2 == SimCard::Code2::kPin2) return {"SIM PIN2", c.pin2_attempts};
    if (c.awaiting2 == SimCard::Code2::kPuk2) return {"SIM PUK2", c.puk2_attempts};
    return {"READY", -1};
}

// A busy card settles after the answers it was given; it then wants what its PIN lock says.
void CountBusyAnswer(ModelState &s, SimCard &c) {
    if (s.sim != SimState::kBusy || c.busy_answers <= 0) return;
    if (--c.busy_answers == 0) s.sim = c.pin_enabled ? SimState::kPin : SimState::kReady;
}

// One try of a code: true when right (the counter is restored); a wrong try costs an attempt,
// and a code without attempts is never right.
bool Verify(const std::string &given, const std::string &code, int *attempts, int full) {
    if (*attempts <= 0) return false;
    if (given == code) {
        *attempts = full;
        return true;
    }
    --*attempts;
    return false;
}

bool ValidPin(const std::string &pin) {
    if (pin.size() < 4 || pin.size() > 8) return false;
    for (char c : pin) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// The arguments after "=", unquoted; commas inside quotes belong to the argument.
std::vector<std::string> Arguments(const std::string &command) {
    std::vector<std::string> out;
    const std::size_t eq = command.find('=');
    if (eq == std::string::npos) return out;
    std::string current;
    bool quoted = false;
    for (std::size_t i = eq + 1; i < command.size(); ++i) {
        const char c = command[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    out.push_back(current);
    return out;
}

bool IsTest(const std::string &command) {
    return command.size() >= 2 && command.compare(command.size() - 2, 2, "=?") == 0;
}

bool ParseInt(const std::string &text, int *value) {
    if (text.empty() || text.size() > 6) return false;
    int v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

bool IsBarring(const std::string &facility) {
    for (const char *f : {"AO", "OI", "OX", "AI", "IR"}) {
        if (facility == f) return true;
    }
    return false;
}

// "AB" lifts every barring, "AG" the outgoing ones, "AC" the incoming ones.
bool IsBarringGroup(const std::string &facility) {
    return facility == "AB" || facility == "AG" || facility == "AC";
}

void ClearBarringGroup(SimCard &c, const std::string &group) {
    for (const char *f : {"AO", "OI", "OX"}) {
        if (group != "AC") c.barred.erase(f);
    }
    for (const char *f : {"AI", "IR"}) {
        if (group != "AG") c.barred.erase(f);
    }
}

Lines BarringStatus(const SimCard &c, const std::string &facility) {
    auto it = c.barred.find(facility);
    const int classes = it == c.barred.end() ? 0 : it->second;
    if (classes == 0) return {"+CLCK: 0", "OK"};
    Lines lines;
    for (int bit = 1; bit <= 128; bit <<= 1) {
        if (classes & bit) lines.push_back("+CLCK: 1," + std::to_string(bit));
    }
    lines.push_back("OK");
    return lines;
}

// A wrong PIN costs an attempt; the last one leaves the card wanting its PUK.
Lines TryPin(ModelState &s, SimCard &c, const std::string &given) {
    if (Verify(given, c.pin, &c.pin_attempts, SimCard::kPinAttempts)) return {};
    if (c.pin_attempts == 0) s.sim = SimState::kPuk;
    return {kWrongPassword};
}

Lines TryPin2(SimCard &c, const std::string &given) {
    if (c.pin2_attempts <= 0) {
        c.awaiting2 = SimCard::Code2::kPuk2;
        return {kPuk2Required};
    }
    if (Verify(given, c.pin2, &c.pin2_attempts, SimCard::kPinAttempts)) return {};
    if (c.pin2_attempts == 0) c.awaiting2 = SimCard::Code2::kPuk2;
    return {kWrongPassword};
}

// The network personalisation key; when its attempts run out the lock stays for good.
Lines TryUnlockKey(ModelState &s, SimCard &c, const std::string &given) {
    if (!NetworkLocked(s)) return {"OK"};
    if (Verify(given, c.unlock_code, &s.cardlock_attempts, kUnlockAttempts)) {
        s.cardlock = 2;
        return {"OK"};
    }
    if (s.cardlock_attempts <= 0) s.cardlock = 3;
    return {kWrongPassword};
}

Lines EnterPinLocked(ModelState &s, SimCard &c, const std::vector<std::string> &args) {
    const std::string given = args.empty() ? "" : args[0];
    if (s.sim == SimState::kPin) {
        Lines wrong = TryPin(s, c, given);
        if (!wrong.empty()) return wrong;
        s.sim = SimState::kReady;
        c.pin_enabled = true;
        return {"OK"};
    }
    if (s.sim == SimState::kPuk) {
        if (args.size() < 2 || !ValidPin(args[1])) return {kBadParameters};
        if (!Verify(given, c.puk, &c.puk_attempts, SimCard::kPukAttempts)) {
            if (c.puk_attempts == 0) {
                c.failed = true;
                s.sim = SimState::kAbsent;
            }
            return {kWrongPassword};
        }
        c.pin = args[1];
        c.pin_attempts = SimCard::kPinAttempts;
        c.pin_enabled = true;
        s.sim = SimState::kReady;
        return {"OK"};
    }
    if (const std::string error = CardError(s, c); !error.empty()) return {error};
    if (c.ph_net_pin && NetworkLocked(s)) return TryUnlockKey(s, c, given);
    if (c.awaiting2 == SimCard::Code2::kPin2) {
        Lines wrong = TryPin2(c, given);
        if (!wrong.empty()) return wrong;
        c.awaiting2 = SimCard::Code2::kNone;
        return {"OK"};
    }
    if (c.awaiting2 == SimCard::Code2::kPuk2) {
        if (args.size() < 2 || !ValidPin(args[1])) return {kBadParameters};
        if (!Verify(given, c.puk2, &c.puk2_attempts, SimCard::kPukAttempts)) return {kWrongPassword};
        c.pin2 = args[1];
        c.pin2_attempts = SimCard::kPinAttempts;
        c.awaiting2 = SimCard::Code2::kNone;
        return {"OK"};
    }
    return {kNotAllowed};  // no code is pending
}

Lines FacilityLock(ModelState &s, SimCard &c, const std::vector<std::string> &args) {
    if (args.size() < 2) return {kBadParameters};
    if (const std::string error = CardError(s, c); !error.empty()) return {error};
    const std::string &facility = args[0];
    int mode = 0;
    if (!ParseInt(args[1], &mode) || mode > 2) return {kBadParameters};
    const bool query = mode == 2;
    if (!query && args.size() < 3) return {kBadParameters};
    const std::string password = query ? "" : args[2];

    if (facility == "SC") {
        if (query) return {"+CLCK: " + std::to_string(PinEnabled(s, c) ? 1 : 0), "OK"};
        Lines wrong = TryPin(s, c, password);
        if (!wrong.empty()) return wrong;
        c.pin_enabled = mode == 1;
        return {"OK"};
    }
    if (facility == "FD") {
        if (query) return {"+CLCK: " + std::to_string(c.fdn_enabled ? 1 : 0), "OK"};
        Lines wrong = TryPin2(c, password);
        if (!wrong.empty()) return wrong;
        c.fdn_enabled = mode == 1;
        return {"OK"};
    }
    if (facility == "PN") {
        if (query) return {"+CLCK: " + std::to_string(NetworkLocked(s) ? 1 : 0), "OK"};
        if (mode == 0) return TryUnlockKey(s, c, password);
        if (password != c.unlock_code) return {kWrongPassword};
        s.cardlock = 1;
        return {"OK"};
    }
    if (IsBarring(facility)) {
        if (query) return BarringStatus(c, facility);
        if (password != c.barring_password) return {kWrongPassword};
        int classes = 7;  // voice, data and fax unless the command names classes
        if (args.size() >= 4 && !args[3].empty() && (!ParseInt(args[3], &classes) || classes > 255))
            return {kBadParameters};
        int &barred = c.barred[facility];
        barred = mode == 1 ? (barred | classes) : (barred & ~classes);
        return {"OK"};
    }
    if (IsBarringGroup(facility)) {
        if (mode != 0) return {kNotAllowed};
        if (password != c.barring_password) return {kWrongPassword};
        ClearBarringGroup(c, facility);
        return {"OK"};
    }
    return {kNotSupported};
}

Lines ChangePassword(ModelState &s, SimCard &c, const std::vector<std::string> &args) {
    if (args.size() < 3) return {kBadParameters};
    if (const std::string error = CardError(s, c); !error.empty()) return {error};
    const std::string &facility = args[0];
    const std::string &old_code = args[1];
    const std::string &new_code = args[2];
    if (facility == "SC") {
        // The card refuses to change a PIN it does not check (TS 31.102 CHANGE PIN).
        if (!PinEnabled(s, c)) return {kNotAllowed};
        if (!ValidPin(new_code)) return {kBadParameters};
        Lines wrong = TryPin(s, c, old_code);
        if (!wrong.empty()) return wrong;
        c.pin = new_code;
        return {"OK"};
    }
    if (facility == "P2") {
        if (!ValidPin(new_code)) return {kBadParameters};
        Lines wrong = TryPin2(c, old_code);
        if (!wrong.empty()) return wrong;
        c.pin2 = new_code;
        return {"OK"};
    }
    if (IsBarring(facility) || IsBarringGroup(facility)) {
        if (new_code.size() != 4) return {kBadParameters};
        if (old_code != c.barring_password) return {kWrongPassword};
        c.barring_password = new_code;
        return {"OK"};
    }
    return {kNotSupported};
}

}  // namespace

void UpdateCard(Modem &m, const std::function<void(ModelState &, SimCard &)> &change) {
    m.Update([&](ModelState &s) {
        std::lock_guard<std::mutex> lock(g_cards_mu);
        auto it = s.s_registers.find(kCardRegister);
        int id;
        if (it == s.s_registers.end()) {
            id = g_next_card++;
            s.s_registers[kCardRegister] = id;
        } else {
            id = it->second;
        }
        change(s, g_cards[id]);
    });
}

SimCard CardOf(Modem &m) {
    SimCard copy;
    UpdateCard(m, [&](ModelState &, SimCard &c) { copy = c; });
    return copy;
}

Lines SimReadPin(Modem &m, const std::string &) {
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) {
        if (const std::string error = PresenceError(s, c); !error.empty()) {
            lines = {error};
        } else {
            lines = {"+CPIN: " + WantedCode(s, c, m.type()).code, "OK"};
        }
        CountBusyAnswer(s, c);
    });
    return lines;
}

// "^CPIN: <code>,[<times>],<puk_times>,<pin_times>,<puk2_times>,<pin2_times>"
Lines SimReadPinCounters(Modem &m, const std::string &) {
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) {
        if (const std::string error = PresenceError(s, c); !error.empty()) {
            lines = {error};
        } else {
            const Wanted wanted = WantedCode(s, c, m.type());
            const std::string times = wanted.attempts >= 0 ? std::to_string(wanted.attempts) : "";
            lines = {"^CPIN: " + wanted.code + "," + times + "," + std::to_string(c.puk_attempts) + "," +
                         std::to_string(c.pin_attempts) + "," + std::to_string(c.puk2_attempts) + "," +
                         std::to_string(c.pin2_attempts),
                     "OK"};
        }
        CountBusyAnswer(s, c);
    });
    return lines;
}

Lines SimEnterPin(Modem &m, const std::string &command) {
    if (IsTest(command)) return {"OK"};
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) { lines = EnterPinLocked(s, c, Arguments(command)); });
    return lines;
}

Lines SimUnlockCard(Modem &m, const std::string &command) {
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) {
        const std::vector<std::string> args = Arguments(command);
        if (const std::string error = CardError(s, c); !error.empty()) {
            lines = {error};
        } else if (args.empty() || args[0].empty()) {
            lines = {kBadParameters};
        } else {
            lines = TryUnlockKey(s, c, args[0]);
        }
    });
    return lines;
}

Lines SimCardMode(Modem &m, const std::string &) {
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) {
        if (s.sim == SimState::kBusy) {
            lines = {"+CME ERROR: 14"};
        } else {
            const int mode = (s.sim == SimState::kAbsent || c.failed) ? 0 : c.app_type;
            lines = {"^CARDMODE: " + std::to_string(mode), "OK"};
        }
    });
    return lines;
}

Lines SimFacilityLock(Modem &m, const std::string &command) {
    if (IsTest(command))
        return {"+CLCK: (\"SC\",\"FD\",\"PN\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\",\"AC\")", "OK"};
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) { lines = FacilityLock(s, c, Arguments(command)); });
    return lines;
}

Lines SimChangePassword(Modem &m, const std::string &command) {
    if (IsTest(command)) return {"+CPWD: (\"SC\",8),(\"P2\",8),(\"AO\",4),(\"OI\",4),(\"AB\",4)", "OK"};
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) { lines = ChangePassword(s, c, Arguments(command)); });
    return lines;
}

// A CDMA module without a card keeps its IMSI in its own memory.
Lines SimImsi(Modem &m, const std::string &) {
    Lines lines;
    UpdateCard(m, [&](ModelState &s, SimCard &c) {
        const std::string error = CardError(s, c);
        if (m.type() == ModuleType::kCdmaNoCard || error.empty()) {
            lines = {s.imsi, "OK"};
        } else {
            lines = {error};
        }
    });
    return lines;
}

}  // namespace modemsim
