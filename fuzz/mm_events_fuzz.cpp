// Every network report line: registration and mode changes, signal, network time, IMS.
#include "mm/mm.h"
#include "mm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    zvfuzz::Input input(data, size);
    for (const auto &text : input.texts()) {
        ZvRilMMUnsolicited(text->data());
        UnsolicitedMode(text->data());
    }
    return 0;
}
