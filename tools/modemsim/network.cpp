// modemsim: Network model: registration, technology, signal, operators and selection, preferred mode.
//
// Answers +CREG/+CGREG, ^SYSINFO/^SYSINFOEX, ^CURRSID, the signal queries (^HCSQ, ^CSQLVL,
// ^HDRCSQLVL), +COPS in all its forms (also the chained "AT+COPS=3,0;+COPS?;..." query), the
// preferred-mode dialects (^SYSCFGEX, ^SYSCFG, ^SYSCONFIG, ^PREFMODE), the report switches
// (^CURC, +CIREG) and ^HIMSF, in the shapes real modules use.
#include <modemsim/features.h>
#include <modemsim/network.h>

#include <cctype>
#include <cstdio>
#include <string_view>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

bool IsCdma(const Modem &m) {
    return m.type() == ModuleType::kCdma || m.type() == ModuleType::kCdmaNoCard;
}

struct TechInfo {
    Tech tech;
    int sys_mode;  // ^SYSINFO
    int sys_submode;
    int ex_mode;  // ^SYSINFOEX
    const char *ex_mode_name;
    int ex_submode;
    const char *ex_submode_name;
    int mode_submode;  // ^MODE sub-mode (sys_mode as ^SYSINFO)
    const char *hcsq;  // ^HCSQ system name
    int act;           // +COPS <AcT>
};

constexpr TechInfo kTechs[] = {
    {Tech::kNone, 0, 0, 0, "NO SERVICE", 0, "NO SERVICE", 0, "NOSERVICE", 0},
    {Tech::kGsm, 3, 1, 1, "GSM", 1, "GSM", 1, "GSM", 0},
    {Tech::kGprs, 3, 2, 1, "GSM", 2, "GPRS", 2, "GSM", 0},
    {Tech::kEdge, 3, 3, 1, "GSM", 3, "EDGE", 3, "GSM", 3},
    {Tech::kWcdma, 5, 4, 3, "WCDMA", 41, "WCDMA", 4, "WCDMA", 2},
    {Tech::kHsdpa, 5, 5, 3, "WCDMA", 42, "HSDPA", 5, "WCDMA", 4},
    {Tech::kHsupa, 5, 6, 3, "WCDMA", 43, "HSUPA", 6, "WCDMA", 5},
    {Tech::kHspa, 5, 7, 3, "WCDMA", 44, "HSPA", 7, "WCDMA", 6},
    {Tech::kHspaPlus, 5, 9, 3, "WCDMA", 45, "HSPA+", 9, "WCDMA", 6},
    {Tech::kTdscdma, 15, 15, 4, "TD-SCDMA", 61, "TD-SCDMA", 8, "TD-SCDMA", 2},
    {Tech::kLte, 17, 0, 6, "LTE", 101, "LTE", 0, "LTE", 7},
    {Tech::kCdma1x, 2, 0, 2, "CDMA", 0, "CDMA", 0, "NOSERVICE", 0},
    {Tech::kEvdo, 4, 0, 5, "EVDO", 0, "EVDO", 0, "NOSERVICE", 0},
};

Tech ActualTech(ModuleType type, const ModelState &s) {
    if (s.cfun != 1) return Tech::kNone;
    if (s.network.tech != Tech::kDefault) return s.network.tech;
    switch (type) {
        case ModuleType::kTdscdma: return Tech::kTdscdma;
        case ModuleType::kCdma:
        case ModuleType::kCdmaNoCard: return Tech::kCdma1x;
        default: return Tech::kWcdma;
    }
}

const TechInfo &InfoOf(Tech tech) {
    for (const TechInfo &info : kTechs) {
        if (info.tech == tech) return info;
    }
    return kTechs[0];
}

bool Registered(int stat) {
    return stat == 1 || stat == 5;
}

struct Service {
    int status;  // 0 none, 2 service
    int domain;  // 0 none, 1 CS, 2 PS, 3 CS+PS
    int roam;
};

Service ServiceOf(const ModelState &s, Tech tech) {
    const NetworkModel &n = s.network;
    if (tech == Tech::kNone) return {0, 0, 0};
    const bool cs = Registered(n.cs_stat), ps = Registered(n.ps_stat);
    if (!cs && !ps) return {0, 0, 0};
    return {2, (cs ? 1 : 0) + (ps ? 2 : 0), n.cs_stat == 5 || n.ps_stat == 5 ? 1 : 0};
}

