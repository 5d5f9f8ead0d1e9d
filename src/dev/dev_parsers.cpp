// The device service's message router and the parsers of the answers it reads: IMEISV,
// facility-lock classes, CDMA subscription and CDMA device identity. Every parser reads
// only inside the response's lines and fails on a line that lacks what it needs.
#include <stdarg.h>
#include <string.h>

#include <zvlog.h>
#include <zvril.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "dev/band_mode.h"
#include "dev/dev.h"

namespace {

// The first field after the line's "prefix:" as a string pointing into the line.
bool FirstField(char *line, char **out) {
    char *cursor = line;
    return at_tok_start(&cursor) == 0 && at_tok_nextstr(&cursor, out) == 0;
}

ATLine *FirstLine(const ATResponse *response) {
    return response ? response->p_intermediates : nullptr;
}

}  // namespace

extern "C" {

int GetIMEISV(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetIMEISV: input p_message is NULL.");
        return 0;
    }
    ATLine *line = FirstLine(response);
    char *value = nullptr;
    if (!message->data || !line || !FirstField(line->line, &value)) return 0;
    // "^IMEISV: <14-digit IMEI><2-digit software version>": the framework wants the version.
    size_t length = strlen(value);
    if (length < 2) return 0;
    char *out = static_cast<char *>(message->data);
    out[0] = value[length - 2];
    out[1] = value[length - 1];
    out[2] = '\0';
    return 1;
}

int QueryFacilityLock(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("QueryFacilityLock: input p_message is NULL.");
        return 0;
    }
    if (!message->data || !response) return 0;
    int classes = 0;
    // "+CLCK: <status>[,<class>]", one line per class when the network reports classes.
    for (ATLine *line = response->p_intermediates; line; line = line->p_next) {
        char *cursor = line->line;
        int status = 0;
        if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &status) < 0) return 0;
        int lineClass = 7;  // voice, data and fax: the default class set of TS 27.007
        if (at_tok_hasmore(&cursor) && at_tok_nextint(&cursor, &lineClass) < 0) return 0;
        // Classes are bits: a class reported twice must not turn into another class.
        if (status == 1 && lineClass > 0) classes |= lineClass;
    }
    *static_cast<int *>(message->data) = classes;
    return 1;
}

int CdmaSubScription(RilMessage *message, ATResponse **responses) {
    if (!message) {
        RLOGD("CdmaSubScription: input p_message is NULL.");
        return 0;
    }
    if (!message->data || !responses) return 0;
    ATLine *mdn = FirstLine(responses[0]);
    ATLine *sid = FirstLine(responses[1]);
    ATLine *imsi = FirstLine(responses[2]);
    ATLine *prl = FirstLine(responses[3]);
    if (!mdn || !sid || !imsi || !prl) return 0;
    char **out = static_cast<char **>(message->data);  // MDN, home SID, home NID, MIN, PRL version
    if (!FirstField(mdn->line, &out[0])) return 0;
    char *cursor = sid->line;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &out[1]) < 0 || at_tok_nextstr(&cursor, &out[2]) < 0)
        return 0;
    // The MIN is the last ten digits of the IMSI.
    size_t length = strlen(imsi->line);
    out[3] = imsi->line + (length > 10 ? length - 10 : 0);
    if (!FirstField(prl->line, &out[4])) return 0;
    return 1;
}

int DeviceIdentity(RilMessage *message, ATResponse **responses) {
    if (!message) {
        RLOGD("DeviceIdentity: input p_message is NULL.");
        return 0;
    }
    if (!message->data || !responses) return 0;
    char **out = static_cast<char **>(message->data);  // IMEI, IMEISV, ESN, MEID
    for (int i = 0; i < 2; ++i) {
        for (ATLine *line = FirstLine(responses[i]); line; line = line->p_next) {
            if (strstr(line->line, "+GSN:")) {
                if (!FirstField(line->line, &out[2])) return 0;
            } else if (strstr(line->line, "^MEID:")) {
                if (!FirstField(line->line, &out[3])) return 0;
            }
        }
    }
    return out[2] && out[3] ? 1 : 0;
}

int HandleDEVMessage(RilMessage *message, ...) {
    if (!message) {
        RLOGD("HandleDEVMessage  p_message  is  NULL");
        return 0;
    }
    va_list ap;
    va_start(ap, message);
    int result = 0;
    switch (message->id) {
        case RIL_REQUEST_GET_IMEISV:
            result = GetIMEISV(message, va_arg(ap, ATResponse *));
            break;
        case RIL_REQUEST_QUERY_FACILITY_LOCK:
            result = QueryFacilityLock(message, va_arg(ap, ATResponse *));
            break;
        case RIL_REQUEST_CDMA_SUBSCRIPTION:
            result = CdmaSubScription(message, va_arg(ap, ATResponse **));
            break;
        case RIL_REQUEST_DEVICE_IDENTITY:
            result = DeviceIdentity(message, va_arg(ap, ATResponse **));
            break;
        case RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE:
            result = QueryAvailableBandMode(message, va_arg(ap, ATResponse *));
            break;
        default:
            break;
    }
    va_end(ap);
    return result;
}

}  // extern "C"
