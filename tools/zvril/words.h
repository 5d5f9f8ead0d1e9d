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
const char *RadioStateWords(int state);   // "radio on, SIM ready"; 10 (the only "on" from 8 on): "radio on"
const char *RadioStateName(int state);    // "SIM_READY"
const char *ModuleWords(int moduleType);  // "WCDMA", "TD-SCDMA", "CDMA"
const char *GenerationWords(int androidVersion);  // "4.1 to 4.4"
const char *DaemonWords(int generation);          // PLATFORM_GENERATION: "HAL daemon (Android 8-13)"
const char *UnsolicitedName(int id);      // "ON_USSD"; "" when not known here
const char *TechWords(int tech);          // RIL_RadioTechnology: "UMTS", "CDMA 1x"; "" when unknown
const char *SubscriptionSourceWords(int source);
std::string DataCauseWords(int cause);  // RIL_DataCallFailCause: "missing or unknown APN (cause 27)"  // 0 "R-UIM or
                                        // SIM card", 1 "the modem's own memory (NV)"

// The SDK level a platform release carries (8.0 26 ... 13 33), or -1 for a release before 8
// or one this table does not know: below 8 the library decides from the release itself.
int SdkLevelOfRelease(const std::string &release);
// The release of an SDK level (9 "2.3" ... 33 "13"), or "" outside 9-33.
std::string ReleaseOfSdkLevel(int level);

// The card status record. The application shown is the one the module's family subscribes
// with (GSM/UMTS or CDMA index); "no application" is -1 from 8 on and the slot count before.
struct CardStatus {
    bool valid = false;
    int card = 0;  // RIL_CardState
    int apps = 0;
    int gsmIndex = -1, cdmaIndex = -1, imsIndex = -1;
    int app = -1;  // the application shown, -1: none
    int appType = 0, appState = 0, pin1 = 0;
};
CardStatus ReadCardStatus(const std::vector<uint8_t> &raw, int androidVersion, bool cdma);
std::string CardWords(const CardStatus &s);  // "USIM card, ready" / "no card"
std::string CardRaw(const CardStatus &s);    // "card_state 1, app_type 2, app_state 5, pin1 0"
// A card that is there but whose application has not settled yet (detected, state unknown).
bool CardSettling(const CardStatus &s);

// The signal strength record by its size: 28 (v5), 48 (v6: LTE added) or 56 (v10, the only
// one the 8-13 daemon takes: LTE timing advance and TD-SCDMA RSCP added). The leading
// GSM/WCDMA and CDMA fields are the same in all of them.
std::string SignalWords(const std::vector<uint8_t> &raw, bool cdma);
inline constexpr size_t kSignalV10Size = sizeof(RIL_SignalStrength_v6) + 2 * sizeof(int);

// The registration state strings (voice: 4, 14 or 15; data: 4, 6, 11 or 13): the state
// first, the radio technology fourth; with the state "denied" the reason's place depends on
// the form (voice: 14th of 14 or 15, data: 5th of 6 or more).
std::string RegistrationWords(const std::vector<std::string> &fields, bool data = false);

// "(null)" from the journal means the library gave no value.
std::string Value(const std::string &s);  // "none" for "(null)" or ""

// Shows a printable form of text from the modem or the network: control characters escaped.
std::string Printable(const std::string &text);

}  // namespace zvril

#endif
