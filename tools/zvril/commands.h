// zvril: the commands. Each takes its own arguments (after the command words), runs against a
// started session and returns an exit code (session.h).
#ifndef ZORVIK_TOOLS_ZVRIL_COMMANDS_H
#define ZORVIK_TOOLS_ZVRIL_COMMANDS_H

#include <string>
#include <vector>

#include "session.h"

namespace zvril {

using Args = std::vector<std::string>;

struct Command {
    const char *name;     // "sms send", "data up"
    const char *usage;    // "NUMBER TEXT"
    const char *summary;  // one line for the command list
    const char *help;     // the rest of --help for this command
    int minArgs, maxArgs;
    int (*run)(Session &, const Args &);
};

const std::vector<Command> &Commands();

// Builds the SMS-SUBMIT PDU (hex) for one message; false with *error when the text does not
// fit one message or the number is not a phone number.
bool BuildSubmitPdu(const std::string &number, const std::string &text, std::string *hex, std::string *error);

// Fills the CDMA message (teleservice 4098, bearer data with a SUBMIT identifier and the user
// data as 7-bit ASCII or UCS-2) for one text; false with *error when it does not fit.
bool BuildCdmaMessage(const std::string &number, const std::string &text, RIL_CDMA_SMS_Message *m, std::string *error);

// True for a string that may be handed to the library as a phone number or code.
bool IsDialString(const std::string &s, bool allowStarHash);

}  // namespace zvril

#endif
