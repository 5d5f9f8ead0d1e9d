// Logging of AT traffic with secrets hidden. PINs, passwords, phone numbers, message
// contents, APNs and equipment identifiers never reach the log; the command or prefix and
// the separators stay, so a log reader still sees what was said, just not the values.
#include <stdlib.h>
#include <string.h>

#include "atchannel/at_internal.h"
#include "zvlog.h"

namespace zv::at {
namespace {

// Commands and responses whose arguments are secret, matched anywhere in the line without
// regard to case; the first entry found in table order decides.
constexpr const char *kMaskedPrefixTable[] = {
    "AT+CPIN=", "AT+CPWD=", "AT+CLCK=", "AT^CARDLOCK=", "AT^NDISDUP=", "AT+CMGW=", "AT^HCMGW=",   "AT+CUSD=",
    "ATD",      "AT+CDV",   "AT+CCFC=", "AT+CMGS=",     "AT^HCMGS=",   "AT+CSCA=", "AT^PPPCFG =", "AT+CGDCONT=",
    "AT+CCWA=", "+CMGR:",   "+CLCC:",   "+CCFC:",       "+CRSM:",      "+CUSD:",   "^IMEISV:",    "+CGMR:",
    "+GSN:",    "^MEID:",   "^MDN:",    "^CURRSID:",    "+CCWA:",      "+CSCA:",
};
constexpr int kMaskedPrefixCount = static_cast<int>(sizeof kMaskedPrefixTable / sizeof kMaskedPrefixTable[0]);
static_assert(kMaskedPrefixCount == 30);

constexpr int kAllocAttempts = 10;

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(const char *s, const char *prefix) {
    for (; *prefix; ++s, ++prefix) {
        if (Lower(*s) != Lower(*prefix)) return false;  // also stops at the end of s
    }
    return true;
}

// One pass over the line: at each position only the entries that start with that character
// are tried, and only those before the best entry found so far.
int FindMaskedPrefix(const char *text) {
    int best = kMaskedPrefixCount;
    for (const char *p = text; *p && best > 0; ++p) {
        const char c = Lower(*p);
        if (c != 'a' && c != '+' && c != '^') continue;
        for (int i = 0; i < best; ++i) {
            if (Lower(kMaskedPrefixTable[i][0]) == c && StartsWithNoCase(p, kMaskedPrefixTable[i])) {
                best = i;
                break;
            }
        }
    }
    return best == kMaskedPrefixCount ? -1 : best;
}

inline bool KeptInMask(char c) {
    return c == ' ' || c == '"' || c == ',' || c == ';';
}

}  // namespace

const char *FindNoCase(const char *haystack, const char *needle) {
    if (!haystack || !needle) return nullptr;
    if (!*needle) return haystack;
    for (const char *p = haystack; *p; ++p) {
        if (StartsWithNoCase(p, needle)) return p;
    }
    return nullptr;
}

void MaskLine(char *text, size_t len) {
    const int entry = FindMaskedPrefix(text);
    if (entry < 0 && !(text[0] >= '0' && text[0] <= '9')) return;

    char *arg = text;
    if (char *eq = strchr(text, '=')) {
        arg = eq + 1;
    } else if (char *colon = strchr(text, ':')) {
        arg = colon + 1;
    }
    if (*arg == '\0') return;

    size_t count = len;
    if (entry >= 0) {
        const size_t prefixLen = strlen(kMaskedPrefixTable[entry]);
        count = len > prefixLen ? len - prefixLen : 0;
    }
    // A dial string keeps its command letters so the log still shows a dial.
    if (strstr(arg, "ATD")) {
        arg += 3;
    } else if (strstr(arg, "AT+CDV")) {
        arg += 6;
    }
    for (size_t i = 0; i < count && arg[i]; ++i) {
        if (!KeptInMask(arg[i])) arg[i] = '*';
    }
}

std::string MaskedCopy(const char *text) {
    std::string copy(text ? text : "");
    MaskLine(copy.data(), copy.size());
    return copy;
}

}  // namespace zv::at

char *MatchATCommandbyPrefix(const char *text, char **prefix) {
    if (!text || !prefix) return nullptr;
    const int entry = zv::at::FindMaskedPrefix(text);
    if (entry < 0) return nullptr;
    for (int attempt = 0; attempt < zv::at::kAllocAttempts; ++attempt) {
        if (char *copy = strdup(zv::at::kMaskedPrefixTable[entry])) {
            *prefix = copy;
            return copy;
        }
        RLOGD("MatchATCommandbyPrefix malloc FAIL!!");
    }
    return nullptr;
}

void PrintATCommand(const char *text, int len, int direction) {
    if (!text) return;
    const size_t n = len > 0 ? strnlen(text, static_cast<size_t>(len)) : 0;

    // Almost every line fits on the stack; the log line is cut at a few KiB anyway, but the
    // masking must see the whole text to hide all of it.
    char small[256];
    char *copy = small;
    if (n >= sizeof small) {
        copy = nullptr;
        for (int attempt = 0; attempt < zv::at::kAllocAttempts && !copy; ++attempt) {
            copy = static_cast<char *>(malloc(n + 1));
            if (!copy) RLOGD("PrintATCommand malloc FAIL!!");
        }
        if (!copy) return;
    }
    memcpy(copy, text, n);
    copy[n] = '\0';
    zv::at::MaskLine(copy, n);
    if (direction == 1) {
        RLOGD("AT> %s\n", copy);
    } else {
        RLOGD("AT< %s\n", copy);
    }
    if (copy != small) free(copy);
}
