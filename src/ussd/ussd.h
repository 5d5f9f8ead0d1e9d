// USSD: sending and cancelling USSD strings and reporting the network's USSD answers.
#ifndef ZORVIK_USSD_USSD_H
#define ZORVIK_USSD_USSD_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace zv::ussd {

/* The longest encoded USSD string the command carries: 91 octets (182 hex digits). */
constexpr size_t kMaxEncodedOctets = 91;

/* Builds the AT+CUSD command for a UTF-8 string, or "" when it cannot be sent. */
std::string BuildSendCommand(const char *utf8);

/* Decodes the bytes of a report by its data coding scheme into UTF-8. */
std::string DecodeByScheme(const uint8_t *bytes, size_t count, int dcs);

}  // namespace zv::ussd

#endif
