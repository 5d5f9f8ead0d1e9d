// The network lines the modem reports by itself, and the small requests around them: screen
// state (which switches those reports off and on), location updates, IMS registration and the
// packet-data activity query.
#include <ctype.h>
#include <string.h>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "mm/mm.h"

namespace {

using zv::mm::FirstLine;

bool LooksLikeTime(const char *text) {
    for (; *text; ++text) {
        if (!isdigit(static_cast<unsigned char>(*text)) && !strchr("/,:+- ", *text)) return false;
    }
    return true;
}

void ReportNetworkTime(const char *line) {
    const char *colon = strchr(line, ':');
    if (!colon) return;
    const char *rest = colon + 1;
    while (isspace(static_cast<unsigned char>(*rest))) ++rest;
    // The rest of the line goes on as the modem wrote it (the channel bounds a line's length);
    // only what reads as a time reaches the log.
    const char *time = rest;
    if (LooksLikeTime(time)) {
        RLOGD("ZvRilMMUnsolicited: NITZ: %s", time);
        RLOGD("ZvRilMMUnsolicited: After parsing NITZ: %s", time);
    } else {
        RLOGD("ZvRilMMUnsolicited: NITZ: %zu characters", strlen(time));
    }
    // The 8-13 daemon keeps exactly `datalen` bytes for a framework not yet connected and later
    // reads them as a C string: the terminating zero must be among them.
    const size_t length = strlen(time) + (zv::HidlGeneration() ? 1 : 0);
    zv::ReportUnsolicited(RIL_UNSOL_NITZ_TIME_RECEIVED, time, length);
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

void ScreenOn(zv::RequestCompletion &done) {
    int flag = 0;
    if (QueryCurrentPpdState("AT^NDISSTATQRY?", "^NDISSTATQRY:", &flag) == 0) RLOGD("QueryCurrentPpdState FAIL");
    // Without a data connection the framework may have missed its end while the screen was off:
    // a report without a list tells it that no call is up (both daemon generations read (NULL, 0)
    // as the empty list). The modem has just been asked; the full list request would ask again.
    if (flag == 0 && zv::Load(g_module_type) == 1) zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED);
    static constexpr struct {
        const char *command;
        const char *failure;
    } kReportsOn[] = {
        {"AT^CURC=1", "Send ^CURC=1 Fail !!!"},
        {"AT+CREG=2", "Send +CREG=2 Fail !!!"},
        {"AT+CGREG=2", "Send +CGREG=2 Fail !!!"},
        {"AT+CIREG=1", "Send +CIREG=1 Fail !!!"},
    };
    for (const auto &step : kReportsOn) {
        if (at_send_command(step.command, nullptr) < 0) RLOGD("%s", step.failure);
    }
    done.Finish(RIL_E_SUCCESS);
    zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED);
    zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED);
}

void ScreenOff(zv::RequestCompletion &done) {
    for (const char *command : {"AT^CURC=0", "AT+CREG=0", "AT+CGREG=0", "AT+CIREG=0"}) {
        if (at_send_command(command, nullptr) < 0) {
            done.Finish(RIL_E_GENERIC_FAILURE);
            return;
        }
    }
    done.Finish(RIL_E_SUCCESS);
}

}  // namespace

