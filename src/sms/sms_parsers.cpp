// The SMS service's message router and the parsers of the answers it reads: message
// references and storage indexes, the service centre address, stored messages ("+CMGR:",
// "^HCMGR:"), and the cell broadcast settings ("+CSCB:", "+CNMI:"). Every parser reads only
// inside the response's lines and fails on a line that lacks what it needs.
#include <stdlib.h>
#include <string.h>

#include <zvlog.h>
#include <zvril.h>

#include "atchannel/at_tok.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace zv::sms {
namespace {

ATLine *FirstLine(const ATResponse *response) { return response ? response->p_intermediates : nullptr; }

// One integer after the line's "prefix:".
bool FirstInt(char *line, int *out) {
    char *cursor = line;
    return at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, out) == 0;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Service identifier element of "+CSCB:": "<n>" or "<n>-<m>", each 0 to 65535.
bool ReadNumber(const char **p, int *out) {
    const char *s = *p;
    long value = 0;
    int digits = 0;
    while (*s >= '0' && *s <= '9') {
        value = value * 10 + (*s - '0');
        if (value > 65535) return false;
        ++s;
        ++digits;
    }
    if (digits == 0) return false;
    *out = static_cast<int>(value);
    *p = s;
    return true;
}

bool ReadRange(const char *element, const char *end, int *from, int *to) {
    const char *p = element;
    while (p < end && IsSpace(*p)) ++p;
    if (!ReadNumber(&p, from)) return false;
    *to = *from;
    if (p < end && *p == '-') {
        ++p;
        if (!ReadNumber(&p, to)) return false;
    }
    while (p < end && IsSpace(*p)) ++p;
    return p == end;
}

}  // namespace

int RouteAnswer(RilMessage *message, ATResponse *response) {
    ATResponse *list[] = {response, nullptr};
    return HandleSMSMessage(message, list);
}

bool ReadLengthAndInlinePdu(char **cursor, int *length, char **inlinePdu) {
    char *token = nullptr;
    *inlinePdu = nullptr;
    if (at_tok_nextstr(cursor, &token) < 0 || !token) return false;
    char *end = nullptr;
    long value = strtol(token, &end, 10);
    if (end == token || value < 0 || value > 0xffff) return false;
    *length = static_cast<int>(value);
    // Some modems put the PDU on the header line, after a blank.
    while (IsSpace(*end)) ++end;
    if (*end != '\0') *inlinePdu = end;
    return true;
}

}  // namespace zv::sms

extern "C" {

// The reference of a send, or 0 when the modem gave none.
static int ReferenceParser(RilMessage *message, ATResponse *response) {
    if (!message || !message->data) return 0;
    int *out = static_cast<int *>(message->data);
    ATLine *line = zv::sms::FirstLine(response);
    if (!line) {
        *out = 0;
        return 1;
    }
    return zv::sms::FirstInt(line->line, out) ? 1 : 0;
}

int SendSms(RilMessage *message, ATResponse *response) { return ReferenceParser(message, response); }
int CdmaSendSms(RilMessage *message, ATResponse *response) { return ReferenceParser(message, response); }
int CdmaWriteSmsToRuim(RilMessage *message, ATResponse *response) { return ReferenceParser(message, response); }

int WriteSmsToSim(RilMessage *message, ATResponse *response) {
    if (!message || !message->data) return 0;
    ATLine *line = zv::sms::FirstLine(response);
    return line && zv::sms::FirstInt(line->line, static_cast<int *>(message->data)) ? 1 : 0;
}

int GetSmscAddress(RilMessage *message, ATResponse *response) {
    if (!message || !message->data) return 0;
    ATLine *line = zv::sms::FirstLine(response);
    if (!line) return 0;
    char *cursor = line->line;
    char *address = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &address) < 0) return 0;
    *static_cast<char **>(message->data) = address;
    return 1;
}

