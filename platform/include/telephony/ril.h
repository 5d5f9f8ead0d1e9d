/*
 * Host version of the platform radio interface header.
 *
 * Written from the published numbers and record layouts of the radio interface
 * (RIL_VERSION 9 request and unsolicited sets). On Android builds the platform's own
 * header is used instead; this one exists so the library builds and is tested on a
 * Linux host. Record sizes are checked below for 32-bit ARM (ILP32) and LP64.
 *
 * It comes in two shapes, because the library must build against the header of every
 * release it is shipped on:
 *   ZV_RIL_HEADER_SHAPE unset  the header of the socket releases (up to 7.x) as the library
 *                              was first written against (RIL_VERSION 9 names);
 *   ZV_RIL_HEADER_SHAPE=8      the header of 8 and later: RIL_VERSION 12, no radio states 2-9,
 *                              no RIL_Data_Call_Response_v5, the TD-SCDMA names and the
 *                              56-byte signal record, the daemon's RIL_Env with OnRequestAck,
 *                              and no requestToString (a function of the daemon's, which no
 *                              release's header declares).
 * In both shapes the vendor-library side (struct RIL_Env, RIL_Init, RIL_register) follows
 * RIL_SHLIB as the 8+ header does; the first shape always declares it, as it always has.
 */
#ifndef ZORVIK_PLATFORM_TELEPHONY_RIL_H
#define ZORVIK_PLATFORM_TELEPHONY_RIL_H

#include <stdint.h>
#include <stdlib.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZV_RIL_HEADER_SHAPE) && ZV_RIL_HEADER_SHAPE >= 8
#define ZV_RIL_SHAPE_8 1
#else
#define ZV_RIL_SHAPE_8 0
#endif

#if ZV_RIL_SHAPE_8
#define RIL_VERSION 12
#else
#define RIL_VERSION 9
#endif
#define RIL_VERSION_MIN 6
#define RIL_CARD_MAX_APPS 8
#define CDMA_ALPHA_INFO_BUFFER_LENGTH 64
#define CDMA_NUMBER_INFO_BUFFER_LENGTH 81
#define RIL_CDMA_MAX_NUMBER_OF_INFO_RECS 10
#define RIL_CDMA_SMS_ADDRESS_MAX 36
#define RIL_CDMA_SMS_SUBADDRESS_MAX 36
#define RIL_CDMA_SMS_BEARER_DATA_MAX 255

typedef void *RIL_Token;

typedef enum {
    RIL_E_SUCCESS = 0,
    RIL_E_RADIO_NOT_AVAILABLE = 1,
    RIL_E_GENERIC_FAILURE = 2,
    RIL_E_PASSWORD_INCORRECT = 3,
    RIL_E_SIM_PIN2 = 4,
    RIL_E_SIM_PUK2 = 5,
    RIL_E_REQUEST_NOT_SUPPORTED = 6,
    RIL_E_CANCELLED = 7,
    RIL_E_OP_NOT_ALLOWED_DURING_VOICE_CALL = 8,
    RIL_E_OP_NOT_ALLOWED_BEFORE_REG_TO_NW = 9,
    RIL_E_SMS_SEND_FAIL_RETRY = 10,
    RIL_E_SIM_ABSENT = 11,
    RIL_E_SUBSCRIPTION_NOT_AVAILABLE = 12,
    RIL_E_MODE_NOT_SUPPORTED = 13,
    RIL_E_FDN_CHECK_FAILURE = 14,
    RIL_E_ILLEGAL_SIM_OR_ME = 15
} RIL_Errno;

typedef enum {
    RADIO_STATE_OFF = 0,
    RADIO_STATE_UNAVAILABLE = 1,
#if !ZV_RIL_SHAPE_8
    RADIO_STATE_SIM_NOT_READY = 2,
    RADIO_STATE_SIM_LOCKED_OR_ABSENT = 3,
    RADIO_STATE_SIM_READY = 4,
    RADIO_STATE_RUIM_NOT_READY = 5,
    RADIO_STATE_RUIM_READY = 6,
    RADIO_STATE_RUIM_LOCKED_OR_ABSENT = 7,
    RADIO_STATE_NV_NOT_READY = 8,
    RADIO_STATE_NV_READY = 9,
#endif
    RADIO_STATE_ON = 10
} RIL_RadioState;

typedef enum {
    RIL_CALL_ACTIVE = 0,
    RIL_CALL_HOLDING = 1,
    RIL_CALL_DIALING = 2,
    RIL_CALL_ALERTING = 3,
    RIL_CALL_INCOMING = 4,
    RIL_CALL_WAITING = 5
} RIL_CallState;

typedef enum {
    RADIO_TECH_UNKNOWN = 0,
    RADIO_TECH_GPRS = 1,
    RADIO_TECH_EDGE = 2,
    RADIO_TECH_UMTS = 3,
    RADIO_TECH_IS95A = 4,
    RADIO_TECH_IS95B = 5,
    RADIO_TECH_1xRTT = 6,
    RADIO_TECH_EVDO_0 = 7,
    RADIO_TECH_EVDO_A = 8,
    RADIO_TECH_HSDPA = 9,
    RADIO_TECH_HSUPA = 10,
    RADIO_TECH_HSPA = 11,
    RADIO_TECH_EVDO_B = 12,
    RADIO_TECH_EHRPD = 13,
    RADIO_TECH_LTE = 14,
    RADIO_TECH_HSPAP = 15,
    RADIO_TECH_GSM = 16,
#if ZV_RIL_SHAPE_8
    RADIO_TECH_TD_SCDMA = 17,
#endif
} RIL_RadioTechnology;

