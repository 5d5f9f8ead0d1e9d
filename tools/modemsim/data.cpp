// modemsim: Packet data: PDP contexts, the NDIS connection, the modem's own DHCP answer, the MODEM port.
//
// "AT^NDISDUP=1,1,"<apn>"[,"<user>","<password>"[,<auth>]]" connects, "AT^NDISDUP=1,0" (also
// with a blank after the '=') disconnects; each is answered OK at once and reported later with
// "^NDISSTAT: <stat>,,,"IPV4"", as the modem does once the network has answered. The state is
// read with "^NDISSTATQRY?" (and "+CGACT?"), the addresses with "^DHCP?".
#include <modemsim/features.h>

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

}  // namespace

bool DataAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    if (command.rfind("AT^NDISDUP=", 0) == 0) {
        *lines = NdisDial(m, command);
    } else if (command == "AT^NDISSTATQRY?") {
        *lines = NdisQuery(m, command);
    } else if (command == "AT^DHCP?") {
        *lines = Dhcp(m, command);
    } else if (command == "AT+CGACT?") {
        *lines = {"+CGACT: 1," + std::to_string(m.State().data.connected ? 1 : 0), "OK"};
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
