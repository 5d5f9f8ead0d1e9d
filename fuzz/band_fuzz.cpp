// Drives the band list parser with arbitrary answer lines in both command dialects. The
// answer and the band table are checked to stay within their bounds after every parse.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "dev/band_mode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::string command = (data[0] & 1) ? "AT^SYSCFG=?" : "AT^SYSCFGEX=?";
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    ATLine line = {nullptr, text.data()};
    ATResponse response = {1, nullptr, &line};
    int answer[ZV_BAND_ANSWER_INTS + 1] = {};
    answer[ZV_BAND_ANSWER_INTS] = 0x5a5a5a5a;  // a guard after the answer
    RilMessage message = {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, command.data(), answer};
    if (QueryAvailableBandMode(&message, &response) == 1 && (answer[0] < 1 || answer[0] > ZV_BAND_ANSWER_INTS))
        abort();
    if (answer[ZV_BAND_ANSWER_INTS] != 0x5a5a5a5a) abort();
    for (int mode = 0; mode < ZV_BAND_MODE_COUNT; ++mode)
        if (strnlen(zv::dev::BandTableEntry(mode), ZV_BAND_ENTRY_SIZE) >= ZV_BAND_ENTRY_SIZE) abort();
    return 0;
}
