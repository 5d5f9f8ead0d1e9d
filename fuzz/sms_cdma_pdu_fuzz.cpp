// The CDMA transport-layer decoder with arbitrary PDUs. The first byte chooses whether the rest
// is taken as the modem's hex text (odd, not hex, any length) or as bytes turned into hex, so
// both the text checks and the parameter walk are reached. A PDU that decodes must encode and
// decode again to the same message, and nothing may be written outside the record.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace {

struct Guarded {
    RIL_CDMA_SMS_Message m;
    unsigned char guard[32];
};

void Check(const Guarded &g) {
    for (unsigned char b : g.guard) {
        if (b != 0xA5) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::string hex;
    if (data[0] & 1) {
        static const char kDigits[] = "0123456789ABCDEF";
        for (size_t i = 1; i < size; ++i) {
            hex += kDigits[data[i] >> 4];
            hex += kDigits[data[i] & 15];
        }
    } else {
        hex.assign(reinterpret_cast<const char *>(data) + 1, size - 1);
        hex = hex.c_str();  // up to the first NUL, as a C string would be read
    }
    Guarded g;
    memset(&g.m, 0, sizeof g.m);
    memset(g.guard, 0xA5, sizeof g.guard);
    const bool ok = zv::sms::DecodeMessage(&g.m, hex.c_str());
    Check(g);
    if (g.m.sAddress.number_of_digits > RIL_CDMA_SMS_ADDRESS_MAX) abort();
    if (g.m.uBearerDataLen < 0 || g.m.uBearerDataLen > RIL_CDMA_SMS_BEARER_DATA_MAX) abort();
    if (!ok) return 0;

    std::string again;
    if (!zv::sms::EncodeMessage(g.m, nullptr, &again)) return 0;  // e.g. a digit mode the decoder kept
    Guarded h;
    memset(&h.m, 0, sizeof h.m);
    memset(h.guard, 0xA5, sizeof h.guard);
    if (!zv::sms::DecodeMessage(&h.m, again.c_str())) abort();
    Check(h);
    if (h.m.uTeleserviceID != (g.m.uTeleserviceID & 0xffff) || h.m.uBearerDataLen != g.m.uBearerDataLen ||
        h.m.sAddress.number_of_digits != g.m.sAddress.number_of_digits ||
        memcmp(h.m.aBearerData, g.m.aBearerData, static_cast<size_t>(g.m.uBearerDataLen)) != 0)
        abort();
    return 0;
}
