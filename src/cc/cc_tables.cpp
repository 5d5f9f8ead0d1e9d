// Call control's fixed tables: the one-command requests with their wording per module type,
// the "+CRING:" types, and the character set of the strings that go into dial commands.
#include <string.h>

#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "cc/cc.h"

namespace zv::cc {
namespace {

using enum Outcome;

// Each row: what a 3GPP module sends (and, for one request, what it sends while the SIM or
// card is not ready, as for an emergency call), what a CDMA module sends, and what counts.
constexpr SimpleCommand kSimpleCommands[] = {
    {RIL_REQUEST_HANGUP, "AT+CHUP", nullptr, "AT+CHV", kHandedOver, "RequestHangup at_send_command FAIL!!"},
    {RIL_REQUEST_HANGUP_WAITING_OR_BACKGROUND, "AT+CHLD=0", nullptr, "AT+CHV", kAccepted, nullptr},
    {RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND, "AT+CHLD=1", "AT+CHUP", "AT+CHV", kAccepted, nullptr},
    {RIL_REQUEST_SWITCH_WAITING_OR_HOLDING_AND_ACTIVE, "AT+CHLD=2", nullptr, "AT+CHLD=2", kAccepted, nullptr},
    {RIL_REQUEST_CONFERENCE, "AT+CHLD=3", nullptr, "AT+CHLD=3", kHandedOver, nullptr},
    {RIL_REQUEST_UDUB, "ATH", nullptr, "ATH", kHandedOver, nullptr},
    {RIL_REQUEST_ANSWER, "ATA", nullptr, "ATA", kHandedOver, nullptr},
};

// "+CRING: <type>" by the prefix of the type, in this order (TS 27.007 +CRC types).
struct RingType {
    const char *prefix;
    int kind;
};
constexpr RingType kRingTypes[] = {
    {"VOICE", 1}, {"ASYNC", 2}, {"SYNC", 2}, {"REL ASYNC", 2}, {"REL SYNC", 2}, {"GPRS", 3},
};

bool IsDialCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || strchr("+*#pw,", c) != nullptr;
}

}  // namespace

const SimpleCommand *FindSimpleCommand(int request) {
    for (const SimpleCommand &row : kSimpleCommands) {
        if (row.request == request) return &row;
    }
    return nullptr;
}

bool IsDialString(const char *s) {
    if (!s || *s == '\0') return false;
    size_t n = 0;
    for (; s[n]; ++n) {
        if (n >= kMaxDialLength || !IsDialCharacter(s[n])) return false;
    }
    return true;
}

bool IsIndication(const char *line, const char *prefix) {
    if (!line || !strStartsWith(line, prefix)) return false;
    const char *p = line + strlen(prefix);
    if (*p == ':') ++p;
    while (*p == ' ') ++p;
    return *p == '"';
}

}  // namespace zv::cc

extern "C" int UnsolicitedCring(const char *line) {
    if (!line) return 0;
    // Work on a copy: the tokenizer cuts the line in place and the caller's line is const.
    // The type sits at the start of the line; a longer line is cut, which never changes it.
    char copy[128];
    zv::CopyBounded(copy, sizeof copy, line);
    char *cursor = copy;
    char *type = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &type) < 0 || !type) return 0;
    for (const auto &row : zv::cc::kRingTypes) {
        if (strStartsWith(type, row.prefix)) return row.kind;
    }
    return 0;
}