int SimStateField(const Modem &m, const ModelState &s) {
    if (m.type() == ModuleType::kCdmaNoCard) return 240;  // subscription in NV memory
    return s.sim == SimState::kAbsent ? 255 : 1;
}

std::string Printf(const char *fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

std::string Cell(int value) {
    return Printf(value > 0xFFFF ? "%08X" : "%04X", value);
}

// "+CREG: <n>,<stat>[,<lac>,<ci>]" as a query answer; "+CREG: <stat>[,...]" as a report.
std::string RegistrationLine(const char *prefix, int n, int stat, const NetworkModel &net, bool report) {
    std::string line = std::string(prefix) + " ";
    if (!report) line += std::to_string(n) + ",";
    line += std::to_string(stat);
    if (n == 2 && Registered(stat)) line += ",\"" + Cell(net.lac) + "\",\"" + Cell(net.ci) + "\"";
    return line;
}

// ^HCSQ rssi code: 0 below -120 dBm, one step per dBm; +CSQ counts 2 dBm steps from -113.
int HcsqRssi(int csq) {
    return csq == 99 ? 255 : 2 * (csq + 4);
}

int CdmaLevel(int csq) {
    if (csq == 99) return 0;
    return csq >= 25 ? 5 : csq / 5;
}

std::string OperatorName(const NetworkModel &n) {
    switch (n.cops_format) {
        case 1: return n.short_name;
        case 2: return n.numeric;
        default: return n.long_name;
    }
}

Lines ReadOperator(Modem &m) {
    Lines lines;
    m.Update([&](ModelState &s) {
        NetworkModel &n = s.network;
        const Tech tech = ActualTech(m.type(), s);
        if (n.searching_polls > 0) {
            --n.searching_polls;
            lines.push_back("+COPS: " + std::to_string(n.cops_mode));
        } else if (tech == Tech::kNone || !Registered(n.cs_stat)) {
            lines.push_back("+COPS: " + std::to_string(n.cops_mode));
        } else {
            lines.push_back(Printf("+COPS: %d,%d,\"%s\",%d", n.cops_mode, n.cops_format, OperatorName(n).c_str(),
                                   InfoOf(tech).act));
        }
    });
    return lines;
}

std::string ScanAnswer(const NetworkModel &n) {
    std::string line = "+COPS: ";
    for (const ScanEntry &e : n.scan) {
        line += Printf("(%d,\"%s\",\"%s\",\"%s\",%d),", e.status, e.long_name.c_str(), e.short_name.c_str(),
                       e.numeric.c_str(), e.act);
    }
    return line + ",(0,1,2,3,4),(0,1,2)";
}

// AT+COPS=1,2,"<numeric>": only a network of the scan list that is not forbidden.
Lines SelectManually(Modem &m, std::string_view args) {
    const std::size_t open = args.find('"'), close = args.rfind('"');
    if (args.rfind("1,2,", 0) != 0 || open == std::string_view::npos || close <= open) return {"+CME ERROR: 50"};
    const std::string numeric(args.substr(open + 1, close - open - 1));
    std::string answer = "+CME ERROR: 30";  // no network service
    m.Update([&](ModelState &s) {
        NetworkModel &n = s.network;
        for (ScanEntry &e : n.scan) {
            if (e.numeric != numeric) continue;
            if (e.status == 3) {
                answer = "+CME ERROR: 32";  // network not allowed
                return;
            }
            for (ScanEntry &other : n.scan) {
                if (other.status == 2) other.status = 1;
            }
            e.status = 2;
            n.cops_mode = 1;
            n.long_name = e.long_name;
            n.short_name = e.short_name;
            n.numeric = e.numeric;
            n.cs_stat = n.ps_stat = 1;
            answer = "OK";
            return;
        }
    });
    return {answer};
}

// One +COPS command without the leading "AT".
Lines Cops(Modem &m, std::string_view cmd) {
    if (cmd == "+COPS?") return ReadOperator(m);
    if (cmd == "+COPS=?") {
        const ModelState s = m.State();
        if (s.cfun != 1) return {"+CME ERROR: 30"};
        return {ScanAnswer(s.network)};
    }
    if (cmd.rfind("+COPS=", 0) != 0) return {"ERROR"};
    std::string_view args = cmd.substr(6);
    if (args == "0") {
        m.Update([](ModelState &s) {
            s.network.cops_mode = 0;
            s.network.searching_polls = s.network.selection_polls;
        });
        return {"OK"};
    }
    if (args.size() == 3 && args.rfind("3,", 0) == 0 && args[2] >= '0' && args[2] <= '2') {
        const int format = args[2] - '0';
        m.Update([format](ModelState &s) { s.network.cops_format = format; });
        return {"OK"};
    }
    if (args == "2") {
        m.Update([](ModelState &s) { s.network.cs_stat = s.network.ps_stat = 0; });
        return {"OK"};
    }
    return SelectManually(m, args);
}

// "AT+COPS=3,0;+COPS?;..." answers each part in turn; the first failing part ends it.
Lines ChainedCops(Modem &m, const std::string &command) {
    Lines lines;
    std::string_view rest = std::string_view(command).substr(2);
    while (!rest.empty()) {
        const std::size_t semi = rest.find(';');
        Lines part = Cops(m, rest.substr(0, semi));
        const std::string final = part.back();
        part.pop_back();
        lines.insert(lines.end(), part.begin(), part.end());
        if (final != "OK" && final.rfind("+COPS", 0) != 0) return {final};
        if (final.rfind("+COPS", 0) == 0) lines.push_back(final);
        if (semi == std::string_view::npos) break;
        rest = rest.substr(semi + 1);
    }
    lines.push_back("OK");
    return lines;
}

// The number after "=" for the single-number commands; -1 when there is none.
int FirstNumber(const std::string &command) {
    const std::size_t eq = command.find('=');
    if (eq == std::string::npos || eq + 1 >= command.size() || !std::isdigit(static_cast<unsigned char>(command[eq + 1])))
        return -1;
    return std::atoi(command.c_str() + eq + 1);
}

bool SetSyscfgex(Modem &m, const std::string &command, Lines *lines) {
    const ModelState s = m.State();
    if (IsCdma(m) || !s.network.syscfgex) return false;  // not a command this module knows
    const std::size_t open = command.find('"'), close = command.find('"', open + 1);
    std::string order = open == std::string::npos || close == std::string::npos ? "" : command.substr(open + 1, close - open - 1);
    bool valid = !order.empty() && order.size() % 2 == 0 && order.size() <= 10;
    for (char c : order) valid = valid && std::isdigit(static_cast<unsigned char>(c));
    if (!valid) {
        *lines = {"+CME ERROR: 50"};
        return true;
    }
    // The band half of the command is the band model's (band.cpp): a band it refuses fails the
    // whole command, and nothing changes.
    if (!BandAnswer(m, command, lines)) *lines = {"ERROR"};
    if (*lines != Lines{"OK"}) return true;
    if (order != "99") m.Update([&](ModelState &st) { st.network.acqorder = order; });  // "99": no change
    return true;
}

bool SetSingleMode(Modem &m, const std::string &command, std::initializer_list<int> allowed, bool prefmode,
                   Lines *lines) {
    const int mode = FirstNumber(command);
    bool ok = false;
    for (int a : allowed) ok = ok || a == mode;
    if (!ok) {
        *lines = {"+CME ERROR: 50"};
        return true;
    }
    // ^SYSCFG carries a band too, which is the band model's to accept (band.cpp).
    if (!prefmode && command.rfind("AT^SYSCFG=", 0) == 0) {
        if (!BandAnswer(m, command, lines)) *lines = {"ERROR"};
        if (*lines != Lines{"OK"}) return true;
    }
    *lines = {"OK"};
    if (!prefmode && mode == 16) return true;  // 16: keep the mode, change only the band
    m.Update([&](ModelState &s) { (prefmode ? s.network.prefmode : s.network.syscfg_mode) = mode; });
    return true;
}

bool SetSwitch(Modem &m, const std::string &command, int NetworkModel::*field, int max, Lines *lines) {
    const int value = FirstNumber(command);
    if (value < 0 || value > max) {
        *lines = {"+CME ERROR: 50"};
        return true;
    }
    m.Update([&](ModelState &s) { s.network.*field = value; });
    *lines = {"OK"};
    return true;
}

}  // namespace

