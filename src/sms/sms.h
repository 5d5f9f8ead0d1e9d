/*
 * The SMS service: sending and storing messages in GSM and CDMA form, direct deliveries with
 * the one-outstanding-message queue, the thread that reads stored messages and deletes them,
 * the CDMA transport-layer PDU codec and cell broadcast. Requests enter through
 * ZvRilSmsRequest, indications through ZvRilSmsUnsolicited; answers that need parsing go
 * through HandleSMSMessage with a pointer to the ATResponse * as its second argument.
 */
#ifndef ZORVIK_SMS_SMS_H
#define ZORVIK_SMS_SMS_H

#include <pthread.h>
#include <stddef.h>

#include <telephony/ril.h>
#include <zvril.h>

#include "atchannel/atchannel.h"

/* ---- CDMA transport-layer PDU (3GPP2 C.S0015 parameter form) ---- */

#define ZV_CDMA_PDU_BYTES 1024
#define ZV_CDMA_PDU_HEX 2048 /* the hex buffer EncodePdu writes into, terminator included */

typedef struct BitWriter {
    int bits; /* bits written so far */
    unsigned char data[ZV_CDMA_PDU_BYTES];
} BitWriter;

typedef struct BitReader {
    int pos;                   /* bit position */
    const unsigned char *data;
    int size;                  /* bytes readable at data: nothing is read past them */
} BitReader;

/* Appends the low n bits (n at most 8) most significant first; nothing past the buffer. */
ZV_API void WriteBits(BitWriter *w, int n, int value);
/* Reads n bits (at most 8) into *out; a read past the end gives 0 bits and stops there. */
ZV_API void GetBits(BitReader *r, int n, unsigned char *out);
/* The message as upper-case hex into hex (ZV_CDMA_PDU_HEX chars); args null for sending.
   A message the PDU cannot carry (digit mode other than 4 or 8 bit, more digits than the
   record holds, bearer data outside 0..255 bytes) leaves hex empty. */
ZV_API void EncodePdu(const RIL_CDMA_SMS_Message *msg, char *hex, const RIL_CDMA_SMS_WriteArgs *args);
/* Fills a zeroed record from hex; text that is not whole hex bytes leaves it untouched. */
ZV_API void CdmaPduDecode(RIL_CDMA_SMS_Message *msg, const char *hex);
/* param points at the length byte of an address parameter; the value is param[1..length]. */
ZV_API void DecodeAddress(RIL_CDMA_SMS_Message *msg, const unsigned char *param);
ZV_API void DecodeTeleserviceID(RIL_CDMA_SMS_Message *msg, const unsigned char *param);
ZV_API void DecodeBeareData(RIL_CDMA_SMS_Message *msg, const unsigned char *param);

/* ---- incoming messages and the acknowledgement queue ---- */

typedef struct PduNode {
    int kind; /* 0 message, 1 status report */
    char *text;
    struct PduNode *next;
} PduNode;

ZV_API int g_outstanding_sms;
ZV_API PduNode *g_wait_pdu;
ZV_API pthread_mutex_t s_pdu_queue_mutex;

ZV_API int CMTSmsReport(const char *pdu);
ZV_API int CDSSmsReport(const char *pdu);
ZV_API void CMTISmsReport(const char *line);
ZV_API void EnqueuePdu(int kind, const char *pdu);
ZV_API PduNode *DequeuePdu(void);

/* ---- stored messages ---- */

/* Output of UnsolicitedResponseNewSms: pdu points into the response's lines. */
typedef struct SmsReadResult {
    int length;
    char *pdu;
} SmsReadResult;

ZV_API void *ZvRilReadSmsThenDeleteSms(void *arg);
ZV_API int GetNewSIMSmsOrSmsReportAndDeleted(const char *command);
ZV_API int ReadSmsOnSIMandUnsolicitedResponse(int index, int kind);
ZV_API void RecievePduSms(const char *pdu, int kind);
ZV_API int GetPDUType(const char *pdu);
ZV_API int str2hex(const char *hex, char *out);

/* ---- requests and parsers ---- */

ZV_API void RequestGetSmscAddress(RIL_Token t);
ZV_API void RequestSetSmscAddress(const char *smsc, size_t datalen, RIL_Token t);

/* 25, 87, 96: out int (0 when no line); 63: out int; 100: out char * (into the line). */
ZV_API int SendSms(RilMessage *message, ATResponse *response);
ZV_API int CdmaSendSms(RilMessage *message, ATResponse *response);
ZV_API int CdmaWriteSmsToRuim(RilMessage *message, ATResponse *response);
ZV_API int WriteSmsToSim(RilMessage *message, ATResponse *response);
ZV_API int GetSmscAddress(RilMessage *message, ATResponse *response);
/* 1003 (UnsolicitedResponseNewSms, zvril.h): out SmsReadResult. */
/* 89: out RIL_GSM_BroadcastSmsConfigInfo[ZV_MAX_BROADCAST_ENTRIES]; 91: out int[5]. */
#define ZV_MAX_BROADCAST_ENTRIES 100
ZV_API int GsmGetBroadcastSmsConfig(RilMessage *message, ATResponse *response);
ZV_API int GsmSmsBroadcastActivation(RilMessage *message, ATResponse *response);

#endif
