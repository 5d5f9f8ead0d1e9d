// SIM file access: RIL_REQUEST_SIM_IO mapped onto AT+CRSM, and the two modem habits it works
// around. Some modems answer a GET RESPONSE in the short form (no P1, P2, P3) with status
// 90 00 and no data; we then ask again in the long form and keep using it. A USIM answers a
// GET RESPONSE with its file control parameters (TS 102 221), while the framework reads the
// TS 51.011 layout: record files are always converted, EF SPN only for the older frameworks
// that cannot read an FCP at all.
//
// Every rewrite works on a checked copy of the answer: an answer that is too short, odd in
// length, not hex, or whose tag lengths run past its end goes to the framework as the card
// gave it.
#include "sim/sim_io.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "codec/codec.h"
#include "sim/sim.h"

namespace zv::sim {
namespace {

// A path is at most a few directory levels (MF, DF, ADF, DF, EF): 16 identifiers is far past
// anything real and still refuses nonsense. Data is one APDU body of at most 255 bytes.
constexpr size_t kMaxPathDigits = 64;
constexpr size_t kMaxDataDigits = 2 * 255;
// The long-form retry and the EF SPN length retry: each at most once per request, so a modem
// that keeps answering short cannot drive an endless chain of commands.
constexpr int kMaxRetries = 2;

constexpr size_t kSpnRewriteDigits = 28;    // the rewrite writes up to digit 27
constexpr size_t kRecordFcpDigits = 30;     // the first 15 bytes are read

struct Answer {
    int sw1 = 0;
    int sw2 = 0;
    bool present = false;
    std::string data;
};

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int HexByteAt(const std::string &hex, size_t digit) {
    if (digit + 2 > hex.size()) return -1;
    int hi = Nibble(hex[digit]);
    int lo = Nibble(hex[digit + 1]);
    if (hi < 0 || lo < 0) return -1;
    return hi << 4 | lo;
}

bool HasData(const RIL_SIM_IO_v6 &r) {
    return r.data && r.data[0] != '\0';
}

// The command in its long form, or "" when the request's strings could not go into it.
std::string LongForm(const RIL_SIM_IO_v6 &r) {
    const char *path = r.path ? r.path : "";
    if (!IsHexText(path) || (HasData(r) && !IsHexText(r.data))) return {};
    if (HasData(r))
        return Format("%s%d,%d,%d,%d,%d,\"%s\",\"%s\"", "AT+CRSM=", r.command, r.fileid, r.p1, r.p2, r.p3, r.data,
                      path);
    return Format("%s%d,%d,%d,%d,%d,,\"%s\"", "AT+CRSM=", r.command, r.fileid, r.p1, r.p2, r.p3, path);
}

std::string FirstForm(const RIL_SIM_IO_v6 &r) {
    if (r.command == kGetResponse && Load(bCRSM)) {
        if (HasData(r)) return Format("%s%d,%d,,,,\"%s\",\"%s\"", "AT+CRSM=", r.command, r.fileid, r.data, r.path);
        return Format("%s%d,%d,,,,,\"%s\"", "AT+CRSM=", r.command, r.fileid, r.path);
    }
    return LongForm(r);
}

bool Exchange(const std::string &command, const RIL_SIM_IO_v6 &request, Answer *out, int depth) {
    if (command.empty()) return false;
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline(command.c_str(), "+CRSM:", &raw);
    ATResponsePtr response(raw);
    if (!AcceptedWithLine(err, response.get())) return false;

    RIL_SIM_IO_Response parsed = {0, 0, nullptr};
    MessagePtr message = ObtainMessage(RIL_REQUEST_SIM_IO, nullptr, &parsed);
    int filled = message ? HandleSIMMessage(message.get(), response.get()) : 0;
    Answer a;
    a.sw1 = parsed.sw1;
    a.sw2 = parsed.sw2;
    a.present = parsed.simResponse != nullptr;
    if (parsed.simResponse) a.data = parsed.simResponse;
    free(parsed.simResponse);
    if (filled != 1) return false;

    const bool getResponse = request.command == kGetResponse;
    if (a.data.empty() && getResponse && a.sw1 == 0x90 && Load(bCRSM)) {
        // The short form came back empty: this modem wants P1, P2 and P3 from now on.
        Store(bCRSM, 0);
        if (depth >= kMaxRetries) return false;
        return Exchange(LongForm(request), request, out, depth + 1);
    }

    if (Load(ANDROID_VERSION) <= 4 && !a.data.empty() && getResponse && request.fileid == kEfSpn) {
        const int declared = DeclaredFcpLength(a.data);
        if (declared > static_cast<int>(a.data.size() / 2) && depth < kMaxRetries) {
            // The modem cut the FCP at the P3 we gave; ask for all of it.
            RIL_SIM_IO_v6 again = request;
            again.p3 = declared;
            return Exchange(LongForm(again), again, out, depth + 1);
        }
        if (zv::Exchange(bSPN, 0) == 1 && !RewriteSpnFcp(a.data)) RLOGD("GetSIMResponse: EF SPN answer kept as given");
    }

    if (getResponse && ConvertRecordFcp(a.data)) Store(isUSIMCARD, 1);
    *out = std::move(a);
    return true;
}

std::vector<std::string> Tokens(const std::string &hex) {
    std::vector<std::string> tokens;
    tokens.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) tokens.push_back(hex.substr(i, 2));
    return tokens;
}

}  // namespace

