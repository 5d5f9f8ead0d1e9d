// The values the 8-13 radio daemon expects the library to keep and report itself.
#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvshared.h>

#include <mutex>

namespace zv {
namespace {

// Guards the three remembered values, so that a report goes out once per change even when
// the state writer and the unsolicited reader note changes at the same time. Reports are
// sent after the lock is released.
std::mutex g_mutex;
int g_voiceTech = -1;
int g_subscriptionSource = -1;
int g_simStatus = -1;

bool IsCdmaTech(int tech) {
    switch (tech) {
        case RADIO_TECH_IS95A:
        case RADIO_TECH_IS95B:
        case RADIO_TECH_1xRTT:
        case RADIO_TECH_EVDO_0:
        case RADIO_TECH_EVDO_A:
        case RADIO_TECH_EVDO_B:
        case RADIO_TECH_EHRPD:
            return true;
        default:
            return false;
    }
}

int DefaultTech() { return Load(g_module_type) == 0 ? RADIO_TECH_1xRTT : RADIO_TECH_UMTS; }

int DefaultSubscriptionSource() { return Load(g_cdma_subtype) == 1 ? 1 : 0; }

void ReportInt(int id, int value) {
    int v = value;
    ReportUnsolicited(id, &v, sizeof v);
}

}  // namespace

bool HidlGeneration() { return Load(PLATFORM_GENERATION) == ZV_GENERATION_HIDL; }

int VoiceRadioTech() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_voiceTech;
}

void NoteVoiceRadioTech(int tech) {
    bool changed;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        changed = tech != g_voiceTech;
        g_voiceTech = tech;
    }
    if (changed && HidlGeneration()) ReportInt(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, tech);
}

void ReportDerivedStateChanges(int state) {
    if (!HidlGeneration() || state < ZV_RADIO_STATE_SIM_NOT_READY || state > ZV_RADIO_STATE_NV_READY) return;
    const bool cdma = state >= ZV_RADIO_STATE_RUIM_NOT_READY;
    int simStatus = -1;
    switch (state) {
        case ZV_RADIO_STATE_SIM_LOCKED_OR_ABSENT:
        case ZV_RADIO_STATE_SIM_READY:
        case ZV_RADIO_STATE_RUIM_READY:
        case ZV_RADIO_STATE_RUIM_LOCKED_OR_ABSENT:
            simStatus = state;
            break;
        default:
            break;
    }
    const int source = state >= ZV_RADIO_STATE_NV_NOT_READY ? 1 : 0;
    int newTech = -1;
    bool sourceChanged = false, simChanged = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        // Only a change of family counts: a finer technology the modem reported (HSPA, EVDO)
        // is not overwritten by the family's default on every state change.
        if (g_voiceTech < 0 || IsCdmaTech(g_voiceTech) != cdma) {
            newTech = cdma ? RADIO_TECH_1xRTT : RADIO_TECH_UMTS;
            g_voiceTech = newTech;
        }
        if (cdma && source != g_subscriptionSource) {
            g_subscriptionSource = source;
            sourceChanged = true;
        }
        if (simStatus != g_simStatus) {
            g_simStatus = simStatus;
            simChanged = true;
        }
    }
    if (newTech >= 0) ReportInt(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, newTech);
    if (sourceChanged) ReportInt(RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED, source);
    if (simChanged) ReportUnsolicited(RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED);
}

void RequestVoiceRadioTech(RIL_Token t) {
    int tech = VoiceRadioTech();
    if (tech < 0) tech = DefaultTech();
    CompleteRequest(t, RIL_E_SUCCESS, &tech, sizeof tech);
}

void RequestCdmaSubscriptionSource(RIL_Token t) {
    int source;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        source = g_subscriptionSource;
    }
    if (source < 0) source = DefaultSubscriptionSource();
    CompleteRequest(t, RIL_E_SUCCESS, &source, sizeof source);
}

}  // namespace zv
