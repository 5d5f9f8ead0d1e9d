// The configuration sent once the SIM is ready: registration, call and supplementary-service
// reports, USSD, SMS format and new-message indications, the toolkit command set; then the
// check of the message store.
//
// The store check repeats while the modem does not answer +CPMS (a card still loading its
// messages), but with a doubling pause capped at a minute, and only while the radio stays in
// a ready state: a card whose store never answers must not keep the modem and the device
// awake once a second for as long as the process lives. A newer SIM-ready run replaces any
// chain still waiting.
#include "sim/sim_ready.h"

#include <stdint.h>
#include <string.h>

#include <atomic>
#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "dev/dev.h"
#include "sim/sim_io.h"
#include "sim/stk.h"

namespace {

enum class Store : uintptr_t { kSim = 0, kMemory = 1 };

// The command sequence of a 3GPP module before the toolkit, in the order the modem takes it.
constexpr const char *k3gppSetUp[] = {
    "AT+CREG=2",  "AT+CGREG=2", "AT+CCWA=1", "AT+CMOD=0", "AT+CSSN=0,1",   "AT+COLP=0",
    "AT+CSCS=\"IRA\"", "AT+CUSD=1", "AT^USSDMODE=1", "AT+CMGF=0", "AT^BOOT=0,0", "AT^DSFLOWRPT=0",
};

void Send(const char *command) {
    ATResponse *raw = nullptr;
    at_send_command(command, &raw);
    at_response_free(raw);
}

void SendCsms(const char *failureLog) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CSMS=0", "+CSMS:", &raw);
    at_response_free(raw);
    if (err < 0) RLOGD("%s", failureLog);
}

// The toolkit menu a +CUSAT modem may already hold goes to the framework as a proactive command.
void SetUpCusatToolkit() {
    Send("AT^STSF=1,2");
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^CUSATM?", "^CUSATM:", &raw);
    zv::ATResponsePtr response(raw);
    if (err == AT_ERR_NO_INTERMEDIATE) {
        RLOGD("OnSIMReady: rawdata is EMPTY!");
        return;
    }
    if (!zv::Accepted(err, response.get()) || !response->p_intermediates) {
        RLOGD("SEND AT^CUSATM? ERROR ");
        return;
    }
    char *cursor = response->p_intermediates->line;
    char *menu = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &menu) < 0 || !menu) {
        RLOGD("OnSIMReady: rawdata is EMPTY!");
        return;
    }
    if (*menu == '\0') return;
    if (!zv::sim::IsHexText(menu)) {
        RLOGD("OnSIMReady: toolkit menu is not hex");
        return;
    }
    zv::stk::ReportToolkit(RIL_UNSOL_STK_PROACTIVE_COMMAND, menu);
}

void SetUpToolkit(int set) {
    switch (set) {
        case 0:
            Send("AT^STSF=1,0");
            Send("AT^STGI=0,0");
            break;
        case 1:
            SetUpCusatToolkit();
            break;
        default:
            RLOGD("This module don't suport STK!!!");
            break;
    }
}

bool ReadyState(int state) {
    return state == ZV_RADIO_STATE_SIM_READY || state == ZV_RADIO_STATE_RUIM_READY || state == ZV_RADIO_STATE_NV_READY;
}

// One look at the store; false when the modem gave no usable answer.
bool CheckStore(Store store) {
    const char *name = store == Store::kSim ? "SM" : "ME";
    const std::string command = zv::Format("%s\"%s\",\"%s\",\"%s\"", "AT+CPMS=", name, name, name);
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline(command.c_str(), "+CPMS:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return false;
    char *cursor = response->p_intermediates->line;
    int used = 0, total = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &used) < 0 || at_tok_nextint(&cursor, &total) < 0)
        return false;
    const int deleted = GetUnreadSMSandDeletedWhenRilInit();
    if (zv::sim::StorageFull(used, total, deleted)) {
        const bool simFull = store == Store::kSim && zv::Load(g_module_type) != 0;
        zv::ReportUnsolicited(simFull ? RIL_UNSOL_SIM_SMS_STORAGE_FULL : RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL);
    }
    return true;
}

