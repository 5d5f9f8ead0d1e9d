// The SIM service's unsolicited lines: card status changes ("^SIMST:", "*PSSIMSTAT:") and
// the toolkit reports. They arrive on the AT reader thread, which must not send commands, so
// a radio state change that polls the card is handed to the timed-callback thread.
#include <string.h>

#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "sim/sim_state.h"
#include "sim/stk.h"

namespace {

void SimNotReadyNow(void * /*param*/) {
    SetRadioState(ZV_RADIO_STATE_SIM_NOT_READY);
    // The card came or went; the radio state may not have moved with it (a card pulled while
    // the state was still "not ready").
    zv::ReportSimStatusChange();
}

void UnsolicitedPsSimStat(const char *line) {
    std::string copy = line;
    char *cursor = copy.data();
    int simState = 1;
    if (at_tok_start(&cursor) < 0) RLOGD("ZvRilSIMUnsolicited:line: ERROR!");
    if (at_tok_nextint(&cursor, &simState) < 0) {
        RLOGD("ZvRilSIMUnsolicited:sim_state: ERROR!");
        simState = 1;
    }
    const bool ready = zv::Load(sState) == ZV_RADIO_STATE_SIM_READY;
    if ((simState == 0 && !ready) || (simState == 1 && ready)) zv::ScheduleCallback(SimNotReadyNow, nullptr, 0, 0);
}

}  // namespace

extern "C" {

void ZvRilSIMUnsolicited(const char *line) {
    if (!line) {
        RLOGD("LINE POINT TO NULL!!");
        return;
    }
    if (strStartsWith(line, "^SIMST:")) {
        RLOGD("SIM Card Status is Changed!!");
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED);
    } else if (strStartsWith(line, "*PSSIMSTAT")) {
        UnsolicitedPsSimStat(line);
    } else if (strStartsWith(line, "^STIN:")) {
        zv::stk::UnsolicitedStin(line);
    } else if (strStartsWith(line, "+CUSATEND")) {
        zv::stk::UnsolicitedCusatend(line);
    } else if (strStartsWith(line, "+CUSATP:")) {
        zv::stk::UnsolicitedCusatp(line);
    }
}

}  // extern "C"
