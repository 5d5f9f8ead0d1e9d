// Hex and UCS-2 helpers for the codec tests, written apart from the code under test.
#ifndef ZORVIK_TESTS_CODEC_TEST_UTIL_H
#define ZORVIK_TESTS_CODEC_TEST_UTIL_H

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace codec_test {

inline std::string ToHex(const uint8_t *p, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += {kDigits[p[i] >> 4], kDigits[p[i] & 15]};
    return s;
}
inline std::string ToHex(const std::vector<uint8_t> &v) {
    return ToHex(v.data(), v.size());
}

inline const uint16_t *Units(const std::u16string &s) {
    return reinterpret_cast<const uint16_t *>(s.data());
}
inline std::u16string FromUnits(const uint16_t *p, int n) {
    return n > 0 ? std::u16string(reinterpret_cast<const char16_t *>(p), static_cast<size_t>(n)) : std::u16string();
}

}  // namespace codec_test

#endif
