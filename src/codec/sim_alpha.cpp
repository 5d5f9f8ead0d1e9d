// SIM alpha text (3GPP TS 31.102 annex A) in hex, as SIM records and operator names carry it:
// tag 80 is plain UCS-2; tags 81 and 82 give a base unit and then one byte per character,
// which is either ASCII or an offset from the base. Unused bytes of a record are FF.
#include <string.h>

#include "codec/codec.h"
#include "zvlog.h"

namespace {

// The F test folds case with | 0x20 ('F' -> 'f'); a terminator never matches, so a group is
// never read past the end of its string.
bool IsFGroup(const char *p, size_t width) {
    for (size_t k = 0; k < width; ++k)
        if ((p[k] | 0x20) != 'f') return false;
    return true;
}

void CutAtGroup(char *dst, const char *src, int count, size_t width) {
    const size_t limit = src && count > 0 ? strnlen(src, static_cast<size_t>(count)) : 0;
    size_t len = limit;
    for (size_t i = 0; i < limit; i += width) {
        if (IsFGroup(src + i, width)) {
            len = i;
            break;
        }
    }
    if (len) memcpy(dst, src, len);
    dst[len] = '\0';
}

enum class Tag { kUcs2, kBase7, kBase16, kUnknown };

Tag ReadTag(const char *hex) {
    if (hex[0] != '8') return Tag::kUnknown;
    switch (hex[1]) {
        case '0':
            return Tag::kUcs2;
        case '1':
            return Tag::kBase7;
        case '2':
            return Tag::kBase16;
        default:
            return Tag::kUnknown;
    }
}

}  // namespace

void str_cut_ffff(char *dst, const char *src, int count) {
    if (!dst) return;
    CutAtGroup(dst, src, count, 4);
    RLOGD("str_cut_ffff: dst=%s", dst);
}

void str_cut_ff(char *dst, const char *src, int count) {
    if (!dst) return;
    CutAtGroup(dst, src, count, 2);
    RLOGD("str_cut_ff: dst=%s", dst);
}

int ucs2_8182_to_unicode(int base, uint16_t *out, const uint8_t *in, int count) {
    if (!out || !in) return base;
    for (int i = 0; i < count; ++i) out[i] = in[i] & 0x80 ? static_cast<uint16_t>(base + (in[i] & 0x7F)) : in[i];
    return base;
}

namespace zv::codec {

int UCS2_to_UTF8(const char *hex, char *utf8, size_t outSize) {
    if (!hex || !utf8 || outSize == 0) return -1;
    utf8[0] = '\0';
    const Tag tag = ReadTag(hex);
    if (tag == Tag::kUnknown) return -1;

    // Of the 127 digits the buffer holds, only whole characters are taken: 124 digits (31
    // units) after tag 80, 126 (63 bytes) after tag 81 or 82. A longer text is cut there
    // rather than refused, so an overlong name still shows its beginning.
    char cut[kSimAlphaHexMax + 1];
    if (tag == Tag::kUcs2) {
        str_cut_ffff(cut, hex + 2, static_cast<int>(kSimAlphaHexMax / 4 * 4));
    } else {
        const char *body = strnlen(hex, 4) == 4 ? hex + 4 : "";  // past the length byte
        str_cut_ff(cut, body, static_cast<int>(kSimAlphaHexMax / 2 * 2));
    }

    uint8_t bytes[(kSimAlphaHexMax + 1) / 2];
    const int nbytes = hexStringToBytes(cut, bytes, static_cast<int>(sizeof bytes));
    if (nbytes < 0) return -1;

    uint16_t units[sizeof bytes];
    int nunits = 0;
    if (tag == Tag::kUcs2) {
        nunits = BytesToWidechar(bytes, units, nbytes);
    } else {
        // 81: one byte of base, bits 15..7; 82: two bytes of base. No base, no text.
        const int baseLen = tag == Tag::kBase7 ? 1 : 2;
        if (nbytes > baseLen) {
            const int base = tag == Tag::kBase7 ? bytes[0] << 7 : bytes[0] << 8 | bytes[1];
            nunits = nbytes - baseLen;
            ucs2_8182_to_unicode(base, units, bytes + baseLen, nunits);
        }
    }

    const int len = UnicodeToUtf8(units, utf8, static_cast<size_t>(nunits), outSize - 1);
    if (len < 0) {
        utf8[0] = '\0';
        return -1;
    }
    utf8[len] = '\0';
    return 0;
}

}  // namespace zv::codec

int UCS2_to_UTF8(const char *hex, char *utf8) {
    return zv::codec::UCS2_to_UTF8(hex, utf8, zv::codec::kSimAlphaUtf8Max);
}
