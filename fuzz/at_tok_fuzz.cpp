// Drives the tokenizer over arbitrary lines with every sequence of value reads.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "atchannel/at_tok.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // First byte chooses the reads; the rest is the line (cut at a NUL like a C string).
    uint8_t plan = data[0];
    std::string line(reinterpret_cast<const char *>(data + 1), size - 1);
    line = line.c_str();
    char *cursor = line.data();
    at_tok_start(&cursor);
    for (int i = 0; i < 16; ++i) {
        int v;
        char b;
        char *s;
        switch ((plan >> (i % 4 * 2)) & 3) {
            case 0: at_tok_nextint(&cursor, &v); break;
            case 1: at_tok_nexthexint(&cursor, &v); break;
            case 2: at_tok_nextbool(&cursor, &b); break;
            case 3:
                if (at_tok_nextstr(&cursor, &s) == 0) (void)strlen(s);
                break;
        }
        at_tok_hasmore(&cursor);
    }
    strStartsWith(line.c_str(), "+CMT:");
    char_to_int(line.c_str());
    return 0;
}
