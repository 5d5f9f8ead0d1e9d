// Drives the call list parser with arbitrary answers: each input line is one row of "+CLCC:"
// (split on line feeds), and every accepted record must point inside the answer.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "cc/cc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> rows;
    size_t start = 0;
    while (start <= text.size() && rows.size() < 40) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        rows.push_back("+CLCC: " + text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<ATLine> lines(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        lines[i].line = rows[i].data();
        lines[i].p_next = i + 1 < rows.size() ? &lines[i + 1] : nullptr;
    }
    ATResponse response = {1, nullptr, lines.empty() ? nullptr : lines.data()};
    size_t slots = rows.size() < zv::cc::kMaxRows ? rows.size() : zv::cc::kMaxRows;
    std::vector<RIL_Call> calls(slots);
    for (RIL_Call &c : calls) c.index = -1;
    RilMessage message = {RIL_REQUEST_GET_CURRENT_CALLS, nullptr, calls.data()};
    HandleVoiceMessage(&message, &response);
    for (const RIL_Call &c : calls) {
        if (c.index == -1) continue;
        if (c.state < RIL_CALL_ACTIVE || c.state > RIL_CALL_WAITING || !c.isVoice) abort();
        if (c.number && strlen(c.number) > zv::cc::kMaxNumberLength) abort();
    }
    // The same bytes as a call event.
    std::string event = text.substr(0, text.find('\n'));
    ZvRilCCUnsolicited(event.c_str());
    ZvRilCCUnsolicited(("^CEND: " + event).c_str());
    return 0;
}