std::string SysinfoLine(const Modem &m) {
    const ModelState s = m.State();
    const Tech tech = ActualTech(m.type(), s);
    const TechInfo &info = InfoOf(tech);
    const Service service = ServiceOf(s, tech);
    const int sim = SimStateField(m, s);
    if (service.status == 0) return Printf("^SYSINFO: 0,0,0,%d,%d,,0", tech == Tech::kNone ? 0 : info.sys_mode, sim);
    return Printf("^SYSINFO: %d,%d,%d,%d,%d,,%d", service.status, service.domain, service.roam, info.sys_mode, sim,
                  info.sys_submode);
}

std::string HcsqLine(const Modem &m) {
    const ModelState s = m.State();
    const Tech tech = ActualTech(m.type(), s);
    const TechInfo &info = InfoOf(tech);
    const int rssi = HcsqRssi(s.rssi);
    switch (tech) {
        case Tech::kNone:
        case Tech::kCdma1x:
        case Tech::kEvdo: return "^HCSQ: \"NOSERVICE\"";
        case Tech::kGsm:
        case Tech::kGprs:
        case Tech::kEdge: return Printf("^HCSQ: \"%s\",%d", info.hcsq, rssi);
        case Tech::kLte:
            return Printf("^HCSQ: \"LTE\",%d,%d,%d,%d", rssi, s.network.lte_rsrp, s.network.lte_sinr, s.network.lte_rsrq);
        default: return Printf("^HCSQ: \"%s\",%d,%d,%d", info.hcsq, rssi, rssi > 5 ? rssi - 5 : 0, 32);
    }
}