typedef enum {
    PREF_NET_TYPE_GSM_WCDMA = 0,
    PREF_NET_TYPE_GSM_ONLY = 1,
    PREF_NET_TYPE_WCDMA = 2,
    PREF_NET_TYPE_GSM_WCDMA_AUTO = 3,
    PREF_NET_TYPE_CDMA_EVDO_AUTO = 4,
    PREF_NET_TYPE_CDMA_ONLY = 5,
    PREF_NET_TYPE_EVDO_ONLY = 6,
    PREF_NET_TYPE_GSM_WCDMA_CDMA_EVDO_AUTO = 7,
    PREF_NET_TYPE_LTE_CDMA_EVDO = 8,
    PREF_NET_TYPE_LTE_GSM_WCDMA = 9,
    PREF_NET_TYPE_LTE_CMDA_EVDO_GSM_WCDMA = 10,
    PREF_NET_TYPE_LTE_ONLY = 11,
    PREF_NET_TYPE_LTE_WCDMA = 12,
#if ZV_RIL_SHAPE_8
    PREF_NET_TYPE_TD_SCDMA_ONLY = 13,
    PREF_NET_TYPE_TD_SCDMA_WCDMA = 14,
    PREF_NET_TYPE_TD_SCDMA_LTE = 15,
    PREF_NET_TYPE_TD_SCDMA_GSM = 16,
    PREF_NET_TYPE_TD_SCDMA_GSM_LTE = 17,
    PREF_NET_TYPE_TD_SCDMA_GSM_WCDMA = 18,
    PREF_NET_TYPE_TD_SCDMA_WCDMA_LTE = 19,
    PREF_NET_TYPE_TD_SCDMA_GSM_WCDMA_LTE = 20,
    PREF_NET_TYPE_TD_SCDMA_GSM_WCDMA_CDMA_EVDO_AUTO = 21,
    PREF_NET_TYPE_TD_SCDMA_LTE_CDMA_EVDO_GSM_WCDMA = 22,
#endif
} RIL_PreferredNetworkType;

typedef enum { RIL_CARDSTATE_ABSENT = 0, RIL_CARDSTATE_PRESENT = 1, RIL_CARDSTATE_ERROR = 2 } RIL_CardState;

typedef enum {
    RIL_PINSTATE_UNKNOWN = 0,
    RIL_PINSTATE_ENABLED_NOT_VERIFIED = 1,
    RIL_PINSTATE_ENABLED_VERIFIED = 2,
    RIL_PINSTATE_DISABLED = 3,
    RIL_PINSTATE_ENABLED_BLOCKED = 4,
    RIL_PINSTATE_ENABLED_PERM_BLOCKED = 5
} RIL_PinState;

typedef enum {
    RIL_APPTYPE_UNKNOWN = 0,
    RIL_APPTYPE_SIM = 1,
    RIL_APPTYPE_USIM = 2,
    RIL_APPTYPE_RUIM = 3,
    RIL_APPTYPE_CSIM = 4,
    RIL_APPTYPE_ISIM = 5
} RIL_AppType;

typedef enum {
    RIL_APPSTATE_UNKNOWN = 0,
    RIL_APPSTATE_DETECTED = 1,
    RIL_APPSTATE_PIN = 2,
    RIL_APPSTATE_PUK = 3,
    RIL_APPSTATE_SUBSCRIPTION_PERSO = 4,
    RIL_APPSTATE_READY = 5
} RIL_AppState;

typedef enum {
    RIL_PERSOSUBSTATE_UNKNOWN = 0,
    RIL_PERSOSUBSTATE_IN_PROGRESS = 1,
    RIL_PERSOSUBSTATE_READY = 2,
    RIL_PERSOSUBSTATE_SIM_NETWORK = 3,
    RIL_PERSOSUBSTATE_SIM_NETWORK_SUBSET = 4,
    RIL_PERSOSUBSTATE_SIM_CORPORATE = 5,
    RIL_PERSOSUBSTATE_SIM_SERVICE_PROVIDER = 6,
    RIL_PERSOSUBSTATE_SIM_SIM = 7,
    RIL_PERSOSUBSTATE_SIM_NETWORK_PUK = 8,
    RIL_PERSOSUBSTATE_SIM_NETWORK_SUBSET_PUK = 9,
    RIL_PERSOSUBSTATE_SIM_CORPORATE_PUK = 10,
    RIL_PERSOSUBSTATE_SIM_SERVICE_PROVIDER_PUK = 11,
    RIL_PERSOSUBSTATE_SIM_SIM_PUK = 12,
    RIL_PERSOSUBSTATE_RUIM_NETWORK1 = 13,
    RIL_PERSOSUBSTATE_RUIM_NETWORK2 = 14,
    RIL_PERSOSUBSTATE_RUIM_HRPD = 15,
    RIL_PERSOSUBSTATE_RUIM_CORPORATE = 16,
    RIL_PERSOSUBSTATE_RUIM_SERVICE_PROVIDER = 17,
    RIL_PERSOSUBSTATE_RUIM_RUIM = 18,
    RIL_PERSOSUBSTATE_RUIM_NETWORK1_PUK = 19,
    RIL_PERSOSUBSTATE_RUIM_NETWORK2_PUK = 20,
    RIL_PERSOSUBSTATE_RUIM_HRPD_PUK = 21,
    RIL_PERSOSUBSTATE_RUIM_CORPORATE_PUK = 22,
    RIL_PERSOSUBSTATE_RUIM_SERVICE_PROVIDER_PUK = 23,
    RIL_PERSOSUBSTATE_RUIM_RUIM_PUK = 24
} RIL_PersoSubstate;

