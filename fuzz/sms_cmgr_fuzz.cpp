// The parsers of stored-message and settings answers with arbitrary lines: "+CMGR:"/"^HCMGR:"
// (message id 1003), "+CSCB:" (89), "+CNMI:" (91), "+CSCA:" (100) and the references of
// "+CMGS:"/"+CMGW:". The first byte picks the parser; the rest, split at line feeds, are the
// response's intermediate lines. A parsed PDU must lie inside one of the lines.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "sms/sms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    static const int kIds[] = {RIL_UNSOL_RESPONSE_NEW_SMS, RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG,
                               RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, RIL_REQUEST_GET_SMSC_ADDRESS,
                               RIL_REQUEST_SEND_SMS, RIL_REQUEST_WRITE_SMS_TO_SIM, RIL_UNSOL_RESPONSE_NEW_SMS,
                               RIL_UNSOL_RESPONSE_NEW_SMS};
    const int id = kIds[data[0] & 7];
    std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);

    std::vector<ATLine> lines;
    std::vector<std::string> storage;
    size_t start = 0;
    while (start <= text.size() && storage.size() < 16) {
        size_t lf = text.find('\n', start);
        storage.push_back(text.substr(start, lf == std::string::npos ? std::string::npos : lf - start).c_str());
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    lines.resize(storage.size());
    for (size_t i = 0; i < storage.size(); ++i) {
        // An exact-size heap copy per line, so a read past a line's end is caught.
        lines[i].line = static_cast<char *>(malloc(storage[i].size() + 1));
        memcpy(lines[i].line, storage[i].c_str(), storage[i].size() + 1);
        lines[i].p_next = i + 1 < storage.size() ? &lines[i + 1] : nullptr;
    }
    ATResponse response = {1, nullptr, lines.empty() ? nullptr : &lines[0]};

    std::vector<RIL_GSM_BroadcastSmsConfigInfo> entries(ZV_MAX_BROADCAST_ENTRIES);
    int ints[5] = {};
    char *text_out = nullptr;
    SmsReadResult read = {0, nullptr};
    void *out = ints;
    if (id == RIL_UNSOL_RESPONSE_NEW_SMS) out = &read;
    if (id == RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG) out = entries.data();
    if (id == RIL_REQUEST_GET_SMSC_ADDRESS) out = &text_out;
    RilMessage message = {id, nullptr, out};
    ATResponse *list[] = {&response, nullptr};
    if (HandleSMSMessage(&message, list) == 1 && read.pdu) {
        bool inside = false;
        // The parser cuts the lines in place, so the bounds are the original sizes.
        for (size_t i = 0; i < lines.size(); ++i)
            inside = inside || (read.pdu >= lines[i].line && read.pdu < lines[i].line + storage[i].size());
        if (!inside || strlen(read.pdu) == 0) abort();
    }
    for (ATLine &l : lines) free(l.line);
    return 0;
}
