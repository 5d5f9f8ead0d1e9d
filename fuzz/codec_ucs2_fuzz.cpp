// SIM alpha text (tag 80/81/82 hex) of any content and length to UTF-8.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <zorvik/host.h>

#include <vector>

#include "codec/codec.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Every call logs the text it cut; keep the fuzzer's own report readable.
    setenv("ZORVIK_LOG_FILE", "/dev/null", 0);
    zv::ReloadHostEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Exactly the room the C function promises to stay within, so ASan sees any overrun.
    std::vector<char> hex(data, data + size);
    hex.push_back('\0');
    std::vector<char> utf8(zv::codec::kSimAlphaUtf8Max);
    if (UCS2_to_UTF8(hex.data(), utf8.data()) == 0 && !memchr(utf8.data(), '\0', utf8.size())) __builtin_trap();

    // The sized form with every small room: a result always fits and is terminated.
    for (size_t room = 1; room < 8; ++room) {
        std::vector<char> small(room);
        if (zv::codec::UCS2_to_UTF8(hex.data(), small.data(), room) == 0 && !memchr(small.data(), '\0', room))
            __builtin_trap();
    }
    return 0;
}
