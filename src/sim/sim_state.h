// SIM state queries shared by the SIM and device services, and the radio states that follow
// from the module type.
#ifndef ZORVIK_SIM_SIM_STATE_H
#define ZORVIK_SIM_SIM_STATE_H

#include <zvril.h>

/* "^CARDLOCK?": lock status and remaining unlock attempts; 0 on success, -1 on failure. */
ZV_API int GetSIMLockStatus(int *status, int *times);
/* "^CARDMODE": the application type of the card (1 SIM, 2 USIM); 2 when it cannot be read. */
ZV_API int GetSIMType(void);
/* "^CPIN?": attempts left for the code a request uses, -1 when unknown. */
ZV_API int getNumRetries(int request);

#ifdef __cplusplus
namespace zv {

/*
 * The radio state in which the core polls the card again, and the one for a ready card, for
 * the module at hand: SIM states on a 3GPP module, NV states on a CDMA module that keeps its
 * subscription in memory, R-UIM states on a CDMA module with a card (or one not yet known).
 */
RIL_RadioState SimNotReadyState();
RIL_RadioState SimReadyState();

/*
 * Tells the 8-13 framework to read the card status again after a change that leaves the radio
 * state as it is (a code entered right or wrong, a lock switched, a card event); the socket
 * daemon learnt of these from the radio state alone, so nothing is sent there.
 */
void ReportSimStatusChange();

}  // namespace zv
#endif

#endif
