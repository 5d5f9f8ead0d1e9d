/*
 * A word per thread, kept in a pthread key rather than in a thread_local. The library is loaded
 * with dlopen, where a thread_local lives in TLS that the loader allocates lazily per thread;
 * LeakSanitizer's exit-time scan of such blocks crashes for threads that touched them, and
 * older platform loaders handle it poorly too. A key costs one slot and never allocates.
 */
#ifndef ZORVIK_ZVTHREADWORD_H
#define ZORVIK_ZVTHREADWORD_H

#include <pthread.h>
#include <stdint.h>

#include <type_traits>

namespace zv {

template <typename T>
class ThreadWord {
    static_assert(sizeof(T) <= sizeof(uintptr_t) && (std::is_pointer_v<T> || std::is_integral_v<T>));

public:
    ThreadWord() { ok_ = pthread_key_create(&key_, nullptr) == 0; }
    ThreadWord(const ThreadWord &) = delete;
    ThreadWord &operator=(const ThreadWord &) = delete;

    T Get() const { return ok_ ? FromWord(reinterpret_cast<uintptr_t>(pthread_getspecific(key_))) : T{}; }
    void Set(T value) {
        if (ok_) pthread_setspecific(key_, reinterpret_cast<void *>(ToWord(value)));
    }

private:
    static uintptr_t ToWord(T v) {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<uintptr_t>(v);
        } else {
            return static_cast<uintptr_t>(v);
        }
    }
    static T FromWord(uintptr_t w) {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(w);
        } else {
            return static_cast<T>(w);
        }
    }

    pthread_key_t key_{};
    bool ok_ = false;
};

}  // namespace zv

#endif
