/*
 * Call control: the voice call list, call events and the call and supplementary-service
 * requests. Requests enter through ZvRilCCRequest, modem lines through ZvRilCCUnsolicited;
 * the answers that need parsing go through HandleVoiceMessage with the ATResponse * as its
 * second argument.
 */
#ifndef ZORVIK_CC_CC_H
#define ZORVIK_CC_CC_H

#include <stddef.h>

#include <zvril.h>

#include "atchannel/atchannel.h"

/* ---- shared words (plain ints for the embedder; zv::Load/Store inside) ---- */
ZV_API int cc_lastCallFailCause; /* cause of the last ended call, 0xffff when none is known */
ZV_API int cc_activeCallIndex;   /* +CLCC index of the last active call seen, 99 before any */

/* ---- call list and call events ---- */
ZV_API void RequestGetCurrentCalls(RIL_Token t);
/* out: RIL_Call[n], one per line of the response, index preset to -1 (unused slots keep it) */
ZV_API int GetCurrentCalls(RilMessage *message, ATResponse *response);
/* 1 when the single line of the response calls for a call-state report */
ZV_API int UnsolicitedCallStateChanged(RilMessage *message, ATResponse *response);
/* "+CRING: <type>": 1 voice, 2 circuit-switched data, 3 packet, 0 anything else */
ZV_API int UnsolicitedCring(const char *line);
ZV_API void RepeatCallStateChanged(void *param);

/* ---- supplementary services ---- */
ZV_API void RequestQueryCallForwardStatus(void *data, RIL_Token t);
ZV_API int GetCLIR(RilMessage *message, ATResponse *response);                /* out: int[2] */
ZV_API int QueryCallForwardStatus(RilMessage *message, ATResponse *response); /* out: RIL_CallForwardInfo *[n] */
/* out: int[2] {status, class mask}; message->text, when set, is the queried class in decimal
   and an answer that says nothing about it fails */
ZV_API int QueryCallWaiting(RilMessage *message, ATResponse *response);
ZV_API int GetMute(RilMessage *message, ATResponse *response);   /* out: int */
ZV_API int QueryCLIP(RilMessage *message, ATResponse *response); /* out: int */

#ifdef __cplusplus
namespace zv::cc {

/* Longest dial, forwarding, flash or DTMF string taken from the framework. */
inline constexpr size_t kMaxDialLength = 128;
/* Most call rows and forwarding rows read from one answer; real networks send a handful. */
inline constexpr size_t kMaxRows = 32;
/* Longest number kept in a call record; a longer one is reported as unknown. */
inline constexpr size_t kMaxNumberLength = 64;

/* True for a non-empty string of at most kMaxDialLength characters, each one a dial-string
   character (digits, + * # p w A-D ,): nothing else can end or extend the command. */
bool IsDialString(const char *s);
/* True when the line of the given prefix carries a quoted number first: a caller-line or
   waiting-call indication rather than an answer to a query. */
bool IsIndication(const char *line, const char *prefix);
/* The cause of "^CEND: <call_x>,<duration>,<end_status>[,<cc_cause>]", 0xffff when none. */
int CallEndCause(const char *line);

void RequestDial(void *data, size_t datalen, RIL_Token t);
void RequestSimpleCallCommand(int request, RIL_Token t);
void RequestDtmf(void *data, RIL_Token t);
void RequestSeparateConnection(void *data, size_t datalen, RIL_Token t);
void RequestCdmaFlash(void *data, RIL_Token t);
void RequestCdmaBurstDtmf(void *data, size_t datalen, RIL_Token t);
void RequestGetClir(RIL_Token t);
void RequestSetClir(void *data, size_t datalen, RIL_Token t);
void RequestSetCallForward(void *data, size_t datalen, RIL_Token t);
void RequestQueryCallWaiting(void *data, size_t datalen, RIL_Token t);
void RequestSetCallWaiting(void *data, size_t datalen, RIL_Token t);
void RequestSetMute(void *data, size_t datalen, RIL_Token t);
void RequestGetMute(RIL_Token t);
void RequestQueryClip(RIL_Token t);

/* The one-command requests: what each module type sends and when it counts as done. */
enum class Outcome {
    kHandedOver,  // success once the channel took the command, whatever the modem says
    kAccepted,    // success only when sent and answered OK
};
struct SimpleCommand {
    int request;
    const char *gsm;          // 3GPP module
    const char *gsmNotReady;  // 3GPP module outside the ready radio states, when it differs
    const char *cdma;         // CDMA module
    Outcome outcome;
    const char *failLog;      // logged when the command did not go out or was refused
};
const SimpleCommand *FindSimpleCommand(int request);

}  // namespace zv::cc
#endif

#endif
