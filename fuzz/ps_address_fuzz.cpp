// The modem's hexadecimal address form to a value and to dotted text: any text, any length.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ps/ps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    unsigned value = hex_address_string_to_int(text.c_str());
    char *dotted = int_to_netwrok_string(value);
    if (!dotted || strlen(dotted) > 15) abort();
    free(dotted);
    return 0;
}
