// The formatting and bounded-copy helpers of zvstr.h.
#include "zvstr.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace zv {

std::string Format(const char *fmt, ...) {
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    va_start(ap, fmt);
    vsnprintf(out.data(), out.size() + 1, fmt, ap);
    va_end(ap);
    return out;
}

CheckedText FormatOrNull(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) return nullptr;
    CheckedText out(static_cast<char *>(CheckedAlloc(static_cast<size_t>(n) + 1)));
    if (!out) return nullptr;
    va_start(ap, fmt);
    vsnprintf(out.get(), static_cast<size_t>(n) + 1, fmt, ap);
    va_end(ap);
    return out;
}

bool CopyBounded(char *dst, size_t size, const char *src) {
    if (!dst || size == 0) return false;
    if (!src) src = "";
    size_t n = strnlen(src, size);
    bool fits = n < size;
    if (!fits) n = size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
    return fits;
}

bool SafeForAtArgument(const char *s) {
    if (!s) return false;
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '"' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace zv
