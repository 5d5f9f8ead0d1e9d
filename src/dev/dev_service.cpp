// The device service's request switch, radio power with the airplane flag and the SAR
// replay, and its (empty) unsolicited entry.
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "dev/band_mode.h"
#include "dev/dev.h"
#include "dev/dev_requests.h"
#include <zvrequest.h>
#include "sim/sim_state.h"

extern "C" {
int g_airplanemode = 0;
int has_set_radio_on = 0;
// Both belong to SAR control (the embedder's, or the library's own follower in src/sar when
// the state file exists): this module only reads them.
int sarfeature = 0;
int g_sarctrl = -1;
}

namespace {

// After airplane mode the modem has forgotten the SAR level; give it the last one the SAR
// thread applied. Before that thread has reported anything there is nothing to replay.
void ReplaySarLevel() {
    if (zv::Load(sarfeature) != 1) return;
    switch (zv::Load(g_sarctrl)) {
        case 0:
            RLOGD("**** Airplane Mode Off, SARCTRL = 0 ****");
            at_send_command("AT^SARCTRL=0", nullptr);
            break;
        case 1:
            RLOGD("**** Airplane Mode Off, SARCTRL = 1 ****");
            at_send_command("AT^SARCTRL=1", nullptr);
            break;
        default:
            break;
    }
}

void RadioOn(zv::RequestCompletion &done) {
    ATResponse *raw = nullptr;
    int err = at_send_command("AT+CFUN=1", &raw);
    zv::ATResponsePtr response(raw);
    // Some modems refuse to switch on a radio that is on already; what counts is the result.
    bool on = zv::Accepted(err, response.get());
    if (!on) {
        response.reset();
        on = GetRadioStatus() == 1;
    }
    if (!on) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    zv::Store(has_set_radio_on, 1);
    zv::Store(g_airplanemode, 0);
    ReplaySarLevel();
    SetRadioState(zv::SimNotReadyState());
    done.Finish(RIL_E_SUCCESS);
}

void RadioOff(zv::RequestCompletion &done) {
    ATResponse *raw = nullptr;
    int err = at_send_command("AT+CFUN=0", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    SetRadioState(RADIO_STATE_OFF);
    zv::Store(g_airplanemode, 1);
    done.Finish(RIL_E_SUCCESS);
}

void RequestRadioPower(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) {
        RLOGD("RequestRadioPower: no power state given");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    if (*static_cast<const int *>(data) != 0) {
        RadioOn(done);
    } else {
        RadioOff(done);
    }
}

}  // namespace

extern "C" {

void ZvRilDEVRequest(int request, void *data, size_t datalen, RIL_Token t) {
    switch (request) {
        case RIL_REQUEST_RADIO_POWER:
            RequestRadioPower(data, datalen, t);
            break;
        case RIL_REQUEST_GET_IMEI:
            RequestGetIMEI(data, datalen, t);
            break;
        case RIL_REQUEST_GET_IMEISV:
            RequestGetIMEISV(data, datalen, t);
            break;
        case RIL_REQUEST_QUERY_FACILITY_LOCK:
            zv::dev::RequestQueryFacilityLock(data, datalen, t);
            break;
        case RIL_REQUEST_SET_FACILITY_LOCK:
            zv::dev::RequestSetFacilityLock(data, datalen, t);
            break;
        case RIL_REQUEST_BASEBAND_VERSION:
            RequestGetBasebandVersion(data, datalen, t);
            break;
        case RIL_REQUEST_OEM_HOOK_STRINGS:
            RequestOemHookString(data, datalen, t);
            break;
        case RIL_REQUEST_CDMA_SET_SUBSCRIPTION_SOURCE:
        case RIL_REQUEST_CDMA_SET_ROAMING_PREFERENCE:
            // The module decides both by itself; accepting them keeps the framework content.
            zv::CompleteRequest(t, RIL_E_SUCCESS);
            break;
        case RIL_REQUEST_SET_BAND_MODE:
            zv::dev::RequestSetBandMode(data, datalen, t);
            break;
        case RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE:
            RequestQueryAvailableBandMode(request, t);
            break;
        case RIL_REQUEST_CDMA_SUBSCRIPTION:
            zv::dev::RequestCdmaSubscription(data, datalen, t);
            break;
        case RIL_REQUEST_DEVICE_IDENTITY:
            zv::dev::RequestDeviceIdentity(data, datalen, t);
            break;
        default:
            // Reset, raw OEM hook and roaming preference query.
            RLOGD("ZvRilDEVRequest: %s not supported", zv::RequestName(request));
            zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
            break;
    }
}

void ZvRilDEVUnsolicited(const char * /*line*/) {}

}  // extern "C"
