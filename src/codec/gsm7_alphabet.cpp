// The GSM 7-bit alphabets of 3GPP TS 23.038 (default, extension, Spanish, Portuguese and
// Turkish shift tables) and the conversions between septets and UCS-2 units through them.
#include <array>

#include "codec/codec.h"

namespace zv::codec {
namespace {

using Table = std::array<uint16_t, 128>;
constexpr uint16_t kEmpty = 0xFFFF;
constexpr uint8_t kEscape = 0x1B;
constexpr uint16_t kSpace = 0x0020;

// TS 23.038 6.2.1; 0x1B is the escape code and holds U+001B.
constexpr Table kDefault = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC,  // @ £ $ ¥ è é ù ì
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5,  // ò Ç LF Ø ø CR Å å
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,  // Δ _ Φ Γ Λ Ω Π Ψ
    0x03A3, 0x0398, 0x039E, 0x001B, 0x00C6, 0x00E6, 0x00DF, 0x00C9,  // Σ Θ Ξ ESC Æ æ ß É
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027,  //   ! " # ¤ % & '
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // ( ) * + , - . /
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 0-7
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 8 9 : ; < = > ?
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // ¡ A-G
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // H-O
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // P-W
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,  // X Y Z Ä Ö Ñ Ü §
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // ¿ a-g
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // h-o
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // p-w
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,  // x y z ä ö ñ ü à
};

struct Entry {
    uint8_t code;
    uint16_t unit;
};

// The extension characters a text may use and still be sent as 7-bit. The last pair is the
// list's end mark; GSM_7BitAlphabet counts it too, so U+FFFF passes as 7-bit text (and then
// encodes to nothing). Unlike TS 23.038 (form feed at 0x0A, 0x1B reserved for another table)
// 0x0A decodes as a space and 0x1B as a line feed; no text we send uses either, since space
// and line feed encode through the default table.
constexpr Entry kExtensionList[] = {
    {0x0A, 0x0020}, {0x14, 0x005E}, {0x1B, 0x000A}, {0x28, 0x007B}, {0x29, 0x007D}, {0x2F, 0x005C},
    {0x3C, 0x005B}, {0x3D, 0x007E}, {0x3E, 0x005D}, {0x40, 0x007C}, {0x65, 0x20AC}, {0xFF, 0xFFFF},
};

template <size_t N>
constexpr Table Patch(Table base, const Entry (&changes)[N]) {
    for (const Entry &e : changes)
        if (e.code < base.size()) base[e.code] = e.unit;
    return base;
}

constexpr Table EmptyTable() {
    Table t{};
    for (auto &u : t) u = kEmpty;
    return t;
}

constexpr Table kDefaultExtension = Patch(EmptyTable(), kExtensionList);

// Language 4, Spanish: single shift only, the default alphabet stays locked.
constexpr Entry kSpanishSingle[] = {
    {0x09, 0x00E7}, {0x0A, 0x000A}, {0x14, 0x005E}, {0x1B, 0x0020}, {0x28, 0x007B}, {0x29, 0x007D}, {0x2F, 0x005C},
    {0x3C, 0x005B}, {0x3D, 0x007E}, {0x3E, 0x005D}, {0x40, 0x007C}, {0x41, 0x00C1}, {0x49, 0x00CD}, {0x4F, 0x00D3},
    {0x55, 0x00DA}, {0x61, 0x00E1}, {0x65, 0x20AC}, {0x69, 0x00ED}, {0x6F, 0x00F3}, {0x75, 0x00FA},
};

// Language 8, Portuguese.
constexpr Entry kPortugueseLocking[] = {
    {0x04, 0x00EA}, {0x06, 0x00FA}, {0x07, 0x00ED}, {0x08, 0x00F3}, {0x09, 0x00E7}, {0x0B, 0x00D4}, {0x0C, 0x00F4},
    {0x0E, 0x00C1}, {0x0F, 0x00E1}, {0x12, 0x00AA}, {0x13, 0x00C7}, {0x14, 0x00C0}, {0x15, 0x221E}, {0x16, 0x005E},
    {0x17, 0x005C}, {0x18, 0x20AC}, {0x19, 0x00D3}, {0x1A, 0x007C}, {0x1C, 0x00C2}, {0x1D, 0x00E2}, {0x1E, 0x00CA},
    {0x24, 0x00BA}, {0x40, 0x00CD}, {0x5B, 0x00C3}, {0x5C, 0x00D5}, {0x5D, 0x00DA}, {0x60, 0x007E},
    {0x7B, 0x00E3}, {0x7C, 0x00F5}, {0x7D, 0x0060},
};
constexpr Entry kPortugueseSingle[] = {
    {0x05, 0x00EA}, {0x09, 0x00E7}, {0x0A, 0x000A}, {0x0B, 0x00D4}, {0x0C, 0x00F4}, {0x0E, 0x00C1}, {0x0F, 0x00E1},
    {0x12, 0x03A6}, {0x13, 0x0393}, {0x14, 0x005E}, {0x15, 0x03A9}, {0x16, 0x03A0}, {0x17, 0x03A8}, {0x18, 0x03A3},
    {0x19, 0x0398}, {0x1B, 0x0020}, {0x1F, 0x00CA}, {0x28, 0x007B}, {0x29, 0x007D}, {0x2F, 0x005C}, {0x3C, 0x005B},
    {0x3D, 0x007E}, {0x3E, 0x005D}, {0x40, 0x007C}, {0x41, 0x00C0}, {0x49, 0x00CD}, {0x4F, 0x00D3}, {0x55, 0x00DA},
    {0x5B, 0x00C3}, {0x5C, 0x00D5}, {0x61, 0x00C2}, {0x65, 0x20AC}, {0x69, 0x00ED}, {0x6F, 0x00F3}, {0x75, 0x00FA},
    {0x7B, 0x00E3}, {0x7C, 0x00F5}, {0x7F, 0x00E2},
};

// Language 12, Turkish.
constexpr Entry kTurkishLocking[] = {
    {0x04, 0x20AC}, {0x07, 0x0131}, {0x0B, 0x011E}, {0x0C, 0x011F},
    {0x1C, 0x015E}, {0x1D, 0x015F}, {0x40, 0x0130}, {0x60, 0x00E7},
};
constexpr Entry kTurkishSingle[] = {
    {0x0A, 0x000A}, {0x0D, 0x001D}, {0x14, 0x005E}, {0x1B, 0x0020}, {0x28, 0x007B}, {0x29, 0x007D}, {0x2F, 0x005C},
    {0x3C, 0x005B}, {0x3D, 0x007E}, {0x3E, 0x005D}, {0x40, 0x007C}, {0x47, 0x011E}, {0x49, 0x0130}, {0x53, 0x015E},
    {0x63, 0x00E7}, {0x65, 0x20AC}, {0x67, 0x011F}, {0x69, 0x0131}, {0x73, 0x015F},
};

constexpr Table kSpanishSingleTable = Patch(EmptyTable(), kSpanishSingle);
constexpr Table kPortugueseLockingTable = Patch(kDefault, kPortugueseLocking);
constexpr Table kPortugueseSingleTable = Patch(EmptyTable(), kPortugueseSingle);
constexpr Table kTurkishLockingTable = Patch(kDefault, kTurkishLocking);
constexpr Table kTurkishSingleTable = Patch(EmptyTable(), kTurkishSingle);

// Language codes of a TS 23.038 coding-group-0 data coding scheme.
struct Language {
    int code;
    const Table *locking;
    const Table *single;
};
constexpr Language kLanguages[] = {
    {4, &kDefault, &kSpanishSingleTable},
    {8, &kPortugueseLockingTable, &kPortugueseSingleTable},
    {12, &kTurkishLockingTable, &kTurkishSingleTable},
};

constexpr Language LanguageFor(int code) {
    for (const Language &l : kLanguages)
        if (l.code == code) return l;
    return {code, &kDefault, &kDefaultExtension};
}

// Encoding direction, for the units below U+0100 that carry almost every text: the default
// code, or kInExtension | extension code, or kNone. The default table wins over the extension,
// so space and line feed are never escaped.
constexpr uint8_t kNone = 0xFF;
constexpr uint8_t kInExtension = 0x80;

constexpr std::array<uint8_t, 256> MakeLatinReverse() {
    std::array<uint8_t, 256> r{};
    for (auto &c : r) c = kNone;
    for (int code = 0x7F; code >= 0; --code) {
        uint16_t u = kDefaultExtension[static_cast<size_t>(code)];
        if (u < r.size()) r[u] = static_cast<uint8_t>(kInExtension | code);
    }
    for (int code = 0x7F; code >= 0; --code) {
        uint16_t u = kDefault[static_cast<size_t>(code)];
        if (u < r.size()) r[u] = static_cast<uint8_t>(code);
    }
    return r;
}
constexpr std::array<uint8_t, 256> kLatinReverse = MakeLatinReverse();

constexpr int Find(const Table &t, uint16_t unit) {
    for (size_t code = 0; code < t.size(); ++code)
        if (t[code] == unit) return static_cast<int>(code);
    return -1;
}

// Septet(s) for one unit: the code in *code and whether it needs the escape.
bool Encode(uint16_t unit, uint8_t *code, bool *escaped) {
    if (unit < kLatinReverse.size()) {
        uint8_t r = kLatinReverse[unit];
        if (r == kNone) return false;
        *escaped = (r & kInExtension) != 0;
        *code = r & 0x7F;
        return true;
    }
    if (unit == kEmpty) return false;  // marks empty entries, never a character
    int c = Find(kDefault, unit);
    *escaped = c < 0;
    if (c < 0) c = Find(kDefaultExtension, unit);
    if (c < 0) return false;
    *code = static_cast<uint8_t>(c);
    return true;
}

}  // namespace

