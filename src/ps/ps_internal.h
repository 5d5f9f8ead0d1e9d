/*
 * What the packet data files share inside the library (not exported): the state machine's
 * lock, the guard timer's bookkeeping, the data interface's name, the field checks for
 * strings the framework hands over, and the answers a failed setup gets in each daemon
 * generation.
 */
#ifndef ZORVIK_PS_PS_INTERNAL_H
#define ZORVIK_PS_PS_INTERNAL_H

#include <netinet/in.h>
#include <pthread.h>
#include <stddef.h>

#include <string>

#include "ps/ps.h"

/* The platform's header from 8 on no longer declares the 3.x daemon's record: nothing in the
   packet data service may name it, or the library would not build there. */
#pragma GCC poison RIL_Data_Call_Response_v5

namespace zv::ps {

/* The 3.x daemon's data call record (no retry time, no gateways), kept by the library itself
   with the layout that daemon reads. */
struct DataCallResponseV5 {
    int status;
    int cid;
    int active;
    char *type;
    char *ifname;
    char *addresses;
    char *dnses;
};
constexpr bool kIlp32 = sizeof(void *) == 4;
static_assert(sizeof(DataCallResponseV5) == (kIlp32 ? 28 : 48), "the 3.x data call record's size");
static_assert(offsetof(DataCallResponseV5, cid) == 4 && offsetof(DataCallResponseV5, active) == 8,
              "the 3.x data call record's ints");
static_assert(offsetof(DataCallResponseV5, type) == (kIlp32 ? 12 : 16) &&
                  offsetof(DataCallResponseV5, ifname) == (kIlp32 ? 16 : 24) &&
                  offsetof(DataCallResponseV5, addresses) == (kIlp32 ? 20 : 32) &&
                  offsetof(DataCallResponseV5, dnses) == (kIlp32 ? 24 : 40),
              "the 3.x data call record's strings");

/* Answers a setup that failed. The socket daemon gets the error and asks for the cause
   itself (LAST_DATA_CALL_FAIL_CAUSE); the 8-13 daemon never asks, so there the answer is a
   success carrying one record whose status is the cause (a PDP_FAIL_* value; NONE is taken
   as ERROR_UNSPECIFIED, as NONE would read as a call that came up). */
void FailSetup(RIL_Token t, RIL_Errno error, int cause);
/* The same for a failure on the modem's side: in the 8-13 generation the cause is what the
   modem reports as its last packet data error, as LAST_DATA_CALL_FAIL_CAUSE would have
   answered. */
void FailSetupWithModemCause(RIL_Token t, RIL_Errno error = RIL_E_GENERIC_FAILURE);

/* Answers a setup with the record of call (a copy of ndis_st taken under s_ndis_mutex), in the
   form the platform release and daemon generation expect. */
void AnswerSetup(RIL_Token t, const NdisCallInfo &call);

/* s_ndis_mutex, taken and let go through these so that the library knows whether the thread
   holds it, and so that the answers a run of the state machine decided on reach the daemon
   only once the lock is let go (a daemon callback, and the AT exchange a failed setup's
   answer may need, never run under it). */
void NdisLockAcquire();
void NdisLockRelease();
bool NdisLockHeld();

/* s_ndis_mutex for one scope. */
class NdisLock {
public:
    NdisLock() { NdisLockAcquire(); }
    ~NdisLock() { NdisLockRelease(); }
    NdisLock(const NdisLock &) = delete;
    NdisLock &operator=(const NdisLock &) = delete;
};

/* Writes into the call record from code that may run with or without s_ndis_mutex (the
   interface configuration runs without it). */
void StoreCallField(char (&field)[65], const char *value, size_t limit);

/* Forgets the data call after the modem went away (its channel closed or timed out): tears the
   interface down, ends a transition under way (its request fails, without asking the modem),
   and reports the list change when a call was up or coming up. Makes no AT exchange. */
void DropDataCall();

/* Runs argv (its path under the root, as ril_exec_argv) for at most boundMs (scaled like the
   library's other waits, with a floor, as a real program keeps its own pace): past that the
   program is stopped, reaped, -1 returned and *stopped (when given) set. */
int RunProgram(const char *const *argv, long long boundMs, bool *stopped = nullptr);
/* Runs command through the shell with its error output discarded, and reads its standard output
   (at most maxBytes) until it ends or boundMs pass; the shell is stopped and reaped either way.
   False when it could not run or did not end in time. */
bool ReadCommandOutput(const char *command, long long boundMs, size_t maxBytes, std::string *out);

/* One run of the state machine for ndis_st's event and token; needs s_ndis_mutex. */
void NdisRunLocked();
/* A transition is under way (connecting, configuring the interface, disconnecting); needs
   s_ndis_mutex. */
bool TransitionPending();

/* Arms the guard for an activation (kind 1) or a deactivation (kind 2), or disarms it; both
   need s_ndis_mutex. The guard's expiry runs GuardTimerExpired on the timer thread. */
bool StartGuard(int kind);  // false: not armed, so the transition must not be waited for
void StopGuard();
void GuardTimerExpired();
/* Installs the SIGALRM handler and starts the timer thread unless done already. */
bool EnsureGuardHandler();  // false: no timer thread yet, the guard cannot be armed
/* The armed guard's deadline in NowMs() terms, 0 when disarmed. */
long long GuardDeadlineMs();
long long NowMs();

/* The data interface's name, read whole (the main loop writes it under s_state_mutex). */
std::string EcmName();

/* A value of the hexadecimal address form (first octet in the lowest byte) as an in_addr_t. */
in_addr_t ToNetwork(unsigned value);

/* On the PPP path, whether a call is up: the newest pppd has not ended. The modem is not asked
   about its contexts on every module type, and the 8-13 generation's list names only calls
   that exist. */
bool PppCallUp();

/* True when a framework string may stand inside a quoted AT field (and, on the PPP path, be
   one program argument): printable ASCII only, no double quote or backslash, and no blank
   unless allowBlank. */
bool SafeField(const char *text, bool allowBlank);

}  // namespace zv::ps

#endif
