/*
 * Access to the exported plain words from code that can race. The words stay plain ints in
 * the interface (an embedder reads them), but inside the library every access is a relaxed
 * atomic so that concurrent readers and writers are well defined.
 */
#ifndef ZORVIK_ZVSHARED_H
#define ZORVIK_ZVSHARED_H

#include <atomic>

namespace zv {

inline int Load(const int &word) { return std::atomic_ref<int>(const_cast<int &>(word)).load(std::memory_order_relaxed); }
inline void Store(int &word, int value) { std::atomic_ref<int>(word).store(value, std::memory_order_relaxed); }
// The radio state is published with release and read with acquire: whoever sees a new state
// also sees the module description and port names written before it.
inline int LoadAcquire(const int &word) {
    return std::atomic_ref<int>(const_cast<int &>(word)).load(std::memory_order_acquire);
}
inline void StoreRelease(int &word, int value) { std::atomic_ref<int>(word).store(value, std::memory_order_release); }
inline int Exchange(int &word, int value) { return std::atomic_ref<int>(word).exchange(value, std::memory_order_relaxed); }

}  // namespace zv

#endif
