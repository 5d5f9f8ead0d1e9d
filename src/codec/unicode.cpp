// UTF-8 (the framework's strings) and UCS-2 (16-bit units, big-endian on the wire).
//
// Units are UCS-2, not UTF-16 code points: a surrogate is one unit and travels as its own
// 3-byte sequence, which is how the platform's modified UTF-8 carries characters beyond
// U+FFFF. Four-byte UTF-8 therefore has no unit and ends a decoding.
#include "codec/codec.h"

namespace zv::codec {
namespace {

constexpr uint16_t kReplacement = 0xFFFD;

inline bool IsContinuation(uint8_t b) {
    return (b & 0xC0) == 0x80;
}

}  // namespace

int Utf8ToUnicode(const char *utf8, uint16_t *out, size_t count, size_t outSize) {
    if (!utf8 || !out) return 0;
    if (outSize > INT32_MAX) outSize = INT32_MAX;  // every count returned fits an int
    const auto *in = reinterpret_cast<const uint8_t *>(utf8);
    size_t i = 0;
    size_t n = 0;
    while (i < count) {
        const uint8_t lead = in[i++];
        uint16_t unit;
        if (lead < 0x80) {
            unit = lead;
        } else if ((lead & 0xE0) == 0xC0 || (lead & 0xF0) == 0xE0) {
            // A byte that should continue the sequence but does not is left for the next one,
            // and the cut-short character becomes U+FFFD rather than a made-up letter.
            const size_t want = (lead & 0xE0) == 0xC0 ? 1 : 2;
            uint32_t v = lead & (want == 1 ? 0x1F : 0x0F);
            size_t got = 0;
            while (got < want && i < count && IsContinuation(in[i])) {
                v = v << 6 | (in[i++] & 0x3F);
                ++got;
            }
            unit = got == want ? static_cast<uint16_t>(v) : kReplacement;
        } else {
            break;  // a stray continuation byte or a lead beyond the BMP: no unit for it
        }
        if (n == outSize) return -1;
        out[n++] = unit;
    }
    return static_cast<int>(n);
}

int UnicodeToUtf8(const uint16_t *in, char *out, size_t count, size_t outSize) {
    if (!in || !out) return 0;
    if (outSize > INT32_MAX) outSize = INT32_MAX;
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t u = in[i];
        const size_t len = u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (len > outSize - n) return -1;
        if (len == 1) {
            out[n++] = static_cast<char>(u);
        } else if (len == 2) {
            out[n++] = static_cast<char>(0xC0 | u >> 6);
            out[n++] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out[n++] = static_cast<char>(0xE0 | u >> 12);
            out[n++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return static_cast<int>(n);
}

}  // namespace zv::codec

int IsLittleEndian(void) {
    // Wire order is spelled out byte by byte everywhere, so the host's order never matters.
    return 1;
}

int Utf8ToUnicode(const char *utf8, uint16_t *out, int count) {
    if (count <= 0) return 0;
    const size_t n = static_cast<size_t>(count);
    return zv::codec::Utf8ToUnicode(utf8, out, n, n);
}

int UnicodeToUtf8(const uint16_t *in, char *out, int count) {
    if (count <= 0) return 0;
    const size_t n = static_cast<size_t>(count);
    return zv::codec::UnicodeToUtf8(in, out, n, zv::codec::Utf8Max(n));
}

int WidecharToByte(const uint16_t *in, uint8_t *out, int count) {
    if (!in || !out || count <= 0 || count > INT32_MAX / 2) return 0;
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        out[2 * i] = static_cast<uint8_t>(in[i] >> 8);
        out[2 * i + 1] = static_cast<uint8_t>(in[i]);
    }
    return 2 * count;
}

int BytesToWidechar(const uint8_t *in, uint16_t *out, int count) {
    if (!in || !out || count <= 0) return 0;
    const size_t units = static_cast<size_t>(count) / 2;
    for (size_t i = 0; i < units; ++i) out[i] = static_cast<uint16_t>(in[2 * i] << 8 | in[2 * i + 1]);
    return static_cast<int>(units);
}

int gsmDecode8bit(const uint8_t *in, uint16_t *out, int count) {
    if (!in || !out) return 0;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
    out[n] = 0;
    return static_cast<int>(n);
}