namespace zv::mm {

void RequestIMSRegistrationState(RIL_Token t) {
    int err = 0;
    ATResponsePtr response = SendSingleline("AT^HIMSF?", "^HIMSF:", &err);
    int value = 2;
    bool ok = Accepted(err, response.get());
    if (ok) {
        MessagePtr message = ObtainMessage(RIL_REQUEST_IMS_REGISTRATION_STATE, nullptr, &value);
        ATResponse *list[] = {response.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    int answer[2] = {0, 1};  // not registered, 3GPP
    if (ok) {
        switch (value) {
            case 0: answer[0] = 1, answer[1] = 1; break;
            case 1: answer[0] = 1, answer[1] = 2; break;
            default: break;
        }
    } else {
        if (!response) RLOGD("RequestIMSRegistration p_response is NULL ");
        RLOGD("RequestIMSRegistration does not register in IMS!");
    }
    CompleteRequest(t, RIL_E_SUCCESS, answer, sizeof answer);
}

}  // namespace zv::mm

extern "C" {

void ZvRilMMUnsolicited(const char *line) {
    if (!line) return;
    if (strStartsWith(line, "+CREG:") || strStartsWith(line, "+CGREG:") || strStartsWith(line, "^SRVST:") ||
        strStartsWith(line, "^MODE:")) {
        if (strStartsWith(line, "^MODE:")) UnsolicitedMode(line);
        // The framework asks for the new state itself.
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED);
    } else if (strStartsWith(line, "^RSSI:") || strStartsWith(line, "^HCSQ:")) {
        UnsolicitedSignalStrength(line);
    } else if (strStartsWith(line, "^CRSSI") || strStartsWith(line, "^HDRRSSI")) {
        UnsolicitedCdmaSignalStrength(line);
    } else if (strStartsWith(line, "^NWTIME")) {
        ReportNetworkTime(line);
    } else if (strStartsWith(line, "+CIREGU:")) {
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED);
    }
    // Anything else (^CSNR among them) carries nothing the framework takes.
}

void RequestScreenState(void *data, RIL_Token t) {
    zv::RequestCompletion done(t);
    const int on = data ? *static_cast<const int *>(data) : -1;
    switch (on) {
        case 1: ScreenOn(done); break;
        case 0: ScreenOff(done); break;
        default: done.Finish(RIL_E_SUCCESS); break;
    }
}

void RequestSetLocationUpdates(void *data, RIL_Token t) {
    RLOGD("RequestSetLocationUpdates Start\n");
    zv::RequestCompletion done(t);
    const int enable = data ? *static_cast<const int *>(data) : -1;
    if (enable != 0 && enable != 1) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    bool ok = at_send_command(enable ? "AT+CREG=2" : "AT+CREG=1", nullptr) >= 0;
    if (ok) ok = at_send_command(enable ? "AT+CGREG=2" : "AT+CGREG=1", nullptr) >= 0;
    done.Finish(ok ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
}

int QueryIMSStatus(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("QueryIMSStatus: input p_message is NULL");
        return 0;
    }
    auto *value = static_cast<int *>(message->data);
    char *cursor = list ? FirstLine(list[0]) : nullptr;
    if (!value || !cursor) return 0;
    return at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, value) == 0 ? 1 : 0;
}

int GetPdpActiveFlag(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("GetPdpActiveFlag: input p_message is NULL");
        return 0;
    }
    auto *flag = static_cast<int *>(message->data);
    if (!flag) return 0;
    int ndis = 0, context = 0;
    for (ATResponse **r = list; r && *r; ++r) {
        char *cursor = FirstLine(*r);
        if (!cursor) continue;
        if (strstr(cursor, "^NDISSTATQRY:")) {
            if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &ndis) < 0) ndis = 0;
        } else if (strstr(cursor, "+CGACT:")) {
            int cid = 0;
            if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &cid) < 0 || at_tok_nextint(&cursor, &context) < 0)
                context = 0;
        }
    }
    *flag = ndis != 0 || context != 0 ? 1 : 0;
    return 1;
}

int QueryCurrentPpdState(const char *command, const char *prefix, int *flag) {
    if (zv::Load(g_module_type) != 1) return 1;
    if (!command || !prefix || !flag) return 0;
    int err = 0;
    int result = 1;
    {
        zv::ATResponsePtr response = SendSingleline(command, prefix, &err);
        if (err == 0 && response && response->success > 0) {
            zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_SCREEN_STATE, nullptr, flag);
            ATResponse *list[] = {response.get(), nullptr};
            result = message ? HandleNetworkMessage(message.get(), list) : 0;
        }
    }
    // An NDIS query that shows nothing may miss a PPP connection: ask the contexts too.
    if ((*flag == 0 || result == 0) && strcmp(command, "AT^NDISSTATQRY?") == 0)
        return QueryCurrentPpdState("AT+CGACT?", "+CGACT:", flag);
    return result;
}

}  // extern "C"
