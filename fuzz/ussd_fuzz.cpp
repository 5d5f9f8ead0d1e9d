// Drives the "+CUSD:" report parser and decoder with arbitrary report bodies.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include <zvril.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string line = "+CUSD: " + std::string(reinterpret_cast<const char *>(data), size);
    ZvRilUSSDUnsolicited(line.c_str());
    return 0;
}
