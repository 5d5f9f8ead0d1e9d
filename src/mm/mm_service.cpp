// The network service's request switch and its message router.
#include <stdarg.h>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "mm/mm.h"

namespace zv::mm {

int HoldBackRadioTech(int tech) {
    const int version = Load(ANDROID_VERSION);
    switch (tech) {
        case RADIO_TECH_GSM: return version >= 4 ? tech : RADIO_TECH_UNKNOWN;
        case RADIO_TECH_HSPAP: return version >= 2 ? tech : RADIO_TECH_HSPA;
        case RADIO_TECH_LTE: return version >= 2 ? tech : RADIO_TECH_UNKNOWN;
        default: return tech;
    }
}

}  // namespace zv::mm

extern "C" {

void ZvRilMMRequest(int request, void *data, size_t datalen, RIL_Token t) {
    using namespace zv::mm;
    switch (request) {
        case RIL_REQUEST_SIGNAL_STRENGTH:
            RequestSignalStrength(t);
            break;
        case RIL_REQUEST_VOICE_REGISTRATION_STATE:
        case RIL_REQUEST_DATA_REGISTRATION_STATE:
            if (zv::Load(g_module_type) == 0) {
                RequestCdmaRegistrationState(request, t);
            } else {
                RequestRegistrationState(request, t);
            }
            break;
        case RIL_REQUEST_OPERATOR:
            RequestOperator(t);
            break;
        case RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE:
            RequestQueryNetworkSelectionMode(t);
            break;
        case RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC:
            RequestSetNetworkSelectionAutomatic(t);
            break;
        case RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL:
            RequestSetNetworkSelectionManual(data, datalen, t);
            break;
        case RIL_REQUEST_QUERY_AVAILABLE_NETWORKS:
            RequestAvailableNetworks(t);
            break;
        case RIL_REQUEST_SCREEN_STATE:
            RequestScreenState(datalen >= sizeof(int) ? data : nullptr, t);
            break;
        case RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE:
            RequestSetPreferredNetworkType(data, datalen, t);
            break;
        case RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE:
            RequestGetPreferredNetworkType(t);
            break;
        case RIL_REQUEST_SET_LOCATION_UPDATES:
            RequestSetLocationUpdates(datalen >= sizeof(int) ? data : nullptr, t);
            break;
        case RIL_REQUEST_IMS_REGISTRATION_STATE:
            RequestIMSRegistrationState(t);
            break;
        default:
            // Neighbouring cells among them: the modems give no such list.
            RLOGD("ZvRilMMRequest: %s not supported", zv::RequestName(request));
            zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED);
            break;
    }
}

int HandleNetworkMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandleNetworkMessage: p_message is NULL");
        return 0;
    }
    va_list ap;
    va_start(ap, m);
    ATResponse **list = va_arg(ap, ATResponse **);
    va_end(ap);
    ATResponse *none[] = {nullptr};
    if (!list) list = none;
    switch (m->id) {
        case RIL_REQUEST_SIGNAL_STRENGTH:
        case RIL_UNSOL_SIGNAL_STRENGTH:
            return GetSignalStrength(m, list);
        case RIL_REQUEST_VOICE_REGISTRATION_STATE:
            return zv::Load(g_module_type) == 0 ? CdmaGetVoiceRegistrationState(m, list)
                                                 : GetVoiceRegistrationState(m, list);
        case RIL_REQUEST_DATA_REGISTRATION_STATE:
            return GetDataRegistrationState(m, list);
        case RIL_REQUEST_OPERATOR:
            return GetOperator(m, list);
        case RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE:
            return GetQueryNetworkSelectionMode(m, list);
        case RIL_REQUEST_QUERY_AVAILABLE_NETWORKS:
            return QueryAvailableNetworks(m, list);
        case RIL_REQUEST_SCREEN_STATE:
            GetPdpActiveFlag(m, list);
            return 1;
        case RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE:
            return GetPreferredNetworkType(m, list);
        case RIL_REQUEST_IMS_REGISTRATION_STATE:
            return QueryIMSStatus(m, list);
        default:
            return 0;
    }
}

}  // extern "C"
