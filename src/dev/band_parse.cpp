// The band list in the modem's ^SYSCFGEX=? / ^SYSCFG=? answer, read into band mode numbers
// and the band table. A mask the table of known masks has is taken as its mode; any other is
// spread over the five regional groups by the bands it holds, and each group that collects
// something becomes a mode of its own with a mask made of just those bands.
//
// Everything here reads modem output: every copy is bounded by its destination, the answer
// never takes more than 19 modes, and a mask that is not 1 to 16 hex digits holds no bands.
#include <ctype.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include <zvalloc.h>
#include <zvlog.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "dev/band_mode.h"

namespace {

constexpr int kAllocAttempts = 10;
constexpr int kMaxModes = ZV_BAND_ANSWER_INTS - 1;
constexpr size_t kGroupTextSize = 20;  // "ffffffff" + "ffffffff" and room to spare
constexpr size_t kMaxMaskDigits = 16;

// Only the request thread reads or writes the table (queries and settings arrive there).
char g_bandTable[ZV_BAND_MODE_COUNT][ZV_BAND_ENTRY_SIZE];

struct KnownMask {
    int mode;
    const char *mask;
};

// The masks whose band mode is known outright, in the modem's lower-case spelling.
constexpr KnownMask kKnownMasks[] = {
    {0, "3fffffff"}, {0, "680380"},
    {1, "80"}, {1, "300"}, {1, "100"}, {1, "200"}, {1, "2000000000000"}, {1, "400000"}, {1, "380"},
    {1, "180"}, {1, "280"}, {1, "2000000000080"}, {1, "400080"}, {1, "2000000000100"},
    {1, "2000000000200"}, {1, "2000000000300"}, {1, "400100"}, {1, "400200"}, {1, "400300"},
    {1, "2000000400000"}, {1, "2000000000180"}, {1, "2000000000280"}, {1, "2000000000380"},
    {1, "400180"}, {1, "400280"}, {1, "400380"}, {1, "2000000400180"}, {1, "2000000400280"},
    {1, "2000000400380"},
    {2, "280000"}, {2, "4280000"}, {2, "a80000"}, {2, "4a80000"}, {2, "6a80000"}, {2, "4000004a80000"},
    {2, "6800000"},
    {3, "8400000"}, {3, "4000000000000"}, {3, "2000000"},
    {4, "4400180"}, {4, "4400280"}, {4, "4400380"},
    {5, "4000180"}, {5, "4000280"}, {5, "4000380"},
    {6, "1"}, {6, "2"},
    {7, "4"}, {8, "10"}, {9, "20"}, {10, "40"}, {11, "400"}, {12, "800"}, {13, "1000"}, {14, "2000"},
    {15, "4000"}, {16, "8000"}, {17, "80000000"},
};

enum class BandRule {
    kAnyBit,    // the band is there when its bit is
    kSubset,    // each of the bits that is set (GSM900 has three)
    kAllBits,   // only when every bit is set ("All Bands")
};

struct BandBits {
    const char *name;
    uint32_t high;
    uint32_t low;
    BandRule rule;
};

constexpr BandBits kBandBits[] = {
    {"GSM850", 0, 0x80000, BandRule::kAnyBit},
    {"GSM900", 0, 0x100 | 0x200 | 0x100000, BandRule::kSubset},
    {"GSM1800", 0, 0x80, BandRule::kAnyBit},
    {"GSM1900", 0, 0x200000, BandRule::kAnyBit},
    {"WCDMA800", 0, 0x8000000, BandRule::kAnyBit},
    {"WCDMA850", 0, 0x4000000, BandRule::kAnyBit},
    {"WCDMA900", 0x20000, 0, BandRule::kAnyBit},
    {"WCDMA1700", 0x40000, 0, BandRule::kAnyBit},
    {"WCDMA1900", 0, 0x800000, BandRule::kAnyBit},
    {"WCDMA2000", 0, 0x400000, BandRule::kAnyBit},
    {"WCDMA2100", 0, 0x400000, BandRule::kAnyBit},
    {"All Bands", 0, 0x3FFFFFFF, BandRule::kAllBits},
};

// The bands each regional band mode (0 to 5) collects.
constexpr const char *kRegionalGroups[ZV_BAND_GROUP_COUNT][4] = {
    {"All Bands"},
    {"GSM900", "GSM1800", "WCDMA2100", "WCDMA900"},
    {"GSM850", "GSM1900", "WCDMA850", "WCDMA1900"},
    {"WCDMA800", "WCDMA2100", "WCDMA1700"},
    {"GSM900", "GSM1800", "WCDMA850", "WCDMA2100"},
    {"GSM900", "GSM1800", "WCDMA850"},
};

void *AllocRetry(size_t size, const char *failure) {
    for (int attempt = 0; attempt < kAllocAttempts; ++attempt) {
        if (void *p = zv::CheckedAlloc(size)) return p;
        RLOGD("%s", failure);
    }
    return nullptr;
}

// What of a modem field may go to the log: printable characters only, and not too many.
std::string LogSafe(const char *text) {
    if (!text) return "(null)";
    std::string out;
    for (const char *p = text; *p && out.size() < 64; ++p)
        out += (*p >= 0x20 && *p < 0x7f) ? *p : '?';
    return out;
}

const BandBits *BandByName(const char *name) {
    for (const BandBits &band : kBandBits)
        if (strcmp(band.name, name) == 0) return &band;
    return nullptr;
}

bool GroupCollects(int group, const char *name) {
    for (const char *member : kRegionalGroups[group])
        if (member && strcmp(member, name) == 0) return true;
    return false;
}

uint32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    return static_cast<uint32_t>(tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}

// "2000000400380" -> high 0x20000, low 0x00400380. False for anything but 1 to 16 hex digits.
bool ParseMask(const char *text, uint32_t *high, uint32_t *low) {
    *high = *low = 0;
    size_t n = 0;
    while (text[n] && isxdigit(static_cast<unsigned char>(text[n]))) ++n;
    if (n == 0 || n > kMaxMaskDigits || text[n] != '\0') return false;
    auto value = [&](size_t from, size_t to) {
        uint32_t v = 0;
        for (size_t i = from; i < to; ++i) v = v << 4 | HexDigit(text[i]);
        return v;
    };
    const size_t split = n > 8 ? n - 8 : 0;
    *high = value(0, split);
    *low = value(split, n);
    return true;
}

// The mask token as read: the tokenizer leaves what follows an unquoted field up to the next
// comma, so a list that closes right after a mask leaves its ')' on it.
void TrimMask(char *mask) {
    size_t n = strlen(mask);
    while (n > 0 && (mask[n - 1] == ')' || mask[n - 1] == ' ' || mask[n - 1] == '\t')) mask[--n] = '\0';
}

char *MakeGroupText(uint32_t high, uint32_t low) {
    std::string text = high == 0 ? zv::Format("%x", low) : zv::Format("%x%08x", high, low);
    char *out = static_cast<char *>(AllocRetry(kGroupTextSize, "MatchBandsbyBandName malloc FAIL"));
    if (out) zv::CopyBounded(out, kGroupTextSize, text.c_str());
    return out;
}

char *SkipListSeparators(char *p) {
    while (*p == '(' || *p == ',' || *p == ' ') ++p;
    return p;
}

void Append(int *answer, int *count, int mode, const char *mask) {
    answer[++*count] = mode;
    zv::CopyBounded(g_bandTable[mode], ZV_BAND_ENTRY_SIZE, mask);
}

// An unknown mask: every regional group it has bands of becomes a mode. Late groups are still
// taken when the answer is nearly full, early ones leave room for them; no more than 19 in all.
bool AppendGroups(const char *mask, int *answer, int *count) {
    uint32_t high = 0, low = 0;
    ParseMask(mask, &high, &low);
    auto *groups = static_cast<BandGroup *>(
        AllocRetry(ZV_BAND_GROUP_COUNT * sizeof(BandGroup), "QueryAvailableBandMode: band_gp malloc failed."));
    if (!groups) return false;
    MatchBandsbyBandName(zv::dev::kBandNameList, static_cast<int>(high), static_cast<int>(low), groups);
    for (int k = 0; k < ZV_BAND_GROUP_COUNT; ++k) {
        const bool wanted = groups[k].high_mask != 0 || (groups[k].low_mask != 0 && *count < 14 + k);
        if (wanted && *count < kMaxModes && groups[k].mask_text) Append(answer, count, k, groups[k].mask_text);
        free(groups[k].mask_text);
    }
    free(groups);
    return true;
}

}  // namespace