bool IsHexText(const char *s) {
    if (!s) return false;
    size_t n = 0;
    for (; s[n] != '\0'; ++n) {
        if (!isxdigit(static_cast<unsigned char>(s[n]))) return false;
    }
    return n % 2 == 0;
}

int DeclaredFcpLength(const std::string &hex) {
    if (hex.size() < 4) return -1;
    return HexByteAt(hex, 2);
}

bool RewriteSpnFcp(std::string &hex) {
    if (hex.size() < kSpnRewriteDigits || !IsHexText(hex.c_str())) return false;
    std::vector<std::string> tokens = Tokens(hex);
    if (tokens[0] != "62") return false;
    std::string result = hex;
    if (tokens[2] == "82") {
        result[12] = '0';
        result[13] = tokens[4][0];
        if (tokens[4][1] == '1') {
            result[26] = '0';
            result[27] = '0';
        }
    }
    std::vector<char *> pointers;
    pointers.reserve(tokens.size());
    for (std::string &token : tokens) pointers.push_back(token.data());
    char **array = pointers.data();
    const int count = static_cast<int>(tokens.size());
    const int at = isParameterMatch(&array, "80", count);
    // The size is the two bytes after the tag and its length; both must be in the answer.
    if (at >= 0 && at + 3 < count) {
        result.replace(4, 2, tokens[at + 2]);
        result.replace(6, 2, tokens[at + 3]);
    }
    hex = std::move(result);
    return true;
}

bool ConvertRecordFcp(std::string &hex) {
    if (hex.size() < kRecordFcpDigits || hex.compare(0, 2, "62") != 0 || hex.compare(6, 2, "05") != 0) return false;
    const std::string head = hex.substr(0, kRecordFcpDigits);
    uint8_t bytes[kRecordFcpDigits / 2];
    if (hexStringToBytes(head.c_str(), bytes, sizeof bytes) != static_cast<int>(sizeof bytes)) return false;
    // Record length (bytes 6 and 7) times the number of records (byte 8): the file size.
    const unsigned size = ((bytes[6] << 8 | bytes[7]) * bytes[8]) & 0xffffu;
    std::string result = head;
    result.replace(0, 4, "0000");
    result.replace(4, 4, Format("%04x", size));
    result.replace(8, 4, head, 22, 4);  // file identifier (tag 83)
    result[13] = '4';                   // type of file: EF
    result.replace(26, 2, "01");        // structure: linear fixed
    result.replace(28, 2, head, 14, 2); // record length
    hex = std::move(result);
    return true;
}

