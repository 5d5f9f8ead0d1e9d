// Cursor-based tokenizer for AT response lines. It cuts the caller's copy of the line in place
// (terminators over separators), so returned strings live exactly as long as that copy.
#include "at_tok.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Takes the next token; false only when the cursor was already exhausted (null).
bool NextTok(char **cursor, char **out) {
    if (!cursor || !*cursor) return false;
    char *p = *cursor;
    while (IsSpace(*p)) ++p;
    if (*p == '\0') {
        *out = p;
        *cursor = nullptr;
        return true;
    }
    if (*p == '"') {
        ++p;
        char *close = strchr(p, '"');
        *out = p;
        if (!close) {
            *cursor = nullptr;
            return true;
        }
        *close = '\0';
        char *comma = strchr(close + 1, ',');
        *cursor = comma ? comma + 1 : close + 1 + strlen(close + 1);
        return true;
    }
    *out = p;
    char *comma = strchr(p, ',');
    if (comma) {
        *comma = '\0';
        *cursor = comma + 1;
    } else {
        *cursor = nullptr;
    }
    return true;
}

int NextNumber(char **cursor, int *out, int base, bool isUnsigned) {
    char *tok;
    if (!cursor || !*cursor || !NextTok(cursor, &tok)) return -1;
    char *end;
    long long value;
    if (isUnsigned) {
        value = static_cast<long long>(static_cast<unsigned int>(strtoul(tok, &end, base)));
    } else {
        value = strtol(tok, &end, base);
    }
    if (out) *out = static_cast<int>(value);
    return end == tok ? -1 : 0;
}

}  // namespace

extern "C" {

int at_tok_start(char **cursor) {
    if (!cursor || !*cursor) return -1;
    char *colon = strchr(*cursor, ':');
    if (!colon) {
        *cursor = nullptr;
        return -1;
    }
    *cursor = colon + 1;
    return 0;
}

int at_tok_nextint(char **cursor, int *out) { return NextNumber(cursor, out, 10, false); }

int at_tok_nexthexint(char **cursor, int *out) { return NextNumber(cursor, out, 16, true); }

int at_tok_nextbool(char **cursor, char *out) {
    int value = 0;
    if (NextNumber(cursor, &value, 10, false) < 0) return -1;
    if (value != 0 && value != 1) return -1;
    if (out) *out = static_cast<char>(value);
    return 0;
}

int at_tok_nextstr(char **cursor, char **out) {
    char *tok;
    if (!cursor || !*cursor || !NextTok(cursor, &tok)) return -1;
    if (out) *out = tok;
    return 0;
}

int at_tok_hasmore(char **cursor) { return (cursor && *cursor && **cursor != '\0') ? 1 : 0; }

int strStartsWith(const char *line, const char *prefix) {
    if (!line || !prefix) return 0;
    for (; *prefix; ++line, ++prefix) {
        if (*line != *prefix) return 0;
    }
    return 1;
}

int char_to_int(const char *c) {
    if (!c) return 0;
    char ch = *c;
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z') return ch - 'A' + 10;
    return 0;
}

}  // extern "C"
