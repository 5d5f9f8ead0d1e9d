// modemsim: Message store and delivery: SM/ME stores, +CNMI routing, cell broadcast settings.
//
// Commands (TS 27.005 in PDU mode, and the "^H" forms for CDMA messages): +CMGR/^HCMGR,
// +CMGL/^HCMGL, +CMGD, +CPMS, +CSCA, +CSCB, +CNMI, +CMGF. Reading a received unread message
// marks it read. Store indexes start at 1 on chip platforms 1 to 9 and at 0 on the others, as
// the real modems number them.
#include <modemsim/features.h>
#include <modemsim/sms.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

bool StartsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// The integers of "a,b, c" (blanks allowed); false when a field is not a number.
bool ReadInts(const std::string &text, std::vector<int> *out) {
    out->clear();
    std::size_t i = 0;
    while (i <= text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t start = i;
        bool negative = i < text.size() && text[i] == '-';
        if (negative) ++i;
        long v = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            v = v * 10 + (text[i++] - '0');
            if (v > 1000000) return false;
        }
        if (i == start || (negative && i == start + 1)) return false;
        while (i < text.size() && text[i] == ' ') ++i;
        out->push_back(static_cast<int>(negative ? -v : v));
        if (i == text.size()) return true;
        if (text[i] != ',') return false;
        ++i;
    }
    return true;
}

// Value of hex digits; -1 when one is not a hex digit.
int HexValue(const std::string &digits) {
    int v = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
        v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10);
    }
    return v;
}

int FirstIndex(const ModelState &s) { return s.platform >= 1 && s.platform <= 9 ? 1 : 0; }

int FreeIndex(const ModelState &s, const std::map<int, StoredSms> &store) {
    const int first = FirstIndex(s);
    for (int i = first; i < first + s.sms.capacity; ++i) {
        if (store.find(i) == store.end()) return i;
    }
    return -1;
}

bool ValidIndex(const ModelState &s, int index) {
    return index >= FirstIndex(s) && index < FirstIndex(s) + s.sms.capacity;
}

// <length> of a GSM message: TPDU octets, without the SMSC part.
int TpduLength(const StoredSms &sms) {
    const int octets = static_cast<int>(sms.pdu.size() / 2);
    if (sms.cdma || sms.pdu.size() < 2) return octets;
    const int smsc = HexValue(sms.pdu.substr(0, 2));
    if (smsc < 0) return octets;
    return octets - smsc - 1 < 0 ? 0 : octets - smsc - 1;
}

std::string Argument(const std::string &command, const char *prefix) { return command.substr(std::string(prefix).size()); }

Lines Read(Modem &m, const std::string &command, bool cdma) {
    std::vector<int> args;
    if (!ReadInts(Argument(command, cdma ? "AT^HCMGR=" : "AT+CMGR="), &args) || args.size() != 1)
        return {"+CMS ERROR: 302"};
    Lines lines;
    m.Update([&](ModelState &s) {
        if (!ValidIndex(s, args[0])) {
            lines = {"+CMS ERROR: 321"};
            return;
        }
        auto it = s.sms.sm.find(args[0]);
        if (it == s.sms.sm.end()) {
            lines = {"+CMS ERROR: 321"};
            return;
        }
        const std::string stat = std::to_string(it->second.status);
        const std::string len = std::to_string(TpduLength(it->second));
        lines = {(cdma ? "^HCMGR: " : "+CMGR: ") + stat + ",," + len, it->second.pdu, "OK"};
        if (it->second.status == 0) it->second.status = 1;
    });
    return lines;
}

Lines List(Modem &m, const std::string &command, bool cdma) {
    std::vector<int> args;
    if (!ReadInts(Argument(command, cdma ? "AT^HCMGL=" : "AT+CMGL="), &args) || args.size() != 1 || args[0] < 0 ||
        args[0] > 4)
        return {"+CMS ERROR: 302"};
    Lines lines;
    m.Update([&](ModelState &s) {
        for (auto &[index, sms] : s.sms.sm) {
            if (args[0] != 4 && sms.status != args[0]) continue;
            const std::string head = std::to_string(index) + "," + std::to_string(sms.status);
            const std::string len = std::to_string(TpduLength(sms));
            lines.push_back(cdma ? "^HCMGL: " + head + "," + len : "+CMGL: " + head + ",," + len);
            lines.push_back(sms.pdu);
            if (sms.status == 0) sms.status = 1;
        }
    });
    lines.push_back("OK");
    return lines;
}

