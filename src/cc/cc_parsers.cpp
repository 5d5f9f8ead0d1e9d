// Call control's answer parsers and its message router. Each reads only inside the response's
// lines (the tokenizer cuts them in place) and leaves its output untouched where a line does
// not say what it needs.
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <zvlog.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "cc/cc.h"

namespace {

ATLine *FirstLine(const ATResponse *response) { return response ? response->p_intermediates : nullptr; }

// "+CLCC: <id>,<dir>,<stat>,<mode>,<mpty>[,<number>,<type>[,<alpha>...]]" (TS 27.007). The row
// is read into a record of its own and copied out only once every field has passed, so a
// rejected row never leaves part of itself in the answer.
bool ParseCallRow(char *line, RIL_Call *out) {
    RIL_Call call;
    memset(&call, 0, sizeof call);
    char *cursor = line;
    int state = 0;
    int mode = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &call.index) < 0) return false;
    // The identifier addresses DTMF and separation commands: it stays a small number.
    if (call.index < 0 || call.index > 99) return false;
    if (at_tok_nextbool(&cursor, &call.isMT) < 0) return false;
    if (at_tok_nextint(&cursor, &state) < 0 || state < RIL_CALL_ACTIVE || state > RIL_CALL_WAITING) return false;
    call.state = static_cast<RIL_CallState>(state);
    // Data and fax calls are not the framework's voice calls: left out.
    if (at_tok_nextint(&cursor, &mode) < 0 || mode != 0) return false;
    call.isVoice = 1;
    if (at_tok_nextbool(&cursor, &call.isMpty) < 0) return false;
    if (at_tok_hasmore(&cursor)) {
        char *number = nullptr;
        if (at_tok_nextstr(&cursor, &number) < 0 || at_tok_nextint(&cursor, &call.toa) < 0) return false;
        // Withheld and unknown callers come as words ("Anonymous") or nothing at all; an
        // absurdly long number is no number either.
        if (number && (*number == '\0' || !strchr("+0123456789", *number) ||
                       strnlen(number, zv::cc::kMaxNumberLength + 1) > zv::cc::kMaxNumberLength)) {
            number = nullptr;
        }
        call.number = number;
        if (call.toa < 0 || call.toa > 255) call.toa = 0;  // an octet (TS 24.008)
    }
    *out = call;
    return true;
}

// "+CCFC: <status>,<class>[,<number>,<type>[,<subaddr>,<satype>[,<time>]]]" into one record.
// A field that does not parse leaves its record field alone.
void ParseForwardRow(char *cursor, RIL_CallForwardInfo *record) {
    auto skip = [] { RLOGD("QueryCallForwardStatus skip"); };
    if (at_tok_nextint(&cursor, &record->status) < 0) skip();
    if (at_tok_nextint(&cursor, &record->serviceClass) < 0) skip();
    char *number = nullptr;
    if (at_tok_nextstr(&cursor, &number) < 0) {
        skip();
    } else if (number && strnlen(number, zv::cc::kMaxNumberLength + 1) <= zv::cc::kMaxNumberLength) {
        record->number = number;
    }
    if (at_tok_nextint(&cursor, &record->toa) < 0) skip();
    // The no-reply time is the seventh field in TS 27.007, behind the subaddress and its
    // type; some modems put it straight after the type. Take it from whichever form came.
    char *rest[3] = {};
    int count = 0;
    while (count < 3 && at_tok_hasmore(&cursor) && at_tok_nextstr(&cursor, &rest[count]) == 0) ++count;
    const char *time = count == 1 ? rest[0] : count == 3 ? rest[2] : nullptr;
    char *end = nullptr;
    long seconds = time ? strtol(time, &end, 10) : -1;
    if (!time || end == time || seconds < 0 || seconds > 255) {
        skip();
    } else {
        record->timeSeconds = static_cast<int>(seconds);
    }
}

}  // namespace

extern "C" {

int GetCurrentCalls(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetCurrentCalls: p_message is NULL");
        return 0;
    }
    auto *calls = static_cast<RIL_Call *>(message->data);
    if (!calls) return 1;
    size_t slot = 0;
    size_t seen = 0;
    for (ATLine *line = FirstLine(response); line && seen < zv::cc::kMaxRows; line = line->p_next, ++seen) {
        if (!line->line || !ParseCallRow(line->line, &calls[slot])) {
            RLOGD("invalid CLCC line\n");
            continue;
        }
        RLOGD("GetCurrentCalls: state=%d, conut=%d", calls[slot].state, 0);
        if (calls[slot].state == RIL_CALL_ACTIVE) {
            zv::Store(cc_activeCallIndex, calls[slot].index);
            RLOGD("GetCurrentCalls: update current ative call,  index = %d", calls[slot].index);
        }
        ++slot;
    }
    return 1;
}

