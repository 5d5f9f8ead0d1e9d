/*
 * The network service: registration, signal strength, operator and network selection,
 * preferred network type, and the network events. Requests enter through ZvRilMMRequest;
 * answers are parsed through HandleNetworkMessage, whose second argument is a null-terminated
 * array of ATResponse pointers (a parser looks at the first line of each and skips a response
 * without one). Every parser returns 1 when it filled the message's output record, else 0.
 */
#ifndef ZORVIK_MM_MM_H
#define ZORVIK_MM_MM_H

#include <zvril.h>

#include "atchannel/atchannel.h"

/* Output record of the registration parsers (zero-filled by the caller). */
typedef struct RegistrationInfo {
    int regState; /* TS 27.007 <stat> */
    int lac;
    int cid;
    int radioTech; /* ril.h radio technology */
    int sid;       /* CDMA only */
    int nid;
} RegistrationInfo;

/* What a ^SYSINFO / ^SYSINFOEX line says; heap record freed by the caller with free(). */
typedef struct SysinfoState {
    int psAttached;
    int regState;
    int radioTech;
} SysinfoState;

/* The automatic selection in progress: one per request, freed when the request completes. */
typedef struct SearchContext {
    RIL_Token token;
    int count;
} SearchContext;

/* The answer to a network scan: four strings per network (long, short, numeric, status). */
typedef struct NetworkList {
    size_t length; /* bytes of the array handed to the framework */
    char **networks;
} NetworkList;

/* The signal record the 8-13 daemon takes, whose own header calls it RIL_SignalStrength_v10:
   the v6 record, then the LTE timing advance and the TD-SCDMA RSCP (dBm times -1). Not every
   ril.h the library builds against has it, so the library names its own. */
typedef struct ZvSignalStrength_v10 {
    RIL_SignalStrength_v6 v6;
    int lteTimingAdvance;
    int tdScdmaRscp;
} ZvSignalStrength_v10;

/* ---- registration ---- */
ZV_API int GetVoiceRegistrationState(RilMessage *message, ATResponse **list);
ZV_API int CdmaGetVoiceRegistrationState(RilMessage *message, ATResponse **list);
ZV_API int GetDataRegistrationState(RilMessage *message, ATResponse **list);
ZV_API int VoiceRegistrationState(RilMessage *message, ATResponse *response);
ZV_API int DataRegistrationState(RilMessage *message, ATResponse *response);
ZV_API SysinfoState *GetSubmodeBySysinfo(RilMessage *message, ATResponse *response);
ZV_API SysinfoState *GetSubmodeBySysinfoex(RilMessage *message, ATResponse *response);
ZV_API int CdmaGetCURRSID(RilMessage *message, ATResponse *response);
ZV_API void UnsolicitedMode(const char *line);
ZV_API void RequestCdmaRegistrationState(RIL_Token t);

/* ---- signal ---- */
/* The output is always a whole RIL_SignalStrength_v6, whatever part of it is sent. */
ZV_API int GetSignalStrength(RilMessage *message, ATResponse **list);
ZV_API int SignalWcdmaRssiToReal(int level);
ZV_API int SignalLteRsrpToReal(int level);
ZV_API int SignalLteRsrqToReal(int level);
ZV_API void UnsolicitedSignalStrength(const char *line);
ZV_API void UnsolicitedCdmaSignalStrength(const char *line);

/* ---- operator and selection ---- */
ZV_API int GetOperator(RilMessage *message, ATResponse **list);
ZV_API int GetQueryNetworkSelectionMode(RilMessage *message, ATResponse **list);
ZV_API int QueryAvailableNetworks(RilMessage *message, ATResponse **list);
ZV_API void search_automatic(void *context);

/* ---- preferred network type ---- */
ZV_API int GetPreferredNetworkType(RilMessage *message, ATResponse **list);

/* ---- events and small requests ---- */
ZV_API void RequestScreenState(void *data, RIL_Token t);
ZV_API void RequestSetLocationUpdates(void *data, RIL_Token t);
ZV_API int GetPdpActiveFlag(RilMessage *message, ATResponse **list);
ZV_API int QueryIMSStatus(RilMessage *message, ATResponse **list);

#ifdef __cplusplus
#include <optional>
#include <string>
#include <vector>

namespace zv::mm {

/* A registration answer for the 8-13 daemon, by index; no value where nothing is known (sent
   as NULL). Voice: 15 strings. Data: 6, or 11 on LTE once the location is known. */
using RegistrationFields = std::vector<std::optional<std::string>>;
RegistrationFields HidlRegistrationFields(const RegistrationInfo &info, bool data, bool cdma);
/* The CDMA answer to 20 (voice) or 21 (data); the two differ only for the 8-13 daemon. */
void RequestCdmaRegistrationState(int request, RIL_Token t);

/* Radio technology numbers, with the numbers an older platform does not know held back. */
int HoldBackRadioTech(int tech);

/* The first intermediate line of a response, or nullptr. */
inline char *FirstLine(const ATResponse *response) {
    return response && response->p_intermediates ? response->p_intermediates->line : nullptr;
}

/* The signal record of the 8-13 daemon with every field at the value it reads as unknown. */
ZvSignalStrength_v10 UnknownSignalV10();
/* Parses the lines into that record, the TD-SCDMA RSCP included; false when a line does not
   read (as GetSignalStrength's 0). */
bool FillSignalV10(ATResponse **list, ZvSignalStrength_v10 *record);
/* A ^HCSQ TD-SCDMA RSCP level (0..96) as the platform's positive dBm, else INT_MAX. */
int SignalTdScdmaRscpToReal(int level);

/* Request handlers without a name of their own in the interface. */
void RequestRegistrationState(int request, RIL_Token t);
void RequestSignalStrength(RIL_Token t);
void RequestOperator(RIL_Token t);
void RequestQueryNetworkSelectionMode(RIL_Token t);
void RequestSetNetworkSelectionAutomatic(RIL_Token t);
void RequestSetNetworkSelectionManual(void *data, size_t datalen, RIL_Token t);
void RequestAvailableNetworks(RIL_Token t);
void RequestSetPreferredNetworkType(void *data, size_t datalen, RIL_Token t);
void RequestGetPreferredNetworkType(RIL_Token t);
void RequestIMSRegistrationState(RIL_Token t);

/* Largest number of networks a scan answer is allowed to give. */
inline constexpr int kMaxNetworks = 100;

}  // namespace zv::mm
#endif

#endif
