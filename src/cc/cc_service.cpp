// The call control service's request switch: every voice-call and supplementary-service
// request routed here ends exactly once, through the handler it is given to.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "cc/cc.h"

namespace {

void RequestLastCallFailCause(RIL_Token t) {
    int cause = zv::Load(cc_lastCallFailCause);
    zv::CompleteRequest(t, RIL_E_SUCCESS, &cause, sizeof cause);
}

}  // namespace

extern "C" void ZvRilCCRequest(int request, void *data, size_t datalen, RIL_Token t) {
    using namespace zv::cc;
    switch (request) {
        case RIL_REQUEST_GET_CURRENT_CALLS: RequestGetCurrentCalls(t); break;
        case RIL_REQUEST_DIAL: RequestDial(data, datalen, t); break;
        case RIL_REQUEST_HANGUP:
        case RIL_REQUEST_HANGUP_WAITING_OR_BACKGROUND:
        case RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND:
        case RIL_REQUEST_SWITCH_WAITING_OR_HOLDING_AND_ACTIVE:
        case RIL_REQUEST_CONFERENCE:
        case RIL_REQUEST_UDUB:
        case RIL_REQUEST_ANSWER: RequestSimpleCallCommand(request, t); break;
        case RIL_REQUEST_LAST_CALL_FAIL_CAUSE: RequestLastCallFailCause(t); break;
        case RIL_REQUEST_DTMF:
        case RIL_REQUEST_DTMF_START: RequestDtmf(data, t); break;
        case RIL_REQUEST_DTMF_STOP: zv::CompleteRequest(t, RIL_E_SUCCESS); break;
        case RIL_REQUEST_GET_CLIR: RequestGetClir(t); break;
        case RIL_REQUEST_SET_CLIR: RequestSetClir(data, datalen, t); break;
        case RIL_REQUEST_QUERY_CALL_FORWARD_STATUS:
            // The record is read whole: a short one is refused here, before anything is sent.
            RequestQueryCallForwardStatus(datalen >= sizeof(RIL_CallForwardInfo) ? data : nullptr, t);
            break;
        case RIL_REQUEST_SET_CALL_FORWARD: RequestSetCallForward(data, datalen, t); break;
        case RIL_REQUEST_QUERY_CALL_WAITING: RequestQueryCallWaiting(data, datalen, t); break;
        case RIL_REQUEST_SET_CALL_WAITING: RequestSetCallWaiting(data, datalen, t); break;
        case RIL_REQUEST_SEPARATE_CONNECTION: RequestSeparateConnection(data, datalen, t); break;
        case RIL_REQUEST_SET_MUTE: RequestSetMute(data, datalen, t); break;
        case RIL_REQUEST_GET_MUTE: RequestGetMute(t); break;
        case RIL_REQUEST_QUERY_CLIP: RequestQueryClip(t); break;
        case RIL_REQUEST_CDMA_FLASH: RequestCdmaFlash(data, t); break;
        case RIL_REQUEST_CDMA_BURST_DTMF: RequestCdmaBurstDtmf(data, datalen, t); break;
        default:
            // Explicit call transfer among them: the modems offer no such command.
            RLOGD("ZvRilCCRequest: %s not supported", zv::RequestName(request));
            zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
            break;
    }
}
