// Default answers of the simulated modem, per module type.
//
// A command is answered by the basic command parser ("ATE0V1", "ATS0=0", "ATH") or by the first
// row of kRows that matches it; a row answers either one fixed line and OK, or through a small
// function over the model state. Teaching the modem a command is adding a row.

#include <modemsim/features.h>
#include <modemsim/modemsim.h>
#include <modemsim/sim_card.h>
#include <modemsim/sms.h>

#include <cctype>
#include <cstdio>
#include <string_view>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

enum TypeMask : unsigned {
    kWcdma = 1u << 0,
    kTdscdma = 1u << 1,
    kCdmaCard = 1u << 2,
    kCdmaNoCard = 1u << 3,
    k3gpp = kWcdma | kTdscdma,
    kCdma = kCdmaCard | kCdmaNoCard,
    kAll = k3gpp | kCdma,
};

unsigned MaskOf(ModuleType type) {
    switch (type) {
        case ModuleType::kWcdma:
            return kWcdma;
        case ModuleType::kTdscdma:
            return kTdscdma;
        case ModuleType::kCdma:
            return kCdmaCard;
        case ModuleType::kCdmaNoCard:
            return kCdmaNoCard;
    }
    return kWcdma;
}

bool RadioOn(const ModelState &s) {
    return s.cfun == 1;
}


// "^HS:<id>,<protocol>,<is_offline>,<product_class>,<product_type>": the class is what tells the
// host which kind of module it talks to (1 CDMA, 3 TD-SCDMA, 4 WCDMA).
Lines Handshake(Modem &m, const std::string &) {
    int product_class = 4;
    if (m.type() == ModuleType::kTdscdma) product_class = 3;
    if (m.type() == ModuleType::kCdma || m.type() == ModuleType::kCdmaNoCard) product_class = 1;
    return {"^HS:11111111,0,0," + std::to_string(product_class) + ",0", "OK"};
}

// "^SYSINFO: <srv_status>,<srv_domain>,<roam>,<sys_mode>,<sim_state>"; sim_state 240 is the
// CDMA module that keeps its subscription in NV memory instead of on a card.
Lines SystemInfo(Modem &m, const std::string &) {
    const ModelState s = m.State();
    int sys_mode = 5;
    if (m.type() == ModuleType::kTdscdma) sys_mode = 15;
    if (m.type() == ModuleType::kCdma || m.type() == ModuleType::kCdmaNoCard) sys_mode = 2;
    int sim_state = s.sim == SimState::kAbsent ? 255 : 1;
    if (m.type() == ModuleType::kCdmaNoCard) sim_state = 240;
    char line[64];
    if (RadioOn(s)) {
        std::snprintf(line, sizeof(line), "^SYSINFO: 2,3,0,%d,%d", sys_mode, sim_state);
    } else {
        std::snprintf(line, sizeof(line), "^SYSINFO: 0,0,0,0,%d", sim_state);
    }
    return {line, "OK"};
}

Lines Platform(Modem &m, const std::string &) {
    return {"^PLATFORM: " + std::to_string(m.State().platform), "OK"};
}

Lines ReadFunctionality(Modem &m, const std::string &) {
    return {"+CFUN: " + std::to_string(m.State().cfun), "OK"};
}

// "AT+CFUN=<fun>[,<rst>]" with fun 0 (off), 1 (on) or 4 (flight mode).
Lines SetFunctionality(Modem &m, const std::string &command) {
    std::string_view arg = std::string_view(command).substr(sizeof("AT+CFUN=") - 1);
    const std::size_t comma = arg.find(',');
    if (comma != std::string_view::npos) {
        std::string_view reset = arg.substr(comma + 1);
        if (reset != "0" && reset != "1") return {"+CME ERROR: 50"};
        arg = arg.substr(0, comma);
    }
    if (arg != "0" && arg != "1" && arg != "4") return {"+CME ERROR: 50"};
    const int fun = arg[0] - '0';
    m.Update([fun](ModelState &s) { s.cfun = fun; });
    return {"OK"};
}

Lines ReadCardLock(Modem &m, const std::string &) {
    const ModelState s = m.State();
    if (*SimError(s) != '\0') return {SimError(s)};
    return {"^CARDLOCK: " + std::to_string(s.cardlock) + "," + std::to_string(s.cardlock_attempts) + ",0", "OK"};
}

Lines Imei(Modem &m, const std::string &) {
    return {m.State().imei, "OK"};
}

Lines Revision(Modem &m, const std::string &) {
    return {m.State().revision, "OK"};
}

// CDMA modules put their revision behind a prefix.
Lines CdmaRevision(Modem &m, const std::string &) {
    return {"+CGMR: " + m.State().revision, "OK"};
}

// "^IMEISV: <TAC and serial number, 14 digits><software version, 2 digits>".
Lines ImeiSv(Modem &m, const std::string &) {
    return {"^IMEISV: " + m.State().imei.substr(0, 14) + "05", "OK"};
}