namespace zv::dev {

const char *BandTableEntry(int mode) {
    if (mode < 0 || mode >= ZV_BAND_MODE_COUNT) return "";
    return g_bandTable[mode];
}

}  // namespace zv::dev

extern "C" {

void SubStringbyIndex(const char *text, int from, int to, char *out) {
    if (!out) return;
    out[0] = '\0';
    if (!text || from < 0) return;
    const int length = static_cast<int>(strlen(text));
    if (to > length - 1) to = length - 1;
    int n = 0;
    for (int i = from; i <= to; ++i) out[n++] = text[i];
    out[n] = '\0';
}

void FreeBandNodes(BandNode *head) {
    while (head) {
        BandNode *next = head->next;
        free(head->text);
        free(head);
        head = next;
    }
}

BandNode *Split(const char *text, const char *separator) {
    if (!text || !separator) {
        RLOGD("Split str is NULL!!");
        return nullptr;
    }
    const size_t length = strlen(text);
    const size_t sepLength = strlen(separator);
    BandNode *head = nullptr;
    BandNode **tail = &head;
    auto add = [&](size_t from, size_t count) {
        auto *node = static_cast<BandNode *>(AllocRetry(sizeof(BandNode), "Split node malloc failed."));
        char *copy = static_cast<char *>(AllocRetry(length + 1, "Split text malloc failed."));
        if (!node || !copy) {
            free(node);
            free(copy);
            return false;
        }
        if (count > 0) SubStringbyIndex(text, static_cast<int>(from), static_cast<int>(from + count - 1), copy);
        node->text = copy;
        *tail = node;
        tail = &node->next;
        return true;
    };
    bool ok = true;
    if (sepLength == 0) {
        ok = add(0, length);
    } else {
        size_t start = 0;
        for (const char *hit = strstr(text, separator); ok && hit; hit = strstr(text + start, separator)) {
            const size_t at = static_cast<size_t>(hit - text);
            ok = add(start, at - start);
            start = at + sepLength;
        }
        if (ok && start < length) ok = add(start, length - start);
    }
    if (!ok) {
        FreeBandNodes(head);
        return nullptr;
    }
    return head;
}

int MatchBandsbyStatus(const char *mask) {
    if (!mask) return -1;
    for (const KnownMask &known : kKnownMasks)
        if (strcasecmp(known.mask, mask) == 0) return known.mode;
    return -1;
}

void MatchBandsbyBandName(const char *names, int high, int low, BandGroup *groups) {
    RLOGD("MatchBandsbyBandName!!!");
    if (!groups) return;
    BandNode *nodes = Split(names, "/");
    uint32_t groupHigh[ZV_BAND_GROUP_COUNT] = {};
    uint32_t groupLow[ZV_BAND_GROUP_COUNT] = {};
    const uint32_t maskHigh = static_cast<uint32_t>(high);
    const uint32_t maskLow = static_cast<uint32_t>(low);
    for (BandNode *node = nodes; node; node = node->next) {
        const BandBits *band = BandByName(node->text);
        if (!band) continue;
        node->high_mask = static_cast<int>(band->high);
        node->low_mask = static_cast<int>(band->low);
        uint32_t addHigh = 0, addLow = 0;
        switch (band->rule) {
            case BandRule::kAnyBit:
                if ((maskHigh & band->high) == 0 && (maskLow & band->low) == 0) continue;
                addHigh = band->high;
                addLow = band->low;
                break;
            case BandRule::kSubset:
                addLow = maskLow & band->low;
                break;
            case BandRule::kAllBits:
                if ((maskLow & band->low) != band->low) continue;
                addLow = band->low;
                break;
        }
        for (int k = 0; k < ZV_BAND_GROUP_COUNT; ++k) {
            if (!GroupCollects(k, band->name)) continue;
            groupHigh[k] |= addHigh;
            groupLow[k] |= addLow;
        }
    }
    for (int k = 0; k < ZV_BAND_GROUP_COUNT; ++k) {
        groups[k].high_mask = static_cast<int>(groupHigh[k]);
        groups[k].low_mask = static_cast<int>(groupLow[k]);
        groups[k].mask_text = nullptr;
        if (groupHigh[k] != 0 || groupLow[k] != 0) groups[k].mask_text = MakeGroupText(groupHigh[k], groupLow[k]);
    }
    if (!nodes) RLOGD("The head_node is empty !!!");
    FreeBandNodes(nodes);
}

char *FindBandPosition(RilMessage *message, ATResponse *response) {
    if (!message || !message->text || !response || !response->p_intermediates ||
        !response->p_intermediates->line)
        return nullptr;
    char *line = strchr(response->p_intermediates->line, ':');
    if (!line) return nullptr;
    ++line;
    while (*line == ' ') {
        RLOGD("have space");
        ++line;
    }
    RLOGD("FindBand  line  is %s", LogSafe(line).c_str());
    // ^SYSCFGEX: (<acqorder list>),((<band>,"<name>"),...),...
    // ^SYSCFG: (<mode list>),(<acqorder range>),((<band>,"<name>"),...),...
    int wanted;
    if (strcmp(message->text, "AT^SYSCFGEX=?") == 0) {
        wanted = 2;
    } else if (strcmp(message->text, "AT^SYSCFG=?") == 0) {
        wanted = 3;
    } else {
        return line;
    }
    int depth = 0;
    int groups = 0;
    for (char *p = line; *p; ++p) {
        if (*p == '"') {
            // Names are quoted; a parenthesis inside one is text.
            char *close = strchr(p + 1, '"');
            if (!close) return nullptr;
            p = close;
        } else if (*p == '(') {
            if (depth++ == 0 && ++groups == wanted) return p + 1;
        } else if (*p == ')' && depth > 0) {
            --depth;
        }
    }
    return nullptr;
}

int QueryAvailableBandMode(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("QueryAvailableBandMode: input p_message is NULL.");
        return 0;
    }
    if (!message->data) return 0;
    memset(g_bandTable, 0, sizeof g_bandTable);
    char *cursor = FindBandPosition(message, response);
    if (!cursor) {
        RLOGD("QueryAvailableBandMode: FindBandPosition is NULL.");
        return 0;
    }
    int *answer = static_cast<int *>(message->data);
    int count = 0;
    while (count < kMaxModes) {
        if (cursor) cursor = SkipListSeparators(cursor);
        char *mask = nullptr;
        if (at_tok_nextstr(&cursor, &mask) < 0) {
            RLOGD("ERROR!!! band_status is %s", LogSafe(mask).c_str());
            return 0;
        }
        TrimMask(mask);
        RLOGD("QueryAvailableBandMode: band_status  is %s", LogSafe(mask).c_str());
        // The first range after the band list, "(0-3)" or "(0-2)": the list has ended.
        if (strchr(mask, '-')) break;
        char *name = nullptr;
        if (at_tok_nextstr(&cursor, &name) < 0) {
            RLOGD("QueryAvailableBandMode: ERROR!!! band_name is %s", LogSafe(name).c_str());
            return 0;
        }
        RLOGD("QueryAvailableBandMode: band_name  is %s", LogSafe(name).c_str());
        const int mode = MatchBandsbyStatus(mask);
        if (mode >= 0) {
            RLOGD("MatchBandsbyStatus!!!");
            Append(answer, &count, mode, mask);
        } else if (!AppendGroups(mask, answer, &count)) {
            return 0;
        }
    }
    answer[0] = count + 1;
    return 1;
}

}  // extern "C"