void RequestSIMIO(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(RIL_SIM_IO_v5)) {
        RLOGD("RequestSIMIO: p_args is NULL!");
        return;
    }
    RIL_SIM_IO_v6 request;
    memset(&request, 0, sizeof request);
    memcpy(&request, data, sizeof(RIL_SIM_IO_v5));
    if (Load(ANDROID_VERSION) >= 2 && datalen >= sizeof(RIL_SIM_IO_v6))
        request.aidPtr = static_cast<const RIL_SIM_IO_v6 *>(data)->aidPtr;

    // A missing path is an empty one: the modem then picks the file by its identifier.
    std::string path = request.path ? request.path : "";
    if (path.size() % 4 != 0 || path.size() > kMaxPathDigits || !IsHexText(path.c_str())) {
        RLOGD("RequestSIMIO: p_args->path is illegal!");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    std::string body;
    if (HasData(request)) {
        if (strnlen(request.data, kMaxDataDigits + 1) > kMaxDataDigits || !IsHexText(request.data)) {
            RLOGD("RequestSIMIO: p_args->data is illegal!");
            done.Finish(RIL_E_GENERIC_FAILURE);
            return;
        }
        body = request.data;
        for (char &c : body) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    request.path = path.data();
    request.data = body.empty() ? nullptr : body.data();

    RIL_SIM_IO_Response out = {0, 0, nullptr};
    if (GetSIMResponse(FirstForm(request).c_str(), &request, &out) == 1) {
        // The status words go to the framework as the card gave them, errors included.
        done.Finish(RIL_E_SUCCESS, &out, sizeof out);
    }
    free(out.simResponse);
}

}  // namespace zv::sim

extern "C" {

int GetSIMResponse(const char *command, RIL_SIM_IO_v6 *request, RIL_SIM_IO_Response *out) {
    if (!command || !request || !out) return 0;
    zv::sim::Answer answer;
    if (!zv::sim::Exchange(command, *request, &answer, 0)) return 0;
    out->sw1 = answer.sw1;
    out->sw2 = answer.sw2;
    out->simResponse = nullptr;
    if (answer.present) {
        out->simResponse = strdup(answer.data.c_str());
        if (!out->simResponse) return 0;
    }
    return 1;
}

int FillSIMResponse(RilMessage *message, ATResponse *response) {
    if (!message || !message->data || !response || !response->p_intermediates ||
        !response->p_intermediates->line)
        return 0;
    auto *out = static_cast<RIL_SIM_IO_Response *>(message->data);
    std::string copy = response->p_intermediates->line;
    char *cursor = copy.data();
    int sw1 = 0, sw2 = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &sw1) < 0 || at_tok_nextint(&cursor, &sw2) < 0)
        return 0;
    out->sw1 = sw1;
    out->sw2 = sw2;
    out->simResponse = nullptr;
    if (at_tok_hasmore(&cursor)) {
        char *text = nullptr;
        if (at_tok_nextstr(&cursor, &text) < 0) return 0;
        if (text) {
            out->simResponse = strdup(text);
            if (!out->simResponse) return 0;
        }
    }
    return 1;
}

int isParameterMatch(char ***tokens, const char *tag, int count) {
    if (!tokens || !*tokens || !tag || count < 1) return -1;
    char **t = *tokens;
    if (!t[0] || strcmp(t[0], "62") != 0) return -1;
    int index = 2;
    while (index < count) {
        if (!t[index]) return count;
        if (strcmp(t[index], tag) == 0) return index;
        // A length we cannot read, or one past the end, ends the search: nothing follows it.
        if (index + 1 >= count || !t[index + 1]) return count;
        const char *len = t[index + 1];
        int hi = zv::sim::Nibble(len[0]);
        int lo = hi < 0 ? -1 : zv::sim::Nibble(len[1]);
        if (hi < 0 || lo < 0 || len[2] != '\0') return count;
        index += (hi << 4 | lo) + 2;
    }
    return index;
}

}  // extern "C"
