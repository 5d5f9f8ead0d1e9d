// Arbitrary bytes as UTF-8: never read past count, and what decodes cleanly encodes back.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "codec/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    // libFuzzer's buffer is exactly size bytes and unterminated: an overread shows under ASan.
    const char *in = reinterpret_cast<const char *>(data);
    const int count = static_cast<int>(size);
    std::unique_ptr<uint16_t[]> units(new uint16_t[size ? size : 1]);
    const int n = Utf8ToUnicode(in, units.get(), count);
    if (n < 0 || n > count) __builtin_trap();

    std::unique_ptr<char[]> back(new char[zv::codec::Utf8Max(static_cast<size_t>(n)) + 1]);
    const int len = UnicodeToUtf8(units.get(), back.get(), n);
    if (len < 0 || static_cast<size_t>(len) > zv::codec::Utf8Max(static_cast<size_t>(n))) __builtin_trap();

    // Decoding stopped or replaced somewhere unless the input was plain UTF-8 of the BMP; when
    // no U+FFFD came out and everything was consumed, encoding gives the decoded units back.
    bool replaced = false;
    for (int i = 0; i < n; ++i) replaced |= units[static_cast<size_t>(i)] == 0xFFFD;
    if (!replaced) {
        std::unique_ptr<uint16_t[]> again(new uint16_t[static_cast<size_t>(len) + 1]);
        const int m = Utf8ToUnicode(back.get(), again.get(), len);
        if (m != n || memcmp(again.get(), units.get(), static_cast<size_t>(n) * 2) != 0) __builtin_trap();
    }

    // Every small output room: refused or fitting, never beyond.
    for (size_t room = 0; room < 4 && room <= size; ++room) {
        std::unique_ptr<uint16_t[]> small(new uint16_t[room ? room : 1]);
        const int r = zv::codec::Utf8ToUnicode(in, small.get(), size, room);
        if (r > static_cast<int>(room)) __builtin_trap();
    }
    return 0;
}
