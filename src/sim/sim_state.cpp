// The SIM (or R-UIM) state as the modem reports it: "+CPIN?" and, for a ready card, the
// network lock of "^CARDLOCK?"; the card's application type and the attempts left for its
// codes; and the radio states that follow from the module type.
#include <string.h>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "sim/sim_state.h"

namespace zv {

// Only a module known to have no card keeps its subscription in memory; one whose card state
// is not known yet is treated as having a card, so that the core keeps polling it.
RIL_RadioState SimNotReadyState() {
    if (zv::Load(g_module_type) != 0) return ZV_RADIO_STATE_SIM_NOT_READY;
    return zv::Load(g_cdma_subtype) == 1 ? ZV_RADIO_STATE_NV_NOT_READY : ZV_RADIO_STATE_RUIM_NOT_READY;
}

RIL_RadioState SimReadyState() {
    if (zv::Load(g_module_type) != 0) return ZV_RADIO_STATE_SIM_READY;
    return zv::Load(g_cdma_subtype) == 1 ? ZV_RADIO_STATE_NV_READY : ZV_RADIO_STATE_RUIM_READY;
}

void ReportSimStatusChange() {
    if (HidlGeneration()) ReportUnsolicited(RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED);
}

}  // namespace zv

extern "C" {

int GetSIMType(void) {
    constexpr int kUsim = RIL_APPTYPE_USIM;
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^CARDMODE", "^CARDMODE:", &raw);
    zv::ATResponsePtr response(raw);
    if (err < 0 || !response || !response->success || !response->p_intermediates) return kUsim;
    char *cursor = response->p_intermediates->line;
    int type = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &type) < 0) return kUsim;
    // The value read, not the modem's line: nothing the modem says reaches the log unmasked.
    RLOGD("sim card type is  %d", type);
    // The value goes to the framework as an application type: never one it does not know.
    if (type < RIL_APPTYPE_UNKNOWN || type > RIL_APPTYPE_ISIM) return kUsim;
    return type;
}

int getNumRetries(int request) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^CPIN?", "^CPIN:", &raw);
    zv::ATResponsePtr response(raw);
    if (err < 0 || !response || response->success <= 0 || !response->p_intermediates) return -1;
    // "^CPIN: <code>,[<times>],<puk_times>,<pin_times>,<puk2_times>,<pin2_times>"; <times>
    // is empty while no code is pending. A field that does not read stays -1.
    char *cursor = response->p_intermediates->line;
    char *code = nullptr;
    int times = -1, pukTimes = -1, pinTimes = -1;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &code) < 0) return -1;
    if (at_tok_nextint(&cursor, &times) < 0) times = -1;
    if (at_tok_nextint(&cursor, &pukTimes) < 0) pukTimes = -1;
    if (at_tok_nextint(&cursor, &pinTimes) < 0) pinTimes = -1;
    switch (request) {
        case RIL_REQUEST_ENTER_SIM_PIN:
        case RIL_REQUEST_CHANGE_SIM_PIN:
        case RIL_REQUEST_SET_FACILITY_LOCK:
            return pinTimes;
        case RIL_REQUEST_ENTER_SIM_PUK:
            return pukTimes;
        default:
            return -1;
    }
}

int GetSIMLockStatus(int *status, int *times) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^CARDLOCK?", "^CARDLOCK:", &raw);
    zv::ATResponsePtr response(raw);
    if (err < 0 || !response || !response->success || !response->p_intermediates) return -1;
    char *cursor = response->p_intermediates->line;
    int s = 0, t = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &s) < 0) return -1;
    if (status) *status = s;
    if (at_tok_nextint(&cursor, &t) < 0) return -1;
    if (times) *times = t;
    RLOGD("parameter is status:%d,times:%d", s, t);
    return 0;
}

int GetSIMState(void) {
    if (zv::Load(g_cdma_subtype) == 1) return SIM_READY;
    int state = zv::Load(sState);
    if ((state == RADIO_STATE_OFF || state == RADIO_STATE_UNAVAILABLE) && zv::Load(g_module_type) != 0)
        return SIM_NOT_READY;

    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CPIN?", "+CPIN:", &raw);
    zv::ATResponsePtr response(raw);
    if (err != 0) return SIM_NOT_READY;

    int result;
    int cme = at_get_cme_error(response.get());
    if (cme == 10 || cme == 13) {
        result = SIM_ABSENT;
    } else if (cme != 0) {
        result = SIM_NOT_READY;
    } else {
        char *cursor = response->p_intermediates ? response->p_intermediates->line : nullptr;
        char *code = nullptr;
        // An empty code says nothing about the card: not ready, not absent.
        if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &code) < 0 || *code == '\0') {
            result = SIM_NOT_READY;
        } else if (!strcmp(code, "SIM PIN") || !strcmp(code, "R-UIM PIN")) {
            result = SIM_PIN;
        } else if (!strcmp(code, "SIM PUK") || !strcmp(code, "R-UIM PUK")) {
            result = SIM_PUK;
        } else if (!strcmp(code, "PH-NET PIN")) {
            result = SIM_NETWORK_PERSONALIZATION;
        } else if (!strcmp(code, "READY")) {
            int lock = 0;
            if (GetSIMLockStatus(&lock, nullptr) < 0) RLOGD("GetSIMLockStatus FAIL");
            result = (lock == 1 || lock == 3) ? SIM_NETWORK_PERSONALIZATION : SIM_READY;
        } else {
            result = SIM_ABSENT;
        }
    }
    RLOGD("sim status is %d", result);
    return result;
}

}  // extern "C"
