/*
 * libzorvik-ril: the library's exported interface beyond RIL_Init.
 *
 * C outside, C++ inside: every name here has C linkage and default visibility so that an
 * embedder (or a test) can reach the radio state, the module description and the service
 * entry points. Shared plain words are accessed inside the library through relaxed atomics.
 */
#ifndef ZORVIK_ZVRIL_H
#define ZORVIK_ZVRIL_H

#include <pthread.h>
#include <stddef.h>

#include <telephony/ril.h>

/* Same definition as the library's own export macro, so that this header stands alone. */
#ifndef ZV_API
#ifdef __cplusplus
#define ZV_EXTERN_C extern "C"
#else
#define ZV_EXTERN_C extern
#endif
#define ZV_API ZV_EXTERN_C __attribute__((visibility("default")))
#endif

/* ---- service identifiers ---- */
enum {
    ZV_SERVICE_CC = 0,
    ZV_SERVICE_DEV = 1,
    ZV_SERVICE_MM = 2,
    ZV_SERVICE_SMS = 3,
    ZV_SERVICE_PS = 4,
    ZV_SERVICE_SIM = 5,
    ZV_SERVICE_USSD = 6,
    ZV_SERVICE_NONE = 8
};
typedef int ServiceId;

/* ---- SIM state codes of GetSIMState ---- */
enum {
    SIM_ABSENT = 0,
    SIM_NOT_READY = 1,
    SIM_READY = 2,
    SIM_PIN = 3,
    SIM_PUK = 4,
    SIM_NETWORK_PERSONALIZATION = 5
};

/* ---- message passed to a service's response parsers ---- */
typedef struct RilMessage {
    int id;     /* request number, or a service event number (1001, 1003, 1009) */
    char *text; /* optional text the parser needs (not owned) */
    void *data; /* the caller's output record (not owned) */
} RilMessage;

/* The AT channel's answer to one command: final line and intermediate lines. */
typedef struct ATResponse ATResponse;

/* ---- entry and radio state ---- */
ZV_API const RIL_RadioFunctions *RIL_Init(const struct RIL_Env *env, int argc, char **argv);
ZV_API const struct RIL_Env *s_rilenv;
ZV_API int sState;
ZV_API int s_closed;
ZV_API pthread_mutex_t s_state_mutex;
ZV_API pthread_cond_t s_state_cond;
ZV_API int ANDROID_VERSION;
ZV_API char Android_version[1024];
/* The radio daemon's generation, decided once by RIL_Init from the platform's SDK level
   ("ro.build.version.sdk", 26 and above) or, without it, the major release number (8 and
   above): the socket daemon of 2.3-7.x, or the HAL daemon of 8-13 that checks every answer's
   size and count exactly. Services ask it wherever the two want different forms. */
enum { ZV_GENERATION_SOCKET = 0, ZV_GENERATION_HIDL = 1 };
ZV_API int PLATFORM_GENERATION;

/* The radio states 2-9 of the 2.3-7.x interface. The library keeps them as its internal
   state in every generation (the radio-state gate and SIM polling run on them); the platform
   header from 8 on no longer declares them, so the library names them itself. */
#define ZV_RADIO_STATE_SIM_NOT_READY ((RIL_RadioState)2)
#define ZV_RADIO_STATE_SIM_LOCKED_OR_ABSENT ((RIL_RadioState)3)
#define ZV_RADIO_STATE_SIM_READY ((RIL_RadioState)4)
#define ZV_RADIO_STATE_RUIM_NOT_READY ((RIL_RadioState)5)
#define ZV_RADIO_STATE_RUIM_READY ((RIL_RadioState)6)
#define ZV_RADIO_STATE_RUIM_LOCKED_OR_ABSENT ((RIL_RadioState)7)
#define ZV_RADIO_STATE_NV_NOT_READY ((RIL_RadioState)8)
#define ZV_RADIO_STATE_NV_READY ((RIL_RadioState)9)
ZV_API const char *s_device_path;
ZV_API int s_port;
ZV_API int s_device_socket;
ZV_API const char *s_modem_path;
ZV_API int del_sms_control[2];
ZV_API pthread_mutex_t s_readdelmutex;
ZV_API pthread_mutex_t s_zvril_readsms_mutex;

