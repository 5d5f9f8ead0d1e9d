// CDMA messages between the framework's RIL_CDMA_SMS_Message and the modem's hex PDU: the
// point-to-point transport-layer message of 3GPP2 C.S0015 with the teleservice identifier,
// one address and the bearer data (passed through untouched).
//
// The address follows C.S0015 3.4.3.3 in both digit modes, so any standard decoder reads what
// we write: in 8-bit mode the number type (and, for a telephony number, the numbering plan)
// sit between the mode bits and the digit count.
#include <string.h>

#include <zvlog.h>
#include <zvstr.h>

#include "codec/codec.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace zv::sms {
namespace {

constexpr unsigned char kPointToPoint = 0x00;
constexpr unsigned char kTeleserviceId = 0x00;
constexpr unsigned char kOriginatingAddress = 0x02;
constexpr unsigned char kDestinationAddress = 0x04;
constexpr unsigned char kBearerData = 0x08;

void WriteByte(BitWriter *w, int value) { WriteBits(w, 8, value & 0xff); }

// An enum field of the framework's record as the int it holds: the record comes from the
// daemon as it was sent, and a value outside the enum must be refused, not loaded as the enum.
template <typename E>
int Bits(const E &field) {
    static_assert(sizeof(E) == sizeof(int));
    int v;
    memcpy(&v, &field, sizeof v);
    return v;
}

bool ValidMessage(const RIL_CDMA_SMS_Message &m) {
    const int mode = Bits(m.sAddress.digit_mode);
    if (mode != RIL_CDMA_SMS_DIGIT_MODE_4_BIT && mode != RIL_CDMA_SMS_DIGIT_MODE_8_BIT) return false;
    if (m.sAddress.number_of_digits > RIL_CDMA_SMS_ADDRESS_MAX) return false;
    return m.uBearerDataLen >= 0 && m.uBearerDataLen <= RIL_CDMA_SMS_BEARER_DATA_MAX;
}

}  // namespace

int AddressBits(const RIL_CDMA_SMS_Address &a) {
    const bool eightBit = Bits(a.digit_mode) == RIL_CDMA_SMS_DIGIT_MODE_8_BIT;
    int bits = 2 + 8;
    if (eightBit) bits += 3 + (Bits(a.number_mode) == RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK ? 4 : 0);
    return bits + a.number_of_digits * (eightBit ? 8 : 4);
}

bool EncodeMessage(const RIL_CDMA_SMS_Message &m, const RIL_CDMA_SMS_WriteArgs *args, std::string *hex) {
    hex->clear();
    if (!ValidMessage(m)) return false;
    BitWriter w;
    memset(&w, 0, sizeof w);
    WriteByte(&w, kPointToPoint);
    WriteByte(&w, kTeleserviceId);
    WriteByte(&w, 2);
    WriteByte(&w, m.uTeleserviceID >> 8);
    WriteByte(&w, m.uTeleserviceID);
    RLOGD("message->uTeleserviceID-----%04x", m.uTeleserviceID & 0xffff);

    // A message written with status "received" (0 unread, 1 read) came from someone: its
    // address is the originator's.
    const bool received = args && (args->status == 0 || args->status == 1);
    WriteByte(&w, received ? kOriginatingAddress : kDestinationAddress);

    const RIL_CDMA_SMS_Address &a = m.sAddress;
    const bool eightBit = Bits(a.digit_mode) == RIL_CDMA_SMS_DIGIT_MODE_8_BIT;
    const int bits = AddressBits(a);
    WriteByte(&w, (bits + 7) / 8);
    WriteBits(&w, 1, eightBit ? 1 : 0);
    const int numberMode = eightBit ? (Bits(a.number_mode) == RIL_CDMA_SMS_NUMBER_MODE_DATA_NETWORK ? 1 : 0) : 0;
    WriteBits(&w, 1, numberMode);
    if (eightBit) {
        WriteBits(&w, 3, Bits(a.number_type) & 0x7);
        if (numberMode == 0) WriteBits(&w, 4, Bits(a.number_plan) & 0xf);
    }
    WriteBits(&w, 8, a.number_of_digits);
    for (int i = 0; i < a.number_of_digits; ++i) WriteBits(&w, eightBit ? 8 : 4, a.digits[i]);
    if (const int pad = (8 - w.bits % 8) % 8) WriteBits(&w, pad, 0);

    WriteByte(&w, kBearerData);
    WriteByte(&w, m.uBearerDataLen);
    for (int i = 0; i < m.uBearerDataLen; ++i) WriteByte(&w, m.aBearerData[i]);
    RLOGD("message->uBearerDataLen-----%04x", m.uBearerDataLen);

    const int bytes = w.bits / 8;
    hex->resize(static_cast<size_t>(2 * bytes + 1));
    BytesToHexstring(w.data, hex->data(), bytes);
    hex->resize(static_cast<size_t>(2 * bytes));
    return true;
}

