// Codes the user enters for the card: PIN, PUK with a new PIN, PIN change, the network
// depersonalisation key; and the IMSI, which a card that has just been unlocked may not give
// at the first asking.
#include <string.h>

#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"
#include <zvrequest.h>
#include "sim/sim.h"
#include "sim/sim_state.h"

namespace {

constexpr int kImsiAttempts = 3;

template <typename Finish>
int UnlockStep(const char *command, Finish &&finish) {
    ATResponse *raw = nullptr;
    int err = at_send_command(command, &raw);
    zv::ATResponsePtr response(raw);
    if (err < 0 || !response) return 1;
    if (at_get_cme_error(response.get()) == 16) {  // incorrect password
        int status = 0, times = -1;
        if (GetSIMLockStatus(&status, &times) < 0) RLOGD("RequestEnterNetworkDepersonalization: times ERROR!");
        finish(RIL_E_PASSWORD_INCORRECT, &times, sizeof times);
        return 0;
    }
    if (response->success > 0) {
        // A key taken by "+CPIN=" may only have cleared one of several locks; the caller
        // goes on to the facility lock before it answers.
        if (strstr(command, "AT^CARDLOCK=") || strstr(command, "AT+CLCK=")) {
            RLOGD("unlock CARDLOCK is  Success!!");
            finish(RIL_E_SUCCESS, nullptr, 0);
            SetRadioState(zv::SimNotReadyState());
        }
        return 2;
    }
    return 1;
}

}  // namespace

namespace zv::sim {

// 2 (PIN [, AID]), 3 (PUK, new PIN [, AID]) and 6 (old PIN, new PIN [, AID]).
void RequestEnterCode(int request, void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    int remaining = -1;
    const zv::StringArgRules rules = request == RIL_REQUEST_ENTER_SIM_PIN
                                         ? zv::StringArgRules{1, 2, 1, zv::kMaxCodeLength, true}
                                         : zv::StringArgRules{2, 3, 2, zv::kMaxCodeLength, true};
    const char *const *args = zv::StringArgs(data, datalen, rules);
    if (!args || !zv::IsCode(args[0]) || (rules.used > 1 && !zv::IsCode(args[1]))) {
        RLOGD("%s: bad arguments", zv::RequestName(request));
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        return;
    }
    std::string command;
    if (request == RIL_REQUEST_ENTER_SIM_PIN) {
        command = zv::Format("%s\"%s\"", "AT+CPIN=", args[0]);
    } else if (request == RIL_REQUEST_ENTER_SIM_PUK) {
        command = zv::Format("%s\"%s\",\"%s\"", "AT+CPIN=", args[0], args[1]);
    } else {
        command = zv::Format("%s\"SC\",\"%s\",\"%s\"", "AT+CPWD=", args[0], args[1]);
    }
    ATResponse *raw = nullptr;
    int err = at_send_command(command.c_str(), &raw);
    zv::ATResponsePtr response(raw);

    remaining = getNumRetries(request);
    RLOGD("remain times: %d ", remaining);
    if (err < 0 || !response || !response->finalResponse) {
        // Not sent, or no verdict before the time-out: nothing says the code was wrong.
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        return;
    }
    if (response->success > 0) {
        done.Finish(RIL_E_SUCCESS, &remaining, sizeof remaining);
        SetRadioState(zv::SimNotReadyState());
    } else {
        done.Finish(RIL_E_PASSWORD_INCORRECT, &remaining, sizeof remaining);
    }
    // Right or wrong, the card counted the attempt: its lock or its retries are new.
    zv::ReportSimStatusChange();
}

void RequestGetIMSI(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    for (int attempt = 0; attempt < kImsiAttempts; ++attempt) {
        sleepMsec(1000);
        ATResponse *raw = nullptr;
        int err = at_send_command_numeric("AT+CIMI", &raw);
        zv::ATResponsePtr response(raw);
        if (err == 0 && zv::AcceptedWithLine(err, response.get())) {
            done.Finish(RIL_E_SUCCESS, response->p_intermediates->line, sizeof(char *));
            return;
        }
        // A card may need a moment after its PIN; a modem that has gone will not come back
        // within the next two attempts.
        if (err == AT_ERR_CLOSED) return;
    }
}

}  // namespace zv::sim

extern "C" {

int unLockCardlock(const char *command, RIL_Token t) {
    if (!command) return 1;
    return UnlockStep(command,
                      [t](RIL_Errno e, void *response, size_t length) { zv::CompleteRequest(t, e, response, length); });
}

void RequestEnterNetworkDepersonalization(char **data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    RLOGD("*********************start deactivated network personlization*******************");
    const char *const *args = zv::StringArgs(data, datalen, {1, 8, 1, zv::kMaxCodeLength, true});
    if (!args || !zv::IsCode(args[0])) {
        int remaining = -1;
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        return;
    }
    auto finish = [&done](RIL_Errno e, void *response, size_t length) { done.Finish(e, response, length); };
    // The family's own unlock first; older modems take the key as a PIN or a facility lock.
    // A step with a verdict has completed the request.
    const bool verdict = UnlockStep(zv::Format("AT^CARDLOCK=\"%s\"", args[0]).c_str(), finish) != 1 ||
                         UnlockStep(zv::Format("AT+CPIN=\"%s\"", args[0]).c_str(), finish) == 0 ||
                         UnlockStep(zv::Format("%s\"PN\",0,\"%s\"", "AT+CLCK=", args[0]).c_str(), finish) != 1;
    if (!verdict) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    // The key was taken or cost an attempt: either way the card's lock status is new.
    zv::ReportSimStatusChange();
}

}  // extern "C"
