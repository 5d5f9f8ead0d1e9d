// Packed 7-bit text from the network (USSD, cell broadcast) through unpacking and every
// language's tables; unpacking what we pack gives the same septets back.
#include <stdint.h>
#include <string.h>

#include <memory>

#include "codec/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    const int count = static_cast<int>(size);
    const size_t room = zv::codec::UnpackedMax(size);
    std::unique_ptr<uint8_t[]> septets(new uint8_t[room]);
    const int n = UncompressGsm7bit(data, septets.get(), count);
    if (n < 0 || static_cast<size_t>(n) >= room || septets[static_cast<size_t>(n)] != 0) __builtin_trap();
    for (int i = 0; i < n; ++i)
        if (septets[static_cast<size_t>(i)] > 0x7F) __builtin_trap();

    const size_t ns = static_cast<size_t>(n);
    std::unique_ptr<uint16_t[]> units(new uint16_t[ns ? ns : 1]);
    for (int language : {0, 4, 8, 12, 15, -1}) {
        const int u = Gsm7bitToUnicodeExt(septets.get(), units.get(), static_cast<unsigned>(n), language);
        if (u < 0 || u > n) __builtin_trap();
    }
    // Raw bytes straight into the tables, as for an 8-bit coded report read as 7-bit.
    std::unique_ptr<uint16_t[]> raw(new uint16_t[size ? size : 1]);
    if (Gsm7bitToUnicode(data, raw.get(), static_cast<unsigned>(size)) > count) __builtin_trap();

    std::unique_ptr<uint8_t[]> packed(new uint8_t[zv::codec::PackedMax(ns)]);
    const int m = CompressGsm7bit(septets.get(), packed.get(), n);
    if (m < 0 || static_cast<size_t>(m) > zv::codec::PackedMax(ns)) __builtin_trap();
    std::unique_ptr<uint8_t[]> again(new uint8_t[zv::codec::UnpackedMax(static_cast<size_t>(m))]);
    const int n2 = UncompressGsm7bit(packed.get(), again.get(), m);
    if (n2 != n || memcmp(again.get(), septets.get(), ns) != 0) __builtin_trap();
    return 0;
}
