// A response record as the AT channel hands one to a parser: heap-allocated, freed by
// at_response_free through zv::ATResponsePtr. For parser tests that feed modem lines
// without a channel.
#ifndef ZORVIK_TESTS_UNIT_SUPPORT_RESPONSES_H
#define ZORVIK_TESTS_UNIT_SUPPORT_RESPONSES_H

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "atchannel/atchannel.h"

namespace zvtest {

inline zv::ATResponsePtr Response(const std::vector<std::string> &lines, bool ok = true) {
    auto *r = static_cast<ATResponse *>(calloc(1, sizeof(ATResponse)));
    r->success = ok ? 1 : 0;
    r->finalResponse = strdup(ok ? "OK" : "ERROR");
    ATLine **tail = &r->p_intermediates;
    for (const std::string &text : lines) {
        auto *line = static_cast<ATLine *>(calloc(1, sizeof(ATLine)));
        line->line = strdup(text.c_str());
        *tail = line;
        tail = &line->p_next;
    }
    return zv::ATResponsePtr(r);
}

}  // namespace zvtest

#endif
