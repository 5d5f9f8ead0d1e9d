/*
 * The device service: radio power, device identities, baseband version, facility locks,
 * CDMA subscription and the OEM string hook. Requests enter through ZvRilDEVRequest; the
 * answers that need parsing go through HandleDEVMessage.
 */
#ifndef ZORVIK_DEV_DEV_H
#define ZORVIK_DEV_DEV_H

#include <zvril.h>

#include "atchannel/atchannel.h"

/* ---- shared words (plain ints for the embedder; accessed through zv::Load/Store inside) ---- */
ZV_API int g_airplanemode;   /* 1 after the radio was switched off by request, 0 after on */
ZV_API int has_set_radio_on; /* 1 once the radio has been switched on by request */
ZV_API int sarfeature;       /* 1 when SAR control runs (the embedder's, or the library's own follower) */
ZV_API int g_sarctrl;        /* last SAR level the SAR follower applied, -1 none */

/* ---- request handlers ---- */
ZV_API void RequestGetIMEI(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestGetIMEISV(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestGetBasebandVersion(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestOemHookString(void *data, size_t datalen, RIL_Token t);

/*
 * Parsers behind HandleDEVMessage. The router's second argument is the ATResponse * for 39
 * and 42, and an array of ATResponse * for 95 (^MDN, ^CURRSID, +CIMI, ^PRLVER) and 98
 * (+GSN, ^MEID). Each returns 1 when it filled the message's output record, else 0.
 */
ZV_API int GetIMEISV(RilMessage *message, ATResponse *response);          /* out: char[3] */
ZV_API int QueryFacilityLock(RilMessage *message, ATResponse *response);  /* out: int, preset 0 */
ZV_API int CdmaSubScription(RilMessage *message, ATResponse **responses); /* out: char *[5] */
ZV_API int DeviceIdentity(RilMessage *message, ATResponse **responses);   /* out: char *[4] */

#endif
