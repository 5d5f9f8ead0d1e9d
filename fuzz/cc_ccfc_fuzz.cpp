// Drives the call forwarding and call waiting answer parsers with arbitrary answers, one
// "+CCFC:"/"+CCWA:" row per input line.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "cc/cc.h"

namespace {

std::vector<std::string> Rows(const std::string &text, const char *prefix) {
    std::vector<std::string> rows;
    size_t start = 0;
    while (start <= text.size() && rows.size() < 40) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        rows.push_back(prefix + text.substr(start, end - start));
        start = end + 1;
    }
    return rows;
}

struct Answer {
    std::vector<std::string> rows;
    std::vector<ATLine> lines;
    ATResponse response = {1, nullptr, nullptr};
    explicit Answer(std::vector<std::string> r) : rows(std::move(r)), lines(rows.size()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            lines[i].line = rows[i].data();
            lines[i].p_next = i + 1 < rows.size() ? &lines[i + 1] : nullptr;
        }
        response.p_intermediates = lines.empty() ? nullptr : lines.data();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    Answer forwards(Rows(text, "+CCFC: "));
    size_t n = forwards.rows.size() < zv::cc::kMaxRows ? forwards.rows.size() : zv::cc::kMaxRows;
    std::vector<RIL_CallForwardInfo> records(n);
    std::vector<RIL_CallForwardInfo *> list;
    for (auto &r : records) list.push_back(&r);
    RilMessage m = {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, nullptr, list.data()};
    HandleVoiceMessage(&m, &forwards.response);

    Answer waiting(Rows(text, "+CCWA: "));
    int out[2] = {};
    char queried[] = "1";
    RilMessage w = {RIL_REQUEST_QUERY_CALL_WAITING, queried, out};
    HandleVoiceMessage(&w, &waiting.response);

    Answer clip(Rows(text, "+CLIP: "));
    int value = 0;
    RilMessage c = {RIL_REQUEST_QUERY_CLIP, nullptr, &value};
    HandleVoiceMessage(&c, &clip.response);
    return 0;
}
