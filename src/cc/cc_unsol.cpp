// Call events: the modem's call lines turn into call-state reports (the framework then asks
// for the list), "^CEND:" keeps the cause of the last ended call, and the repeated report that
// keeps the framework asking while a call is dialing, alerting, ringing or waiting.
//
// Runs on the AT reader thread: nothing here sends a command.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "cc/cc.h"

extern "C" {
int cc_lastCallFailCause = 0xffff;
int cc_activeCallIndex = 99;
}

namespace zv::cc {
namespace {

constexpr int kUnknownCause = 0xffff;

// What a call line asks for, by prefix, in this order; lines of the service that are not
// here ("+CCCM:", "+CLCC:", "^ORIG:") change nothing the framework would see at once.
enum class Action { kReport, kEnd, kRing };
struct LineRule {
    const char *prefix;
    Action action;
};
constexpr LineRule kLineRules[] = {
    {"^CEND:", Action::kEnd},     {"+CRING:", Action::kRing}, {"RING", Action::kReport},
    {"NO CARRIER", Action::kReport}, {"+CCWA", Action::kReport}, {"^CONN:", Action::kReport},
};

}  // namespace

int CallEndCause(const char *line) {
    if (!line) return kUnknownCause;
    std::string copy(line, strnlen(line, 256));
    char *cursor = copy.data();
    int call = 0;
    int duration = 0;
    int endStatus = 0;
    int ccCause = -1;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &call) < 0 || at_tok_nextint(&cursor, &duration) < 0 ||
        at_tok_nextint(&cursor, &endStatus) < 0) {
        return kUnknownCause;
    }
    if (at_tok_hasmore(&cursor) && at_tok_nextint(&cursor, &ccCause) < 0) return kUnknownCause;
    // 100 and 104 say "the network ended it": the call-control cause then tells why.
    int cause = (endStatus == 104 || endStatus == 100) ? ccCause : endStatus;
    return (cause < 0 || cause > kUnknownCause) ? kUnknownCause : cause;
}

}  // namespace zv::cc

extern "C" {

int UnsolicitedCallStateChanged(RilMessage *message, ATResponse *response) {
    if (!message || !response || !response->p_intermediates || !response->p_intermediates->line) return 0;
    const char *line = response->p_intermediates->line;
    for (const auto &rule : zv::cc::kLineRules) {
        if (!strStartsWith(line, rule.prefix)) continue;
        switch (rule.action) {
            case zv::cc::Action::kEnd:
                zv::Store(cc_lastCallFailCause, zv::cc::CallEndCause(line));
                return 1;
            case zv::cc::Action::kRing:
                // Data and packet rings belong to no voice call.
                return UnsolicitedCring(line) == 1 ? 1 : 0;
            case zv::cc::Action::kReport:
                return 1;
        }
    }
    return 0;
}

void ZvRilCCUnsolicited(const char *line) {
    if (!line) return;
    // The copy is what the response record owns for the parser, which cuts it in place.
    char *copy = strdup(line);
    if (!copy) {
        RLOGD("ZvRilCCUnsolicited: line malloc failed.");
        return;
    }
    ATLine single = {nullptr, copy};
    ATResponse response = {0, nullptr, &single};
    zv::MessagePtr message = zv::ObtainMessage(RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, nullptr, nullptr);
    if (HandleVoiceMessage(message.get(), &response) == 1) zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED);
    free(copy);
}

void RepeatCallStateChanged(void * /*param*/) { zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED); }

}  // extern "C"
