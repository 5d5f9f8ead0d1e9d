// Septet packing of 3GPP TS 23.038 6.1.2.1, least significant bits first, with the
// carriage-return padding of 6.1.2.3.1 that USSD and cell broadcast use: their length is
// given in octets, so spare bits must not read as an '@'.
#include <stdint.h>
#include <string.h>

#include <bit>

#include "codec/codec.h"

namespace zv::codec {
namespace {

constexpr uint8_t kCR = 0x0D;

// Eight septets fill seven octets exactly. A whole group is one 64-bit word, squeezed (or
// spread) in three steps of halving lanes rather than eight shifts; partial groups go byte
// by byte.
uint64_t LoadLE(const uint8_t *p, size_t n) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        memcpy(&v, p, n);
    } else {
        for (size_t j = 0; j < n; ++j) v |= static_cast<uint64_t>(p[j]) << (8 * j);
    }
    return v;
}

void StoreLE(uint8_t *p, uint64_t v, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        memcpy(p, &v, n);
    } else {
        for (size_t j = 0; j < n; ++j) p[j] = static_cast<uint8_t>(v >> (8 * j));
    }
}

inline void PackGroup(const uint8_t *s, uint8_t *o) {
    uint64_t v = LoadLE(s, 8) & 0x7F7F7F7F7F7F7F7FULL;
    v = (v & 0x007F007F007F007FULL) | ((v & 0x7F007F007F007F00ULL) >> 1);
    v = (v & 0x00003FFF00003FFFULL) | ((v & 0x3FFF00003FFF0000ULL) >> 2);
    v = (v & 0x000000000FFFFFFFULL) | ((v & 0x0FFFFFFF00000000ULL) >> 4);
    StoreLE(o, v, 7);
}

// wide: an eighth octet may be read (and is ignored); a 7-byte read costs a store-forward stall.
inline void UnpackGroup(const uint8_t *in, uint8_t *o, bool wide) {
    uint64_t v = wide ? LoadLE(in, 8) & 0x00FFFFFFFFFFFFFFULL : LoadLE(in, 7);
    v = (v & 0x000000000FFFFFFFULL) | ((v << 4) & 0x0FFFFFFF00000000ULL);
    v = (v & 0x00003FFF00003FFFULL) | ((v << 2) & 0x3FFF00003FFF0000ULL);
    v = (v & 0x007F007F007F007FULL) | ((v << 1) & 0x7F007F007F007F00ULL);
    StoreLE(o, v, 8);
}

}  // namespace

int CompressGsm7bit(const uint8_t *septets, uint8_t *out, size_t count, size_t outSize) {
    if (!septets || !out || count == 0) return 0;
    const size_t groups = count / 8;
    const size_t rest = count % 8;  // a partial group of r septets takes r octets
    // A text whose last character is a real CR on an octet boundary would lose it to the
    // padding rule on the far side: send a second CR, which TS 23.038 makes harmless.
    const bool extraCr = rest == 0 && (septets[count - 1] & 0x7F) == kCR;
    const size_t need = groups * 7 + rest + (extraCr ? 1 : 0);
    if (need > outSize || need > INT32_MAX) return -1;

    for (size_t g = 0; g < groups; ++g) PackGroup(septets + 8 * g, out + 7 * g);
    uint8_t *o = out + 7 * groups;
    if (rest) {
        // Seven septets leave 7 spare bits in their last octet: a CR there, not seven zeros.
        uint64_t v = rest == 7 ? static_cast<uint64_t>(kCR) << 49 : 0;
        const uint8_t *s = septets + 8 * groups;
        for (size_t j = 0; j < rest; ++j) v |= static_cast<uint64_t>(s[j] & 0x7F) << (7 * j);
        StoreLE(o, v, rest);
        o += rest;
    }
    if (extraCr) *o = kCR;
    return static_cast<int>(need);
}

int UncompressGsm7bit(const uint8_t *octets, uint8_t *out, size_t count, size_t outSize) {
    if (!out || outSize == 0) return !octets || count == 0 ? 0 : -1;
    out[0] = 0;
    if (!octets || count == 0) return 0;
    if (count > (SIZE_MAX - 1) / 8) return -1;
    size_t n = count * 8 / 7;
    if (n + 1 > outSize || n > INT32_MAX) return -1;

    const size_t groups = count / 7;
    const size_t rest = count % 7;  // r < 7 trailing octets hold r whole septets
    for (size_t g = 0; g < groups; ++g) UnpackGroup(octets + 7 * g, out + 8 * g, 7 * g + 8 <= count);
    if (rest) {
        const uint64_t v = LoadLE(octets + 7 * groups, rest);
        for (size_t j = 0; j < rest; ++j) out[8 * groups + j] = static_cast<uint8_t>((v >> (7 * j)) & 0x7F);
    }

    // Octets that end a group of seven end on a whole septet, which is either the 8k-th
    // character or the CR the sender put in the 7 spare bits after 8k-1 characters. A real
    // CR in that place was sent twice (see CompressGsm7bit), so a CR there is always padding.
    if (rest == 0 && out[n - 1] == kCR) {
        --n;
    } else if (rest == 1 && n > 8 && out[n - 1] == kCR && out[n - 2] == kCR) {
        // The second CR of such a pair: one of the two is the text.
        --n;
    }
    out[n] = 0;
    return static_cast<int>(n);
}

}  // namespace zv::codec

int CompressGsm7bit(const uint8_t *septets, uint8_t *out, int count) {
    if (count <= 0) return 0;
    const size_t n = static_cast<size_t>(count);
    return zv::codec::CompressGsm7bit(septets, out, n, zv::codec::PackedMax(n));
}

int UncompressGsm7bit(const uint8_t *octets, uint8_t *out, int count) {
    if (!out) return 0;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    return zv::codec::UncompressGsm7bit(octets, out, n, zv::codec::UnpackedMax(n));
}
