// zvril: the library's numbers and records in words a person reads without ril.h at hand.
#ifndef ZORVIK_TOOLS_ZVRIL_WORDS_H
#define ZORVIK_TOOLS_ZVRIL_WORDS_H

#include <telephony/ril.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zvril {

const char *ErrorWords(RIL_Errno e);      // "the modem refused it", "not available in this build", ...
const char *ErrorName(RIL_Errno e);       // RIL_E_ name without the prefix, for --verbose and traces
const char *RadioStateWords(int state);   // "radio on, SIM ready"
const char *RadioStateName(int state);    // "SIM_READY"
const char *ModuleWords(int moduleType);  // "WCDMA", "TD-SCDMA", "CDMA"
const char *GenerationWords(int androidVersion);  // "4.1 to 4.4"
const char *UnsolicitedName(int id);      // "ON_USSD"; "" when not known here

// The card status record, in the layout the platform generation calls for.
struct CardStatus {
    bool valid = false;
    int card = 0;  // RIL_CardState
    int apps = 0;
    int appType = 0, appState = 0, pin1 = 0;
};
CardStatus ReadCardStatus(const std::vector<uint8_t> &raw, int androidVersion);
std::string CardWords(const CardStatus &s);  // "USIM card, ready" / "no card"
std::string CardRaw(const CardStatus &s);    // "card_state 1, app_type 2, app_state 5, pin1 0"

// The signal strength record (any layout: the leading GSM/WCDMA and CDMA fields are shared).
std::string SignalWords(const std::vector<uint8_t> &raw, bool cdma);

// The voice registration state strings: first field is the registration code.
std::string RegistrationWords(const std::vector<std::string> &fields);

// "(null)" from the journal means the library gave no value.
std::string Value(const std::string &s);  // "none" for "(null)" or ""

// Shows a printable form of text from the modem or the network: control characters escaped.
std::string Printable(const std::string &text);

}  // namespace zvril

#endif