typedef enum {
    RIL_UUS_TYPE1_IMPLICIT = 0,
    RIL_UUS_TYPE1_REQUIRED = 1,
    RIL_UUS_TYPE1_NOT_REQUIRED = 2,
    RIL_UUS_TYPE2_REQUIRED = 3,
    RIL_UUS_TYPE2_NOT_REQUIRED = 4,
    RIL_UUS_TYPE3_REQUIRED = 5,
    RIL_UUS_TYPE3_NOT_REQUIRED = 6
} RIL_UUS_Type;

typedef enum {
    RIL_UUS_DCS_USP = 0,
    RIL_UUS_DCS_OSIHLP = 1,
    RIL_UUS_DCS_X244 = 2,
    RIL_UUS_DCS_RMCF = 3,
    RIL_UUS_DCS_IA5c = 4
} RIL_UUS_DCS;

typedef enum { RADIO_TECH_3GPP = 1, RADIO_TECH_3GPP2 = 2 } RIL_RadioTechnologyFamily;
typedef enum { CDMA_SUBSCRIPTION_SOURCE_RUIM_SIM = 0, CDMA_SUBSCRIPTION_SOURCE_NV = 1 } RIL_CdmaSubscriptionSource;
typedef enum { SIM_FILE_UPDATE = 0, SIM_INIT = 1, SIM_RESET = 2 } RIL_SimRefreshResult;

typedef enum {
    CALL_FAIL_UNOBTAINABLE_NUMBER = 1,
    CALL_FAIL_NORMAL = 16,
    CALL_FAIL_BUSY = 17,
    CALL_FAIL_CONGESTION = 34,
    CALL_FAIL_ACM_LIMIT_EXCEEDED = 68,
    CALL_FAIL_CALL_BARRED = 240,
    CALL_FAIL_FDN_BLOCKED = 241,
    CALL_FAIL_IMSI_UNKNOWN_IN_VLR = 242,
    CALL_FAIL_IMEI_NOT_ACCEPTED = 243,
    CALL_FAIL_CDMA_LOCKED_UNTIL_POWER_CYCLE = 1000,
    CALL_FAIL_CDMA_DROP = 1001,
    CALL_FAIL_CDMA_INTERCEPT = 1002,
    CALL_FAIL_CDMA_REORDER = 1003,
    CALL_FAIL_CDMA_SO_REJECT = 1004,
    CALL_FAIL_CDMA_RETRY_ORDER = 1005,
    CALL_FAIL_CDMA_ACCESS_FAILURE = 1006,
    CALL_FAIL_CDMA_PREEMPTED = 1007,
    CALL_FAIL_CDMA_NOT_EMERGENCY = 1008,
    CALL_FAIL_CDMA_ACCESS_BLOCKED = 1009,
    CALL_FAIL_ERROR_UNSPECIFIED = 0xffff
} RIL_LastCallFailCause;

typedef enum {
    PDP_FAIL_NONE = 0,
    PDP_FAIL_OPERATOR_BARRED = 0x08,
    PDP_FAIL_INSUFFICIENT_RESOURCES = 0x1A,
    PDP_FAIL_MISSING_UKNOWN_APN = 0x1B,
    PDP_FAIL_UNKNOWN_PDP_ADDRESS_TYPE = 0x1C,
    PDP_FAIL_USER_AUTHENTICATION = 0x1D,
    PDP_FAIL_ACTIVATION_REJECT_GGSN = 0x1E,
    PDP_FAIL_ACTIVATION_REJECT_UNSPECIFIED = 0x1F,
    PDP_FAIL_SERVICE_OPTION_NOT_SUPPORTED = 0x20,
    PDP_FAIL_SERVICE_OPTION_NOT_SUBSCRIBED = 0x21,
    PDP_FAIL_SERVICE_OPTION_OUT_OF_ORDER = 0x22,
    PDP_FAIL_NSAPI_IN_USE = 0x23,
    PDP_FAIL_REGULAR_DEACTIVATION = 0x24,
    PDP_FAIL_ONLY_IPV4_ALLOWED = 0x32,
    PDP_FAIL_ONLY_IPV6_ALLOWED = 0x33,
    PDP_FAIL_ONLY_SINGLE_BEARER_ALLOWED = 0x34,
    PDP_FAIL_PROTOCOL_ERRORS = 0x6F,
    PDP_FAIL_VOICE_REGISTRATION_FAIL = -1,
    PDP_FAIL_DATA_REGISTRATION_FAIL = -2,
    PDP_FAIL_SIGNAL_LOST = -3,
    PDP_FAIL_PREF_RADIO_TECH_CHANGED = -4,
    PDP_FAIL_RADIO_POWER_OFF = -5,
    PDP_FAIL_TETHERED_CALL_ACTIVE = -6,
    PDP_FAIL_ERROR_UNSPECIFIED = 0xffff
} RIL_DataCallFailCause;

