// The SMS service's entry points, until its requests and events are built in: every
// request routed here is refused as not supported (completed once), every line is dropped.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>

extern "C" {

void ZvRilSmsRequest(int request, void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    RLOGD("ZvRilSmsRequest: %s not supported yet", requestToString(request));
    zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
}

void ZvRilSmsUnsolicited(const char *line, const char * /*sms_pdu*/) { RLOGD("ZvRilSmsUnsolicited: dropped %s", line); }

int HandleSMSMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleSMSMessage p_message is NULL");
        return 0;
    }
    return 0;  // no parser for any id yet
}

// Until the stored-message thread is built in there is nothing it could have deleted.
int GetUnreadSMSandDeletedWhenRilInit(void) { return 0; }

}  // extern "C"
