// The SIM service's request switch and message router.
#include <stdarg.h>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

#include "atchannel/atchannel.h"
#include "sim/sim.h"
#include "sim/sim_io.h"
#include "sim/sim_state.h"
#include "sim/stk.h"

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
            // The modem's codes for the second PIN are not offered to the framework; the 8-13
            // framework still hears that the attempt is over, as after any code entered.
            zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
            zv::ReportSimStatusChange();
            break;
        case RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION:
            RequestEnterNetworkDepersonalization(static_cast<char **>(data), datalen, t);
            break;
        case RIL_REQUEST_GET_IMSI:
            zv::sim::RequestGetIMSI(data, datalen, t);
            break;
        case RIL_REQUEST_SIM_IO:
            zv::sim::RequestSIMIO(data, datalen, t);
            break;
        case RIL_REQUEST_STK_GET_PROFILE:
            RequestSTKGetProfile(data, datalen, t);
            break;
        case RIL_REQUEST_STK_SET_PROFILE:
            RequestSTKSetProfile(data, datalen, t);
            break;
        case RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND:
            RequestSTKSendEnvelopeCommand(data, datalen, t);
            break;
        case RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE:
            RequestSTKSendTerminalResponse(data, datalen, t);
            break;
        case RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM:
            RequestSTKHandleCallSetupRequestedFromSim(data, datalen, t);
            break;
        case RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING:
            RequestReportSTKServiceIsRuning(data, datalen, t);
            break;
        default:
            RLOGD("ZvRilSIMRequest: %s not supported", zv::RequestName(request));
            zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
            break;
    }
}

int HandleSIMMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleSIMMessage p_message is NULL");
        return 0;
    }
    switch (m->id) {
        case RIL_REQUEST_GET_SIM_STATUS:
            return GetSIMStatus(m) != 0 ? 1 : 0;
        case RIL_REQUEST_SIM_IO: {
            va_list args;
            va_start(args, m);
            ATResponse *response = va_arg(args, ATResponse *);
            va_end(args);
            return FillSIMResponse(m, response);
        }
        default:
            return 0;
    }
}

}  // extern "C"

