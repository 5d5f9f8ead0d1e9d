// Registration answers: +CREG/+CGREG in any layout with ^SYSINFO/^SYSINFOEX, and the CDMA
// pair ^SYSINFO + ^CURRSID, through the router as the request handlers use it.
#include <stdlib.h>

#include "mm/mm.h"
#include "mm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int id : {RIL_REQUEST_VOICE_REGISTRATION_STATE, RIL_REQUEST_DATA_REGISTRATION_STATE}) {
        zvfuzz::Input input(data, size);
        RegistrationInfo info{};
        RilMessage m{id, nullptr, &info};
        HandleNetworkMessage(&m, input.list());
    }
    zvfuzz::Input input(data, size);
    RilMessage m{RIL_REQUEST_VOICE_REGISTRATION_STATE, nullptr, nullptr};
    for (ATResponse **r = input.list(); *r; ++r) {
        free(GetSubmodeBySysinfo(&m, *r));
        free(GetSubmodeBySysinfoex(&m, *r));
    }
    return 0;
}
