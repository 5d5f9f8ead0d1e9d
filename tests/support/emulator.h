// Tests of a cross build run under a user-mode emulator (scripts/test-armhf.sh runs the armhf
// build under qemu-arm and names it in ZV_TEST_EMULATOR). Programs of that build that a test
// starts itself must go through the same emulator: the host cannot execute them directly.
#ifndef ZORVIK_TESTS_SUPPORT_EMULATOR_H
#define ZORVIK_TESTS_SUPPORT_EMULATOR_H

#include <stdlib.h>

namespace zvtest {

// The emulator's path, or nullptr when the tests run natively.
inline const char *TestEmulator() {
    const char *e = getenv("ZV_TEST_EMULATOR");
    return e != nullptr && *e != '\0' ? e : nullptr;
}

}  // namespace zvtest

// Skips the current test under an emulator, for what only the emulator cannot do; the reason
// is printed with the skip.
#define ZV_SKIP_UNDER_EMULATOR(why)                                                      \
    do {                                                                                 \
        if (const char *zv_emulator_ = ::zvtest::TestEmulator())                         \
            GTEST_SKIP() << "not under " << zv_emulator_ << ": " << (why);              \
    } while (0)

#endif
