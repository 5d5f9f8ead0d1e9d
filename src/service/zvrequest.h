/*
 * Helpers shared by the service request handlers: the checks on the char *[] records
 * the framework hands over, done before anything is sent (a short or missing record, a null
 * string, an overlong string or one that could close its quoted AT argument, and so inject a
 * command, is refused whole), and the one test of an AT exchange's outcome.
 */
#ifndef ZORVIK_ZVREQUEST_H
#define ZORVIK_ZVREQUEST_H

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include <zvgeneration.h>
#include <zvril.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"

namespace zv {

/* PINs, PUKs, barring passwords and depersonalisation keys are digits, at most 16 of them
   (TS 22.022: 4-8 for a PIN, 8 for a PUK, up to 16 for a key). */
inline constexpr size_t kMaxCodeLength = 16;
inline constexpr size_t kMaxFacilityLength = 8;

struct StringArgRules {
    size_t minCount;   // pointers the record must hold at least
    size_t maxCount;   // and at most (counted in the host's pointer size)
    size_t used;       // leading strings that are read and must be present
    size_t maxLength;  // longest acceptable string
    bool quoted;       // the strings go inside a quoted AT argument
};

/* The record as an array of strings, or nullptr when it breaks the rules. */
inline const char *const *StringArgs(const void *data, size_t datalen, const StringArgRules &rules) {
    if (!data || datalen % sizeof(char *) != 0) return nullptr;
    const size_t count = datalen / sizeof(char *);
    if (count < rules.minCount || count > rules.maxCount || count < rules.used) return nullptr;
    const char *const *args = static_cast<const char *const *>(data);
    for (size_t i = 0; i < rules.used; ++i) {
        if (!args[i] || strnlen(args[i], rules.maxLength + 1) > rules.maxLength) return nullptr;
        if (rules.quoted && !SafeForAtArgument(args[i])) return nullptr;
    }
    return args;
}

/* A code the card or network checks: digits only. Anything else is refused before it is
   sent, as a modem that edits its command line (V.250's S5 backspace) would otherwise run
   whatever a crafted "PIN" spells out after erasing the command in front of it. */
inline bool IsCode(const char *s) {
    if (!s || !*s) return false;
    size_t n = 0;
    for (; s[n]; ++n) {
        if (s[n] < '0' || s[n] > '9' || n >= kMaxCodeLength) return false;
    }
    return true;
}

/* A string argument that may be empty: the 8-13 daemon hands an empty one over as NULL, the
   socket daemon as "" (its NULL stood for no string at all, and keeps being refused). */
inline const char *EmptyIfNull(const char *s) {
    return s || !HidlGeneration() ? s : "";
}

/* Owner of a message made by Obtain (which allocates it with calloc). */
struct MessageDeleter {
    void operator()(RilMessage *m) const { free(m); }
};
using MessagePtr = std::unique_ptr<RilMessage, MessageDeleter>;

inline MessagePtr ObtainMessage(int id, char *text, void *data) {
    RilMessage *m = nullptr;
    Obtain(&m, id, text, data);
    return MessagePtr(m);
}

/* The command went out and the modem answered with a success final line. */
inline bool Accepted(int err, const ATResponse *response) {
    return err >= 0 && response && response->success > 0;
}

/* The same, with the line that a numeric or single-line command waits for. */
inline bool AcceptedWithLine(int err, const ATResponse *response) {
    return Accepted(err, response) && response->p_intermediates && response->p_intermediates->line;
}

}  // namespace zv

#endif
