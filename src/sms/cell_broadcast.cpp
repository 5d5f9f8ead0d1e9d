// GSM cell broadcast: which message identifiers to receive ("AT+CSCB", TS 27.005 3.3.4) and
// whether broadcasts are routed to us at all (the <bm> field of "AT+CNMI"). Code schemes are
// neither sent nor read.
#include <string.h>

#include <string>
#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace zv::sms {

void RequestGsmGetBroadcastSmsConfig(RIL_Token t) {
    RequestCompletion done(t);
    std::vector<RIL_GSM_BroadcastSmsConfigInfo> entries(ZV_MAX_BROADCAST_ENTRIES);
    for (auto &e : entries) {
        memset(&e, 0, sizeof e);
        e.fromServiceId = -1;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CSCB?", "+CSCB:", &raw);
    ATResponsePtr response(raw);
    MessagePtr message = ObtainMessage(RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG, nullptr, entries.data());
    if (!AcceptedWithLine(err, response.get()) || !message || RouteAnswer(message.get(), response.get()) != 1) {
        RLOGD("RequestGsmGetBroadcastSmsConfig failure!!!");
        return;
    }
    std::vector<RIL_GSM_BroadcastSmsConfigInfo *> pointers;
    for (auto &e : entries) {
        if (e.fromServiceId != -1) pointers.push_back(&e);
    }
    done.Finish(RIL_E_SUCCESS, pointers.data(), pointers.size() * sizeof(RIL_GSM_BroadcastSmsConfigInfo *));
}

void RequestGsmSetBroadcastSmsConfig(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    const size_t count = data ? datalen / sizeof(RIL_GSM_BroadcastSmsConfigInfo *) : 0;
    if (count == 0) {
        RLOGD("RequestGsmSetBroadcastSmsConfig failure!!!");
        return;
    }
    auto *const *entries = static_cast<RIL_GSM_BroadcastSmsConfigInfo *const *>(data);
    for (size_t i = 0; i < count; ++i) {
        const RIL_GSM_BroadcastSmsConfigInfo *e = entries[i];
        if (!e) {
            RLOGD("RequestGsmSetBroadcastSmsConfig failure!!!");
            return;
        }
        const std::string range = e->fromServiceId == e->toServiceId
                                      ? Format("%d", e->fromServiceId)
                                      : Format("%d-%d", e->fromServiceId, e->toServiceId);
        // TS 27.005: mode 0 accepts the listed identifiers, 1 rejects them.
        const std::string command = Format("AT+CSCB=%d,\"%s\"", e->selected ? 0 : 1, range.c_str());
        ATResponse *raw = nullptr;
        int err = at_send_command(command.c_str(), &raw);
        ATResponsePtr response(raw);
        // A refused entry fails the request: reporting success would hide that the modem
        // does not filter as asked.
        if (!Accepted(err, response.get())) {
            RLOGD("RequestGsmSetBroadcastSmsConfig failure!!!");
            return;
        }
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestGsmSmsBroadcastActivation(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) {
        RLOGD("RequestGsmSmsBroadcastActivation failure!!!");
        return;
    }
    const bool turnOn = *static_cast<const int *>(data) == 0;
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CNMI?", "+CNMI:", &raw);
    ATResponsePtr response(raw);
    int fields[5] = {};
    MessagePtr message = ObtainMessage(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, nullptr, fields);
    if (!AcceptedWithLine(err, response.get()) || !message || RouteAnswer(message.get(), response.get()) != 1) {
        RLOGD("RequestGsmSmsBroadcastActivation failure!!!");
        return;
    }
    const std::string command =
        Format("AT+CNMI=%d, %d, %d, %d, %d", fields[0], fields[1], turnOn ? 2 : 0, fields[3], fields[4]);
    ATResponse *setRaw = nullptr;
    err = at_send_command(command.c_str(), &setRaw);
    ATResponsePtr set(setRaw);
    if (!Accepted(err, set.get())) {
        RLOGD("RequestGsmSmsBroadcastActivation failure!!!");
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

}  // namespace zv::sms
