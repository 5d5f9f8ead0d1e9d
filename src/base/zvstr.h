/*
 * String helpers used across the library: one checked formatter for commands and one
 * bounded copy for the fixed buffers of the exported records.
 */
#ifndef ZORVIK_ZVSTR_H
#define ZORVIK_ZVSTR_H

#include <stddef.h>

#include <string>

#include "zvalloc.h"

namespace zv {

/* printf into a std::string; the format is checked by the compiler. */
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
/* The same into a CheckedAlloc buffer: null when memory has run out, for the callers that
   answer that themselves. */
CheckedText FormatOrNull(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

/* Copies at most size-1 bytes of src into dst and always terminates; returns false if cut. */
bool CopyBounded(char *dst, size_t size, const char *src);

/* True when s may be put inside a quoted AT argument: no quote and no control character. */
bool SafeForAtArgument(const char *s);

}  // namespace zv

#endif
