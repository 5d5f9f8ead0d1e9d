// modemsim: Message store and delivery: SM/ME stores, +CNMI routing, cell broadcast settings.
// Plain data held in ModelState under the modem's lock; the answers live in sms.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_SMS_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_SMS_H

#include <map>
#include <string>

namespace modemsim {

// One stored message: <stat> of TS 27.005 (0 received unread, 1 received read, 2 stored
// unsent, 3 stored sent) and the PDU as hex text: for a GSM message the SMSC part and the
// TPDU, for a CDMA message the transport-layer message.
struct StoredSms {
    int status = 0;
    std::string pdu;
    bool cdma = false;
};

struct SmsModel {
    std::map<int, StoredSms> sm;  // the SIM (or R-UIM) store, by modem index
    std::map<int, StoredSms> me;  // the modem's own store
    int capacity = 20;            // of each store
    std::string smsc = "+8613800100500";
    int smsc_type = 145;
    int cnmi[5] = {2, 1, 0, 2, 0};  // <mode>,<mt>,<bm>,<ds>,<bfr>
    int cscb_mode = 0;
    std::string cscb_ids;  // "<mids>" of AT+CSCB, e.g. "0-5,50"
};

}  // namespace modemsim

#endif
