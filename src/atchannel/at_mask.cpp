// Logging of AT traffic with secrets hidden. PINs, passwords, phone numbers, message
// contents, APNs and equipment identifiers never reach the log; the command or prefix and
// the separators stay, so a log reader still sees what was said, just not the values.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <zorvik/host.h>

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

// The entries of the table by their first character ('a', '+', '^') and, within those, by one
// later character (the fifth of "AT+CPIN=", the third of "+CMGR:"), in table order: every AT
// line passes here twice per exchange, and a line must be tried against only the few entries
// that could start at each of its positions. Entries too short for the second key are tried
// at every position of their first character.
struct PrefixIndex {
    static constexpr int kSlots = 3, kBuckets = 32;
    static constexpr size_t kKeyAt[kSlots] = {4, 2, 2};
    // A slot's lists: its kBuckets buckets, then its short entries.
    static constexpr int kLists = kSlots * (kBuckets + 1);
    static_assert(kMaskedPrefixCount < 256, "entry numbers are kept in bytes");
    // The entry numbers, list after list, in table order within each: list l is
    // order[begin[l]] .. order[begin[l + 1] - 1]. A few hundred bytes in all.
    unsigned char order[kMaskedPrefixCount] = {};
    unsigned char begin[kLists + 1] = {};

    static int Slot(char lower) { return lower == 'a' ? 0 : lower == '+' ? 1 : lower == '^' ? 2 : -1; }
    static int Bucket(char c) { return static_cast<unsigned char>(Lower(c)) % kBuckets; }
    static int ShortList(int slot) { return slot * (kBuckets + 1) + kBuckets; }
    static int BucketList(int slot, char c) { return slot * (kBuckets + 1) + Bucket(c); }
    static int ListOf(int entry) {
        const char *text = kMaskedPrefixTable[entry];
        const int slot = Slot(Lower(text[0]));
        if (slot < 0) return -1;
        return strlen(text) > kKeyAt[slot] ? BucketList(slot, text[kKeyAt[slot]]) : ShortList(slot);
    }
    PrefixIndex() {
        int count[kLists] = {};
        for (int i = 0; i < kMaskedPrefixCount; ++i)
            if (const int l = ListOf(i); l >= 0) ++count[l];
        for (int l = 0; l < kLists; ++l) begin[l + 1] = static_cast<unsigned char>(begin[l] + count[l]);
        unsigned char next[kLists];
        memcpy(next, begin, sizeof next);
        for (int i = 0; i < kMaskedPrefixCount; ++i)
            if (const int l = ListOf(i); l >= 0) order[next[l]++] = static_cast<unsigned char>(i);
    }
};

// The first entry of list l (in table order) that starts at p, or kMaskedPrefixCount.
int FirstAt(const PrefixIndex &index, int l, const char *p) {
    for (int k = index.begin[l]; k < index.begin[l + 1]; ++k) {
        if (StartsWithNoCase(p, kMaskedPrefixTable[index.order[k]])) return index.order[k];
    }
    return kMaskedPrefixCount;
}

// One pass over the line: at each position only the entries that could start there are tried.
// Returns the first entry in table order found anywhere; *secretFrom (when given) is where the
// secret part starts: right behind the earliest match in the line.
int FindMaskedPrefix(const char *text, const char **secretFrom = nullptr) {
    static const PrefixIndex index;
    int best = kMaskedPrefixCount;
    const char *from = nullptr;
    for (const char *p = text; *p; ++p) {
        const int slot = PrefixIndex::Slot(Lower(*p));
        if (slot < 0) continue;
        if (best == 0 && from) break;
        int found = FirstAt(index, PrefixIndex::ShortList(slot), p);
        const size_t keyAt = PrefixIndex::kKeyAt[slot];
        if (strnlen(p, keyAt + 1) > keyAt) found = std::min(found, FirstAt(index, PrefixIndex::BucketList(slot, p[keyAt]), p));
        if (found == kMaskedPrefixCount) continue;
        if (found < best) best = found;
        if (!from) from = p + strlen(kMaskedPrefixTable[found]);
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

namespace {

// A NUL-terminated copy of a line that the masking may change: on the stack when it is short
// (almost every line), else on the heap. The masking must see the whole text to hide all of
// it, so only limit (when given) cuts it.
class LineCopy {
  public:
    LineCopy(const char *text, int len, size_t limit = 0) {
        size_t n = len > 0 ? strnlen(text, static_cast<size_t>(len)) : 0;
        if (limit > 0 && n > limit) n = limit;
        if (n >= sizeof small_) {
            data_ = nullptr;
            for (int attempt = 0; attempt < zv::at::kAllocAttempts && !data_; ++attempt) {
                data_ = static_cast<char *>(malloc(n + 1));
                if (!data_) RLOGD("PrintATCommand malloc FAIL!!");
            }
            if (!data_) return;
        }
        memcpy(data_, text, n);
        data_[n] = '\0';
        size_ = n;
    }
    ~LineCopy() {
        if (data_ != small_) free(data_);
    }
    LineCopy(const LineCopy &) = delete;
    LineCopy &operator=(const LineCopy &) = delete;
    char *data() const { return data_; }
    size_t size() const { return size_; }

  private:
    char small_[256];
    char *data_ = small_;
    size_t size_ = 0;
};

}  // namespace

void PrintATCommand(const char *text, int len, int direction) {
    if (!text) return;
    LineCopy copy(text, len);
    if (!copy.data()) return;
    zv::at::MaskLine(copy.data(), copy.size());
    if (direction == 1) {
        RLOGD("AT> %s\n", copy.data());
    } else {
        RLOGD("AT< %s\n", copy.data());
    }
}

namespace zv {

// A recording gets the line as the log shows it, unless it asked for the clear text; a line is
// never longer than the channel's line buffer, whatever the library was asked to send.
void RecordModemLine(const char *port, int event, const char *text, size_t len) {
    const int mode = ModemRecording();
    if (mode == kModemRecordOff) return;
    if (!text) text = "";
    const int n = static_cast<int>(std::min(len, at::kLineBufferSize));
    if (mode == kModemRecordUnmasked) {
        RecordModemEvent(port, event, text, strnlen(text, static_cast<size_t>(n)));
        return;
    }
    LineCopy copy(text, n, at::kLineBufferSize);
    if (!copy.data()) return;
    at::MaskLine(copy.data(), copy.size());
    RecordModemEvent(port, event, copy.data(), copy.size());
}

}  // namespace zv
