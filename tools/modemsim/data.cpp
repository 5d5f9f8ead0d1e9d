// modemsim: Packet data: PDP contexts, the NDIS connection, the modem's own DHCP answer, the MODEM port.
//
// "AT^NDISDUP=1,1,"<apn>"[,"<user>","<password>"[,<auth>]]" connects, "AT^NDISDUP=1,0" (also
// with a blank after the '=') disconnects; each is answered OK at once and reported later with
// "^NDISSTAT: <stat>,,,"IPV4"", as the modem does once the network has answered. The state is
// read with "^NDISSTATQRY?" (and "+CGACT?"), the addresses with "^DHCP?".
//
// The PPP way: "AT+CGDCONT=..." (3GPP) or "AT^PPPCFG = ..." (CDMA) define the context on the
// control port, the dial goes to the MODEM port (data_port.h), answered by ModemPortAnswer.
#include <modemsim/features.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

// The quoted and plain fields after "=", quotes removed; blanks outside quotes dropped.
std::vector<std::string> Fields(const std::string &args) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.emplace_back();
        } else if (c != ' ' || quoted) {
            out.back() += c;
        }
    }
    return out;
}

std::string Report(int stat) { return "^NDISSTAT: " + std::to_string(stat) + ",,,\"IPV4\""; }

Lines NdisDial(Modem &m, const std::string &command) {
    std::vector<std::string> f = Fields(command.substr(sizeof("AT^NDISDUP=") - 1));
    if (f.size() < 2 || f[0] != "1" || (f[1] != "0" && f[1] != "1")) return {"+CME ERROR: 50"};
    const DataModel d = m.State().data;
    if (f[1] == "0") {
        m.Update([](ModelState &s) { s.data.connected = false; });
        if (d.connected && !d.withhold_report) m.InjectLater(Report(0), d.report_delay_ms);
        return {"OK"};
    }
    if (f.size() < 3 || f[2].empty()) return {"+CME ERROR: 50"};
    if (d.reject_connect) return {"+CME ERROR: 30"};
    m.Update([&](ModelState &s) {
        s.data.last_apn = f[2];
        s.data.last_user = f.size() > 3 ? f[3] : "";
        s.data.last_password = f.size() > 4 ? f[4] : "";
        s.data.last_auth = f.size() > 5 ? std::atoi(f[5].c_str()) : -1;
        if (!d.withhold_report) s.data.connected = true;
    });
    if (!d.withhold_report) m.InjectLater(Report(1), d.report_delay_ms);
    return {"OK"};
}

Lines NdisQuery(Modem &m, const std::string &) {
    const DataModel d = m.State().data;
    const int stat = d.connected && !d.query_lags ? 1 : 0;
    return {"^NDISSTATQRY: " + std::to_string(stat) + ",,,\"IPV4\"", "OK"};
}

Lines Dhcp(Modem &m, const std::string &) {
    const DataModel d = m.State().data;
    if (!d.connected) return {"+CME ERROR: 3"};
    return {"^DHCP: " + d.dhcp_ip + "," + d.dhcp_mask + "," + d.dhcp_gateway + "," + d.dhcp_server + "," +
                d.dhcp_dns1 + "," + d.dhcp_dns2 + ",150000000,150000000",
            "OK"};
}

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

Lines DefineContext(Modem &m, const std::string &command) {
    std::vector<std::string> f = Fields(command.substr(sizeof("AT+CGDCONT=") - 1));
    if (f.size() < 3 || f[0].empty() || f[1].empty()) return {"+CME ERROR: 50"};
    m.Update([&](ModelState &s) {
        s.data.pdp_cid = f[0];
        s.data.pdp_type = f[1];
        s.data.pdp_apn = f[2];
    });
    return {"OK"};
}

Lines PppConfig(Modem &m, const std::string &command) {
    std::string args = command.substr(sizeof("AT^PPPCFG") - 1);
    std::size_t eq = args.find('=');
    if (eq == std::string::npos) return {"ERROR"};
    std::vector<std::string> f = Fields(args.substr(eq + 1));
    if (f.size() != 2) return {"+CME ERROR: 50"};
    m.Update([&](ModelState &s) {
        s.data.ppp_user = f[0];
        s.data.ppp_password = f[1];
    });
    return {"OK"};
}

// A dial: the reply the model asks for; "CONNECT" puts the port online (the port does that).
Lines Dial(Modem &m, const char *connected) {
    DialReply reply = DialReply::kConnect;
    m.Update([&](ModelState &s) {
        ++s.data.dials;
        reply = s.data.dial_reply;
    });
    switch (reply) {
        case DialReply::kConnect: return {connected};
        case DialReply::kNoCarrier: return {"NO CARRIER"};
        case DialReply::kSilent: return {};
    }
    return {};
}

}  // namespace

bool ModemPortAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    const std::string c = Upper(command);
    if (c == "ATD*99#" || c.rfind("ATD*99*", 0) == 0 || c == "AT+CGDATA=\"PPP\",1" || c == "ATD#777" ||
        c == "ATDT#777" || c == "ATA") {
        *lines = Dial(m, "CONNECT");
    } else if (c == "ATH" || c == "ATH0") {
        *lines = {"OK"};
    } else if (c.size() >= 2 && c.compare(0, 2, "AT") == 0 && c.find_first_of("+^") == std::string::npos) {
        // The basic commands a dialler sends first (ATZ, ATE0, ATQ0V1, AT&F, ATS0=0).
        *lines = {"OK"};
    } else {
        return false;
    }
    return true;
}

bool DataAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    if (command.rfind("AT^NDISDUP=", 0) == 0) {
        *lines = NdisDial(m, command);
    } else if (command == "AT^NDISSTATQRY?") {
        *lines = NdisQuery(m, command);
    } else if (command == "AT^DHCP?") {
        *lines = Dhcp(m, command);
    } else if (command == "AT+CGACT?") {
        *lines = {"+CGACT: 1," + std::to_string(m.State().data.connected ? 1 : 0), "OK"};
    } else if (command.rfind("AT+CGDCONT=", 0) == 0) {
        *lines = DefineContext(m, command);
    } else if (command.rfind("AT+CGACT=", 0) == 0) {
        *lines = {"OK"};
    } else if (command.rfind("AT^PPPCFG", 0) == 0) {
        *lines = PppConfig(m, command);
    } else if (command == "ATD*99#") {
        // The TD-SCDMA module dials its packet call on the control port.
        *lines = Dial(m, "OK");
    } else if (command == "AT^GLASTERR=1") {
        *lines = {"^GLASTERR: 1," + std::to_string(m.State().data.last_error), "OK"};
    } else {
        return false;
    }
    return true;
}

// A network drop as the modem reports it: the call is gone, "^NDISSTAT: 0,<cause>,,"IPV4"".
void DropDataCall(Modem &m, int cause) {
    m.Update([](ModelState &s) { s.data.connected = false; });
    m.Inject("^NDISSTAT: 0," + std::to_string(cause) + ",,\"IPV4\"");
}

}  // namespace modemsim