// "+CMGR: <stat>,[<alpha>],<length>" then the PDU on the next line (or after a blank on the
// same line). The status is not passed on, and modems leave it empty for status reports, so
// only the length and the PDU must be there.
int UnsolicitedResponseNewSms(RilMessage *message, ATResponse **responses) {
    if (!message || !message->data) return 0;
    auto *out = static_cast<SmsReadResult *>(message->data);
    ATLine *header = zv::sms::FirstLine(responses ? *responses : nullptr);
    if (!header) return 0;
    char *cursor = header->line;
    int status = 0;
    char *skip = nullptr;
    int length = 0;
    char *pdu = nullptr;
    if (at_tok_start(&cursor) < 0) return 0;
    if (at_tok_nextint(&cursor, &status) < 0) RLOGD("UnsolicitedResponseNewSms: no status");
    if (at_tok_nextstr(&cursor, &skip) < 0) return 0;
    if (!zv::sms::ReadLengthAndInlinePdu(&cursor, &length, &pdu)) return 0;
    if (!pdu) {
        ATLine *next = header->p_next;
        if (!next || !next->line) return 0;
        pdu = next->line;
    }
    if (!zv::sms::IsHexPdu(pdu, 2 * ZV_CDMA_PDU_BYTES)) return 0;
    out->length = length;
    out->pdu = pdu;
    return 1;
}

// "+CSCB: <mode>,"<mids>"[,"<dcss>"]": every element of <mids> becomes a selected entry.
int GsmGetBroadcastSmsConfig(RilMessage *message, ATResponse *response) {
    if (!message || !message->data) return 0;
    auto *entries = static_cast<RIL_GSM_BroadcastSmsConfigInfo *>(message->data);
    ATLine *line = zv::sms::FirstLine(response);
    if (!line) return 0;
    char *cursor = line->line;
    int mode = 0;
    char *ids = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &mode) < 0 || at_tok_nextstr(&cursor, &ids) < 0) return 0;
    if (ids[0] == '\0') return 0;
    int filled = 0;
    for (const char *p = ids; filled < ZV_MAX_BROADCAST_ENTRIES;) {
        const char *comma = strchr(p, ',');
        const char *end = comma ? comma : p + strlen(p);
        int from = 0, to = 0;
        if (!zv::sms::ReadRange(p, end, &from, &to)) return 0;
        entries[filled].fromServiceId = from;
        entries[filled].toServiceId = to;
        entries[filled].selected = 1;
        ++filled;
        if (!comma) break;
        p = comma + 1;
    }
    return 1;
}

// "+CNMI: <mode>,<mt>,<bm>,<ds>,<bfr>" into five ints.
int GsmSmsBroadcastActivation(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GsmSmsBroadcastActivation: input p_message FAIL.");
        return 0;
    }
    if (!message->data) return 0;
    ATLine *line = zv::sms::FirstLine(response);
    if (!line) return 0;
    int *out = static_cast<int *>(message->data);
    char *cursor = line->line;
    if (at_tok_start(&cursor) < 0) return 0;
    for (int i = 0; i < 5; ++i) {
        if (at_tok_nextint(&cursor, &out[i]) < 0) return 0;
    }
    return 1;
}

int HandleSMSMessage(RilMessage *message, ATResponse **responses) {
    if (!message) {
        RLOGD("HandleSMSMessage p_message is NULL");
        return 0;
    }
    // Every answer the service parses is one response: the first of the list.
    ATResponse *response = responses ? *responses : nullptr;
    switch (message->id) {
        case RIL_REQUEST_SEND_SMS: return SendSms(message, response);
        case RIL_REQUEST_CDMA_SEND_SMS: return CdmaSendSms(message, response);
        case RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM: return CdmaWriteSmsToRuim(message, response);
        case RIL_REQUEST_WRITE_SMS_TO_SIM: return WriteSmsToSim(message, response);
        case RIL_REQUEST_GET_SMSC_ADDRESS: return GetSmscAddress(message, response);
        case RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG: return GsmGetBroadcastSmsConfig(message, response);
        case RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION: return GsmSmsBroadcastActivation(message, response);
        case RIL_UNSOL_RESPONSE_NEW_SMS: return UnsolicitedResponseNewSms(message, responses);
        default: return 0;
    }
}

}  // extern "C"
