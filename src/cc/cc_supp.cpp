// Supplementary-service requests: CLIR, CLIP, call forwarding, call waiting and mute
// (TS 27.007 +CLIR, +CLIP, +CCFC, +CCWA and the modem's +CMUT).
#include <string>
#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvstr.h>

#include "cc/cc.h"

namespace {

// The modem's verdict on a command whose answer carries nothing else.
bool Done(const char *command, int *err = nullptr) {
    ATResponse *raw = nullptr;
    int result = at_send_command(command, &raw);
    zv::ATResponsePtr response(raw);
    if (err) *err = result;
    return result == 0 && response && response->success > 0;
}

// One "<prefix> ..." line read by the router's parser for `id` into `out`.
bool QuerySingleLine(const char *command, const char *prefix, int id, void *out) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline(command, prefix, &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return false;
    zv::MessagePtr message = zv::ObtainMessage(id, nullptr, out);
    return HandleVoiceMessage(message.get(), response.get()) == 1;
}

const RIL_CallForwardInfo *ForwardInfo(void *data, size_t datalen) {
    return data && datalen >= sizeof(RIL_CallForwardInfo) ? static_cast<const RIL_CallForwardInfo *>(data) : nullptr;
}

}  // namespace

extern "C" void RequestQueryCallForwardStatus(void *data, RIL_Token t) {
    zv::RequestCompletion done(t);
    const auto *query = static_cast<const RIL_CallForwardInfo *>(data);
    if (!query) return;
    zv::CheckedText command = zv::FormatOrNull("%s%d,%d", "AT+CCFC=", query->reason, query->status);
    if (!command) {
        RLOGD("RequestQueryCallForwardStatus FAIL!!");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command_multiline(command.get(), "+CCFC:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) {
        RLOGD("request_query_call_forward_status ERROR \n");
        return;
    }
    size_t lines = 0;
    for (ATLine *l = response->p_intermediates; l && lines < zv::cc::kMaxRows; l = l->p_next) ++lines;
    std::vector<RIL_CallForwardInfo> records(lines);
    std::vector<RIL_CallForwardInfo *> list;
    for (RIL_CallForwardInfo &record : records) {
        record.reason = query->reason;
        list.push_back(&record);
    }
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, nullptr, list.data());
    if (HandleVoiceMessage(message.get(), response.get()) != 1) {
        RLOGD("request_query_call_forward_status ERROR \n");
        return;
    }
    done.Finish(RIL_E_SUCCESS, list.empty() ? nullptr : list.data(), list.size() * sizeof(RIL_CallForwardInfo *));
}

