/*
 * What the packet data files share inside the library (not exported): the state machine's
 * lock, the guard timer's bookkeeping, the data interface's name and the field checks for
 * strings the framework hands over.
 */
#ifndef ZORVIK_PS_PS_INTERNAL_H
#define ZORVIK_PS_PS_INTERNAL_H

#include <netinet/in.h>
#include <pthread.h>

#include <string>

#include "ps/ps.h"

namespace zv::ps {

/* s_ndis_mutex for one scope. */
class NdisLock {
public:
    NdisLock() { pthread_mutex_lock(&s_ndis_mutex); }
    ~NdisLock() { pthread_mutex_unlock(&s_ndis_mutex); }
    NdisLock(const NdisLock &) = delete;
    NdisLock &operator=(const NdisLock &) = delete;
};

/* One run of the state machine for ndis_st's event and token; needs s_ndis_mutex. */
void NdisRunLocked();
/* A transition is under way (connecting or disconnecting); needs s_ndis_mutex. */
bool TransitionPending();

/* Arms the guard for an activation (kind 1) or a deactivation (kind 2), or disarms it; both
   need s_ndis_mutex. The guard's expiry runs GuardTimerExpired on the timer thread. */
void StartGuard(int kind);
void StopGuard();
void GuardTimerExpired();
/* Installs the SIGALRM handler and starts the timer thread unless done already. */
void EnsureGuardHandler();
/* The armed guard's deadline in NowMs() terms, 0 when disarmed. */
long long GuardDeadlineMs();
long long NowMs();

/* The data interface's name, read whole (the main loop writes it under s_state_mutex). */
std::string EcmName();

/* A value of the hexadecimal address form (first octet in the lowest byte) as an in_addr_t. */
in_addr_t ToNetwork(unsigned value);

/* True when a framework string may stand inside a quoted AT field (and, on the PPP path, be
   one program argument): printable ASCII only, no double quote or backslash, and no blank
   unless allowBlank. */
bool SafeField(const char *text, bool allowBlank);

}  // namespace zv::ps

#endif
