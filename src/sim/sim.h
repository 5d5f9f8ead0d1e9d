/*
 * The SIM service: card status, PIN, PUK and change-PIN, IMSI and network
 * depersonalisation. Requests enter through ZvRilSIMRequest; the card status is built by
 * GetSIMStatus behind HandleSIMMessage.
 */
#ifndef ZORVIK_SIM_SIM_H
#define ZORVIK_SIM_SIM_H

#include <stddef.h>

#include <zvril.h>

/*
 * Output record of the card status message: the record's size, the heap record itself
 * (RIL_CardStatus_v6, or RIL_CardStatus_v5 on platform 2.3; freed by the requester), and
 * the state of its first application, so that no one has to know which layout it is.
 */
typedef struct {
    size_t length;
    void *record;
    RIL_AppState firstAppState;
} CardStatusOut;

ZV_API int isUSIMCARD; /* 1 once a SIM file answer came in the USIM (FCP) form */

ZV_API long long GetSIMStatus(RilMessage *message);
ZV_API void RequestGetSIMStatus(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestEnterNetworkDepersonalization(char **data, size_t datalen, RIL_Token t);
/*
 * One unlocking step: 0 password rejected (request completed), 1 command failed (request
 * not completed), 2 command accepted (request completed for ^CARDLOCK and +CLCK commands).
 */
ZV_API int unLockCardlock(const char *command, RIL_Token t);

#ifdef __cplusplus
namespace zv::sim {
void RequestEnterCode(int request, void *data, size_t datalen, RIL_Token t);
void RequestGetIMSI(void *data, size_t datalen, RIL_Token t);
}  // namespace zv::sim
#endif

#endif