Lines SignalQuality(Modem &m, const std::string &) {
    const ModelState s = m.State();
    const int rssi = RadioOn(s) ? s.rssi : 99;
    return {"+CSQ: " + std::to_string(rssi) + ",99", "OK"};
}

using AnswerFn = Lines (*)(Modem &, const std::string &);
}  // namespace

// Final result for a command that needs a usable SIM, or "" when the SIM is ready.
const char *SimError(const ModelState &s) {
    switch (s.sim) {
        case SimState::kReady:
            return "";
        case SimState::kPin:
            return "+CME ERROR: 11";
        case SimState::kPuk:
            return "+CME ERROR: 12";
        case SimState::kAbsent:
            return "+CME ERROR: 10";
        case SimState::kBusy:
            return "+CME ERROR: 14";
    }
    return "+CME ERROR: 13";
}

Modem::Lines UssdRequest(Modem &m, const std::string &command);  // ussd_network.cpp

namespace {

struct Row {
    unsigned types;
    const char *command;
    bool prefix;       // match any command starting with `command`
    const char *line;  // answered before OK; nullptr for OK alone
    AnswerFn answer;   // when set, answers instead of line + OK
};

// First match wins, so an exact row must come before a prefix row that covers it.
constexpr Row kRows[] = {
    {kAll, "AT+CMEE=", true, nullptr, nullptr},
    {kAll, "AT^HS=", true, nullptr, Handshake},
    {kAll, "AT^SYSINFO", false, nullptr, SystemInfo},
    {kAll, "AT^PLATFORM?", false, nullptr, Platform},
    {kAll, "AT^NDISCAP?", false, "^NDISCAP: 1,1", nullptr},
    {kTdscdma, "AT*PSSIMSTAT=", true, nullptr, nullptr},
    {kCdma, "AT^RSSIREP=", true, nullptr, nullptr},
    {kAll, "AT+CFUN?", false, nullptr, ReadFunctionality},
    {kAll, "AT+CFUN=?", false, "+CFUN: (0,1,4),(0-1)", nullptr},
    {kAll, "AT+CFUN=", true, nullptr, SetFunctionality},
    {kAll, "AT+CPIN?", false, nullptr, SimReadPin},
    {kAll, "AT+CPIN=", true, nullptr, SimEnterPin},
    {kAll, "AT^CPIN?", false, nullptr, SimReadPinCounters},
    {k3gpp, "AT^CARDLOCK?", false, nullptr, ReadCardLock},
    {k3gpp, "AT^CARDLOCK=", true, nullptr, SimUnlockCard},
    {k3gpp, "AT^CARDMODE", false, nullptr, SimCardMode},
    {kAll, "AT+CLCK=", true, nullptr, SimFacilityLock},
    {kAll, "AT+CPWD=", true, nullptr, SimChangePassword},
    {kAll, "AT+CGSN", false, nullptr, Imei},
    {k3gpp, "AT^IMEISV?", false, nullptr, ImeiSv},
    {kCdma, "AT+CGMR", false, nullptr, CdmaRevision},
    {kAll, "AT+CGMR", false, nullptr, Revision},
    {kCdma, "AT+GSN", false, "+GSN: 6030C012", nullptr},
    {kCdma, "AT^MEID", false, "^MEID: A1000009D1F2E3", nullptr},
    {kCdma, "AT^MDN", false, "^MDN: 15550100123", nullptr},
    {kCdma, "AT^CURRSID", false, "^CURRSID: 13824,65535", nullptr},
    {kCdma, "AT^PRLVER?", false, "^PRLVER: 10032", nullptr},
    {kAll, "AT+CIMI", false, nullptr, SimImsi},
    {kAll, "AT+CSQ", false, nullptr, SignalQuality},
    {k3gpp, "AT+CUSD=", true, nullptr, UssdRequest},
};

bool ReadNumber(const std::string &text, std::size_t *i, int *value) {
    std::size_t start = *i;
    int v = 0;
    while (*i < text.size() && std::isdigit(static_cast<unsigned char>(text[*i])) && *i - start < 3) {
        v = v * 10 + (text[(*i)++] - '0');
    }
    *value = v;
    return *i > start;
}

// V.250 basic commands after "AT", any number of them in one line: E V Q Z X L M H with an
// optional number, S<n>=<v> and S<n>?, and &<letter><number>. Only E and S registers change
// anything here; the host never asks for numeric or quiet result codes.
bool BasicCommands(Modem &m, const std::string &command, Lines *lines) {
    if (command.size() < 2 || std::toupper(static_cast<unsigned char>(command[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(command[1])) != 'T') {
        return false;
    }
    int echo = -1;
    std::vector<std::pair<int, int>> s_writes;
    Lines answer;
    std::size_t i = 2;
    while (i < command.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(command[i++])));
        int value = 0;
        switch (c) {
            case ' ':
                break;
            case 'E':
                ReadNumber(command, &i, &value);
                if (value > 1) {
                    *lines = {"ERROR"};
                    return true;
                }
                echo = value;
                break;
            case 'V':
            case 'Q':
            case 'Z':
            case 'X':
            case 'L':
            case 'M':
            case 'H':
                ReadNumber(command, &i, &value);
                break;
            case '&':
                if (i >= command.size() || !std::isalpha(static_cast<unsigned char>(command[i]))) return false;
                ++i;
                ReadNumber(command, &i, &value);
                break;
            case 'S': {
                int reg = 0;
                if (!ReadNumber(command, &i, &reg) || i >= command.size()) return false;
                if (command[i] == '?') {
                    ++i;
                    const ModelState s = m.State();
                    auto it = s.s_registers.find(reg);
                    char text[8];
                    std::snprintf(text, sizeof(text), "%03d", it == s.s_registers.end() ? 0 : it->second);
                    answer.push_back(text);
                } else if (command[i] == '=') {
                    ++i;
                    ReadNumber(command, &i, &value);
                    if (value > 255) {
                        *lines = {"ERROR"};
                        return true;
                    }
                    s_writes.emplace_back(reg, value);
                } else {
                    return false;
                }
                break;
            }
            default:
                return false;
        }
    }
    m.Update([&](ModelState &s) {
        if (echo >= 0) s.echo = echo == 1;
        for (auto [reg, value] : s_writes) s.s_registers[reg] = value;
    });
    answer.push_back("OK");
    *lines = std::move(answer);
    return true;
}

bool IsHex(const std::string &text) {
    if (text.empty() || text.size() % 2 != 0) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

bool IsPromptingCommand(const std::string &command) {
    for (const char *prefix : {"AT+CMGS=", "AT+CMGW=", "AT^HCMGS=", "AT^HCMGW="}) {
        if (command.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

bool DefaultAnswer(Modem &m, const std::string &command, Lines *lines) {
    // Hanging up belongs to the call model; the basic command parser would only acknowledge it.
    if (command == "ATH" && CallAnswer(m, command, lines)) return true;
    if (BasicCommands(m, command, lines)) return true;
    using FeatureAnswer = bool (*)(Modem &, const std::string &, Lines *);
    // Packet data first: "ATD*99#" is its dial, not a voice call's.
    for (FeatureAnswer feature : {DataAnswer, CallAnswer, NetworkAnswer, SmsAnswer, SimFilesAnswer, BandAnswer}) {
        if (feature(m, command, lines)) return true;
    }
    const unsigned mask = MaskOf(m.type());
    for (const Row &row : kRows) {
        if ((row.types & mask) == 0) continue;
        const bool match = row.prefix ? command.rfind(row.command, 0) == 0 : command == row.command;
        if (!match) continue;
        if (row.answer != nullptr) {
            *lines = row.answer(m, command);
        } else if (row.line != nullptr) {
            *lines = {row.line, "OK"};
        } else {
            *lines = {"OK"};
        }
        return true;
    }
    return false;
}

Lines DefaultPduAnswer(Modem &m, const std::string &command, const std::string &pdu) {
    if (!IsHex(pdu)) return {"+CMS ERROR: 304"};
    const bool cdma = command.rfind("AT^H", 0) == 0;
    const bool send = command.find("CMGS=") != std::string::npos;
    int number = 0;
    m.Update([&](ModelState &s) {
        if (send) {
            s.message_reference = (s.message_reference + 1) % 256;
            number = s.message_reference;
        } else {
            number = s.store_index = StoreWrittenPdu(s, command, pdu);
        }
    });
    if (number < 0) return {"+CMS ERROR: 322"};  // memory full
    std::string line = cdma ? "^H" : "+";
    line += send ? "CMGS: " : "CMGW: ";
    return {line + std::to_string(number), "OK"};
}

bool ParseModuleType(const std::string &name, ModuleType *type) {
    static constexpr struct {
        const char *name;
        ModuleType type;
    } kNames[] = {
        {"wcdma", ModuleType::kWcdma},
        {"tdscdma", ModuleType::kTdscdma},
        {"cdma", ModuleType::kCdma},
        {"cdma-nocard", ModuleType::kCdmaNoCard},
    };
    for (const auto &entry : kNames) {
        if (name == entry.name) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

const char *ModuleTypeName(ModuleType type) {
    switch (type) {
        case ModuleType::kWcdma:
            return "wcdma";
        case ModuleType::kTdscdma:
            return "tdscdma";
        case ModuleType::kCdma:
            return "cdma";
        case ModuleType::kCdmaNoCard:
            return "cdma-nocard";
    }
    return "unknown";
}

}  // namespace modemsim