int UnicodeToGsm7bit(const uint16_t *in, uint8_t *out, size_t count, size_t outSize) {
    if (!in || !out) return 0;
    if (outSize > INT32_MAX) outSize = INT32_MAX;  // every count returned fits an int
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        uint8_t code;
        bool escaped;
        if (!Encode(in[i], &code, &escaped)) continue;
        if (n + (escaped ? 2 : 1) > outSize) return -1;
        if (escaped) out[n++] = kEscape;
        out[n++] = code;
    }
    return static_cast<int>(n);
}

int Gsm7bitToUnicodeExt(const uint8_t *in, uint16_t *out, size_t count, int language, size_t outSize) {
    if (!in || !out) return 0;
    if (outSize > INT32_MAX) outSize = INT32_MAX;
    const Language lang = LanguageFor(language);
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        // Raw 8-bit data is sometimes fed here one byte per character: the high bit is not
        // part of a septet and must not index past the 128-entry tables.
        uint8_t code = in[i] & 0x7F;
        uint16_t unit;
        if (code == kEscape) {
            // A pair is one character; an escape with nothing after it announces a character
            // we cannot know, shown like an empty extension entry.
            unit = kSpace;
            if (i + 1 < count) {
                uint16_t ext = (*lang.single)[in[++i] & 0x7F];
                if (ext != kEmpty) unit = ext;
            }
        } else {
            unit = (*lang.locking)[code];
        }
        if (n == outSize) return -1;
        out[n++] = unit;
    }
    return static_cast<int>(n);
}

}  // namespace zv::codec

int GSM_7BitAlphabet(int unit) {
    if (unit < 0 || unit > 0xFFFF) return 0;
    const uint16_t u = static_cast<uint16_t>(unit);
    if (u < zv::codec::kLatinReverse.size()) {
        uint8_t r = zv::codec::kLatinReverse[u];
        if (r != zv::codec::kNone) return 1;
    } else if (zv::codec::Find(zv::codec::kDefault, u) >= 0) {
        return 1;
    }
    for (const auto &e : zv::codec::kExtensionList)
        if (e.unit == u) return 1;
    return 0;
}

int UnicodeToGsm7bit(const uint16_t *in, uint8_t *out, int count) {
    if (count <= 0) return 0;
    const size_t n = static_cast<size_t>(count);
    return zv::codec::UnicodeToGsm7bit(in, out, n, zv::codec::SeptetsMax(n));
}

int Gsm7bitToUnicode(const uint8_t *in, uint16_t *out, unsigned count) {
    return Gsm7bitToUnicodeExt(in, out, count, 0);
}

int Gsm7bitToUnicodeExt(const uint8_t *in, uint16_t *out, unsigned count, int language) {
    return zv::codec::Gsm7bitToUnicodeExt(in, out, count, language, count);
}
