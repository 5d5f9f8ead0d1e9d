// GetPDUType with arbitrary text: the SMSC length it reads may point anywhere, and the text
// may end at any point; it must answer 0, 1 or -1 without reading past the terminator.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "sms/sms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size copy, so that a read past the terminator is caught.
    char *text = static_cast<char *>(malloc(size + 1));
    if (!text) return 0;
    memcpy(text, data, size);
    text[size] = '\0';
    const int type = GetPDUType(text);
    if (type < -1 || type > 1) abort();
    char byte = 0;
    str2hex(text, &byte);
    free(text);
    return 0;
}
