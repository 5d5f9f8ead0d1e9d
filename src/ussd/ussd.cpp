// The USSD service: AT+CUSD requests out, "+CUSD:" reports in.
//
// Outgoing strings go as packed GSM 7-bit (coding scheme 15) when every character is in the
// default alphabet or its extension, else as UCS-2 (coding scheme 72), always as hex text.
// Incoming strings are decoded by their data coding scheme (3GPP TS 23.038, the cell
// broadcast coding groups) into UTF-8.
#include "ussd/ussd.h"

#include <ctype.h>
#include <string.h>

#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "codec/codec.h"

namespace zv::ussd {
namespace {

// Longest request string taken, in bytes of UTF-8: anything longer cannot fit the command.
constexpr size_t kMaxRequestBytes = 184;

std::string Utf8Of(const std::vector<uint16_t> &units) {
    std::string out(codec::Utf8Max(units.size()), '\0');
    int n = codec::UnicodeToUtf8(units.data(), out.data(), units.size(), out.size());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::vector<uint16_t> SevenBit(const uint8_t *bytes, size_t count, int language) {
    std::vector<uint8_t> septets(codec::UnpackedMax(count));
    int n = codec::UncompressGsm7bit(bytes, septets.data(), count, septets.size());
    if (n <= 0) return {};
    std::vector<uint16_t> units(static_cast<size_t>(n));
    if (language >= 0)
        Gsm7bitToUnicodeExt(septets.data(), units.data(), static_cast<unsigned>(n), language);
    else
        Gsm7bitToUnicode(septets.data(), units.data(), static_cast<unsigned>(n));
    return units;
}

std::vector<uint16_t> Ucs2(const uint8_t *bytes, size_t count) {
    std::vector<uint16_t> units(count / 2);
    if (!units.empty()) BytesToWidechar(bytes, units.data(), static_cast<int>(count));
    return units;
}

std::vector<uint16_t> EightBit(const uint8_t *bytes, size_t count) {
    std::vector<uint16_t> units(count + 1);
    gsmDecode8bit(bytes, units.data(), static_cast<int>(count));
    units.resize(count);
    return units;
}

// Unpacked codes, one per byte, straight through the default alphabet.
std::vector<uint16_t> RawSeptets(const uint8_t *bytes, size_t count) {
    std::vector<uint16_t> units(count);
    if (count > 0) Gsm7bitToUnicode(bytes, units.data(), static_cast<unsigned>(count));
    return units;
}

// Hex text of a report to bytes: as many whole bytes as lead the text, the rest ignored.
std::vector<uint8_t> HexBytes(const char *hex) {
    size_t digits = 0;
    while (isxdigit(static_cast<unsigned char>(hex[digits]))) ++digits;
    std::vector<uint8_t> bytes(digits / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(hexCharToInt(hex[2 * i]) << 4 | hexCharToInt(hex[2 * i + 1]));
    return bytes;
}

}  // namespace

std::string DecodeByScheme(const uint8_t *bytes, size_t count, int dcs) {
    const int group = dcs >> 4;
    const int low = dcs & 0x0f;
    const int alphabet = dcs & 0x0c;
    std::vector<uint16_t> units;
    // The general data coding groups: bit 0x20 set means the text is compressed/classed
    // as TS 23.038 says; with it clear a 7-bit alphabet arrives one code per byte.
    auto generalGroup = [&](bool packed) {
        switch (alphabet) {
            case 8: units = Ucs2(bytes, count); break;
            case 4: units = EightBit(bytes, count); break;
            case 0: units = packed ? SevenBit(bytes, count, -1) : RawSeptets(bytes, count); break;
            default: break;
        }
    };
    if (dcs < 0 || dcs > 255 || (group >= 3 && group <= 8)) {
        generalGroup((dcs & 0x20) != 0);
    } else if (group == 0) {
        if (low == 4 || low == 8 || low == 12) {
            units = SevenBit(bytes, count, low);
        } else {
            if (low == 15) RLOGD("default");
            units = SevenBit(bytes, count, -1);
        }
    } else if (group == 1) {
        if (low == 0) units = SevenBit(bytes, count, -1);
        else if (low == 1) units = Ucs2(bytes, count);
    } else if (group == 2) {
        if (low <= 4) units = Ucs2(bytes, count);
    } else if (group == 9) {
        generalGroup(true);
    }
    return Utf8Of(units);
}

std::string BuildSendCommand(const char *utf8) {
    size_t len = strnlen(utf8, kMaxRequestBytes);
    if (len >= kMaxRequestBytes) return {};
    std::vector<uint16_t> units(len);
    int n = codec::Utf8ToUnicode(utf8, units.data(), len, units.size());
    if (n < 0) return {};
    units.resize(static_cast<size_t>(n));

    bool gsm = true;
    for (uint16_t u : units) gsm = gsm && GSM_7BitAlphabet(u);

    std::vector<uint8_t> octets;
    int dcs;
    if (gsm) {
        std::vector<uint8_t> septets(codec::SeptetsMax(units.size()) + 1);
        int s = codec::UnicodeToGsm7bit(units.data(), septets.data(), units.size(), septets.size());
        if (s < 0) return {};
        octets.resize(codec::PackedMax(static_cast<size_t>(s)));
        int o = codec::CompressGsm7bit(septets.data(), octets.data(), static_cast<size_t>(s), octets.size());
        if (o < 0) return {};
        octets.resize(static_cast<size_t>(o));
        dcs = 15;
    } else {
        octets.resize(units.size() * 2);
        WidecharToByte(units.data(), octets.data(), static_cast<int>(units.size()));
        dcs = 72;
    }
    if (octets.size() > kMaxEncodedOctets) return {};
    std::string hex(codec::HexMax(octets.size()), '\0');
    BytesToHexstring(octets.data(), hex.data(), static_cast<int>(octets.size()));
    hex.resize(octets.size() * 2);
    return Format("AT+CUSD=1,\"%s\",%d", hex.c_str(), dcs);
}

}  // namespace zv::ussd

namespace {

void RequestSendUSSD(void *data, RIL_Token t) {
    zv::RequestCompletion done(t);
    const char *text = zv::EmptyIfNull(static_cast<const char *>(data));
    if (!text) return;  // fails through the guard
    std::string cmd = zv::ussd::BuildSendCommand(text);
    if (cmd.empty()) {
        RLOGD("RequestSendUSSD:cmd is NULL!");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command(cmd.c_str(), &raw);
    zv::ATResponsePtr response(raw);
    if (err == 0 && response && response->success == 1) done.Finish(RIL_E_SUCCESS);
}

void RequestCancelUSSD(RIL_Token t) {
    zv::RequestCompletion done(t);
    ATResponse *raw = nullptr;
    int err = at_send_command("AT+CUSD=2", &raw);
    zv::ATResponsePtr response(raw);
    if (err >= 0 && response && response->success) done.Finish(RIL_E_SUCCESS);
}

}  // namespace

extern "C" {

void ZvRilUSSDRequest(int request, void *data, size_t /*datalen*/, RIL_Token t) {
    // The string's own length bounds the work: datalen is not the string length on every
    // platform generation.
    switch (request) {
        case RIL_REQUEST_SEND_USSD: RequestSendUSSD(data, t); break;
        case RIL_REQUEST_CANCEL_USSD: RequestCancelUSSD(t); break;
        default: zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED); break;
    }
}

void ZvRilUSSDUnsolicited(const char *line) {
    if (!strStartsWith(line, "+CUSD:")) return;
    std::string copy = line;
    const char *firstComma = strchr(copy.c_str(), ',');
    bool twoCommas = firstComma && strchr(firstComma + 1, ',');
    char *cursor = copy.data();
    int type = -1;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &type) < 0) type = -1;
    std::string message;
    if ((type == 0 || type == 1) && twoCommas) {
        char *hex = nullptr;
        int dcs = -1;
        if (at_tok_nextstr(&cursor, &hex) < 0) hex = nullptr;
        if (at_tok_nextint(&cursor, &dcs) < 0) dcs = -1;
        if (hex) {
            std::vector<uint8_t> bytes = zv::ussd::HexBytes(hex);
            message = zv::ussd::DecodeByScheme(bytes.data(), bytes.size(), dcs);
        }
    }
    std::string typeText = std::to_string(type);
    const char *payload[2] = {typeText.c_str(), message.c_str()};
    zv::ReportUnsolicited(RIL_UNSOL_ON_USSD, payload, sizeof payload);
}

}  // extern "C"