bool DecodeAddressValue(RIL_CDMA_SMS_Address *a, const unsigned char *value, int length) {
    BitReader r = {0, value, length};
    unsigned char v = 0;
    GetBits(&r, 1, &v);
    a->digit_mode = static_cast<RIL_CDMA_SMS_DigitMode>(v);
    GetBits(&r, 1, &v);
    a->number_mode = static_cast<RIL_CDMA_SMS_NumberMode>(v);
    const bool eightBit = a->digit_mode == RIL_CDMA_SMS_DIGIT_MODE_8_BIT;
    if (eightBit) {
        GetBits(&r, 3, &v);
        a->number_type = static_cast<RIL_CDMA_SMS_NumberType>(v);
        if (a->number_mode == RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK) {
            GetBits(&r, 4, &v);
            a->number_plan = static_cast<RIL_CDMA_SMS_NumberPlan>(v);
        }
    } else {
        // The number mode bit means nothing for DTMF digits; the record keeps it 0.
        a->number_mode = RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK;
    }
    unsigned char count = 0;
    GetBits(&r, 8, &count);
    const int width = eightBit ? 8 : 4;
    // A count that the record cannot hold, or that runs past the parameter, keeps no digits:
    // a number cut short would be a different number.
    if (count > RIL_CDMA_SMS_ADDRESS_MAX || r.pos + count * width > length * 8) {
        a->number_of_digits = 0;
        return false;
    }
    for (int i = 0; i < count; ++i) GetBits(&r, width, &a->digits[i]);
    a->number_of_digits = count;
    return true;
}

bool DecodeMessage(RIL_CDMA_SMS_Message *m, const char *hex) {
    if (!m || !hex || hex[0] == '\0') return false;
    const size_t len = strnlen(hex, 2 * ZV_CDMA_PDU_BYTES + 1);
    if (len % 2 != 0 || len > 2 * ZV_CDMA_PDU_BYTES) return false;
    unsigned char b[ZV_CDMA_PDU_BYTES];
    const int n = hexStringToBytes(hex, b, sizeof b);
    if (n <= 0) return false;

    bool ok = true;
    int recognised = 0;
    int i = 1;  // byte 0 is the message type
    while (recognised < 3 && i + 1 < n) {
        const unsigned char id = b[i];
        const int length = b[i + 1];
        const unsigned char *value = b + i + 2;
        if (i + 2 + length > n) {
            ok = false;  // the parameter runs past the end of the PDU
            break;
        }
        switch (id) {
            case kTeleserviceId:
                if (length < 2) return false;
                m->uTeleserviceID = value[0] << 8 | value[1];
                ++recognised;
                break;
            case kOriginatingAddress:
            case kDestinationAddress:
                if (!DecodeAddressValue(&m->sAddress, value, length)) ok = false;
                ++recognised;
                break;
            case kBearerData:
                m->uBearerDataLen = length;  // at most 255: fits aBearerData
                memcpy(m->aBearerData, value, static_cast<size_t>(length));
                ++recognised;
                break;
            default:
                break;
        }
        i += 2 + length;
    }
    return ok;
}

}  // namespace zv::sms

extern "C" {

void WriteBits(BitWriter *w, int n, int value) {
    if (!w || n < 0 || n > 8) return;
    for (int k = n - 1; k >= 0; --k) {
        if (w->bits >= ZV_CDMA_PDU_BYTES * 8) return;
        const int bit = (value >> k) & 1;
        unsigned char &byte = w->data[w->bits / 8];
        const int shift = 7 - w->bits % 8;
        byte = static_cast<unsigned char>((byte & ~(1 << shift)) | (bit << shift));
        ++w->bits;
    }
}

void GetBits(BitReader *r, int n, unsigned char *out) {
    if (!r || !out || n < 0 || n > 8) return;
    unsigned value = 0;
    for (int k = 0; k < n; ++k) {
        if (!r->data || r->pos >= r->size * 8) break;
        const int bit = (r->data[r->pos / 8] >> (7 - r->pos % 8)) & 1;
        value = value << 1 | static_cast<unsigned>(bit);
        ++r->pos;
    }
    *out = static_cast<unsigned char>(value);
}

void EncodePdu(const RIL_CDMA_SMS_Message *msg, char *hex, const RIL_CDMA_SMS_WriteArgs *args) {
    if (!hex) return;
    hex[0] = '\0';
    std::string out;
    if (!msg || !zv::sms::EncodeMessage(*msg, args, &out)) {
        RLOGD("EncodePdu: message cannot be encoded");
        return;
    }
    zv::CopyBounded(hex, ZV_CDMA_PDU_HEX, out.c_str());
}

void CdmaPduDecode(RIL_CDMA_SMS_Message *msg, const char *hex) { zv::sms::DecodeMessage(msg, hex); }

void DecodeAddress(RIL_CDMA_SMS_Message *msg, const unsigned char *param) {
    if (!msg || !param) return;
    zv::sms::DecodeAddressValue(&msg->sAddress, param + 1, param[0]);
}

void DecodeTeleserviceID(RIL_CDMA_SMS_Message *msg, const unsigned char *param) {
    if (!msg || !param || param[0] < 2) return;
    msg->uTeleserviceID = param[1] << 8 | param[2];
}

void DecodeBeareData(RIL_CDMA_SMS_Message *msg, const unsigned char *param) {
    if (!msg || !param) return;
    msg->uBearerDataLen = param[0];
    memcpy(msg->aBearerData, param + 1, param[0]);
}

}  // extern "C"
