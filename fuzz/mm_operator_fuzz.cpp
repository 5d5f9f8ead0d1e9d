// Operator answers in three formats (UCS-2 names among them), the selection mode and network
// scans with any number of groups, quotes and parentheses.
#include <stdlib.h>
#include <string.h>

#include "codec/codec.h"
#include "mm/mm.h"
#include "mm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    {
        zvfuzz::Input input(data, size);
        char *names[3] = {};
        char decoded[2 * zv::codec::kSimAlphaUtf8Max];
        RilMessage m{RIL_REQUEST_OPERATOR, decoded, names};
        if (HandleNetworkMessage(&m, input.list()) == 1) {
            for (char *name : names) {
                if (name) (void)strlen(name);
            }
        }
    }
    {
        zvfuzz::Input input(data, size);
        NetworkList list{0, nullptr};
        RilMessage m{RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, nullptr, &list};
        if (HandleNetworkMessage(&m, input.list()) == 1) {
            for (size_t i = 0; i < list.length / sizeof(char *); ++i) {
                if (list.networks[i]) (void)strlen(list.networks[i]);
            }
        }
        free(list.networks);
    }
    zvfuzz::Input input(data, size);
    int mode = 0;
    RilMessage m{RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE, nullptr, &mode};
    HandleNetworkMessage(&m, input.list());
    return 0;
}
