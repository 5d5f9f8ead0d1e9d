// Drives the SIM service's unsolicited lines ("^STIN:", "+CUSATP:", "+CUSATEND", "^SIMST:",
// "*PSSIMSTAT:") and the proactive command classification with arbitrary bodies.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include <zvril.h>

#include "sim/stk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    static const char *const kPrefixes[] = {"^STIN:", "+CUSATP:", "+CUSATEND", "^SIMST:", "*PSSIMSTAT:"};
    const char *prefix = kPrefixes[data[0] % (sizeof kPrefixes / sizeof kPrefixes[0])];
    std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    body = body.substr(0, body.find('\0'));
    std::string line = prefix + body;
    ZvRilSIMUnsolicited(line.c_str());
    zv::stk::ClassifyProactiveCommand(body.c_str());
    return 0;
}
