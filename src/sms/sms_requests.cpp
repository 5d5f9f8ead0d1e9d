// The SMS service's request switch: sending in PDU mode (GSM through "AT+CMGS=", CDMA through
// "AT^HCMGS=", IMS messages by their technology), writing to the SIM or R-UIM store,
// deleting stored messages, and the service centre address.
//
// Every string that ends up in a command or after the prompt is checked first: PDUs must be
// hex, the service centre a dialling string. Anything else is refused and nothing is sent, so a
// framework string can neither end the command nor submit or cancel the PDU early.
#include <string.h>

#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace zv::sms {

int ModemIndex(int platformIndex) {
    const int provider = zv::Load(g_provider);
    return provider >= 1 && provider <= 9 ? platformIndex : platformIndex - 1;
}

namespace {

// A service centre address as "AT+CSCA" takes it: an optional "+" and up to 20 digits
// (TS 24.008 BCD number), with the "*" and "#" a dialling string may hold.
constexpr size_t kMaxSmscDigits = 20;

bool IsSmscAddress(const char *s) {
    if (!s) return false;
    const char *p = s[0] == '+' ? s + 1 : s;
    size_t n = 0;
    for (; p[n] != '\0'; ++n) {
        if (n >= kMaxSmscDigits) return false;
        const char c = p[n];
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#')) return false;
    }
    return n > 0;
}

// Sends command and PDU through the prompt and reads the one-integer answer with id.
bool SendPdu(const std::string &command, const std::string &pdu, const char *prefix, int id, int *number) {
    ATResponse *raw = nullptr;
    int err = at_send_command_sms(command.c_str(), pdu.c_str(), prefix, &raw);
    ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return false;
    MessagePtr message = ObtainMessage(id, nullptr, number);
    return message && RouteAnswer(message.get(), response.get()) == 1;
}

void RequestSendSms(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < 2 * sizeof(char *)) {
        RLOGD("RequestSendSms FAIL");
        return;
    }
    const char *const *args = static_cast<const char *const *>(data);
    const char *smsc = args[0];
    const char *tpdu = args[1];
    // An empty SMSC means the same as none: the default centre.
    if (smsc && smsc[0] == '\0') smsc = nullptr;
    if ((smsc && !IsHexPdu(smsc, kMaxSmscHex)) || !IsHexPdu(tpdu, kMaxTpduHex)) {
        RLOGD("RequestSendSms: PDU refused, not sent");
        RLOGD("RequestSendSms FAIL");
        return;
    }
    const std::string command = Format("AT+CMGS=%d", static_cast<int>(strlen(tpdu) / 2));
    const std::string pdu = std::string(smsc ? smsc : "00") + tpdu;
    RLOGD("PDU has been commentaried!");
    int reference = 0;
    if (!SendPdu(command, pdu, "+CMGS:", RIL_REQUEST_SEND_SMS, &reference)) {
        RLOGD("RequestSendSms FAIL");
        return;
    }
    RIL_SMS_Response response = {reference, nullptr, 0};
    done.Finish(RIL_E_SUCCESS, &response, sizeof response);
}

void RequestSendCdmaSms(const RIL_CDMA_SMS_Message *message, RIL_Token t) {
    RequestCompletion done(t);
    RLOGD("--------------requeset_send_cdma_sms--------------");
    std::string pdu;
    if (!message || !EncodeMessage(*message, nullptr, &pdu)) {
        RLOGD("RequestSendCdmaSms  error");
        return;
    }
    const std::string command = Format("AT^HCMGS=%d", static_cast<int>(pdu.size() / 2));
    int reference = 0;
    if (!SendPdu(command, pdu, "^HCMGS:", RIL_REQUEST_CDMA_SEND_SMS, &reference)) {
        RLOGD("RequestSendCdmaSms  error");
        return;
    }
    RIL_SMS_Response response = {reference, nullptr, 0};
    done.Finish(RIL_E_SUCCESS, &response, sizeof response);
}

void RequestImsSendSms(void *data, size_t datalen, RIL_Token t) {
    if (!data || datalen < sizeof(RIL_IMS_SMS_Message)) {
        CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        return;
    }
    const auto *ims = static_cast<const RIL_IMS_SMS_Message *>(data);
    switch (ims->tech) {
        case RADIO_TECH_3GPP2:
            RLOGD("IMS SEND CDMA MSG!");
            RequestSendCdmaSms(ims->message.cdmaMessage, t);
            break;
        case RADIO_TECH_3GPP:
            RLOGD("IMS SEND GSM/WCDMA MSG!");
            RequestSendSms(ims->message.gsmMessage, ims->message.gsmMessage ? 2 * sizeof(char *) : 0, t);
            break;
        default:
            RLOGD("unknown radio technoly!!!");
            CompleteRequest(t, RIL_E_GENERIC_FAILURE);
            break;
    }
}

