// Drives the "^DHCP:" parser with arbitrary answers (one or more lines) and converts every
// field it yields, as the interface configuration would.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "atchannel/atchannel.h"
#include "ps/ps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    auto *r = static_cast<ATResponse *>(calloc(1, sizeof(ATResponse)));
    r->success = 1;
    ATLine **tail = &r->p_intermediates;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        auto *line = static_cast<ATLine *>(calloc(1, sizeof(ATLine)));
        line->line = strdup(text.substr(start, end - start).c_str());
        *tail = line;
        tail = &line->p_next;
        start = end + 1;
    }
    char *out[4] = {};
    RilMessage m = {RIL_REQUEST_SETUP_DATA_CALL, nullptr, out};
    ATResponse *list[] = {r, nullptr};
    if (HandlePSMessage(&m, list) == 1) {
        for (char *field : out) free(hex_address_sting_to_network_string(field));
    }
    at_response_free(r);
    return 0;
}
