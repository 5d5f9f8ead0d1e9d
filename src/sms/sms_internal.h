// Pieces of the SMS service shared between its own files (not exported).
#ifndef ZORVIK_SMS_SMS_INTERNAL_H
#define ZORVIK_SMS_SMS_INTERNAL_H

#include <stddef.h>

#include <string>

#include <telephony/ril.h>
#include <zvril.h>

namespace zv::sms {

/* Kinds of the two-byte commands to the stored-message thread. */
constexpr unsigned char kStoredMessage = 0xFF;
constexpr unsigned char kStoredStatusReport = 0xEE;

/* Deliveries waiting for the framework's acknowledgement; a modem that floods "+CMT:" while
   the framework does not acknowledge cannot grow the queue past this. */
constexpr size_t kMaxQueuedDeliveries = 64;

/* Longest PDU hex taken from the framework or relayed from the modem: a TPDU is at most 164
   octets and the SMSC address 12 (TS 23.040); a CDMA PDU at most ZV_CDMA_PDU_BYTES. */
constexpr size_t kMaxTpduHex = 2 * 176;
constexpr size_t kMaxSmscHex = 2 * 12;

int AddressBits(const RIL_CDMA_SMS_Address &a);
bool EncodeMessage(const RIL_CDMA_SMS_Message &m, const RIL_CDMA_SMS_WriteArgs *args, std::string *hex);
bool DecodeAddressValue(RIL_CDMA_SMS_Address *a, const unsigned char *value, int length);
bool DecodeMessage(RIL_CDMA_SMS_Message *m, const char *hex);

/* Non-empty, even length, hex digits only, at most max characters. */
bool IsHexPdu(const char *text, size_t max);

/* Modem index from the framework's storage index, by the chip platform's numbering. */
int ModemIndex(int platformIndex);

/* Sends the two-byte command to the stored-message thread; false when it could not. */
bool SendStoredCommand(unsigned char kind, int index, const char *who);

/* "<length>[ <pdu>]" as the last field of a stored-message header; inlinePdu is set when the
   modem put the PDU on the header line. */
bool ReadLengthAndInlinePdu(char **cursor, int *length, char **inlinePdu);

/* One answer through HandleSMSMessage as the null-terminated list it takes; the caller keeps it. */
int RouteAnswer(RilMessage *message, ATResponse *response);

/* Request handlers of the service's own files. */
void AcknowledgeSms(RIL_Token t);
void RequestGsmGetBroadcastSmsConfig(RIL_Token t);
void RequestGsmSetBroadcastSmsConfig(void *data, size_t datalen, RIL_Token t);
void RequestGsmSmsBroadcastActivation(void *data, size_t datalen, RIL_Token t);

/* Drops every queued delivery and clears the outstanding flag (tests and a fresh start). */
void ResetDeliveryQueue();
size_t QueuedDeliveries();

}  // namespace zv::sms

#endif
