// The checked allocation of zvalloc.h.
#include "zvalloc.h"

#include <atomic>

#if defined(__cpp_exceptions) || defined(__EXCEPTIONS)
#error "the library is built with -fno-exceptions: see zvalloc.h and docs/integration.md"
#endif

namespace zv {
namespace {
std::atomic<int> g_failNext{0};
}

void *CheckedAlloc(size_t size) {
    int pending = g_failNext.load(std::memory_order_relaxed);
    while (pending > 0 && !g_failNext.compare_exchange_weak(pending, pending - 1)) {
    }
    if (pending > 0) return nullptr;
    return calloc(1, size == 0 ? 1 : size);
}

void FailNextAllocations(int n) {
    g_failNext.store(n > 0 ? n : 0);
}

}  // namespace zv
