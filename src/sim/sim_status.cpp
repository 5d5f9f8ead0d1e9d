// The card status record the framework asks for: card presence and the one application the
// card carries, in the layout of the platform generation (v5 on 2.3, v6 later).
#include <stdlib.h>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include <zvgeneration.h>
#include <zvrequest.h>
#include "sim/sim.h"
#include "sim/sim_state.h"

extern "C" {
int isUSIMCARD = 0;
}

namespace {

// The socket daemon took the number of application slots as "no application"; the 8-13 daemon
// refuses the whole record unless every index is -1 or names one of the applications there.
int NoApplication() {
    return zv::HidlGeneration() ? -1 : RIL_CARD_MAX_APPS;
}

// One row per SIM state code; pin2 is left unknown because the modem does not report it.
constexpr RIL_AppStatus kAppStatus[] = {
    /* absent */ {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_UNKNOWN, RIL_PERSOSUBSTATE_UNKNOWN, nullptr, nullptr, 0,
                  RIL_PINSTATE_UNKNOWN, RIL_PINSTATE_UNKNOWN},
    /* not ready */
    {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_DETECTED, RIL_PERSOSUBSTATE_UNKNOWN, nullptr, nullptr, 0, RIL_PINSTATE_UNKNOWN,
     RIL_PINSTATE_UNKNOWN},
    /* ready */
    {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_READY, RIL_PERSOSUBSTATE_READY, nullptr, nullptr, 0, RIL_PINSTATE_UNKNOWN,
     RIL_PINSTATE_UNKNOWN},
    /* PIN */
    {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_PIN, RIL_PERSOSUBSTATE_UNKNOWN, nullptr, nullptr, 0,
     RIL_PINSTATE_ENABLED_NOT_VERIFIED, RIL_PINSTATE_UNKNOWN},
    /* PUK */
    {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_PUK, RIL_PERSOSUBSTATE_UNKNOWN, nullptr, nullptr, 0,
     RIL_PINSTATE_ENABLED_BLOCKED, RIL_PINSTATE_UNKNOWN},
    /* network personalisation */
    {RIL_APPTYPE_UNKNOWN, RIL_APPSTATE_SUBSCRIPTION_PERSO, RIL_PERSOSUBSTATE_SIM_NETWORK, nullptr, nullptr, 0,
     RIL_PINSTATE_ENABLED_NOT_VERIFIED, RIL_PINSTATE_UNKNOWN},
};
static_assert(sizeof kAppStatus / sizeof kAppStatus[0] == SIM_NETWORK_PERSONALIZATION + 1);

template <typename Record>
void FillCardStatus(Record *record, int state, RIL_AppType type, bool gsm) {
    const bool present = state != SIM_ABSENT;
    record->card_state = present ? RIL_CARDSTATE_PRESENT : RIL_CARDSTATE_ABSENT;
    record->universal_pin_state = RIL_PINSTATE_UNKNOWN;
    const int none = NoApplication();
    record->gsm_umts_subscription_app_index = none;
    record->cdma_subscription_app_index = none;
    if constexpr (requires { record->ims_subscription_app_index; }) record->ims_subscription_app_index = none;
    record->num_applications = present ? 1 : 0;
    for (RIL_AppStatus &app : record->applications) {
        app = kAppStatus[SIM_ABSENT];
        app.app_type = type;
    }
    if (!present) return;
    if (gsm) {
        record->gsm_umts_subscription_app_index = 0;
    } else {
        record->cdma_subscription_app_index = 0;
    }
    record->applications[0] = kAppStatus[state];
    record->applications[0].app_type = type;
}

template <typename Record>
bool BuildCardStatus(CardStatusOut *out, int state, RIL_AppType type, bool gsm) {
    auto *record = static_cast<Record *>(calloc(1, sizeof(Record)));
    if (!record) return false;
    FillCardStatus(record, state, type, gsm);
    out->length = sizeof(Record);
    out->record = record;
    out->firstAppState = record->applications[0].app_state;
    return true;
}

}  // namespace

extern "C" {

long long GetSIMStatus(RilMessage *message) {
    if (!message || !message->data) return 0;
    RLOGD("isUSIMCARD  %d", zv::Load(isUSIMCARD));
    int state = GetSIMState();
    if (state < SIM_ABSENT || state > SIM_NETWORK_PERSONALIZATION) state = SIM_NOT_READY;
    const bool gsm = zv::Load(g_module_type) != 0;
    const RIL_AppType type = gsm ? static_cast<RIL_AppType>(GetSIMType()) : RIL_APPTYPE_RUIM;
    RLOGD("sim type is %d", static_cast<int>(type));
    auto *out = static_cast<CardStatusOut *>(message->data);
    // Platform 2.3 knows the record without the IMS application index.
    bool built = zv::Load(ANDROID_VERSION) >= 2 ? BuildCardStatus<RIL_CardStatus_v6>(out, state, type, gsm)
                                                : BuildCardStatus<RIL_CardStatus_v5>(out, state, type, gsm);
    return built ? 1 : 0;
}

void RequestGetSIMStatus(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    CardStatusOut out = {0, nullptr, RIL_APPSTATE_UNKNOWN};
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_GET_SIM_STATUS, nullptr, &out);
    if (message && HandleSIMMessage(message.get(), nullptr) == 1 && out.record) {
        done.Finish(RIL_E_SUCCESS, out.record, out.length);
    } else {
        done.Finish(RIL_E_GENERIC_FAILURE);
    }

    RLOGD("-->>Here is added, update the radio state in get_sim_status");
    // The framework asks for the card status with the radio off or gone as well; a ready card
    // must not make a switched-off radio look switched on.
    int radio = zv::Load(sState);
    if (out.record && out.firstAppState == RIL_APPSTATE_READY && radio != RADIO_STATE_OFF &&
        radio != RADIO_STATE_UNAVAILABLE)
        SetRadioState(zv::SimReadyState());
    free(out.record);
}

}  // extern "C"
