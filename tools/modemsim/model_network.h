// modemsim: Network model: registration, technology, signal, operators and selection, preferred mode.
// Plain data held in ModelState under the modem's lock; the answers live in network.cpp and the
// free functions that drive it from a test in network.h.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_NETWORK_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_NETWORK_H

#include <string>
#include <vector>

namespace modemsim {

// The access technology the modem is camped on. kDefault stands for the module's own
// (WCDMA, TD-SCDMA or CDMA 1x).
enum class Tech { kDefault, kNone, kGsm, kGprs, kEdge, kWcdma, kHsdpa, kHsupa, kHspa, kHspaPlus, kTdscdma, kLte, kCdma1x, kEvdo };

// One row of the scan answer; status as in +COPS=?: 0 unknown, 1 available, 2 current, 3 forbidden.
struct ScanEntry {
    int status = 1;
    std::string long_name;
    std::string short_name;
    std::string numeric;
    int act = 2;
};

struct NetworkModel {
    // Registration, TS 27.007 <stat> for the circuit (+CREG) and packet (+CGREG) domains.
    int cs_stat = 1;
    int ps_stat = 1;
    int lac = 0x2540;
    int ci = 0x0A3B;
    // The report settings as the host leaves them after its start-up configuration.
    int creg_n = 2;
    int cgreg_n = 2;
    int curc = 1;
    int cireg = 1;
    Tech tech = Tech::kDefault;

    // Signal levels beyond +CSQ (ModelState::rssi): the ^HCSQ codes for LTE, the CDMA levels.
    bool hcsq = true;  // the module knows AT^HCSQ? (3GPP only)
    int lte_rsrp = 70;
    int lte_sinr = 100;
    int lte_rsrq = 20;
    int cdma_dbm = -85;
    int cdma_ecio = -12;
    int evdo_dbm = -90;
    int evdo_ecio = -10;
    int evdo_snr = 5;

    // The operator the modem is registered with, and how it names it.
    std::string long_name = "Zorvik Telecom";
    std::string short_name = "Zorvik";
    std::string numeric = "00101";
    int cops_mode = 0;    // 0 automatic, 1 manual
    int cops_format = 0;  // format of the next +COPS? answer
    // AT+COPS? answers "+COPS: <mode>" this many more times (a selection still searching).
    int searching_polls = 0;
    // Polls an automatic selection takes before the operator shows up.
    int selection_polls = 0;
    std::vector<ScanEntry> scan = {
        {2, "Zorvik Telecom", "Zorvik", "00101", 2},
        {3, "Other Net", "Other", "00102", 2},
    };

    // Preferred mode: the ^SYSCFGEX acquisition order, and the single-number dialects.
    bool syscfgex = true;  // false: the module refuses ^SYSCFGEX (CDMA modules always do)
    std::string acqorder = "00";
    int syscfg_mode = 2;
    int prefmode = 8;

    int sid = 13824;
    int nid = 65535;
    int himsf = 2;  // ^HIMSF: 0 IMS over 3GPP, 1 over 3GPP2, 2 not registered
};

}  // namespace modemsim

#endif
