// modemsim: SIM file system for +CRSM and the toolkit sessions.
// Plain data held in ModelState under the modem's lock; the answers live in simfiles.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_SIMFILES_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_SIMFILES_H

#include <map>
#include <string>
#include <vector>

namespace modemsim {

// One elementary file. A transparent file keeps its body; a linear fixed file its records, all
// of record_length bytes. Contents are upper-case hex.
struct SimFile {
    bool linear = false;
    int record_length = 0;
    std::string body;
    std::vector<std::string> records;
};

// The toolkit command set the modem offers: the family's ^STGI/^STGR set with "^STIN:"
// reports, the TS 27.007 +CUSAT set, or none ("AT^STSF?" answers ERROR).
enum class StkDialect { kStin, kCusat, kNone };

// The card's files when nothing else is asked for: EF ICCID, IMSI, SPN, AD, MSISDN and ADN.
std::map<int, SimFile> DefaultSimFiles();

struct SimFilesModel {
    // GET RESPONSE answers in the USIM form (TS 102 221 FCP) instead of the TS 51.011 form.
    bool usim = true;  // as ^CARDMODE says by default
    // GET RESPONSE without P1, P2, P3 answers "+CRSM: 144,0" and no data, as some modems do.
    bool empty_short_get_response = true;
    std::map<int, SimFile> files = DefaultSimFiles();  // by file identifier
    StkDialect stk = StkDialect::kCusat;
    bool stk_active = false;        // "AT^STSF=1,..." seen
    std::vector<std::string> envelopes;           // hex of every envelope received
    std::vector<std::string> terminal_responses;  // hex of every terminal response received
    std::string terminal_profile = "FFFFFFFF7F0300DFFF00000000000000";
};

}  // namespace modemsim

#endif