int GetCLIR(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetCLIR: p_message is NULL");
        return 0;
    }
    ATLine *line = FirstLine(response);
    auto *out = static_cast<int *>(message->data);
    if (!out || !line || !line->line) return 0;
    char *cursor = line->line;
    int n = 0;
    int m = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &n) < 0 || at_tok_nextint(&cursor, &m) < 0) return 0;
    out[0] = n;
    out[1] = m;
    return 1;
}

int QueryCallForwardStatus(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("QueryCallForwardStatus: p_message is NULL");
        return 0;
    }
    auto **records = static_cast<RIL_CallForwardInfo **>(message->data);
    if (!records || !response) return 0;
    size_t count = 0;
    for (ATLine *line = response->p_intermediates; line && count < zv::cc::kMaxRows; line = line->p_next) ++count;
    size_t position = 0;
    size_t seen = 0;
    for (ATLine *line = response->p_intermediates; line && seen < count; line = line->p_next, ++seen) {
        char *cursor = line->line;
        if (at_tok_start(&cursor) < 0) return 0;
        RIL_CallForwardInfo *record = records[position];
        if (!record) return 0;
        ParseForwardRow(cursor, record);
        // A disabled class is overwritten by the next line: the framework gets the active ones.
        if (record->status != 0 && position + 1 < count) ++position;
    }
    return 1;
}

int QueryCallWaiting(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("QueryCallWaiting: p_message is NULL");
        return 0;
    }
    auto *out = static_cast<int *>(message->data);
    if (!out || !response) return 0;
    int status = 0;
    int mask = 0;
    int reported = 0;
    int running = 7;  // voice, data and fax: the default class set of TS 27.007
    for (ATLine *line = response->p_intermediates; line; line = line->p_next) {
        // A waiting call announced in the middle of the answer is not part of it.
        if (zv::cc::IsIndication(line->line, "+CCWA")) continue;
        char *cursor = line->line;
        if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &status) < 0) return 0;
        // TS 27.007 knows only "not active" and "active"; anything else is not an answer.
        if (status != 0 && status != 1) {
            RLOGD("QueryCallWaiting: unexpected status");
            return 0;
        }
        if (at_tok_hasmore(&cursor) && at_tok_nextint(&cursor, &running) < 0) return 0;
        reported |= running;
        if (status != 0) mask |= running;
    }
    // An answer that does not mention the class asked about cannot say whether it waits.
    if (message->text) {
        int queried = static_cast<int>(strtol(message->text, nullptr, 10));
        if (queried != 0 && (reported & queried) == 0) {
            RLOGD("QueryCallWaiting: queried class not reported");
            return 0;
        }
    }
    out[0] = status;
    out[1] = mask;
    return 1;
}

int GetMute(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetMute: p_message is NULL");
        return 0;
    }
    ATLine *line = FirstLine(response);
    auto *out = static_cast<int *>(message->data);
    if (!out || !line || !line->line) return 0;
    char *cursor = line->line;
    int muted = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &muted) < 0) return 0;
    *out = muted;
    return 1;
}

int QueryCLIP(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("QueryCLIP: p_message is NULL");
        return 0;
    }
    ATLine *line = FirstLine(response);
    auto *out = static_cast<int *>(message->data);
    if (!out || !line || !line->line) return 0;
    // "+CLIP: <n>,<m>" answers the query; "+CLIP: "<number>",<type>..." announces a caller and
    // may slip into the exchange when a call comes in at that moment.
    if (zv::cc::IsIndication(line->line, "+CLIP")) return 0;
    char *cursor = line->line;
    int n = 0;
    int m = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &n) < 0 || at_tok_nextint(&cursor, &m) < 0) return 0;
    if (n < 0 || n > 1 || m < 0 || m > 2) return 0;
    *out = m;
    return 1;
}

int HandleVoiceMessage(RilMessage *message, ...) {
    if (!message) {
        RLOGD("HandleVoiceMessage p_message is NULL");
        return 0;
    }
    va_list ap;
    va_start(ap, message);
    ATResponse *response = va_arg(ap, ATResponse *);
    va_end(ap);
    switch (message->id) {
        case RIL_REQUEST_GET_CURRENT_CALLS:
            GetCurrentCalls(message, response);
            return 1;  // single bad rows never fail the list
        case RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED:
            return UnsolicitedCallStateChanged(message, response);
        case RIL_REQUEST_GET_CLIR:
            return GetCLIR(message, response);
        case RIL_REQUEST_QUERY_CALL_FORWARD_STATUS:
            return QueryCallForwardStatus(message, response);
        case RIL_REQUEST_QUERY_CALL_WAITING:
            return QueryCallWaiting(message, response);
        case RIL_REQUEST_GET_MUTE:
            return GetMute(message, response);
        case RIL_REQUEST_QUERY_CLIP:
            return QueryCLIP(message, response);
        default:
            return 0;
    }
}

}  // extern "C"
