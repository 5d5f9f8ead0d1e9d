// Preferred-mode readings in the three dialects, the IMS answer and the packet-data activity.
#include "mm/mm.h"
#include "mm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int id : {RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE, RIL_REQUEST_IMS_REGISTRATION_STATE, RIL_REQUEST_SCREEN_STATE}) {
        zvfuzz::Input input(data, size);
        int value = 0;
        RilMessage m{id, nullptr, &value};
        HandleNetworkMessage(&m, input.list());
    }
    return 0;
}
