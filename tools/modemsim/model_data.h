// modemsim: Packet data: PDP contexts, the NDIS connection, the modem's own DHCP answer, the MODEM port.
// Plain data held in ModelState under the modem's lock; the answers live in data.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_DATA_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_DATA_H

#include <cstddef>
#include <string>

namespace modemsim {

// How the MODEM port answers a dial ("ATD*99#", "AT+CGDATA="PPP",1", "ATD#777", "ATA").
enum class DialReply { kConnect, kNoCarrier, kSilent };

struct DataModel {
    bool connected = false;          // the NDIS call is up
    int report_delay_ms = 30;        // "^NDISSTAT:" follows the connect/disconnect answer this late
    bool reject_connect = false;     // "AT^NDISDUP=1,1,..." answers "+CME ERROR: 30"
    bool withhold_report = false;    // a connect is accepted but never made, a disconnect never reported
    bool query_lags = false;         // "^NDISSTATQRY?" still says 0 although the call is up
    int last_error = 0;              // "^GLASTERR: 1,<last_error>"
    std::string last_apn, last_user, last_password;  // the fields of the last connect
    int last_auth = -1;                              // -1: none given
    // "^DHCP: <ip>,<mask>,<gateway>,<dhcp server>,<dns1>,<dns2>,<rx>,<tx>", first octet in the
    // lowest byte: 192.168.225.30/24, gateway and DHCP server 192.168.225.1, DNS .1 and .2.
    std::string dhcp_ip = "1EE1A8C0";
    std::string dhcp_mask = "00FFFFFF";
    std::string dhcp_gateway = "01E1A8C0";
    std::string dhcp_server = "01E1A8C0";
    std::string dhcp_dns1 = "01E1A8C0";
    std::string dhcp_dns2 = "02E1A8C0";

    // The PPP way: the context defined on the control port, then a dial on the MODEM port
    // (data_port.h), whose line carries PPP after "CONNECT".
    std::string pdp_cid, pdp_type, pdp_apn;       // last "AT+CGDCONT=<cid>,"<type>","<apn>""
    std::string ppp_user, ppp_password;           // last "AT^PPPCFG = "<user>", "<password>""
    DialReply dial_reply = DialReply::kConnect;   // what a dial gets (kSilent: nothing at all)
    bool online = false;                          // the MODEM port carries PPP
    int dials = 0;                                // dials answered on the MODEM port
    int escapes = 0;                              // "+++" received on the MODEM port
    int hangups = 0;                              // times an online line went back to commands
    std::size_t ppp_bytes = 0;                    // bytes received while online
};

}  // namespace modemsim

#endif
