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
// regard to case; the first entry found in table order decides which one is reported. The
// first thirty are the classic list; the rest are lines of 3GPP TS 27.007 (and of this modem
// family) that carry a phone number, a PIN or unlock code, an identity or credentials too.
constexpr const char *kMaskedPrefixTable[] = {
    "AT+CPIN=", "AT+CPWD=", "AT+CLCK=", "AT^CARDLOCK=", "AT^NDISDUP=", "AT+CMGW=", "AT^HCMGW=",   "AT+CUSD=",
    "ATD",      "AT+CDV",   "AT+CCFC=", "AT+CMGS=",     "AT^HCMGS=",   "AT+CSCA=", "AT^PPPCFG =", "AT+CGDCONT=",
    "AT+CCWA=", "+CMGR:",   "+CLCC:",   "+CCFC:",       "+CRSM:",      "+CUSD:",   "^IMEISV:",    "+CGMR:",
    "+GSN:",    "^MEID:",   "^MDN:",    "^CURRSID:",    "+CCWA:",      "+CSCA:",
    // numbers
    "+CLIP:", "+COLP:", "+CNUM:", "+CSSU:", "+CMT:", "+CDS:", "+CMGL:", "^HCMT:", "^HCMGR:", "+CPBR:", "+CPBF:",
    "AT+CPBW=", "AT^CPBW=", "AT+CTFR=", "AT+CMGC=", "AT+VTS=", "AT^DTMF=", "AT^HFLASH=",
    // codes and card access
    "AT^CARDUNLOCK=", "AT+CSIM=", "+CSIM:", "AT+CRSM=", "AT^CPIN=",
    // identities
    "+CIMI:", "^IMSI:", "+CGSN:", "^IMEI:", "^ICCID:", "+ICCID:", "^CCID:", "+CCID:", "^ESN:", "+GSN=",
    // credentials
    "AT+CGAUTH=", "AT^AUTHDATA=", "AT$QCPDPP=", "AT^PPPCFG=",
    // SIM toolkit: terminal responses (GET INPUT answers carry what the user typed, often a
    // PIN), envelopes, proactive commands (SET UP CALL numbers, SEND SMS contents)
    "AT+CUSATT=", "AT+CUSATE=", "+CUSATE:", "AT^STGR=", "+CUSATP:", "^STIN:", "AT+CUSATW=",
    // the network's addresses for this device (own address, gateway, DNS servers)
    "^DHCP:",
};
constexpr int kMaskedPrefixCount = static_cast<int>(sizeof kMaskedPrefixTable / sizeof kMaskedPrefixTable[0]);

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

// The entries of the table by their first character ('a', '+', '^'), in table order: every
// AT line passes here twice per exchange, and most of the table never matches its start.
struct PrefixIndex {
    int entries[3][kMaskedPrefixCount];
    int count[3] = {0, 0, 0};
    static int Slot(char lower) { return lower == 'a' ? 0 : lower == '+' ? 1 : lower == '^' ? 2 : -1; }
    PrefixIndex() {
        for (int i = 0; i < kMaskedPrefixCount; ++i) {
            const int slot = Slot(Lower(kMaskedPrefixTable[i][0]));
            if (slot >= 0) entries[slot][count[slot]++] = i;
        }
    }
};

// One pass over the line: at each position only the entries that start with that character
// are tried. Returns the first entry in table order found anywhere; *secretFrom (when given)
// is where the secret part starts: right behind the earliest match in the line.
int FindMaskedPrefix(const char *text, const char **secretFrom = nullptr) {
    static const PrefixIndex index;
    int best = kMaskedPrefixCount;
    const char *from = nullptr;
    for (const char *p = text; *p; ++p) {
        const int slot = PrefixIndex::Slot(Lower(*p));
        if (slot < 0) continue;
        if (best == 0 && from) break;
        for (int k = 0; k < index.count[slot]; ++k) {
            const int i = index.entries[slot][k];
            if (StartsWithNoCase(p, kMaskedPrefixTable[i])) {
                if (i < best) best = i;
                if (!from) from = p + strlen(kMaskedPrefixTable[i]);
                break;
            }
        }
    }
    if (secretFrom) *secretFrom = from;
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

// Everything behind a secret prefix is masked, whatever characters follow: a value may hold
// "=" or ":" itself, so no later separator can mark where the secret starts. A line that
// starts with a digit (an identity, an SMS PDU) is masked whole.
void MaskLine(char *text, size_t len) {
    const char *from = nullptr;
    char *arg = nullptr;
    if (text[0] >= '0' && text[0] <= '9') {
        arg = text;  // whatever it contains further on
    } else if (FindMaskedPrefix(text, &from) >= 0) {
        arg = text + (from - text);
    } else {
        return;
    }
    for (char *end = text + len; arg < end && *arg; ++arg) {
        if (!KeptInMask(*arg)) *arg = '*';
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
