// Drives the "+CRSM:" answer parser and the FCP rewrites with arbitrary answers, and the FCP
// tag search with arbitrary token lists: nothing may be read or written outside the answer.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "sim/sim_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string body(reinterpret_cast<const char *>(data), size);
    body = body.substr(0, body.find('\0'));

    std::string line = "+CRSM: " + body;
    ATLine l = {nullptr, line.data()};
    ATResponse response = {1, nullptr, &l};
    RIL_SIM_IO_Response out = {0, 0, nullptr};
    RilMessage message = {RIL_REQUEST_SIM_IO, nullptr, &out};
    if (HandleSIMMessage(&message, &response) == 1 && out.simResponse) {
        std::string spn = out.simResponse;
        const size_t before = spn.size();
        if (zv::sim::RewriteSpnFcp(spn) && spn.size() != before) abort();
        std::string record = out.simResponse;
        if (zv::sim::ConvertRecordFcp(record) && record.size() != 30) abort();
        zv::sim::DeclaredFcpLength(out.simResponse);
    }
    free(out.simResponse);

    // The raw input as two-character tokens for the tag search.
    std::vector<std::string> tokens;
    for (size_t i = 0; i + 1 < body.size(); i += 2) tokens.push_back(body.substr(i, 2));
    std::vector<char *> pointers;
    for (std::string &t : tokens) pointers.push_back(t.data());
    char **array = pointers.data();
    int count = static_cast<int>(pointers.size());
    int at = isParameterMatch(&array, "80", count);
    if (at >= 0 && at < count && tokens[static_cast<size_t>(at)] != "80") abort();
    return 0;
}
