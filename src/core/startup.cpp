// The modem start-up sequence, run on the daemon's timed-callback thread after each open:
// identify the module, read its platform and ARP capability, and bring the radio state to
// off and, when the modem's radio is on, to the module's not-ready state.
#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "core/main_loop.h"
#include "ps/ps.h"

namespace {

constexpr int kCdmaSubtypeUnknown = 0xffff;

const char *ModuleName(int type) {
    static const char *const kNames[] = {"CDMA", "WCDMA", "TDSCDMA"};
    return (type >= 0 && type <= 2) ? kNames[type] : "UNKNOWN";
}

// "^HS: <id>,<protocol>,<offline>,<class>,..." -> the module class, or 0 when never answered.
int ReadModuleClass() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        ATResponse *raw = nullptr;
        int err = at_send_command_singleline("AT^HS=0,0", "^HS:", &raw);
        zv::ATResponsePtr response(raw);
        if (err != 0 || !response || !response->success || !response->p_intermediates) continue;
        char *cursor = response->p_intermediates->line;
        char *id;
        int protocol, offline, moduleClass;
        if (at_tok_start(&cursor) == 0 && at_tok_nextstr(&cursor, &id) == 0 &&
            at_tok_nextint(&cursor, &protocol) == 0 && at_tok_nextint(&cursor, &offline) == 0 &&
            at_tok_nextint(&cursor, &moduleClass) == 0)
            return moduleClass;
    }
    return 0;
}

// Whether a CDMA module has an R-UIM card, from the SIM field of "^SYSINFO".
void ReadCdmaSubtype() {
    for (int attempt = 0; attempt < 15; ++attempt) {
        RLOGD("----***********GetPhoneAndSimRelation********---");
        ATResponse *raw = nullptr;
        int err = at_send_command_singleline("AT^SYSINFO", "^SYSINFO:", &raw);
        zv::ATResponsePtr response(raw);
        if (err == 0 && response && response->success && response->p_intermediates) {
            char *cursor = response->p_intermediates->line;
            int v[5];
            bool ok = at_tok_start(&cursor) == 0;
            for (int i = 0; ok && i < 5; ++i) ok = at_tok_nextint(&cursor, &v[i]) == 0;
            if (ok) {
                int simState = v[4];
                int subtype;
                if (simState == 1) {
                    subtype = 0;
                } else if (simState == 240) {
                    subtype = 1;
                } else {
                    response.reset();  // the channel is free again before the next command
                    int sim = GetSIMState();
                    subtype = (sim == SIM_PIN || sim == SIM_PUK) ? 0 : kCdmaSubtypeUnknown;
                }
                zv::Store(g_cdma_subtype, subtype);
            }
        }
        int subtype = zv::Load(g_cdma_subtype);
        RLOGD("Cdma sub type is %s", subtype == 0 ? "RUIM" : subtype == 1 ? "NV" : "UNKNOWN");
        if (subtype != kCdmaSubtypeUnknown) return;
        sleepMsec(2000);
    }
}

void ReadPlatform() {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^PLATFORM?", "^PLATFORM:", &raw);
    zv::ATResponsePtr response(raw);
    int provider = 0;
    bool read = false;
    if (err == 0 && response && response->success && response->p_intermediates) {
        char *cursor = response->p_intermediates->line;
        read = at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, &provider) == 0;
    }
    if (read) {
        RLOGD("***********************provider is:%d***********************", provider);
    } else {
        RLOGD("get Default platform QUALCOMM");
        provider = 0;
    }
    zv::Store(g_provider, provider);
}

void ReadArpSupport() {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^NDISCAP?", "^NDISCAP:", &raw);
    zv::ATResponsePtr response(raw);
    if (err == 0 && response && response->success && response->p_intermediates) {
        char *cursor = response->p_intermediates->line;
        int first, arp = 1;
        if (at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, &first) == 0) {
            at_tok_nextint(&cursor, &arp);
            if (arp == 0) {
                zv::Store(zv_arp_support, 2);
                RLOGD("This module does NOT support ARP!");
                return;
            }
        }
    }
    RLOGD("This module support ARP!");
}

}  // namespace

extern "C" void InitializeCallback(void * /*param*/) {
    SetRadioState(RADIO_STATE_OFF);
    at_handshake();
    at_send_command("ATE0", nullptr);
    at_send_command("ATQ0V1", nullptr);
    at_send_command("ATS0=0", nullptr);
    at_send_command("AT+CMEE=1", nullptr);

    int moduleClass = ReadModuleClass();
    if (moduleClass == 1 || moduleClass == 2) {
        zv::Store(g_module_type, 0);
        at_send_command("AT^RSSIREP=1", nullptr);
        ReadCdmaSubtype();
    } else {
        zv::Store(g_module_type, moduleClass == 3 ? 2 : 1);
    }
    int type = zv::Load(g_module_type);
    RLOGD("Module type is %s", ModuleName(type));

    ReadPlatform();
    ReadArpSupport();
    if (type == 2) at_send_command("AT*PSSIMSTAT=1", nullptr);

    if (GetRadioStatus() > 0) {
        RIL_RadioState next;
        if (type != 0)
            next = ZV_RADIO_STATE_SIM_NOT_READY;
        else if (zv::Load(g_cdma_subtype) == 1)
            next = ZV_RADIO_STATE_NV_NOT_READY;
        else
            next = ZV_RADIO_STATE_RUIM_NOT_READY;
        SetRadioState(next);
    }
    init_sigaction();
}