/* ---- request and unsolicited numbers ---- */
#define RIL_REQUEST_GET_SIM_STATUS 1
#define RIL_REQUEST_ENTER_SIM_PIN 2
#define RIL_REQUEST_ENTER_SIM_PUK 3
#define RIL_REQUEST_ENTER_SIM_PIN2 4
#define RIL_REQUEST_ENTER_SIM_PUK2 5
#define RIL_REQUEST_CHANGE_SIM_PIN 6
#define RIL_REQUEST_CHANGE_SIM_PIN2 7
#define RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION 8
#define RIL_REQUEST_GET_CURRENT_CALLS 9
#define RIL_REQUEST_DIAL 10
#define RIL_REQUEST_GET_IMSI 11
#define RIL_REQUEST_HANGUP 12
#define RIL_REQUEST_HANGUP_WAITING_OR_BACKGROUND 13
#define RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND 14
#define RIL_REQUEST_SWITCH_WAITING_OR_HOLDING_AND_ACTIVE 15
#define RIL_REQUEST_CONFERENCE 16
#define RIL_REQUEST_UDUB 17
#define RIL_REQUEST_LAST_CALL_FAIL_CAUSE 18
#define RIL_REQUEST_SIGNAL_STRENGTH 19
#define RIL_REQUEST_VOICE_REGISTRATION_STATE 20
#define RIL_REQUEST_DATA_REGISTRATION_STATE 21
#define RIL_REQUEST_OPERATOR 22
#define RIL_REQUEST_RADIO_POWER 23
#define RIL_REQUEST_DTMF 24
#define RIL_REQUEST_SEND_SMS 25
#define RIL_REQUEST_SEND_SMS_EXPECT_MORE 26
#define RIL_REQUEST_SETUP_DATA_CALL 27
#define RIL_REQUEST_SIM_IO 28
#define RIL_REQUEST_SEND_USSD 29
#define RIL_REQUEST_CANCEL_USSD 30
#define RIL_REQUEST_GET_CLIR 31
#define RIL_REQUEST_SET_CLIR 32
#define RIL_REQUEST_QUERY_CALL_FORWARD_STATUS 33
#define RIL_REQUEST_SET_CALL_FORWARD 34
#define RIL_REQUEST_QUERY_CALL_WAITING 35
#define RIL_REQUEST_SET_CALL_WAITING 36
#define RIL_REQUEST_SMS_ACKNOWLEDGE 37
#define RIL_REQUEST_GET_IMEI 38
#define RIL_REQUEST_GET_IMEISV 39
#define RIL_REQUEST_ANSWER 40
#define RIL_REQUEST_DEACTIVATE_DATA_CALL 41
#define RIL_REQUEST_QUERY_FACILITY_LOCK 42
#define RIL_REQUEST_SET_FACILITY_LOCK 43
#define RIL_REQUEST_CHANGE_BARRING_PASSWORD 44
#define RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE 45
#define RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC 46
#define RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL 47
#define RIL_REQUEST_QUERY_AVAILABLE_NETWORKS 48
#define RIL_REQUEST_DTMF_START 49
#define RIL_REQUEST_DTMF_STOP 50
#define RIL_REQUEST_BASEBAND_VERSION 51
#define RIL_REQUEST_SEPARATE_CONNECTION 52
#define RIL_REQUEST_SET_MUTE 53
#define RIL_REQUEST_GET_MUTE 54
#define RIL_REQUEST_QUERY_CLIP 55
#define RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE 56
#define RIL_REQUEST_DATA_CALL_LIST 57
#define RIL_REQUEST_RESET_RADIO 58
#define RIL_REQUEST_OEM_HOOK_RAW 59
#define RIL_REQUEST_OEM_HOOK_STRINGS 60
#define RIL_REQUEST_SCREEN_STATE 61
#define RIL_REQUEST_SET_SUPP_SVC_NOTIFICATION 62
#define RIL_REQUEST_WRITE_SMS_TO_SIM 63
#define RIL_REQUEST_DELETE_SMS_ON_SIM 64
#define RIL_REQUEST_SET_BAND_MODE 65
#define RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE 66
#define RIL_REQUEST_STK_GET_PROFILE 67
#define RIL_REQUEST_STK_SET_PROFILE 68
#define RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND 69
#define RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE 70
#define RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM 71
#define RIL_REQUEST_EXPLICIT_CALL_TRANSFER 72
#define RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE 73
#define RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE 74
#define RIL_REQUEST_GET_NEIGHBORING_CELL_IDS 75
#define RIL_REQUEST_SET_LOCATION_UPDATES 76
#define RIL_REQUEST_CDMA_SET_SUBSCRIPTION_SOURCE 77
#define RIL_REQUEST_CDMA_SET_ROAMING_PREFERENCE 78
#define RIL_REQUEST_CDMA_QUERY_ROAMING_PREFERENCE 79
#define RIL_REQUEST_SET_TTY_MODE 80
#define RIL_REQUEST_QUERY_TTY_MODE 81
#define RIL_REQUEST_CDMA_SET_PREFERRED_VOICE_PRIVACY_MODE 82
#define RIL_REQUEST_CDMA_QUERY_PREFERRED_VOICE_PRIVACY_MODE 83
#define RIL_REQUEST_CDMA_FLASH 84
#define RIL_REQUEST_CDMA_BURST_DTMF 85
#define RIL_REQUEST_CDMA_VALIDATE_AND_WRITE_AKEY 86
#define RIL_REQUEST_CDMA_SEND_SMS 87
#define RIL_REQUEST_CDMA_SMS_ACKNOWLEDGE 88
#define RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG 89
#define RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG 90
#define RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION 91
#define RIL_REQUEST_CDMA_GET_BROADCAST_SMS_CONFIG 92
#define RIL_REQUEST_CDMA_SET_BROADCAST_SMS_CONFIG 93
#define RIL_REQUEST_CDMA_SMS_BROADCAST_ACTIVATION 94
#define RIL_REQUEST_CDMA_SUBSCRIPTION 95
#define RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM 96
#define RIL_REQUEST_CDMA_DELETE_SMS_ON_RUIM 97
#define RIL_REQUEST_DEVICE_IDENTITY 98
#define RIL_REQUEST_EXIT_EMERGENCY_CALLBACK_MODE 99
#define RIL_REQUEST_GET_SMSC_ADDRESS 100
#define RIL_REQUEST_SET_SMSC_ADDRESS 101
#define RIL_REQUEST_REPORT_SMS_MEMORY_STATUS 102
#define RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING 103
#define RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE 104
#define RIL_REQUEST_ISIM_AUTHENTICATION 105
#define RIL_REQUEST_ACKNOWLEDGE_INCOMING_GSM_SMS_WITH_PDU 106
#define RIL_REQUEST_STK_SEND_ENVELOPE_WITH_STATUS 107
#define RIL_REQUEST_VOICE_RADIO_TECH 108
#define RIL_REQUEST_GET_CELL_INFO_LIST 109
#define RIL_REQUEST_SET_UNSOL_CELL_INFO_LIST_RATE 110
#define RIL_REQUEST_SET_INITIAL_ATTACH_APN 111
#define RIL_REQUEST_IMS_REGISTRATION_STATE 112
#define RIL_REQUEST_IMS_SEND_SMS 113
#define RIL_REQUEST_SWITCH_HOLDING_AND_ACTIVE 15
#define RIL_REQUEST_REGISTRATION_STATE 20
#define RIL_REQUEST_GPRS_REGISTRATION_STATE 21
#define RIL_REQUEST_LAST RIL_REQUEST_IMS_SEND_SMS

