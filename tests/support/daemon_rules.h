/*
 * What each generation of the platform's radio daemon accepts from the library, as data: one
 * rule per request and per unsolicited number, looked up once and applied to the payload while
 * it is still the library's (the daemon checks at completion time, before the library frees it).
 *
 * The 8-13 daemon converts every answer into a HAL structure and checks its size or count
 * exactly: a success with a broken payload becomes INVALID_RESPONSE, a broken report is
 * dropped. Where its releases differ, the rule is the one every release 8.0-13 accepts (data
 * registration 6 or 11 strings, never 13; card indexes checked as from 8.1), since one library
 * build serves them all. The socket daemon (2.3-7.x) marshals by length and refuses little;
 * the one refusal checked here is a string array whose length is no whole number of pointers.
 */
#ifndef ZORVIK_TESTS_SUPPORT_DAEMON_RULES_H
#define ZORVIK_TESTS_SUPPORT_DAEMON_RULES_H

#include <telephony/ril.h>

#include <cstddef>
#include <string>

namespace zvtest {

enum class Generation { kSocket = 0, kHidl = 1 };

// The generation named by $ZV_TEST_GENERATION ("hidl"), else the socket one.
Generation GenerationFromEnvironment();

// How the 8-13 daemon reads a payload.
enum class Shape : unsigned char {
    kIgnored,        // void answer or bare notification: the payload is never read
    kString,         // one char *, NULL read as empty: nothing to refuse
    kStrings,        // exactly `count` pointers (length / sizeof(char *), remainder ignored)
    kStringsEither,  // `count` or `count2` pointers
    kInts,           // exactly `count` ints (length / sizeof(int))
    kExact,          // non-NULL and exactly `size` bytes (one int, one record)
    kExactOrEmpty,   // (NULL, 0) or exactly `size` bytes
    kList,           // (NULL, 0) or a multiple of `size`; NULL with a length is refused
    kNonEmptyList,   // non-NULL, a non-zero multiple of `size`
    kNonNull,        // any bytes, but not NULL
    kFailCause,      // exactly one int or exactly one fail-cause record
    kCardStatus,     // exactly one RIL_CardStatus_v6, every subscription index -1 or < apps
    kNetworks,       // groups of 4 strings, the 4th one of the four status words
    kRadioState,     // payload ignored; the daemon asks onStateRequest (0, 1 or 10 only)
    kHexText,        // non-NULL, length > 0 and even, every one of length chars a hex digit
    kText,           // non-NULL, length > 0
    kNitz,           // as kText, and the last byte the terminating zero (the cached copy is
                     // later read as a C string)
    kUssd,           // exactly 2 pointers, the first non-NULL
    kNeverSent,      // a request the 8-13 daemon has no method for
    kDaemonsOwn,     // a report only the daemon itself sends
};

struct Rule {
    int number;
    const char *name;
    Shape shape;
    size_t size;  // bytes (kExact, kExactOrEmpty, lists, kFailCause's record)
    int count;    // strings or ints
    int count2;   // kStringsEither's second count
};

// The rule of a request or an unsolicited number in the 8-13 daemon; nullptr when it has none
// (the payload passes unchecked).
const Rule *RequestRule(int request);
const Rule *UnsolicitedRule(int id);

// The 8-13 daemon's radio states: OFF, UNAVAILABLE, ON.
bool RadioStateAccepted(Generation g, int state);

// Empty when the daemon of this generation takes the answer; else the violation, phrased
// "<request name>: invalid response (<why>)". Error answers are never payload-checked.
std::string CheckCompletion(Generation g, int request, RIL_Errno e, const void *response, size_t length);
// Empty when delivered; else why the daemon drops it.
std::string CheckUnsolicited(Generation g, int id, const void *data, size_t length);
// Empty when the daemon of this generation can send the request at all.
std::string CheckRequestSent(Generation g, int request);

}  // namespace zvtest

#endif
