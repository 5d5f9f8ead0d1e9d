// The radio state: the one writer (SetRadioState), its follow-ups, and SIM polling.
#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

extern "C" {

// The 8-13 daemon passes this value on unchecked and knows only OFF, UNAVAILABLE and ON: the
// SIM, R-UIM and NV states it sees as ON (their news goes out as reports of their own).
RIL_RadioState currentState(void) {
    int state = zv::LoadAcquire(sState);
    if (zv::HidlGeneration() && state >= ZV_RADIO_STATE_SIM_NOT_READY && state <= ZV_RADIO_STATE_NV_READY)
        state = RADIO_STATE_ON;
    return static_cast<RIL_RadioState>(state);
}

int getRadioState(void) { return zv::LoadAcquire(sState); }

void SetRadioState(RIL_RadioState newState) {
    if (pthread_mutex_lock(&s_state_mutex) != 0) RLOGD("SetRadioState pthread_mutex_lock FAIL");
    int old = zv::Load(sState);
    bool closed = zv::Load(s_closed) > 0;
    if (closed) newState = RADIO_STATE_UNAVAILABLE;
    RLOGD("oldState %d, sState %d, newState%d", old, old, static_cast<int>(newState));
    // A closed channel always broadcasts, even without a change: that is what wakes MainLoop.
    if (static_cast<int>(newState) != old || closed) {
        zv::StoreRelease(sState, newState);
        RLOGD("SetRadioState: sState=%d", static_cast<int>(newState));
        if (pthread_cond_broadcast(&s_state_cond) != 0) RLOGD("SetRadioState pthread_cond_broadcast FAIL");
    }
    if (pthread_mutex_unlock(&s_state_mutex) != 0) RLOGD("SetRadioState pthread_mutex_unlock FAIL");

    if (zv::Load(sState) == old) return;
    zv::ReportDerivedStateChanges(zv::Load(sState));
    zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED);
    switch (zv::Load(sState)) {
        case ZV_RADIO_STATE_SIM_NOT_READY:
        case ZV_RADIO_STATE_RUIM_NOT_READY:
        case ZV_RADIO_STATE_NV_NOT_READY:
            poll_sim_state(nullptr);
            break;
        case ZV_RADIO_STATE_SIM_READY:
        case ZV_RADIO_STATE_RUIM_READY:
        case ZV_RADIO_STATE_NV_READY:
            OnSIMReady();
            break;
        default:
            break;
    }
}

void poll_sim_state(void * /*param*/) {
    RLOGD("***poll_sim_state***\n");
    if (zv::Load(g_cdma_subtype) == 1) {
        SetRadioState(ZV_RADIO_STATE_NV_READY);
        return;
    }
    int state = zv::Load(sState);
    if (state != ZV_RADIO_STATE_SIM_NOT_READY && state != ZV_RADIO_STATE_RUIM_NOT_READY) return;
    bool gsm = zv::Load(g_module_type) != 0;
    switch (GetSIMState()) {
        case SIM_NOT_READY:
            zv::ScheduleCallback(poll_sim_state, nullptr, 1, 0);
            return;
        case SIM_READY:
            SetRadioState(gsm ? ZV_RADIO_STATE_SIM_READY : ZV_RADIO_STATE_RUIM_READY);
            return;
        default:
            SetRadioState(gsm ? ZV_RADIO_STATE_SIM_LOCKED_OR_ABSENT : ZV_RADIO_STATE_RUIM_LOCKED_OR_ABSENT);
            return;
    }
}

}  // extern "C"