Lines Delete(Modem &m, const std::string &command) {
    std::vector<int> args;
    if (!ReadInts(Argument(command, "AT+CMGD="), &args) || args.empty() || args.size() > 2) return {"+CMS ERROR: 302"};
    Lines lines = {"OK"};
    m.Update([&](ModelState &s) {
        const int flag = args.size() == 2 ? args[1] : 0;
        if (flag == 4) {
            s.sms.sm.clear();
            return;
        }
        if (!ValidIndex(s, args[0])) {
            lines = {"+CMS ERROR: 321"};
            return;
        }
        s.sms.sm.erase(args[0]);
    });
    return lines;
}

Lines Storage(Modem &m, const std::string &command) {
    if (command != "AT+CPMS?" && !StartsWith(command, "AT+CPMS=")) return {"+CMS ERROR: 302"};
    const ModelState s = m.State();
    const std::string counts = std::to_string(s.sms.sm.size()) + "," + std::to_string(s.sms.capacity);
    if (command == "AT+CPMS?")
        return {"+CPMS: \"SM\"," + counts + ",\"SM\"," + counts + ",\"SM\"," + counts, "OK"};
    return {"+CPMS: " + counts + "," + counts + "," + counts, "OK"};
}

Lines ServiceCentre(Modem &m, const std::string &command) {
    if (command == "AT+CSCA?") {
        const ModelState s = m.State();
        return {"+CSCA: \"" + s.sms.smsc + "\"," + std::to_string(s.sms.smsc_type), "OK"};
    }
    // AT+CSCA="<sca>"[,<tosca>]
    std::string arg = Argument(command, "AT+CSCA=");
    if (arg.size() < 2 || arg[0] != '"') return {"+CMS ERROR: 302"};
    const std::size_t close = arg.find('"', 1);
    if (close == std::string::npos) return {"+CMS ERROR: 302"};
    const std::string address = arg.substr(1, close - 1);
    for (char c : address) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+') return {"+CMS ERROR: 304"};
    }
    m.Update([&](ModelState &s) {
        s.sms.smsc = address;
        s.sms.smsc_type = !address.empty() && address[0] == '+' ? 145 : 129;
    });
    return {"OK"};
}

// The mids list as ranges; an element that cannot be read is skipped.
std::vector<std::pair<int, int>> Ranges(const std::string &ids) {
    std::vector<std::pair<int, int>> out;
    std::size_t start = 0;
    while (start <= ids.size()) {
        std::size_t comma = ids.find(',', start);
        std::string element = ids.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int from = 0, to = 0;
        if (std::sscanf(element.c_str(), "%d-%d", &from, &to) == 2) {
            out.emplace_back(from, to);
        } else if (std::sscanf(element.c_str(), "%d", &from) == 1) {
            out.emplace_back(from, from);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

Lines Broadcast(Modem &m, const std::string &command) {
    if (command == "AT+CSCB?") {
        const ModelState s = m.State();
        return {"+CSCB: " + std::to_string(s.sms.cscb_mode) + ",\"" + s.sms.cscb_ids + "\",\"\"", "OK"};
    }
    // AT+CSCB=<mode>[,"<mids>"[,"<dcss>"]]: mode 0 adds the identifiers, 1 removes them.
    const std::string arg = Argument(command, "AT+CSCB=");
    if (arg.empty() || (arg[0] != '0' && arg[0] != '1')) return {"+CMS ERROR: 302"};
    const int mode = arg[0] - '0';
    std::string ids;
    const std::size_t open = arg.find('"');
    if (open != std::string::npos) {
        const std::size_t close = arg.find('"', open + 1);
        if (close == std::string::npos) return {"+CMS ERROR: 302"};
        ids = arg.substr(open + 1, close - open - 1);
    }
    for (char c : ids) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != ',' && c != '-') return {"+CMS ERROR: 302"};
    }
    m.Update([&](ModelState &s) {
        std::vector<std::string> kept;
        std::size_t start = 0;
        const std::string &current = s.sms.cscb_ids;
        while (!current.empty() && start <= current.size()) {
            std::size_t comma = current.find(',', start);
            std::string element = current.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (mode == 0 || ("," + ids + ",").find("," + element + ",") == std::string::npos) kept.push_back(element);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (mode == 0 && !ids.empty()) kept.push_back(ids);
        std::string joined;
        for (const std::string &k : kept) joined += (joined.empty() ? "" : ",") + k;
        s.sms.cscb_ids = joined;
        s.sms.cscb_mode = 0;
    });
    return {"OK"};
}

Lines Indications(Modem &m, const std::string &command) {
    if (command == "AT+CNMI?") {
        const ModelState s = m.State();
        std::string line = "+CNMI: ";
        for (int i = 0; i < 5; ++i) line += (i ? "," : "") + std::to_string(s.sms.cnmi[i]);
        return {line, "OK"};
    }
    std::vector<int> args;
    if (!ReadInts(Argument(command, "AT+CNMI="), &args) || args.empty() || args.size() > 5) return {"+CMS ERROR: 302"};
    static constexpr int kMax[5] = {3, 3, 3, 2, 1};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] < 0 || args[i] > kMax[i]) return {"+CMS ERROR: 302"};
    }
    m.Update([&](ModelState &s) {
        for (std::size_t i = 0; i < args.size(); ++i) s.sms.cnmi[i] = args[i];
    });
    return {"OK"};
}