ZV_API RIL_RadioState currentState(void);
ZV_API int onSupports(int request);
ZV_API void onCancel(RIL_Token t);
ZV_API const char *getVersion(void);
ZV_API void SetRadioState(RIL_RadioState newState);
ZV_API int getRadioState(void);
ZV_API void poll_sim_state(void *param);

/* ---- dispatch ---- */
ZV_API int at_request;
ZV_API void onRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilUnsolicited(const char *line, const char *sms_pdu);
ZV_API void Obtain(RilMessage **out, int id, char *text, void *data);

ZV_API void ZvRilCCRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilDEVRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilMMRequest(int request, void *data, size_t datalen, RIL_Token t);
/* Completes the request exactly once; returns 1 when the SMS service serves the request, 0
   when it answered RIL_E_REQUEST_NOT_SUPPORTED. */
ZV_API int ZvRilSmsRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilPSRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilSIMRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void ZvRilUSSDRequest(int request, void *data, size_t datalen, RIL_Token t);
ZV_API void RequestReportSTKServiceIsRuning(void *data, size_t datalen, RIL_Token t);

ZV_API void ZvRilCCUnsolicited(const char *line);
ZV_API void ZvRilDEVUnsolicited(const char *line);
ZV_API void ZvRilMMUnsolicited(const char *line);
ZV_API void ZvRilSmsUnsolicited(const char *line, const char *sms_pdu);
ZV_API void ZvRilPSUnsolicited(const char *line);
ZV_API void ZvRilSIMUnsolicited(const char *line);
ZV_API void ZvRilUSSDUnsolicited(const char *line);

ZV_API int HandleVoiceMessage(RilMessage *m, ...);
ZV_API int HandleDEVMessage(RilMessage *m, ...);
ZV_API int HandleNetworkMessage(RilMessage *m, ...);
/* The SMS router and its stored-message parser read *response, the first answer of the
   pointer (or null-terminated list of pointers) they are given; the caller keeps the answers
   and frees them with at_response_free after the call. The output strings point into them. */
ZV_API int HandleSMSMessage(RilMessage *m, ATResponse **response);
ZV_API int UnsolicitedResponseNewSms(RilMessage *m, ATResponse **response);
ZV_API int HandleSIMMessage(RilMessage *m, ...);
ZV_API int HandlePSMessage(RilMessage *m, ...);

/* ---- module description (set by the start-up sequence) ---- */
ZV_API int g_module_type;   /* 0 CDMA, 1 WCDMA, 2 TD-SCDMA */
ZV_API int g_cdma_subtype;  /* 0 card, 1 no card (NV), 0xffff unknown */
ZV_API int g_provider;
ZV_API int zv_ndis_or_modem; /* 1 NDIS, 2 PPP */
ZV_API int zv_arp_support;   /* 1 ARP allowed, 2 not */
/* Port and interface names: written by the main loop under s_state_mutex, which a reader on
   another thread takes to read a name whole. */
ZV_API char SERIAL_PORT_MODEM_KEYNAME[60];
ZV_API char SERIAL_PORT_PCUI_KEYNAME[60];
ZV_API char SERIAL_PORT_DIAG_KEYNAME[60];
ZV_API char PORT_ECM_KEYNAME[60];
ZV_API int bCRSM;
ZV_API int bSPN;
ZV_API int bims_cdmamsg;

/* ---- worker thread ---- */
ZV_API pthread_mutex_t s_cmd_mutex;
ZV_API pthread_cond_t s_cmd_cond;
ZV_API int g_csd;
ZV_API int g_pspackage;

/* ---- cross-service calls ---- */
ZV_API int GetSIMState(void);
ZV_API int GetRadioStatus(void);
ZV_API void OnSIMReady(void);
/* SIM-ready choices: toolkit command set (0 ^STGI/^STGR, 1 +CUSAT, 2 none) and new-message
   indication mode (1 routed to the terminal, 0 stored and indicated; 0xffff not chosen). */
ZV_API int g_stk_project;
ZV_API int g_sms_project;
/* Reports and deletes every unread stored message; returns how many it deleted. */
ZV_API int GetUnreadSMSandDeletedWhenRilInit(void);
/* Packet-data activity flag through the given query; yields nonzero. */
ZV_API int QueryCurrentPpdState(const char *command, const char *prefix, int *flag);
/* Completes *tokenRef with the data call list, or reports it unsolicited when tokenRef is null. */
ZV_API void RequestDataCallList(RIL_Token *tokenRef);

#endif /* ZORVIK_ZVRIL_H */