#define RIL_UNSOL_RESPONSE_BASE 1000
#define RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED 1000
#define RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED 1001
#define RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED 1002
#define RIL_UNSOL_RESPONSE_NEW_SMS 1003
#define RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT 1004
#define RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM 1005
#define RIL_UNSOL_ON_USSD 1006
#define RIL_UNSOL_ON_USSD_REQUEST 1007
#define RIL_UNSOL_NITZ_TIME_RECEIVED 1008
#define RIL_UNSOL_SIGNAL_STRENGTH 1009
#define RIL_UNSOL_DATA_CALL_LIST_CHANGED 1010
#define RIL_UNSOL_SUPP_SVC_NOTIFICATION 1011
#define RIL_UNSOL_STK_SESSION_END 1012
#define RIL_UNSOL_STK_PROACTIVE_COMMAND 1013
#define RIL_UNSOL_STK_EVENT_NOTIFY 1014
#define RIL_UNSOL_STK_CALL_SETUP 1015
#define RIL_UNSOL_SIM_SMS_STORAGE_FULL 1016
#define RIL_UNSOL_SIM_REFRESH 1017
#define RIL_UNSOL_CALL_RING 1018
#define RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED 1019
#define RIL_UNSOL_RESPONSE_CDMA_NEW_SMS 1020
#define RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS 1021
#define RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL 1022
#define RIL_UNSOL_RESTRICTED_STATE_CHANGED 1023
#define RIL_UNSOL_ENTER_EMERGENCY_CALLBACK_MODE 1024
#define RIL_UNSOL_CDMA_CALL_WAITING 1025
#define RIL_UNSOL_CDMA_OTA_PROVISION_STATUS 1026
#define RIL_UNSOL_CDMA_INFO_REC 1027
#define RIL_UNSOL_OEM_HOOK_RAW 1028
#define RIL_UNSOL_RINGBACK_TONE 1029
#define RIL_UNSOL_RESEND_INCALL_MUTE 1030
#define RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED 1031
#define RIL_UNSOL_CDMA_PRL_CHANGED 1032
#define RIL_UNSOL_EXIT_EMERGENCY_CALLBACK_MODE 1033
#define RIL_UNSOL_RIL_CONNECTED 1034
#define RIL_UNSOL_VOICE_RADIO_TECH_CHANGED 1035
#define RIL_UNSOL_CELL_INFO_LIST 1036
#define RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED 1037
#define RIL_UNSOL_RESPONSE_NETWORK_STATE_CHANGED 1002
#define RIL_UNSOL_LAST RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED

/* ---- records ---- */

typedef struct {
    RIL_UUS_Type uusType;
    RIL_UUS_DCS uusDcs;
    int uusLength;
    char *uusData;
} RIL_UUS_Info;

typedef struct {
    RIL_CallState state;
    int index;
    int toa;
    char isMpty;
    char isMT;
    char als;
    char isVoice;
    char isVoicePrivacy;
    char *number;
    int numberPresentation;
    char *name;
    int namePresentation;
    RIL_UUS_Info *uusInfo;
} RIL_Call;

typedef struct {
    char *address;
    int clir;
    RIL_UUS_Info *uusInfo;
} RIL_Dial;

typedef struct {
    int status;
    int reason;
    int serviceClass;
    int toa;
    char *number;
    int timeSeconds;
} RIL_CallForwardInfo;

