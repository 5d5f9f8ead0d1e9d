// The device service's entry points, until its requests and events are built in: every
// request routed here is refused as not supported (completed once), every line is dropped.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

extern "C" {

void ZvRilDEVRequest(int request, void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    RLOGD("ZvRilDEVRequest: %s not supported yet", requestToString(request));
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

void ZvRilDEVUnsolicited(const char *line) { RLOGD("ZvRilDEVUnsolicited: dropped %s", line); }

int HandleDEVMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleDEVMessage  p_message  is  NULL");
        return 0;
    }
    return 0;  // no parser for any id yet
}

}  // extern "C"

