// The switchboard: the radio-state gate and request routing for onRequest, prefix routing
// of unsolicited lines for ZvRilUnsolicited, and Obtain for the service message routers.
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_internal.h"
#include "atchannel/at_tok.h"
#include "dispatch_tables.h"

namespace zv {

ServiceId ServiceForRequest(int request) {
    for (const RequestRoute &r : kRequestRoutes) {
        if (r.request == request) return r.service;
    }
    return ZV_SERVICE_NONE;
}

ServiceId ServiceForLine(const char *line) {
    for (const UnsolicitedRoute &r : kUnsolicitedRoutes) {
        if (strStartsWith(line, r.prefix)) return r.service;
    }
    return ZV_SERVICE_NONE;
}

namespace {

using RequestHandler = void (*)(int, void *, size_t, RIL_Token);

RequestHandler HandlerFor(ServiceId service) {
    switch (service) {
        case ZV_SERVICE_CC: return ZvRilCCRequest;
        case ZV_SERVICE_DEV: return ZvRilDEVRequest;
        case ZV_SERVICE_MM: return ZvRilMMRequest;
        // The SMS handler's result says whether it served the request; it has answered either way.
        case ZV_SERVICE_SMS: return [](int r, void *d, size_t n, RIL_Token t) { ZvRilSmsRequest(r, d, n, t); };
        case ZV_SERVICE_PS: return ZvRilPSRequest;
        case ZV_SERVICE_SIM: return ZvRilSIMRequest;
        case ZV_SERVICE_USSD: return ZvRilUSSDRequest;
        default: return nullptr;
    }
}

// The radio-state gate. Returns true when the request was answered here (or handed to the
// one handler the state allows) and must not go on to the routing table.
bool GateRequest(int state, int request, void *data, size_t datalen, RIL_Token t) {
    if (state == RADIO_STATE_OFF) {
        switch (request) {
            case RIL_REQUEST_RADIO_POWER:
                ZvRilDEVRequest(request, data, datalen, t);
                return true;
            case RIL_REQUEST_GET_SIM_STATUS:
                ZvRilSIMRequest(request, data, datalen, t);
                return true;
            case RIL_REQUEST_GET_IMEI:
            case RIL_REQUEST_GET_IMEISV:
            case RIL_REQUEST_BASEBAND_VERSION:
            case RIL_REQUEST_OEM_HOOK_STRINGS:
            case RIL_REQUEST_DEVICE_IDENTITY:
                return false;
            default:
                CompleteRequest(t, RIL_E_RADIO_NOT_AVAILABLE);
                return true;
        }
    }
    if (state == RADIO_STATE_UNAVAILABLE) {
        if (request == RIL_REQUEST_GET_SIM_STATUS) {
            ZvRilSIMRequest(request, data, datalen, t);
        } else {
            CompleteRequest(t, RIL_E_RADIO_NOT_AVAILABLE);
        }
        return true;
    }
    return false;
}

}  // namespace
}  // namespace zv

extern "C" {

namespace {

void ServeRequest(int request, void *data, size_t datalen, RIL_Token t) {
    RLOGD("%s: %s, sState:%d", "onRequests", zv::RequestName(request), zv::Load(sState));

    if (request == RIL_REQUEST_SCREEN_STATE) {
        ZvRilMMRequest(request, data, datalen, t);
        return;
    }
    if (request == RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING) {
        RequestReportSTKServiceIsRuning(data, datalen, t);
        return;
    }
    if (zv::GateRequest(zv::Load(sState), request, data, datalen, t)) return;

    // Handlers send on this thread; one that answered without the modem must not be logged
    // as having sent a command.
    const unsigned written = zv::at::CommandsWrittenByThisThread();
    ServiceId service = zv::ServiceForRequest(request);
    // The socket daemon answers these two itself; the 8-13 daemon hands them on.
    if (zv::HidlGeneration() && request == RIL_REQUEST_VOICE_RADIO_TECH) {
        zv::RequestVoiceRadioTech(t);
    } else if (zv::HidlGeneration() && request == RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE) {
        zv::RequestCdmaSubscriptionSource(t);
    } else if (auto handler = zv::HandlerFor(service)) {
        handler(request, data, datalen, t);
    } else {
        RLOGD("Not found the request : %s in Function: %s", zv::RequestName(request), "JudgeServiceOnRequest");
        zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
        RLOGD("%s: invalid service ID:%d\n", "onRequests", ZV_SERVICE_NONE);
    }
    if (zv::at::CommandsWrittenByThisThread() != written) {
        RLOGD("onRequest: %s, Local implementation,  AT cmd sent", zv::RequestName(request));
    } else {
        RLOGD("onRequest: %s, answered without an AT command", zv::RequestName(request));
    }
}

}  // namespace

// The request's time-out allowance lives as long as the request is being served: whatever its
// handler did not use (a request refused, gated or answered without a command) must not go to
// the next command of some other request.
void onRequest(int request, void *data, size_t datalen, RIL_Token t) {
    zv::Store(at_request, request);
    ServeRequest(request, data, datalen, t);
    int expected = request;
    std::atomic_ref<int>(at_request).compare_exchange_strong(expected, 0, std::memory_order_relaxed);
}

void ZvRilUnsolicited(const char *line, const char *sms_pdu) {
    if (!line || zv::Load(sState) == RADIO_STATE_UNAVAILABLE) return;
    ServiceId service = zv::ServiceForLine(line);
    switch (service) {
        case ZV_SERVICE_CC: ZvRilCCUnsolicited(line); break;
        case ZV_SERVICE_DEV: ZvRilDEVUnsolicited(line); break;
        case ZV_SERVICE_MM: ZvRilMMUnsolicited(line); break;
        case ZV_SERVICE_SMS: ZvRilSmsUnsolicited(line, sms_pdu); break;
        case ZV_SERVICE_PS: ZvRilPSUnsolicited(line); break;
        case ZV_SERVICE_SIM: ZvRilSIMUnsolicited(line); break;
        case ZV_SERVICE_USSD: ZvRilUSSDUnsolicited(line); break;
        default: RLOGD("%s: Unexpected service type:%d", "ZvRilUnsolicited", service); break;
    }
}

void Obtain(RilMessage **out, int id, char *text, void *data) {
    if (!out) return;
    auto *m = static_cast<RilMessage *>(calloc(1, sizeof(RilMessage)));
    if (!m) {
        RLOGD("p_message is NULL !!!");
        *out = nullptr;
        return;
    }
    m->id = id;
    m->text = text;
    m->data = data;
    *out = m;
}

}  // extern "C"
