// The packet data service's entry points, until its requests and events are built in: every
// request routed here is refused as not supported (completed once), every line is dropped.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

extern "C" {

void ZvRilPSRequest(int request, void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    RLOGD("ZvRilPSRequest: %s not supported yet", requestToString(request));
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

void ZvRilPSUnsolicited(const char *line) { RLOGD("ZvRilPSUnsolicited: dropped %s", line); }

int HandlePSMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandlePSMessage p_message is NULL");
        return 0;
    }
    return 0;  // no parser for any id yet
}

// Until the packet data service is built in there is no list to give.
void RequestDataCallList(RIL_Token *tokenRef) {
    if (tokenRef) zv::CompleteRequest(*tokenRef, RIL_E_REQUEST_NOT_SUPPORTED);
}

}  // extern "C"