typedef struct { int signalStrength; int bitErrorRate; } RIL_GW_SignalStrength;
typedef struct { int signalStrength; int bitErrorRate; } RIL_SignalStrengthWcdma;
typedef struct { int dbm; int ecio; } RIL_CDMA_SignalStrength;
typedef struct { int dbm; int ecio; int signalNoiseRatio; } RIL_EVDO_SignalStrength;
typedef struct { int signalStrength; int rsrp; int rsrq; int rssnr; int cqi; } RIL_LTE_SignalStrength;
typedef struct { int signalStrength; int rsrp; int rsrq; int rssnr; int cqi; int timingAdvance; } RIL_LTE_SignalStrength_v8;

typedef struct {
    RIL_GW_SignalStrength GW_SignalStrength;
    RIL_CDMA_SignalStrength CDMA_SignalStrength;
    RIL_EVDO_SignalStrength EVDO_SignalStrength;
} RIL_SignalStrength_v5;

typedef struct {
    RIL_GW_SignalStrength GW_SignalStrength;
    RIL_CDMA_SignalStrength CDMA_SignalStrength;
    RIL_EVDO_SignalStrength EVDO_SignalStrength;
    RIL_LTE_SignalStrength LTE_SignalStrength;
} RIL_SignalStrength_v6;

#if ZV_RIL_SHAPE_8
typedef struct { int rscp; } RIL_TD_SCDMA_SignalStrength;

typedef struct {
    RIL_GW_SignalStrength GW_SignalStrength;
    RIL_CDMA_SignalStrength CDMA_SignalStrength;
    RIL_EVDO_SignalStrength EVDO_SignalStrength;
    RIL_LTE_SignalStrength_v8 LTE_SignalStrength;
} RIL_SignalStrength_v8;

typedef struct {
    RIL_GW_SignalStrength GW_SignalStrength;
    RIL_CDMA_SignalStrength CDMA_SignalStrength;
    RIL_EVDO_SignalStrength EVDO_SignalStrength;
    RIL_LTE_SignalStrength_v8 LTE_SignalStrength;
    RIL_TD_SCDMA_SignalStrength TD_SCDMA_SignalStrength;
} RIL_SignalStrength_v10;
#endif

typedef struct {
    RIL_AppType app_type;
    RIL_AppState app_state;
    RIL_PersoSubstate perso_substate;
    char *aid_ptr;
    char *app_label_ptr;
    int pin1_replaced;
    RIL_PinState pin1;
    RIL_PinState pin2;
} RIL_AppStatus;

typedef struct {
    RIL_CardState card_state;
    RIL_PinState universal_pin_state;
    int gsm_umts_subscription_app_index;
    int cdma_subscription_app_index;
    int num_applications;
    RIL_AppStatus applications[RIL_CARD_MAX_APPS];
} RIL_CardStatus_v5;

typedef struct {
    RIL_CardState card_state;
    RIL_PinState universal_pin_state;
    int gsm_umts_subscription_app_index;
    int cdma_subscription_app_index;
    int ims_subscription_app_index;
    int num_applications;
    RIL_AppStatus applications[RIL_CARD_MAX_APPS];
} RIL_CardStatus_v6;

typedef struct {
    int command;
    int fileid;
    char *path;
    int p1;
    int p2;
    int p3;
    char *data;
    char *pin2;
} RIL_SIM_IO_v5;

typedef struct {
    int command;
    int fileid;
    char *path;
    int p1;
    int p2;
    int p3;
    char *data;
    char *pin2;
    char *aidPtr;
} RIL_SIM_IO_v6;

typedef struct {
    int sw1;
    int sw2;
    char *simResponse;
} RIL_SIM_IO_Response;

typedef struct {
    int messageRef;
    char *ackPDU;
    int errorCode;
} RIL_SMS_Response;

typedef struct {
    int status;
    char *pdu;
    char *smsc;
} RIL_SMS_WriteArgs;

typedef struct {
    int fromServiceId;
    int toServiceId;
    int fromCodeScheme;
    int toCodeScheme;
    unsigned char selected;
} RIL_GSM_BroadcastSmsConfigInfo;

typedef struct {
    int service_category;
    int language;
    unsigned char selected;
} RIL_CDMA_BroadcastSmsConfigInfo;

typedef enum { RIL_CDMA_SMS_DIGIT_MODE_4_BIT = 0, RIL_CDMA_SMS_DIGIT_MODE_8_BIT = 1, RIL_CDMA_SMS_DIGIT_MODE_MAX32 = 0x10000000 } RIL_CDMA_SMS_DigitMode;
typedef enum { RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK = 0, RIL_CDMA_SMS_NUMBER_MODE_DATA_NETWORK = 1, RIL_CDMA_SMS_NUMBER_MODE_MAX32 = 0x10000000 } RIL_CDMA_SMS_NumberMode;
typedef enum {
    RIL_CDMA_SMS_NUMBER_TYPE_UNKNOWN = 0,
    RIL_CDMA_SMS_NUMBER_TYPE_INTERNATIONAL_OR_DATA_IP = 1,
    RIL_CDMA_SMS_NUMBER_TYPE_NATIONAL_OR_INTERNET_MAIL = 2,
    RIL_CDMA_SMS_NUMBER_TYPE_NETWORK = 3,
    RIL_CDMA_SMS_NUMBER_TYPE_SUBSCRIBER = 4,
    RIL_CDMA_SMS_NUMBER_TYPE_ALPHANUMERIC = 5,
    RIL_CDMA_SMS_NUMBER_TYPE_ABBREVIATED = 6,
    RIL_CDMA_SMS_NUMBER_TYPE_RESERVED_7 = 7,
    RIL_CDMA_SMS_NUMBER_TYPE_MAX32 = 0x10000000
} RIL_CDMA_SMS_NumberType;
typedef enum {
    RIL_CDMA_SMS_NUMBER_PLAN_UNKNOWN = 0,
    RIL_CDMA_SMS_NUMBER_PLAN_TELEPHONY = 1,
    RIL_CDMA_SMS_NUMBER_PLAN_RESERVED_2 = 2,
    RIL_CDMA_SMS_NUMBER_PLAN_DATA = 3,
    RIL_CDMA_SMS_NUMBER_PLAN_TELEX = 4,
    RIL_CDMA_SMS_NUMBER_PLAN_PRIVATE = 9,
    RIL_CDMA_SMS_NUMBER_PLAN_MAX32 = 0x10000000
} RIL_CDMA_SMS_NumberPlan;
typedef enum { RIL_CDMA_SMS_SUBADDRESS_TYPE_NSAP = 0, RIL_CDMA_SMS_SUBADDRESS_TYPE_USER_SPECIFIED = 1, RIL_CDMA_SMS_SUBADDRESS_TYPE_MAX32 = 0x10000000 } RIL_CDMA_SMS_SubaddressType;
typedef enum { RIL_CDMA_SMS_NO_ERROR = 0, RIL_CDMA_SMS_ERROR = 1, RIL_CDMA_SMS_ERROR_MAX32 = 0x10000000 } RIL_CDMA_SMS_ErrorClass;

