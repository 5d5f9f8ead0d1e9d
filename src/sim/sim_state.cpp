// The SIM (or R-UIM) state as the modem reports it: "+CPIN?" and, for a ready card, the
// network lock of "^CARDLOCK?".
#include <string.h>

#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "sim/sim_state.h"

extern "C" {

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
        if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &code) < 0) {
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
