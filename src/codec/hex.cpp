// Hex text as modems send it (+CUSD strings, SIM records, PDUs) to bytes and back.
#include <string.h>

#include "codec/codec.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// -1 for anything that is not a hex digit, so callers can tell garbage from a 0 nibble.
int Nibble(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int hexCharToInt(int c) {
    int v = Nibble(c);
    return v < 0 ? 0 : v;
}

int hexStringToBytes(const char *hex, uint8_t *out, int max) {
    if (!hex) return -1;
    const size_t len = strlen(hex);
    const size_t bytes = len / 2 + len % 2;
    const size_t room = out && max > 0 ? static_cast<size_t>(max) : 0;
    for (size_t i = 0; i < bytes; ++i) {
        if (i >= room) return -1;
        // A lone last digit is the high nibble of a byte whose low nibble is 0.
        const int hi = Nibble(hex[2 * i]);
        const int lo = 2 * i + 1 < len ? Nibble(hex[2 * i + 1]) : 0;
        // Text that is not hex (a modem answering in its text character set, say) is refused
        // rather than read as zeros: the caller can then fall back instead of showing garbage.
        if (hi < 0 || lo < 0) return -1;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return static_cast<int>(bytes);  // bytes <= room <= INT_MAX here
}

int BytesToHexstring(const uint8_t *in, char *out, int count) {
    if (!out) return 0;
    if (!in || count <= 0 || count > INT32_MAX / 2) {
        out[0] = '\0';
        return 0;
    }
    const size_t n = static_cast<size_t>(count);
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = kHexDigits[in[i] >> 4];
        out[2 * i + 1] = kHexDigits[in[i] & 0x0F];
    }
    out[2 * n] = '\0';
    return 2 * count;
}
