/*
 * How the library meets an allocation that fails.
 *
 * The library is built without exceptions (every build of it: CMake, the fuzz build, the
 * platform's; zvalloc.cpp refuses to compile otherwise), so no exception can leave an exported
 * function through code that expects none. Memory for the standard containers comes from
 * operator new: if it ever runs out there, std::bad_alloc finds no handler in this library or
 * in the radio daemon (platform code, built without exceptions too) and the runtime ends the
 * process; init restarts the daemon, which loads the library afresh. The buffers whose failure
 * the library answers itself (a request's formatted command text, the band-mode records) come
 * from CheckedAlloc, and the request is then completed with RIL_E_GENERIC_FAILURE after its
 * log line.
 */
#ifndef ZORVIK_ZVALLOC_H
#define ZORVIK_ZVALLOC_H

#include <stddef.h>
#include <stdlib.h>

#include <memory>

namespace zv {

/* size zeroed bytes from calloc, or nullptr when there are none: the caller checks. */
void *CheckedAlloc(size_t size);

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
/* A text from CheckedAlloc (null when it failed), freed with free(). */
using CheckedText = std::unique_ptr<char, FreeDeleter>;

/* Test hook, inert unless called: the next n calls of CheckedAlloc fail as if memory had run
   out (0 ends a pending injection). */
void FailNextAllocations(int n);

}  // namespace zv

#endif
