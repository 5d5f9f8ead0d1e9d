// The network service's entry points, until its requests and events are built in: every
// request routed here is refused as not supported (completed once), every line is dropped.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

extern "C" {

void ZvRilMMRequest(int request, void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    RLOGD("ZvRilMMRequest: %s not supported yet", requestToString(request));
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

void ZvRilMMUnsolicited(const char *line) { RLOGD("ZvRilMMUnsolicited: dropped %s", line); }

int HandleNetworkMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleNetworkMessage: p_message is NULL");
        return 0;
    }
    return 0;  // no parser for any id yet
}

// Until the network service is built in the flag is left as the caller set it.
int QueryCurrentPpdState(const char * /*command*/, const char * /*prefix*/, int * /*flag*/) { return 1; }

}  // extern "C"