typedef struct {
    RIL_CDMA_SMS_DigitMode digit_mode;
    RIL_CDMA_SMS_NumberMode number_mode;
    RIL_CDMA_SMS_NumberType number_type;
    RIL_CDMA_SMS_NumberPlan number_plan;
    unsigned char number_of_digits;
    unsigned char digits[RIL_CDMA_SMS_ADDRESS_MAX];
} RIL_CDMA_SMS_Address;

typedef struct {
    RIL_CDMA_SMS_SubaddressType subaddressType;
    unsigned char odd;
    unsigned char number_of_digits;
    unsigned char digits[RIL_CDMA_SMS_SUBADDRESS_MAX];
} RIL_CDMA_SMS_Subaddress;

typedef struct {
    int uTeleserviceID;
    unsigned char bIsServicePresent;
    int uServicecategory;
    RIL_CDMA_SMS_Address sAddress;
    RIL_CDMA_SMS_Subaddress sSubAddress;
    int uBearerDataLen;
    unsigned char aBearerData[RIL_CDMA_SMS_BEARER_DATA_MAX];
} RIL_CDMA_SMS_Message;

typedef struct {
    int status;
    RIL_CDMA_SMS_Message message;
} RIL_CDMA_SMS_WriteArgs;

typedef struct {
    RIL_CDMA_SMS_ErrorClass uErrorClass;
    int uSMSCauseCode;
} RIL_CDMA_SMS_Ack;

typedef struct {
    RIL_RadioTechnologyFamily tech;
    unsigned char retry;
    int messageRef;
    union {
        RIL_CDMA_SMS_Message *cdmaMessage;
        char **gsmMessage;
    } message;
} RIL_IMS_SMS_Message;

typedef struct {
    int status;
    int suggestedRetryTime;
    int cid;
    int active;
    char *type;
    char *ifname;
    char *addresses;
    char *dnses;
    char *gateways;
} RIL_Data_Call_Response_v6;

typedef struct {
    int cid;
    int active;
    char *type;
    char *apn;
    char *address;
} RIL_Data_Call_Response_v4;

#if !ZV_RIL_SHAPE_8
/* Only in the unreleased RIL_VERSION 5 headers: no retry time, no gateways. */
typedef struct {
    int status;
    int cid;
    int active;
    char *type;
    char *ifname;
    char *addresses;
    char *dnses;
} RIL_Data_Call_Response_v5;
#endif

typedef struct {
    int status;
    int suggestedRetryTime;
    int cid;
    int active;
    char *type;
    char *ifname;
    char *addresses;
    char *dnses;
    char *gateways;
    char *pcscf;
} RIL_Data_Call_Response_v9;

typedef struct {
    int status;
    int suggestedRetryTime;
    int cid;
    int active;
    char *type;
    char *ifname;
    char *addresses;
    char *dnses;
    char *gateways;
    char *pcscf;
    int mtu;
} RIL_Data_Call_Response_v11;

typedef struct {
    int notificationType;
    int code;
    int index;
    int type;
    char *number;
} RIL_SuppSvcNotification;

typedef struct {
    char *cid;
    int rssi;
} RIL_NeighboringCell;

typedef struct {
    char isPresent;
    char signalType;
    char alertPitch;
    char signal;
} RIL_CDMA_SignalInfoRecord;

/* ---- entry points and callbacks ---- */

typedef void (*RIL_RequestFunc)(int request, void *data, size_t datalen, RIL_Token t);
typedef RIL_RadioState (*RIL_RadioStateRequest)(void);
typedef int (*RIL_Supports)(int requestCode);
typedef void (*RIL_Cancel)(RIL_Token t);
typedef void (*RIL_TimedCallback)(void *param);
typedef const char *(*RIL_GetVersion)(void);

typedef struct {
    int version;
    RIL_RequestFunc onRequest;
    RIL_RadioStateRequest onStateRequest;
    RIL_Supports supports;
    RIL_Cancel onCancel;
    RIL_GetVersion getVersion;
} RIL_RadioFunctions;