namespace zv::cc {

void RequestGetClir(RIL_Token t) {
    zv::RequestCompletion done(t);
    int clir[2] = {0, 0};
    if (!QuerySingleLine("AT+CLIR?", "+CLIR:", RIL_REQUEST_GET_CLIR, clir)) {
        RLOGD("RequestGetClir: no CLIR setting");
        return;
    }
    done.Finish(RIL_E_SUCCESS, clir, sizeof clir);
}

void RequestSetClir(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    const int n = *static_cast<const int *>(data);
    RLOGD("CLIR= : %d", n);
    zv::CheckedText command = zv::FormatOrNull("AT+CLIR=%d", n);
    if (!command) {
        RLOGD("RequestSetClir FAIL!!");
        return;
    }
    int err = 0;
    if (!Done(command.get(), &err)) {
        RLOGD("%s: Format error in this AT response %d", "RequestSetClir", err);
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestSetCallForward(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    const RIL_CallForwardInfo *info = ForwardInfo(data, datalen);
    if (!info) return;
    // Disabling or erasing comes without a number: the field stays empty.
    const bool hasNumber = info->number && *info->number != '\0';
    if (hasNumber && !IsDialString(info->number)) {
        RLOGD("RequestSetCallForward: number refused");
        return;
    }
    const char *number = hasNumber ? info->number : "";
    auto command = [&](bool quoted) {
        const char *q = quoted ? "\"" : "";
        if (info->timeSeconds != 0) {
            return zv::Format("%s%d,%d,%s%s%s,%d,%d,,,%d", "AT+CCFC=", info->reason, info->status, q, number, q,
                              info->toa, info->serviceClass, info->timeSeconds);
        }
        return zv::Format("%s%d,%d,%s%s%s,%d,%d,,,", "AT+CCFC=", info->reason, info->status, q, number, q, info->toa,
                          info->serviceClass);
    };
    // Modems differ on whether the number is quoted: try it bare first, then quoted.
    bool ok = Done(command(false).c_str()) || (hasNumber && Done(command(true).c_str()));
    if (!ok) {
        RLOGD("RequestSetCallForward must never return error");
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestQueryCallWaiting(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    int *serviceClass = static_cast<int *>(data);
    // No class means voice, and the framework reads the class it asked for back.
    if (*serviceClass == 0) *serviceClass = 1;
    const int queried = *serviceClass;
    zv::CheckedText command = zv::FormatOrNull("%s%d,%d,%d", "AT+CCWA=", 1, 2, queried);
    if (!command) {
        RLOGD("RequestQueryCallWaiting FAIL");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command_multiline(command.get(), "+CCWA:", &raw);
    zv::ATResponsePtr response(raw);
    int answer[2] = {0, 0};
    bool ok = zv::Accepted(err, response.get());
    if (ok) {
        // A waiting call announced in the middle of the answer is still a call event.
        for (ATLine *l = response->p_intermediates; l; l = l->p_next) {
            if (IsIndication(l->line, "+CCWA")) ZvRilCCUnsolicited(l->line);
        }
        std::string classText = std::to_string(queried);
        zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_QUERY_CALL_WAITING, classText.data(), answer);
        ok = HandleVoiceMessage(message.get(), response.get()) == 1;
    }
    if (!ok) {
        RLOGD("RequestQueryCallWaiting ERROR \n");
        return;
    }
    int result[2] = {(answer[1] & queried) == queried ? 1 : 0, answer[1]};
    done.Finish(RIL_E_SUCCESS, result, sizeof result);
}

void RequestSetCallWaiting(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < 2 * sizeof(int)) return;
    const int *args = static_cast<const int *>(data);
    zv::CheckedText command = zv::FormatOrNull("%s%d,%d,%d", "AT+CCWA=", 1, args[0], args[1]);
    if (!command || !Done(command.get())) {
        RLOGD("RequestSetCallWaiting must never return error");
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestSetMute(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    zv::CheckedText command = zv::FormatOrNull("AT+CMUT=%d", *static_cast<const int *>(data));
    if (!command) {
        RLOGD("RequestSetMute FAIL");
        return;
    }
    if (!Done(command.get())) {
        RLOGD("RequestSetMute must never return error");
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestGetMute(RIL_Token t) {
    zv::RequestCompletion done(t);
    int muted = 0;
    if (!QuerySingleLine("AT+CMUT?", "+CMUT:", RIL_REQUEST_GET_MUTE, &muted)) {
        RLOGD("RequestGetMute must never return error");
        return;
    }
    RLOGD("RequestGetMute response = %d\n", muted);
    done.Finish(RIL_E_SUCCESS, &muted, sizeof muted);
}

void RequestQueryClip(RIL_Token t) {
    zv::RequestCompletion done(t);
    int clip = 0;
    if (!QuerySingleLine("AT+CLIP?", "+CLIP:", RIL_REQUEST_QUERY_CLIP, &clip)) {
        RLOGD("RequestQueryClip must never return error");
        return;
    }
    RLOGD("RequestQueryClip response = %d\n", clip);
    done.Finish(RIL_E_SUCCESS, &clip, sizeof clip);
}

}  // namespace zv::cc
