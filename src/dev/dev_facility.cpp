// Facility locks ("+CLCK", TS 27.007 7.4): the query of a lock's classes and the change of a
// lock, which reports the PIN attempts left and, when the last one is gone, makes the
// framework read the card status again.
#include <string.h>
#include <strings.h>

#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"
#include "dev/dev.h"
#include "dev/dev_requests.h"
#include <zvrequest.h>
#include "sim/sim_state.h"

namespace zv::dev {

// data: facility, password, service class, application id (only the facility is used).
void RequestQueryFacilityLock(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    const char *const *args = zv::StringArgs(data, datalen, {1, 8, 1, kMaxFacilityLength, true});
    if (!args) {
        RLOGD("RequestQueryFacilityLock: bad arguments");
        return;
    }
    if (zv::Load(g_cdma_subtype) == 1) {
        // A subscription kept in the module's memory has no card to lock: report it locked.
        int locked = 1;
        done.Finish(RIL_E_SUCCESS, &locked, sizeof locked);
        return;
    }
    std::string command = zv::Format("AT+CLCK=\"%s\",2", args[0]);
    ATResponse *raw = nullptr;
    int err = at_send_command_multiline(command.c_str(), "+CLCK:", &raw);
    zv::ATResponsePtr response(raw);
    int classes = 0;
    if (err == 0 && zv::Accepted(err, response.get())) {
        zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_QUERY_FACILITY_LOCK, nullptr, &classes);
        if (message && HandleDEVMessage(message.get(), response.get()) == 1) {
            done.Finish(RIL_E_SUCCESS, &classes, sizeof classes);
            return;
        }
    }
    RLOGD("RequestQueryFacilityLock ERROR \n");
    done.Finish(RIL_E_GENERIC_FAILURE);
}

// data: facility, lock ("0" or "1"), password, service class (not sent), application id.
void RequestSetFacilityLock(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    int remaining = -1;
    const char *const *args = zv::StringArgs(data, datalen, {3, 8, 3, kMaxCodeLength, true});
    // The lock value goes into the command unquoted: only the two values the command knows.
    if (!args || strlen(args[0]) > kMaxFacilityLength || (strcmp(args[1], "0") != 0 && strcmp(args[1], "1") != 0) ||
        !zv::IsCode(args[2])) {
        RLOGD("RequestSetFacility: bad arguments");
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        return;
    }
    std::string command = zv::Format("AT+CLCK=\"%s\",%s,\"%s\"", args[0], args[1], args[2]);
    ATResponse *raw = nullptr;
    int err = at_send_command(command.c_str(), &raw);
    zv::ATResponsePtr response(raw);

    remaining = getNumRetries(RIL_REQUEST_SET_FACILITY_LOCK);
    RLOGD("RequestSetFacility: remain times: %d ", remaining);
    if (err != 0 || !response) {
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        return;
    }
    if (response->success > 0) {
        done.Finish(RIL_E_SUCCESS, &remaining, sizeof remaining);
    } else {
        done.Finish(RIL_E_GENERIC_FAILURE, &remaining, sizeof remaining);
        if (remaining == 0) {
            // The code is blocked now: the card asks for the PUK, which the framework learns
            // by reading the card status again.
            RLOGD("RequestSetFacility: remain times: %d ", remaining);
            SetRadioState(zv::SimNotReadyState());
        }
    }
    // The SIM PIN lock switched, or an attempt at its PIN counted: the card status shows both.
    if (strcasecmp(args[0], "SC") == 0) zv::ReportSimStatusChange();
}

}  // namespace zv::dev