bool NetworkAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    const bool cdma = IsCdma(m);
    if (command.rfind("AT+COPS", 0) == 0) {
        *lines = command.find(';') != std::string::npos ? ChainedCops(m, command) : Cops(m, command.substr(2));
        if (lines->back().rfind("+COPS", 0) == 0) lines->push_back("OK");
        return true;
    }
    if (command == "AT+CREG?" || command == "AT+CGREG?") {
        const ModelState s = m.State();
        const bool cs = command == "AT+CREG?";
        const bool on = s.cfun == 1;
        const NetworkModel &n = s.network;
        *lines = {RegistrationLine(cs ? "+CREG:" : "+CGREG:", cs ? n.creg_n : n.cgreg_n,
                                   on ? (cs ? n.cs_stat : n.ps_stat) : 0, n, false),
                  "OK"};
        return true;
    }
    if (command.rfind("AT+CREG=", 0) == 0 && command != "AT+CREG=?")
        return SetSwitch(m, command, &NetworkModel::creg_n, 2, lines);
    if (command.rfind("AT+CGREG=", 0) == 0 && command != "AT+CGREG=?")
        return SetSwitch(m, command, &NetworkModel::cgreg_n, 2, lines);
    if (command.rfind("AT^CURC=", 0) == 0) return SetSwitch(m, command, &NetworkModel::curc, 1, lines);
    if (command.rfind("AT+CIREG=", 0) == 0) return SetSwitch(m, command, &NetworkModel::cireg, 2, lines);
    if (command == "AT^SYSINFO") {
        *lines = {SysinfoLine(m), "OK"};
        return true;
    }
    if (command == "AT^SYSINFOEX") {
        if (cdma) return false;
        const ModelState s = m.State();
        const Tech tech = ActualTech(m.type(), s);
        const TechInfo &info = InfoOf(tech);
        const Service service = ServiceOf(s, tech);
        *lines = {Printf("^SYSINFOEX: %d,%d,%d,%d,,%d,\"%s\",%d,\"%s\"", service.status, service.domain, service.roam,
                         SimStateField(m, s), info.ex_mode, info.ex_mode_name, info.ex_submode, info.ex_submode_name),
                  "OK"};
        return true;
    }
    if (command == "AT^HCSQ?") {
        if (cdma || !m.State().network.hcsq) return false;
        *lines = {HcsqLine(m), "OK"};
        return true;
    }
    if (cdma && command == "AT^CURRSID?") {
        const ModelState s = m.State();
        *lines = {Printf("^CURRSID: %d,%d", s.network.sid, s.network.nid), "OK"};
        return true;
    }
    if (cdma && command == "AT^CSQLVL") {
        const ModelState s = m.State();
        *lines = {Printf("^CSQLVL: %d,99,%d,%d", CdmaLevel(s.rssi), s.network.cdma_dbm, s.network.cdma_ecio), "OK"};
        return true;
    }
    if (cdma && command.rfind("AT^HDRCSQLVL", 0) == 0 && command.find_first_not_of(' ', 12) == std::string::npos) {
        const ModelState s = m.State();
        *lines = {Printf("^HDRCSQLVL: %d,%d,%d,%d", CdmaLevel(s.rssi), s.network.evdo_dbm, s.network.evdo_ecio,
                         s.network.evdo_snr),
                  "OK"};
        return true;
    }
    // A module that refuses ^SYSCFGEX refuses every form of it, the band list included.
    if (command.rfind("AT^SYSCFGEX", 0) == 0 && !cdma && !m.State().network.syscfgex) {
        *lines = {"ERROR"};
        return true;
    }
    if (command.rfind("AT^SYSCFGEX=", 0) == 0 && command != "AT^SYSCFGEX=?") return SetSyscfgex(m, command, lines);
    if (command == "AT^SYSCFGEX?") {
        const ModelState s = m.State();
        if (cdma || !s.network.syscfgex || !s.band.syscfgex) return false;
        *lines = {"^SYSCFGEX: \"" + s.network.acqorder + "\"," + s.band.band + ",1,2,7FFFFFFFFFFFFFFF", "OK"};
        return true;
    }
    if (m.type() == ModuleType::kWcdma && command.rfind("AT^SYSCFG=", 0) == 0 && command != "AT^SYSCFG=?")
        return SetSingleMode(m, command, {2, 13, 14, 16}, false, lines);
    if (m.type() == ModuleType::kTdscdma && command.rfind("AT^SYSCONFIG=", 0) == 0)
        return SetSingleMode(m, command, {2, 13, 14, 15}, false, lines);
    if (!cdma && command == "AT^SYSCFG?") {
        const ModelState s = m.State();
        *lines = {Printf("^SYSCFG: %d,2,%s,1,2", s.network.syscfg_mode, s.band.band.c_str()), "OK"};
        return true;
    }
    if (cdma && command.rfind("AT^PREFMODE=", 0) == 0) return SetSingleMode(m, command, {0, 2, 4, 8}, true, lines);
    if (cdma && command == "AT^PREFMODE?") {
        *lines = {"^PREFMODE: " + std::to_string(m.State().network.prefmode), "OK"};
        return true;
    }
    if (command == "AT^HIMSF?") {
        *lines = {"^HIMSF: " + std::to_string(m.State().network.himsf), "OK"};
        return true;
    }
    return false;
}

