/*
 * The SIM toolkit: which of the modem's two command sets relays the toolkit (g_stk_project),
 * the framework's toolkit requests, and the proactive command reports the modem sends.
 */
#ifndef ZORVIK_SIM_STK_H
#define ZORVIK_SIM_STK_H

#include <stddef.h>

#include <zvril.h>

/* "AT^STSF?": 1 for the +CUSAT set, 0 for the ^STGI/^STGR set, 2 when it cannot be told. */
ZV_API int STKSolutionMode(void);
ZV_API void RequestSTKGetProfile(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestSTKSetProfile(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestSTKSendEnvelopeCommand(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestSTKSendTerminalResponse(void *data, size_t datalen, RIL_Token t);
ZV_API void RequestSTKHandleCallSetupRequestedFromSim(void *data, size_t datalen, RIL_Token t);

#ifdef __cplusplus
namespace zv::stk {

/* The unsolicited response a "+CUSATP:" proactive command in hex goes out as: event notify,
   session end or proactive command, by its type of command. */
int ClassifyProactiveCommand(const char *hex);

/* Sends a toolkit report (proactive command, event notify with its hex, or session end with
   none) once the framework has said its toolkit service runs; until then it is held, up to a
   few reports, and sent in order when it does. */
void ReportToolkit(int id, const char *hex = nullptr);
/* The framework's toolkit service runs: the held reports go out, later ones at once. */
void ToolkitServiceRunning();

/* Line handlers for the toolkit reports; each reports what the line calls for. */
void UnsolicitedStin(const char *line);
void UnsolicitedCusatp(const char *line);
void UnsolicitedCusatend(const char *line);

}  // namespace zv::stk
#endif

#endif
