// modemsim: the network side of the call model, for tests and the program: calls coming in,
// waiting, progressing and ending, with the lines a module of each type sends for them
// ("RING"/"+CRING:", "+CLIP:", "+CCWA:", "^CONF:", "^CONN:", "^CEND:").
#ifndef ZORVIK_TOOLS_MODEMSIM_CALLS_H
#define ZORVIK_TOOLS_MODEMSIM_CALLS_H

#include <modemsim/modemsim.h>

#include <string>
#include <vector>

namespace modemsim {

// TS 24.008 cause values a test is likely to want.
constexpr int kCauseNormalClearing = 16;
constexpr int kCauseUserBusy = 17;

// A voice call rings in while no call is up: a new incoming call (stat 4), announced with
// "+CRING: VOICE" (or "RING" after AT+CRC=0) and, with CLIP on, "+CLIP:". Returns its id,
// or -1 when a call is up already (see WaitingCall).
int IncomingCall(Modem &m, const std::string &number);
// The incoming call rings again (the line only).
bool Ring(Modem &m);
// A second voice call arrives while one is up: a waiting call (stat 5) and "+CCWA:". Returns
// its id, or -1 when no call is up or call waiting is off for voice (the caller gets busy).
int WaitingCall(Modem &m, const std::string &number);
// A circuit-switched data call rings ("+CRING: <type>", "REL ASYNC" by default): listed by
// +CLCC with mode 1, never a voice call. Returns its id.
int DataCallRing(Modem &m, const std::string &type = "REL ASYNC");
// The called party's phone rings ("^CONF:"), answers ("^CONN:") or the call ends from the
// network's side with a TS 24.008 cause ("^CEND:"). False when there is no such call.
bool RemoteAlerting(Modem &m, int id);
bool RemoteAnswer(Modem &m, int id);
bool RemoteHangUp(Modem &m, int id, int cause = kCauseNormalClearing);
// The calls as they are now (scheduled steps of outgoing calls applied).
std::vector<SimCall> CurrentCalls(Modem &m);

}  // namespace modemsim

#endif
