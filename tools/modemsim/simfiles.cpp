// modemsim: SIM file system for +CRSM and the toolkit sessions.
//
// +CRSM (TS 27.007) reads and writes the card's elementary files. A 2G card answers GET
// RESPONSE in the TS 51.011 layout, a USIM with its file control parameters (TS 102 221), cut
// to the P3 asked for as a real card does. Like some modems, a GET RESPONSE without P1, P2 and
// P3 may come back as status 90 00 with no data at all.
//
// The toolkit session runs in the dialect the model names: the card's menu after activation
// ("^STIN: 0,<hex>" or the "^CUSATM?" answer), a display text after a menu selection, a send
// USSD after the text's terminal response (an event the modem handles itself), then the end
// of the session.
#include <modemsim/features.h>
#include <modemsim/simfiles.h>

#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

namespace modemsim {

using Lines = Modem::Lines;

std::map<int, SimFile> DefaultSimFiles() {
    using namespace simfiles;
    std::map<int, SimFile> files;
    files[kEfIccid] = {false, 0, "98101430121181157002", {}};
    files[kEfImsi] = {false, 0, "084906002143658709", {}};
    // Display condition 0, "Zorvik Mobile", padded with FF to 16 characters.
    files[kEfSpn] = {false, 0, "00" + HexOfText("Zorvik Mobile") + "FFFFFF", {}};
    files[kEfAd] = {false, 0, "00000002", {}};
    // Records: alpha identifier (14 bytes here, 20 for MSISDN), then length, TON/NPI, ten BCD
    // bytes, capability and extension identifiers.
    SimFile msisdn{true, 34, {}, {}};
    msisdn.records.push_back("456967656E65205275666E756D6D6572FFFFFFFF0891947172199181F3FFFFFFFFFF");
    msisdn.records.push_back(std::string(68, 'F'));
    files[kEfMsisdn] = msisdn;
    SimFile adn{true, 28, {}, {}};
    auto entry = [](const std::string &name, const std::string &number) {
        std::string alpha = HexOfText(name);
        alpha.resize(28, 'F');
        std::string tail = number;
        tail.resize(28, 'F');
        return alpha + tail;
    };
    adn.records.push_back(entry("B HA 1 Sic", "06810628560810"));
    adn.records.push_back(entry("Kundenbetreuu", "0791947112122721"));
    while (adn.records.size() < 10) adn.records.push_back(std::string(56, 'F'));
    files[kEfAdn] = adn;
    return files;
}

namespace simfiles {
namespace {

std::string Hex2(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xff);
    return text;
}

std::string Hex4(int value) {
    return Hex2(value >> 8) + Hex2(value);
}

bool IsHex(std::string_view text) {
    if (text.size() % 2 != 0) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Splits "a,b,"c,d",e" at the commas outside quotes; quotes are removed.
std::vector<std::string> Fields(std::string_view args, bool *quoted_ok) {
    std::vector<std::string> fields(1);
    bool in_quotes = false;
    for (char c : args) {
        if (c == '"') {
            in_quotes = !in_quotes;
        } else if (c == ',' && !in_quotes) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    *quoted_ok = !in_quotes;
    return fields;
}

bool Number(const std::string &text, int *value) {
    if (text.empty() || text.size() > 5) return false;
    int v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

Lines Status(int sw1, int sw2, const std::string &data = {}, bool quoted = true) {
    std::string line = "+CRSM: " + std::to_string(sw1) + "," + std::to_string(sw2);
    if (!data.empty()) line += quoted ? ",\"" + data + "\"" : "," + data;
    return {line, "OK"};
}


// AT+CRSM=<command>,<fileid>[,<P1>,<P2>,<P3>[,<data>[,<pathid>]]]
Lines RestrictedSimAccess(Modem &m, const std::string &command) {
    bool quoted_ok = false;
    std::vector<std::string> f = Fields(std::string_view(command).substr(sizeof("AT+CRSM=") - 1), &quoted_ok);
    f.resize(std::max<std::size_t>(f.size(), 7));
    int cmd = 0, fid = 0;
    if (!quoted_ok || !Number(f[0], &cmd) || !Number(f[1], &fid)) return {"+CME ERROR: 50"};
    const bool short_form = f[2].empty() && f[3].empty() && f[4].empty();
    int p1 = 0, p2 = 0, p3 = 0;
    if (!short_form && (!Number(f[2], &p1) || !Number(f[3], &p2) || !Number(f[4], &p3))) return {"+CME ERROR: 50"};
    if (!IsHex(f[5]) || !IsHex(f[6]) || f[6].size() % 4 != 0) return {"+CME ERROR: 50"};

    Lines answer;
    m.Update([&](ModelState &s) {
        if (const char *error = SimError(s); *error != '\0') {
            answer = {error};
            return;
        }
        SimFilesModel &card = s.simfiles;
        const bool usim = card.usim;
        // USIMs give their status words in the TS 102 221 form, 2G cards in the TS 51.011 one.
        auto it = card.files.find(fid);
        if (it == card.files.end()) {
            answer = usim ? Status(0x6A, 0x82) : Status(0x94, 0x04);
            return;
        }
        SimFile &file = it->second;
        const Lines wrong_type = usim ? Status(0x69, 0x81) : Status(0x94, 0x08);
        switch (cmd) {
            case 192: {  // GET RESPONSE
                if (short_form && card.empty_short_get_response) {
                    answer = Status(0x90, 0x00);
                    return;
                }
                std::string response = usim ? UsimFcp(fid, file) : GsmGetResponse(fid, file);
                if (!short_form && p3 > 0 && static_cast<std::size_t>(p3) * 2 < response.size())
                    response.resize(static_cast<std::size_t>(p3) * 2);
                answer = Status(0x90, 0x00, response, usim);
                return;
            }
            case 176: {  // READ BINARY
                if (file.linear) {
                    answer = wrong_type;
                    return;
                }
                const std::size_t offset = static_cast<std::size_t>(p1 << 8 | p2) * 2;
                if (offset > file.body.size()) {
                    answer = Status(0x6B, 0x00);
                    return;
                }
                std::size_t length = p3 == 0 ? file.body.size() - offset : static_cast<std::size_t>(p3) * 2;
                answer = Status(0x90, 0x00, file.body.substr(offset, length), usim);
                return;
            }
            case 178: {  // READ RECORD, absolute
                if (!file.linear) {
                    answer = wrong_type;
                    return;
                }
                if (p1 < 1 || static_cast<std::size_t>(p1) > file.records.size()) {
                    answer = usim ? Status(0x6A, 0x83) : Status(0x94, 0x02);
                    return;
                }
                answer = Status(0x90, 0x00, file.records[static_cast<std::size_t>(p1) - 1], usim);
                return;
            }
            case 214: {  // UPDATE BINARY
                const std::size_t offset = static_cast<std::size_t>(p1 << 8 | p2) * 2;
                if (file.linear || offset + f[5].size() > file.body.size()) {
                    answer = file.linear ? wrong_type : Status(0x6B, 0x00);
                    return;
                }
                file.body.replace(offset, f[5].size(), Upper(f[5]));
                answer = Status(0x90, 0x00);
                return;
            }
            case 220: {  // UPDATE RECORD, absolute
                if (!file.linear || p1 < 1 || static_cast<std::size_t>(p1) > file.records.size() ||
                    f[5].size() != static_cast<std::size_t>(file.record_length) * 2) {
                    answer = file.linear ? Status(0x67, 0x00) : wrong_type;
                    return;
                }
                file.records[static_cast<std::size_t>(p1) - 1] = Upper(f[5]);
                answer = Status(0x90, 0x00);
                return;
            }
            default:
                answer = Status(0x6D, 0x00);
                return;
        }
    });
    return answer;
}

// The quoted hex argument after a prefix such as "AT+CUSATE=" or "AT^STGR=0,"; "" when absent.
std::string QuotedHex(const std::string &command, std::size_t from) {
    if (from >= command.size() || command[from] != '"' || command.back() != '"' || command.size() < from + 2)
        return {};
    std::string hex = command.substr(from + 1, command.size() - from - 2);
    return IsHex(hex) ? hex : std::string();
}

// The type of command a terminal response answers ("81 03 <number> <type> <qualifier>").
int AnsweredType(const std::string &hex) {
    if (hex.size() < 10 || hex.compare(0, 4, "8103") != 0) return -1;
    return std::stoi(hex.substr(6, 2), nullptr, 16);
}

void Proactive(Modem &m, StkDialect dialect, bool notify, const std::string &hex, int ms) {
    if (dialect == StkDialect::kStin) {
        m.InjectLater(std::string("^STIN: ") + (notify ? "1" : "0") + ",\"" + hex + "\"", ms);
    } else {
        m.InjectLater("+CUSATP: \"" + hex + "\"", ms);
    }
}

void SessionEnd(Modem &m, StkDialect dialect, int ms) {
    m.InjectLater(dialect == StkDialect::kStin ? "^STIN: 99,\"\"" : "+CUSATEND", ms);
}

bool Toolkit(Modem &m, const std::string &command, Lines *lines) {
    const StkDialect dialect = m.State().simfiles.stk;
    auto starts = [&](const char *prefix) { return command.rfind(prefix, 0) == 0; };
    if (command == "AT^STSF?") {
        if (dialect == StkDialect::kNone) {
            *lines = {"ERROR"};
        } else {
            const bool active = m.State().simfiles.stk_active;
            *lines = {std::string("^STSF: ") + (active ? "1" : "0") + (dialect == StkDialect::kCusat ? ",2" : ",0"),
                      "OK"};
        }
        return true;
    }
    if (starts("AT^STSF=")) {
        if (dialect == StkDialect::kNone) {
            *lines = {"+CME ERROR: 4"};
            return true;
        }
        m.Update([](ModelState &s) { s.simfiles.stk_active = true; });
        *lines = {"OK"};
        return true;
    }
    if (command == "AT^STGI=0,0" && dialect == StkDialect::kStin) {
        *lines = {"OK"};
        Proactive(m, dialect, false, SetUpMenuCommand(), 0);
        return true;
    }
    if (command == "AT^CUSATM?" && dialect == StkDialect::kCusat) {
        *lines = {"^CUSATM: \"" + SetUpMenuCommand() + "\"", "OK"};
        return true;
    }
    if (command == "AT+CUSATR=3" && dialect != StkDialect::kNone) {
        *lines = {"+CUSATR: 3,\"" + m.State().simfiles.terminal_profile + "\"", "OK"};
        return true;
    }
    if (starts("AT+CUSATW=0,") && dialect != StkDialect::kNone) {
        std::string hex = QuotedHex(command, sizeof("AT+CUSATW=0,") - 1);
        if (hex.empty()) {
            *lines = {"+CME ERROR: 50"};
            return true;
        }
        m.Update([&](ModelState &s) { s.simfiles.terminal_profile = hex; });
        *lines = {"+CUSATW: 0", "OK"};
        return true;
    }
    if (starts("AT^CSTC=")) {
        *lines = {dialect == StkDialect::kNone ? "ERROR" : "OK"};
        return true;
    }
    const bool stin_envelope = starts("AT^STGR=0,");
    const bool stin_response = starts("AT^STGR=1,");
    const bool cusat_envelope = starts("AT+CUSATE=");
    const bool cusat_response = starts("AT+CUSATT=");
    if (!stin_envelope && !stin_response && !cusat_envelope && !cusat_response) return false;
    const bool stin = stin_envelope || stin_response;
    if ((stin && dialect != StkDialect::kStin) || (!stin && dialect != StkDialect::kCusat)) {
        *lines = {"+CME ERROR: 4"};
        return true;
    }
    const bool envelope = stin_envelope || cusat_envelope;
    std::string hex = QuotedHex(command, stin ? sizeof("AT^STGR=0,") - 1 : sizeof("AT+CUSATE=") - 1);
    if (hex.empty()) {
        *lines = {"+CME ERROR: 50"};
        return true;
    }
    m.Update([&](ModelState &s) { (envelope ? s.simfiles.envelopes : s.simfiles.terminal_responses).push_back(hex); });
    *lines = cusat_envelope ? Lines{"+CUSATE: \"\",0", "OK"} : Lines{"OK"};
    if (envelope) {
        // A menu selection: the card answers with a text to show.
        if (hex.rfind("D3", 0) == 0) Proactive(m, dialect, false, DisplayTextCommand(), 0);
    } else if (AnsweredType(hex) == kDisplayText) {
        // The text was shown: the card sends a USSD string, which the modem carries out, and
        // the session ends when the network has answered.
        Proactive(m, dialect, true, SendUssdCommand(), 0);
        SessionEnd(m, dialect, 20);
    }
    return true;
}

}  // namespace

std::string HexOfText(const std::string &ascii) {
    std::string hex;
    for (unsigned char c : ascii) hex += Hex2(c);
    return hex;
}

std::string Tlv(const std::string &tag, const std::string &value) {
    const int length = static_cast<int>(value.size() / 2);
    return tag + (length > 127 ? "81" : "") + Hex2(length) + value;
}

int FileSize(const SimFile &file) {
    if (file.linear) return file.record_length * static_cast<int>(file.records.size());
    return static_cast<int>(file.body.size() / 2);
}

std::string GsmGetResponse(int fid, const SimFile &file) {
    // RFU, size, file id, type EF, RFU, access conditions, status, length of what follows,
    // structure (transparent 00, linear fixed 01), record length.
    return "0000" + Hex4(FileSize(file)) + Hex4(fid) + "04" + "00" + "F4FF44" + "01" + "02" +
           (file.linear ? "01" : "00") + Hex2(file.linear ? file.record_length : 0);
}

std::string UsimFcp(int fid, const SimFile &file) {
    const std::string descriptor =
        file.linear ? Tlv("82", "4221" + Hex4(file.record_length) + Hex2(static_cast<int>(file.records.size())))
                    : Tlv("82", "4121");
    return Tlv("62", descriptor + Tlv("83", Hex4(fid)) + Tlv("8A", "05") + Tlv("8B", "6F0601") +
                         Tlv("80", Hex4(FileSize(file))) + Tlv("88", Hex2((fid & 0x1F) << 3)));
}

std::string ProactiveCommand(int number, int type, int qualifier, const std::string &body) {
    // Command details, then device identities: from the card to the terminal (display 02 for
    // texts, 81 the card, 82 the terminal).
    const std::string details = Tlv("81", Hex2(number) + Hex2(type) + Hex2(qualifier));
    const std::string devices = Tlv("82", type == kDisplayText ? "8102" : "8182");
    return Tlv("D0", details + devices + body);
}

std::string SetUpMenuCommand() {
    return ProactiveCommand(1, kSetUpMenu, 0,
                            Tlv("85", HexOfText("Zorvik")) + Tlv("8F", "01" + HexOfText("Balance")) +
                                Tlv("8F", "02" + HexOfText("Top up")));
}

std::string DisplayTextCommand() {
    return ProactiveCommand(2, kDisplayText, 0x81, Tlv("8D", "04" + HexOfText("Your balance is being checked")));
}

std::string SendUssdCommand() {
    const std::string alpha = HexOfText("Asking the network for the balance of this subscription, please wait a "
                                        "moment while the request is carried out");
    return ProactiveCommand(3, kSendUssd, 0, Tlv("85", alpha) + Tlv("8A", std::string("0F") + "AA180C3602"));
}

std::string MenuSelectionEnvelope(int item) {
    return Tlv("D3", Tlv("82", "0181") + Tlv("90", Hex2(item)));
}

std::string TerminalResponse(int number, int type, int qualifier) {
    return Tlv("81", Hex2(number) + Hex2(type) + Hex2(qualifier)) + Tlv("82", "8281") + Tlv("83", "00");
}

bool Answer(Modem &m, const std::string &command, Lines *lines) {
    if (command.rfind("AT+CRSM=", 0) == 0) {
        *lines = RestrictedSimAccess(m, command);
        return true;
    }
    return Toolkit(m, command, lines);
}

}  // namespace simfiles

bool SimFilesAnswer(Modem &m, const std::string &command, Lines *lines) {
    return simfiles::Answer(m, command, lines);
}

}  // namespace modemsim
