// The SIM service's request switch and message router, and the entry points that later
// parts of the service (SIM-ready configuration, SIM events, SIM I/O, the toolkit) fill in.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

#include "sim/sim.h"

extern "C" {

void ZvRilSIMRequest(int request, void *data, size_t datalen, RIL_Token t) {
    switch (request) {
        case RIL_REQUEST_GET_SIM_STATUS:
            RequestGetSIMStatus(data, datalen, t);
            break;
        case RIL_REQUEST_ENTER_SIM_PIN:
        case RIL_REQUEST_ENTER_SIM_PUK:
        case RIL_REQUEST_CHANGE_SIM_PIN:
            zv::sim::RequestEnterCode(request, data, datalen, t);
            break;
        case RIL_REQUEST_ENTER_SIM_PIN2:
        case RIL_REQUEST_ENTER_SIM_PUK2:
        case RIL_REQUEST_CHANGE_SIM_PIN2:
            // The modem's codes for the second PIN are not offered to the framework.
            zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
            break;
        case RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION:
            RequestEnterNetworkDepersonalization(static_cast<char **>(data), datalen, t);
            break;
        case RIL_REQUEST_GET_IMSI:
            zv::sim::RequestGetIMSI(data, datalen, t);
            break;
        case RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING:
            RequestReportSTKServiceIsRuning(data, datalen, t);
            break;
        default:
            // SIM I/O and the toolkit requests, until they are built in.
            RLOGD("ZvRilSIMRequest: %s not supported", requestToString(request));
            zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
            break;
    }
}

void ZvRilSIMUnsolicited(const char *line) {
    RLOGD("ZvRilSIMUnsolicited: dropped %s", line);
}

int HandleSIMMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleSIMMessage p_message is NULL");
        return 0;
    }
    switch (m->id) {
        case RIL_REQUEST_GET_SIM_STATUS:
            return GetSIMStatus(m) != 0 ? 1 : 0;
        default:
            // 28 (SIM I/O answers) joins with SIM I/O.
            return 0;
    }
}

}  // extern "C"

// Cross-service calls of the SIM service, in their minimal form until the SIM-ready
// configuration and the toolkit are built in.
extern "C" {

void OnSIMReady(void) {
    RLOGD("OnSIMReady: SIM-ready configuration not built in yet");
}

void RequestReportSTKServiceIsRuning(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

}  // extern "C"
