/*
 * The packet data service: the one data call record, the NDIS state machine and its guard
 * timer, the configuration of the data interface, and the command runner the data paths use.
 * Every name here is part of the library's interface (C linkage, exported).
 */
#ifndef ZORVIK_PS_PS_H
#define ZORVIK_PS_PS_H

#include <pthread.h>
#include <sys/time.h>

#include <zvexport.h>
#include <zvril.h>

#include "atchannel/atchannel.h"

/* The current data call: the parameters of the last setup request and, once it is up, its
   addresses. There is one call at most, always with call identifier 1. */
typedef struct NdisCallInfo {
    char apn[129];
    char user[65];
    char password[129];
    char pdptype[11];
    char ipaddr[65];
    char dns[65];
    char gateway[65];
    int authtype; /* 0 none, 1 PAP, 2 CHAP, 3 either */
    RIL_Token token;
    int ndis_event;
} NdisCallInfo;

enum {
    NDIS_STATE_DEATIVED = 0,
    NDIS_STATE_ATIVED = 1,
    NDIS_STATE_ATIVING = 2,
    NDIS_STATE_DEATIVING = 3,
};

enum {
    NDIS_EVENT_REQUEST_PDP_ACTIVE = 1,
    NDIS_EVENT_REQUEST_PDP_DEACTIVE = 2,
    NDIS_EVENT_REPORT_DEND = 3,
    NDIS_EVENT_REPORT_DCONN = 4,
};

/* ---- data call requests ---- */
ZV_API NdisCallInfo ndis_st;
ZV_API void SetupDataCallResponse(RIL_Token t);
ZV_API void UnsoliteDataCallListChanged(void);
ZV_API int GetLastDataCallFailCause(RilMessage *message, ATResponse **responses);

/* ---- NDIS state machine ---- */
ZV_API int ndisi_state;
ZV_API char activetimeout;
ZV_API char deactivetimeout;
ZV_API pthread_mutex_t s_ndis_mutex;
ZV_API void NdisStateMachine(NdisCallInfo *record);
ZV_API int NdisGetCurrentPdpStat(void);
ZV_API void NdisStateConnectReport(void *param);
ZV_API void NdisStateDisconnectReport(void *param);
ZV_API void NdisResetStateMachine(void);

/* ---- interface configuration ---- */
ZV_API int NdisNegotiatedAddress(void);
ZV_API int NdisGetAddressByAdapter(void);
ZV_API int GetAddressInfobyAdapter(void);
ZV_API int NdisGetAddressbyDhcp(void);
ZV_API int SetupDataCallProcess(RilMessage *message, ATResponse **responses);
ZV_API int NdisIFCSetIPAddress(const char *hex);
ZV_API int NdisIFCSetGatewayAddress(const char *hex);
ZV_API void NdisIFCSetDnsAddress(const char *hex1, const char *hex2);
ZV_API int NdisNoArp_ifc_up(void);
ZV_API void DeleteConfigureInterface(void);
ZV_API unsigned RIL_ifc_get_default_route(const char *ifname);
ZV_API unsigned hex_address_string_to_int(const char *text);
ZV_API char *int_to_netwrok_string(unsigned value);
ZV_API char *hex_address_sting_to_network_string(const char *text);

/* ---- guard timer and command execution ---- */
ZV_API struct itimerval time_value;
ZV_API void init_sigaction(void);
/* The SIGALRM handler init_sigaction installs once the guard's timer thread runs. */
ZV_API void on_signal(int signo);
ZV_API int TimerStartTime(void);
ZV_API int TimerCleanupTime(void);
ZV_API int ril_exec_cmd(const char *cmdline);
/* The same without splitting: argv[0] is the program path, argv ends with a null pointer. A
   string the framework gave goes in as one argument, whatever blanks it holds. */
ZV_API int ril_exec_argv(const char *const *argv);

/* ---- PPP data path ---- */
/* Writes command and a carriage return to the MODEM tty and waits for the answer: 0 on
   "CONNECT", -1 on "NO CARRIER" or failure ("+++" always -1, sent without the return),
   -4 when nothing came within 31 s. */
ZV_API int dial_at_modem(const char *command);
ZV_API char g_apn[129];
ZV_API char shell[1024];
ZV_API int ModemActivatePdpLink(NdisCallInfo *record, const char *options);
ZV_API void ModemDeactivatePdpLink(void);
ZV_API int ModemNegotiatedAddress(RIL_Token t, int cid, const char *user, const char *password, const char *options);
ZV_API int NetworkRegistation(void);
ZV_API int ObtainNetworkRegistation(RilMessage *message, ATResponse **responses);
ZV_API void ModemKillPPPD(void);
ZV_API int ModemGetProcessId(const char *name);
ZV_API void ModemShutDownModemPort(void);
ZV_API int ModemStartPPPThread(void);
/* The PPP thread's body: runs pppd until it ends; param is the run's number (a uintptr_t). */
ZV_API void *ModemRunPPPScript(void *param);
ZV_API int ModemStartAddressThread(RIL_Token t);

#endif