// The chain now allowed to run; a waiting callback of an older chain ends quietly.
std::atomic<uintptr_t> g_storageChain{0};

// The callback's parameter: chain number, store, and the pause that led to this try.
constexpr uintptr_t kPauseBits = 7;  // pauses up to 127 s
constexpr uintptr_t kPauseMask = (uintptr_t{1} << kPauseBits) - 1;
static_assert(zv::sim::kStorageRetryMaxSec <= static_cast<long>(kPauseMask));

void *Pack(uintptr_t chain, Store store, long pause) {
    uintptr_t word = chain << (kPauseBits + 1) | static_cast<uintptr_t>(store) << kPauseBits |
                     static_cast<uintptr_t>(pause);
    return reinterpret_cast<void *>(word);
}

void RetryStorageCheck(void *param);

void ScheduleRetry(uintptr_t chain, Store store, long pause) {
    zv::ScheduleCallback(RetryStorageCheck, Pack(chain, store, pause), pause, 0);
}

void RetryStorageCheck(void *param) {
    const uintptr_t word = reinterpret_cast<uintptr_t>(param);
    const uintptr_t chain = word >> (kPauseBits + 1);
    const Store store = static_cast<Store>(word >> kPauseBits & 1);
    const long pause = static_cast<long>(word & kPauseMask);
    if (chain != g_storageChain.load(std::memory_order_relaxed)) return;
    if (!ReadyState(zv::Load(sState))) {
        RLOGD("%s: radio not ready, store check stopped", store == Store::kSim ? "IsSIMFull" : "IsNVFull");
        return;
    }
    if (CheckStore(store)) return;
    ScheduleRetry(chain, store, pause * 2 < zv::sim::kStorageRetryMaxSec ? pause * 2 : zv::sim::kStorageRetryMaxSec);
}

void StartStorageCheck(Store store) {
    // The chain number wraps long after any real run; only equality with the current one counts.
    const uintptr_t chain = (g_storageChain.fetch_add(1, std::memory_order_relaxed) + 1) &
                            (UINTPTR_MAX >> (kPauseBits + 1));
    g_storageChain.store(chain, std::memory_order_relaxed);
    if (CheckStore(store)) return;
    ScheduleRetry(chain, store, 1);
}

}  // namespace

extern "C" {

void IsSIMFull(void) {
    StartStorageCheck(Store::kSim);
}

void IsNVFull(void) {
    StartStorageCheck(Store::kMemory);
}

void OnSIMReady(void) {
    sleepMsec(1000);
    Send("AT+CIREG=1");
    const int module = zv::Load(g_module_type);
    if (module != 0) {
        for (const char *command : k3gppSetUp) Send(command);
        const int set = STKSolutionMode();
        zv::Store(g_stk_project, set);
        RLOGD("----g_stk_project is %d ----", set);
        SetUpToolkit(set);
        SendCsms("OnSIMReady:+CSMS: ERROR! ");
        Send("AT+CRC=1");
        if (module == 1) {
            ATResponse *raw = nullptr;
            int err = at_send_command("AT+CNMI=2,2,2,1,0", &raw);
            zv::ATResponsePtr response(raw);
            // Modems that cannot route new messages to us store them and announce the index.
            int project = 1;
            if (!zv::Accepted(err, response.get())) {
                Send("AT+CNMI=2,1,2,2,0");
                project = 0;
            }
            zv::Store(g_sms_project, project);
            RLOGD("g_sms_project = %d, 0 is old sms project, 1 is new sms project", project);
        } else {
            Send("AT+CNMI=1,2,2,1,0");
        }
    } else {
        SendCsms("OnSIMReady:+CSMS: ERROR!");
        Send("AT+CMGF=0");
        Send("AT+CNMI=1,1,0,2,0");
        Send("AT+CCWA=1");
    }
    if (zv::Load(has_set_radio_on) == 1) {
        if (zv::Load(g_cdma_subtype) == 1) {
            IsNVFull();
        } else {
            IsSIMFull();
        }
    }
    zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED);
    zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED);
}

}  // extern "C"