// ---- driving the model from a test

void SetRegistration(Modem &m, int stat, int lac, int ci) {
    NetworkModel n;
    m.Update([&](ModelState &s) {
        s.network.cs_stat = s.network.ps_stat = stat;
        s.network.lac = lac;
        s.network.ci = ci;
        n = s.network;
    });
    if (n.creg_n > 0) m.Inject(RegistrationLine("+CREG:", n.creg_n, stat, n, true));
    if (n.cgreg_n > 0) m.Inject(RegistrationLine("+CGREG:", n.cgreg_n, stat, n, true));
}

void HandOver(Modem &m, Tech tech) {
    int curc = 0;
    m.Update([&](ModelState &s) {
        s.network.tech = tech;
        curc = s.network.curc;
    });
    const TechInfo &info = InfoOf(ActualTech(m.type(), m.State()));
    if (curc) m.Inject(Printf("^MODE: %d,%d", info.sys_mode, info.mode_submode));
}

void SetSignal(Modem &m, int rssi) {
    bool hcsq = false;
    int curc = 0;
    m.Update([&](ModelState &s) {
        s.rssi = rssi;
        hcsq = s.network.hcsq;
        curc = s.network.curc;
    });
    if (!curc) return;
    if (IsCdma(m)) {
        m.Inject("^CRSSI: " + std::to_string(rssi));
    } else if (hcsq) {
        m.Inject(HcsqLine(m));
    } else {
        m.Inject("^RSSI: " + std::to_string(rssi));
    }
}

void SetOperator(Modem &m, const std::string &long_name, const std::string &short_name, const std::string &numeric) {
    m.Update([&](ModelState &s) {
        s.network.long_name = long_name;
        s.network.short_name = short_name;
        s.network.numeric = numeric;
    });
}

void SetScanList(Modem &m, std::vector<ScanEntry> entries) {
    m.Update([&](ModelState &s) { s.network.scan = std::move(entries); });
}

void SetSelectionPolls(Modem &m, int polls) {
    m.Update([polls](ModelState &s) { s.network.selection_polls = polls; });
}

void SetSelectionDelay(Modem &m, int ms) {
    m.Delay("AT+COPS=0", ms);
    m.Delay("AT+COPS=1,", ms);
}

void RefuseSyscfgex(Modem &m, bool refuse) {
    m.Update([refuse](ModelState &s) { s.network.syscfgex = !refuse; });
}

void SendNetworkTime(Modem &m, const std::string &text) {
    m.Inject("^NWTIME: " + text);
}

}  // namespace modemsim
