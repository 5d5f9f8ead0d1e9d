// Which received line ends the command in progress, which belongs to it, and which the modem
// sent on its own. The tables are the result codes of 3GPP TS 27.007 / V.250 that this
// modem family uses, plus its own indications.
#include <string.h>

#include "atchannel/at_internal.h"
#include "atchannel/at_tok.h"
#include "zvlog.h"

namespace zv::at {
namespace {

constexpr const char *kSuccessFinals[] = {"OK", "CONNECT"};

constexpr const char *kErrorFinals[] = {
    "ERROR", "+CMS ERROR:", "+CME ERROR:", "NO CARRIER", "NO ANSWER", "NO DIALTONE", "COMMAND NOT SUPPORT",
};

constexpr const char *kSmsUnsolicitedPrefixes[] = {"+CMT:", "+CDS:", "+CBM:"};

// Indications the modem may send at any time; an OEM string command takes every other line.
constexpr const char *kUnsolicitedPrefixList[] = {
    "+CREG:",      "+CGREG:", "^MODE:", "^SRVST:", "^RSSI:", "RING",   "NO CARRIER", "+CCWA",    "+CCCM:",
    "+CLCC:",      "^CONN:",  "^CEND:", "^ORIG:",  "+CMT:",  "+CMTI:", "+CDS:",      "+CDSI:",   "+CBM:",
    "^SMMEMFULL:", "+CSSU:",  "+CUSD:", "^DCONN",  "^DEND",  "^SIMST", "^STIN",      "^NWTIME:", "*PSSIMSTAT:",
};
static_assert(sizeof kUnsolicitedPrefixList / sizeof kUnsolicitedPrefixList[0] == 27);

template <size_t N>
bool StartsWithAny(const char *line, const char *const (&prefixes)[N]) {
    for (const char *p : prefixes) {
        if (strStartsWith(line, p)) return true;
    }
    return false;
}

inline bool StartsWithDigit(const char *line) {
    return line[0] >= '0' && line[0] <= '9';
}

inline bool HasPrefix(const char *line, const char *prefix) {
    return prefix && strStartsWith(line, prefix);
}

}  // namespace

bool IsSmsPairLine(const char *line) {
    return StartsWithAny(line, kSmsUnsolicitedPrefixes);
}

LineClass ClassifyLine(const char *line, const ExchangeView &x) {
    if (!x.pending) return LineClass::kUnsolicited;
    // Outside a call set-up a NO CARRIER reports a call that ended; the command is not over.
    if (x.atType == 1 && strstr(line, "NO CARRIER")) return LineClass::kUnsolicited;
    if (StartsWithAny(line, kSuccessFinals)) return LineClass::kSuccess;
    if (StartsWithAny(line, kErrorFinals)) return LineClass::kError;
    if (x.pduStored && strcmp(line, "> ") == 0) return LineClass::kPrompt;

    bool taken = false;
    switch (x.type) {
        case AT_TYPE_NO_RESULT:
            break;
        case AT_TYPE_NUMERIC:
            taken = !x.hasIntermediate && StartsWithDigit(line);
            break;
        case AT_TYPE_SINGLELINE:
            taken = !x.hasIntermediate && HasPrefix(line, x.prefix);
            break;
        case AT_TYPE_MULTILINE:
            taken = HasPrefix(line, x.prefix) || StartsWithDigit(line);
            break;
        case AT_TYPE_OEM_STRING:
            taken = !StartsWithAny(line, kUnsolicitedPrefixList);
            break;
        default:
            RLOGD("Unsupported AT command type %d\n", static_cast<int>(x.type));
            break;
    }
    return taken ? LineClass::kIntermediate : LineClass::kUnsolicited;
}

}  // namespace zv::at