// Stores into the SIM store under the modem's lock; -1 when full.
int Store(ModelState &s, const StoredSms &sms) {
    const int index = FreeIndex(s, s.sms.sm);
    if (index >= 0) s.sms.sm[index] = sms;
    return index;
}

std::string PduLine(const std::string &head, const std::string &pdu) { return "\r\n" + head + "\r\n" + pdu + "\r\n"; }

int StoreAndAnnounce(Modem &m, const StoredSms &sms, const char *announce) {
    int index = -1;
    m.Update([&](ModelState &s) { index = Store(s, sms); });
    if (index < 0) {
        m.Inject("^SMMEMFULL: \"SM\"");
        return -1;
    }
    if (announce) m.Inject(std::string(announce) + " \"SM\"," + std::to_string(index));
    return index;
}

}  // namespace

bool SmsAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    if (StartsWith(command, "AT+CMGR=")) {
        *lines = Read(m, command, false);
    } else if (StartsWith(command, "AT^HCMGR=")) {
        *lines = Read(m, command, true);
    } else if (StartsWith(command, "AT+CMGL=")) {
        *lines = List(m, command, false);
    } else if (StartsWith(command, "AT^HCMGL=")) {
        *lines = List(m, command, true);
    } else if (StartsWith(command, "AT+CMGD=")) {
        *lines = Delete(m, command);
    } else if (StartsWith(command, "AT+CPMS")) {
        *lines = Storage(m, command);
    } else if (StartsWith(command, "AT+CSCA")) {
        *lines = ServiceCentre(m, command);
    } else if (StartsWith(command, "AT+CSCB")) {
        *lines = Broadcast(m, command);
    } else if (StartsWith(command, "AT+CNMI")) {
        *lines = Indications(m, command);
    } else if (command == "AT+CMGF=0" || command == "AT+CMGF?") {
        *lines = command == "AT+CMGF?" ? Lines{"+CMGF: 0", "OK"} : Lines{"OK"};
    } else {
        return false;
    }
    return true;
}

int StoreWrittenPdu(ModelState &s, const std::string &command, const std::string &pdu) {
    const bool cdma = StartsWith(command, "AT^H");
    std::vector<int> args;
    const std::size_t eq = command.find('=');
    int status = 2;
    if (eq != std::string::npos && ReadInts(command.substr(eq + 1), &args) && args.size() >= 2) status = args[1];
    return Store(s, StoredSms{status, pdu, cdma});
}

int StoreSms(Modem &m, const StoredSms &sms) {
    int index = -1;
    m.Update([&](ModelState &s) { index = Store(s, sms); });
    return index;
}

int DeliverSms(Modem &m, const std::string &pdu) {
    const ModelState s = m.State();
    if (s.sms.cnmi[1] == 2 || s.sms.cnmi[1] == 3) {
        m.SendRaw(PduLine("+CMT: ," + std::to_string(TpduLength(StoredSms{0, pdu, false})), pdu));
        return -1;
    }
    return StoreAndAnnounce(m, StoredSms{0, pdu, false}, s.sms.cnmi[1] == 1 ? "+CMTI:" : nullptr);
}

int DeliverCdmaSms(Modem &m, const std::string &pdu, bool over_ims) {
    return StoreAndAnnounce(m, StoredSms{0, pdu, true}, over_ims ? "^HCMTI:" : "+CMTI:");
}

int DeliverStatusReport(Modem &m, const std::string &pdu) {
    const ModelState s = m.State();
    if (s.sms.cnmi[3] == 1) {
        m.SendRaw(PduLine("+CDS: " + std::to_string(TpduLength(StoredSms{0, pdu, false})), pdu));
        return -1;
    }
    return StoreAndAnnounce(m, StoredSms{0, pdu, false}, s.sms.cnmi[3] == 2 ? "+CDSI:" : nullptr);
}

bool BroadcastCell(Modem &m, const std::string &pdu) {
    const ModelState s = m.State();
    if (s.sms.cnmi[2] == 0 || pdu.size() < 8) return false;
    // Octets 3 and 4 of the page are the message identifier (TS 23.041 9.4.1.2).
    const int id = HexValue(pdu.substr(4, 4));
    bool accepted = false;
    for (auto [from, to] : Ranges(s.sms.cscb_ids)) accepted = accepted || (id >= from && id <= to);
    if (!accepted) return false;
    m.SendRaw(PduLine("+CBM: " + std::to_string(pdu.size() / 2), pdu));
    return true;
}

}  // namespace modemsim
