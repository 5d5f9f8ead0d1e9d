// Signal lines of every form, as answers (parser) and as reports (the unsolicited handlers,
// which parse a bounded copy on the stack).
#include <string.h>

#include "mm/mm.h"
#include "mm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    zvfuzz::Input input(data, size);
    RIL_SignalStrength_v6 record;
    memset(&record, 0xff, sizeof record);
    RilMessage m{RIL_REQUEST_SIGNAL_STRENGTH, nullptr, &record};
    HandleNetworkMessage(&m, input.list());
    for (const auto &text : input.texts()) {
        ZvRilMMUnsolicited(text->data());
        UnsolicitedSignalStrength(text->data());
        UnsolicitedCdmaSignalStrength(text->data());
    }
    return 0;
}
