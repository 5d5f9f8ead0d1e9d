// The SIM service's entry points, until its requests and events are built in: every
// request routed here is refused as not supported (completed once), every line is dropped.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

extern "C" {

void ZvRilSIMRequest(int request, void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    RLOGD("ZvRilSIMRequest: %s not supported yet", requestToString(request));
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

void ZvRilSIMUnsolicited(const char *line) { RLOGD("ZvRilSIMUnsolicited: dropped %s", line); }

int HandleSIMMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleSIMMessage p_message is NULL");
        return 0;
    }
    return 0;  // no parser for any id yet
}

}  // extern "C"

// Cross-service calls of the SIM service, in their minimal form until the SIM service is
// built in: the toolkit is not running and the SIM-ready configuration does nothing.
extern "C" {

void OnSIMReady(void) { RLOGD("OnSIMReady: SIM-ready configuration not built in yet"); }

void RequestReportSTKServiceIsRuning(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

}  // extern "C"