#if !ZV_RIL_SHAPE_8
struct RIL_Env {
    void (*OnRequestComplete)(RIL_Token t, RIL_Errno e, void *response, size_t responselen);
    void (*OnUnsolicitedResponse)(int unsolResponse, const void *data, size_t datalen);
    void (*RequestTimedCallback)(RIL_TimedCallback callback, void *param, const struct timeval *relativeTime);
};

const RIL_RadioFunctions *RIL_Init(const struct RIL_Env *env, int argc, char **argv);

/* Printable name of a request number, for log lines (the platform's radio library). */
const char *requestToString(int request);
#elif defined(RIL_SHLIB)
/* The daemon owns this record and may grow it: a library reads only the members it knows. */
struct RIL_Env {
    void (*OnRequestComplete)(RIL_Token t, RIL_Errno e, void *response, size_t responselen);
    void (*OnUnsolicitedResponse)(int unsolResponse, const void *data, size_t datalen);
    void (*RequestTimedCallback)(RIL_TimedCallback callback, void *param, const struct timeval *relativeTime);
    void (*OnRequestAck)(RIL_Token t);
};

const RIL_RadioFunctions *RIL_Init(const struct RIL_Env *env, int argc, char **argv);
void RIL_register(const RIL_RadioFunctions *callbacks);
#endif

#ifdef __cplusplus
}
#endif

/* Record sizes must match the platform's, on 32-bit ARM and on LP64 alike. */
#define ZV_RIL_SIZE(ilp32, lp64) (sizeof(void *) == 4 ? (ilp32) : (lp64))
#ifdef __cplusplus
#define ZV_RIL_ASSERT(rec, ilp32, lp64) static_assert(sizeof(rec) == ZV_RIL_SIZE(ilp32, lp64), #rec " size")
#else
#define ZV_RIL_ASSERT(rec, ilp32, lp64) _Static_assert(sizeof(rec) == ZV_RIL_SIZE(ilp32, lp64), #rec " size")
#endif
ZV_RIL_ASSERT(RIL_Call, 40, 64);
ZV_RIL_ASSERT(RIL_Dial, 12, 24);
ZV_RIL_ASSERT(RIL_UUS_Info, 16, 24);
ZV_RIL_ASSERT(RIL_CallForwardInfo, 24, 32);
ZV_RIL_ASSERT(RIL_SignalStrength_v5, 28, 28);
ZV_RIL_ASSERT(RIL_SignalStrength_v6, 48, 48);
ZV_RIL_ASSERT(RIL_AppStatus, 32, 48);
ZV_RIL_ASSERT(RIL_CardStatus_v5, 276, 408);
ZV_RIL_ASSERT(RIL_CardStatus_v6, 280, 408);
ZV_RIL_ASSERT(RIL_SIM_IO_v5, 32, 48);
ZV_RIL_ASSERT(RIL_SIM_IO_v6, 36, 56);
ZV_RIL_ASSERT(RIL_SIM_IO_Response, 12, 16);
ZV_RIL_ASSERT(RIL_SMS_Response, 12, 24);
ZV_RIL_ASSERT(RIL_SMS_WriteArgs, 12, 24);
ZV_RIL_ASSERT(RIL_GSM_BroadcastSmsConfigInfo, 20, 20);
ZV_RIL_ASSERT(RIL_CDMA_BroadcastSmsConfigInfo, 12, 12);
ZV_RIL_ASSERT(RIL_CDMA_SMS_Address, 56, 56);
ZV_RIL_ASSERT(RIL_CDMA_SMS_Subaddress, 44, 44);
ZV_RIL_ASSERT(RIL_CDMA_SMS_Message, 372, 372);
ZV_RIL_ASSERT(RIL_CDMA_SMS_WriteArgs, 376, 376);
ZV_RIL_ASSERT(RIL_CDMA_SMS_Ack, 8, 8);
ZV_RIL_ASSERT(RIL_IMS_SMS_Message, 16, 24);
ZV_RIL_ASSERT(RIL_Data_Call_Response_v6, 36, 56);
ZV_RIL_ASSERT(RIL_Data_Call_Response_v4, 20, 32);
#if !ZV_RIL_SHAPE_8
ZV_RIL_ASSERT(RIL_Data_Call_Response_v5, 28, 48);
#endif
ZV_RIL_ASSERT(RIL_Data_Call_Response_v9, 40, 64);
ZV_RIL_ASSERT(RIL_Data_Call_Response_v11, 44, 72);
ZV_RIL_ASSERT(RIL_SuppSvcNotification, 20, 24);
ZV_RIL_ASSERT(RIL_NeighboringCell, 8, 16);
ZV_RIL_ASSERT(RIL_CDMA_SignalInfoRecord, 4, 4);
ZV_RIL_ASSERT(RIL_RadioFunctions, 24, 48);
#if !ZV_RIL_SHAPE_8
ZV_RIL_ASSERT(struct RIL_Env, 12, 24);
#else
ZV_RIL_ASSERT(RIL_TD_SCDMA_SignalStrength, 4, 4);
ZV_RIL_ASSERT(RIL_LTE_SignalStrength_v8, 24, 24);
ZV_RIL_ASSERT(RIL_SignalStrength_v8, 52, 52);
ZV_RIL_ASSERT(RIL_SignalStrength_v10, 56, 56);
#ifdef RIL_SHLIB
ZV_RIL_ASSERT(struct RIL_Env, 16, 32);
#endif
#endif

#endif /* ZORVIK_PLATFORM_TELEPHONY_RIL_H */