void RequestWriteSmsToSim(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(RIL_SMS_WriteArgs)) return;
    const auto *args = static_cast<const RIL_SMS_WriteArgs *>(data);
    const char *smsc = args->smsc && args->smsc[0] != '\0' ? args->smsc : "00";
    if (!IsHexPdu(smsc, kMaxSmscHex) || !IsHexPdu(args->pdu, kMaxTpduHex)) {
        RLOGD("RequestWriteSmsToSim: PDU refused, not sent");
        return;
    }
    const std::string command =
        Format("AT+CMGW=%d,%d", static_cast<int>(strlen(args->pdu) / 2), args->status);
    int index = 0;
    if (SendPdu(command, std::string(smsc) + args->pdu, "+CMGW:", RIL_REQUEST_WRITE_SMS_TO_SIM, &index))
        done.Finish(RIL_E_SUCCESS, &index, sizeof index);
}

void RequestWriteSmsToRuim(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(RIL_CDMA_SMS_WriteArgs)) return;
    const auto *args = static_cast<const RIL_CDMA_SMS_WriteArgs *>(data);
    std::string pdu;
    if (!EncodeMessage(args->message, args, &pdu)) {
        RLOGD("RequestWriteSmsToRuim: message cannot be encoded");
        return;
    }
    const std::string command = Format("AT^HCMGW=%d,%d", static_cast<int>(pdu.size() / 2), args->status);
    int index = 0;
    if (SendPdu(command, pdu, "^HCMGW:", RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM, &index))
        done.Finish(RIL_E_SUCCESS, &index, sizeof index);
}

void RequestDeleteSms(int request, void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    const int index = ModemIndex(*static_cast<const int *>(data));
    if (index < 0) {
        RLOGD("RequestDeleteSms: no such index");
        return;
    }
    const std::string command = Format("AT+CMGD=%d", index);
    if (request == RIL_REQUEST_DELETE_SMS_ON_SIM) {
        RLOGD("*****************cmd is:%s**************", command.c_str());
    } else {
        RLOGD("***********ruim******cmd is:%s**************", command.c_str());
    }
    ATResponse *raw = nullptr;
    int err = at_send_command(command.c_str(), &raw);
    ATResponsePtr response(raw);
    if (Accepted(err, response.get())) done.Finish(RIL_E_SUCCESS);
}

}  // namespace
}  // namespace zv::sms

extern "C" {

void RequestGetSmscAddress(RIL_Token t) {
    zv::RequestCompletion done(t);
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CSCA?", "+CSCA:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return;
    char *address = nullptr;
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_GET_SMSC_ADDRESS, nullptr, &address);
    if (message && zv::sms::RouteAnswer(message.get(), response.get()) == 1 && address)
        done.Finish(RIL_E_SUCCESS, address, strlen(address) + 1);
}

void RequestSetSmscAddress(const char *smsc, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!zv::sms::IsSmscAddress(smsc)) {
        RLOGD("RequestSetSmscAddress: address refused, not sent");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command(zv::Format("AT+CSCA=\"%s\"", smsc).c_str(), &raw);
    zv::ATResponsePtr response(raw);
    if (zv::Accepted(err, response.get())) done.Finish(RIL_E_SUCCESS);
}

int ZvRilSmsRequest(int request, void *data, size_t datalen, RIL_Token t) {
    using namespace zv::sms;
    switch (request) {
        case RIL_REQUEST_SEND_SMS: RequestSendSms(data, datalen, t); break;
        case RIL_REQUEST_SMS_ACKNOWLEDGE: AcknowledgeSms(t); break;
        case RIL_REQUEST_WRITE_SMS_TO_SIM: RequestWriteSmsToSim(data, datalen, t); break;
        case RIL_REQUEST_DELETE_SMS_ON_SIM:
        case RIL_REQUEST_CDMA_DELETE_SMS_ON_RUIM: RequestDeleteSms(request, data, datalen, t); break;
        case RIL_REQUEST_CDMA_SEND_SMS:
            RequestSendCdmaSms(data && datalen >= sizeof(RIL_CDMA_SMS_Message)
                                   ? static_cast<const RIL_CDMA_SMS_Message *>(data)
                                   : nullptr,
                               t);
            break;
        case RIL_REQUEST_CDMA_SMS_ACKNOWLEDGE: zv::CompleteRequest(t, RIL_E_SUCCESS); break;
        case RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG: RequestGsmGetBroadcastSmsConfig(t); break;
        case RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG: RequestGsmSetBroadcastSmsConfig(data, datalen, t); break;
        case RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION: RequestGsmSmsBroadcastActivation(data, datalen, t); break;
        case RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM: RequestWriteSmsToRuim(data, datalen, t); break;
        case RIL_REQUEST_GET_SMSC_ADDRESS: RequestGetSmscAddress(t); break;
        case RIL_REQUEST_SET_SMSC_ADDRESS:
            RequestSetSmscAddress(static_cast<const char *>(data), datalen, t);
            break;
        case RIL_REQUEST_IMS_SEND_SMS: RequestImsSendSms(data, datalen, t); break;
        default: zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED); return 0;
    }
    return 1;
}

}  // extern "C"
