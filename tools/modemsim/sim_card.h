// modemsim: the card in the simulated modem.
//
// ModelState::sim says which code the card wants (none, PIN, PUK) or that it is absent or busy;
// the SimCard holds the rest of what a card knows: its codes, the attempts left for each, and
// its locks. The answers below keep the two consistent: a wrong PIN costs an attempt, the last
// one blocks the card (PUK), a right PUK with a new PIN unblocks it, a used-up PUK kills it.
//
// Tests change the card through UpdateCard, under the modem's lock, so a change is never seen
// half done by the serving thread.

#ifndef ZORVIK_TOOLS_MODEMSIM_SIM_CARD_H
#define ZORVIK_TOOLS_MODEMSIM_SIM_CARD_H

#include <modemsim/modemsim.h>

#include <functional>
#include <map>
#include <string>

namespace modemsim {

struct SimCard {
    static constexpr int kPinAttempts = 3;
    static constexpr int kPukAttempts = 10;

    std::string pin = "1234";
    std::string puk = "12345678";
    std::string pin2 = "5678";
    std::string puk2 = "87654321";
    int pin_attempts = kPinAttempts;
    int puk_attempts = kPukAttempts;
    int pin2_attempts = kPinAttempts;
    int puk2_attempts = kPukAttempts;
    // "SC" lock: the card wants its PIN at power-on. A card put into kPin or kPuk has it on.
    bool pin_enabled = false;
    bool fdn_enabled = false;  // "FD" lock, changed with PIN2
    // A code for PIN2 the card is waiting for, shown by +CPIN? while the card is otherwise ready.
    enum class Code2 { kNone, kPin2, kPuk2 };
    Code2 awaiting2 = Code2::kNone;
    // Network personalisation (ModelState::cardlock 1 locked, 2 unlocked, 3 locked for good,
    // ModelState::cardlock_attempts left): the key that lifts it ("^CARDLOCK=", "+CLCK=\"PN\"").
    std::string unlock_code = "1122334455667788";
    bool ph_net_pin = false;  // the lock shows in +CPIN? as "PH-NET PIN" instead of READY
    int app_type = 2;         // ^CARDMODE: 1 SIM, 2 USIM
    // kBusy: how many +CPIN?/^CPIN? answers stay busy before the card settles (0: for ever).
    int busy_answers = 0;
    bool failed = false;  // the PUK was used up; the card reads as absent with "SIM failure"
    // Call barring, kept by the network but asked through +CLCK like a card lock.
    std::string barring_password = "0000";
    std::map<std::string, int> barred;  // facility ("AO", "OI", ...) -> barred classes
};

// A copy of the card of m (a fresh modem has a fresh card).
SimCard CardOf(Modem &m);
// Changes the card and the model together, under m's lock. Do not call m's methods from change.
void UpdateCard(Modem &m, const std::function<void(ModelState &, SimCard &)> &change);

// Default answers of the card's commands, for the modem's answer table.
Modem::Lines SimReadPin(Modem &m, const std::string &command);          // AT+CPIN?
Modem::Lines SimReadPinCounters(Modem &m, const std::string &command);  // AT^CPIN?
Modem::Lines SimEnterPin(Modem &m, const std::string &command);         // AT+CPIN=<code>[,<new>]
Modem::Lines SimUnlockCard(Modem &m, const std::string &command);       // AT^CARDLOCK=<key>
Modem::Lines SimCardMode(Modem &m, const std::string &command);         // AT^CARDMODE
Modem::Lines SimFacilityLock(Modem &m, const std::string &command);     // AT+CLCK=...
Modem::Lines SimChangePassword(Modem &m, const std::string &command);   // AT+CPWD=...
Modem::Lines SimImsi(Modem &m, const std::string &command);             // AT+CIMI

}  // namespace modemsim

#endif  // ZORVIK_TOOLS_MODEMSIM_SIM_CARD_H
