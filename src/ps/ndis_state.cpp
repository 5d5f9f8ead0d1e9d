// The NDIS state machine: ties the framework's setup and deactivation requests to the modem's
// "^NDISSTAT:" reports, with a guard timer on every transition, and answers the request that
// waits for the transition. A run holds s_ndis_mutex, so that the request thread, the report
// callbacks and the timer thread never interleave inside a transition. The lock stays held
// across the machine's own AT exchanges: they are bounded by the channel, which admits one
// exchange at a time anyway. It is let go for the configuration of the interface (programs
// with deadlines of their own, and pauses), and the answers a run decides on are sent only
// once it is let go: a daemon callback, or the exchange that fetches a failed setup's cause,
// never runs under it.
//
// The request that waits for a transition is kept apart from ndis_st.token, which the next
// request overwrites: whatever ends a transition (report, time-out, a newer request) answers
// the waiting request exactly once.
#include <string.h>

#include <string>
#include <vector>

#include <zvlog.h>
#include <zvthreadword.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

RIL_Token g_pending = nullptr;  // guarded by s_ndis_mutex, as everything below
bool g_hasPending = false;
bool g_pendingIsSetup = false;  // else a deactivation
// The interface is being configured with the lock let go; the epoch moves with every change
// of state, so that the configuration learns whether the call it configured is still the one.
bool g_configuring = false;
unsigned long long g_epoch = 0;

// This thread holds s_ndis_mutex (a key, not a thread_local: see zvthreadword.h).
zv::ThreadWord<bool> t_held;

enum class Reply { kDone, kFailed, kSetupFailed, kSetupLost, kSetupRecord, kListChanged };
struct Answer {
    RIL_Token t;
    Reply reply;
    NdisCallInfo call;  // what a setup's record is built from, as it was when decided
};
std::vector<Answer> g_answers;

void Queue(RIL_Token t, Reply reply) {
    Answer a;
    a.t = t;
    a.reply = reply;
    if (reply == Reply::kSetupRecord) a.call = ndis_st;
    g_answers.push_back(a);
}

void Send(const Answer &a) {
    switch (a.reply) {
        case Reply::kDone: zv::CompleteRequest(a.t, RIL_E_SUCCESS); break;
        case Reply::kFailed: zv::CompleteRequest(a.t, RIL_E_GENERIC_FAILURE); break;
        case Reply::kSetupFailed: zv::ps::FailSetupWithModemCause(a.t); break;
        // The modem is gone: there is no cause to ask it for.
        case Reply::kSetupLost: zv::ps::FailSetup(a.t, RIL_E_GENERIC_FAILURE, PDP_FAIL_ERROR_UNSPECIFIED); break;
        case Reply::kSetupRecord: zv::ps::AnswerSetup(a.t, a.call); break;
        case Reply::kListChanged: zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED); break;
    }
}

void SetPending(RIL_Token t, bool setup) {
    g_pending = t;
    g_hasPending = true;
    g_pendingIsSetup = setup;
}

// A failed setup's answer differs between the daemon generations; a deactivation's does not.
void FailRequest(RIL_Token t, bool setup) { Queue(t, setup ? Reply::kSetupFailed : Reply::kFailed); }

void AnswerPending(RIL_Errno e) {
    if (!g_hasPending) return;
    g_hasPending = false;
    if (e == RIL_E_SUCCESS) Queue(g_pending, Reply::kDone);
    else FailRequest(g_pending, g_pendingIsSetup);
}

void AnswerPendingSetup() {
    if (!g_hasPending) return;
    g_hasPending = false;
    Queue(g_pending, Reply::kSetupRecord);
}

int State() { return zv::Load(ndisi_state); }
void SetState(int s) {
    zv::Store(ndisi_state, s);
    ++g_epoch;
}

void Disconnect() { at_send_command("AT^NDISDUP=1,0", nullptr); }

// The disconnection of a connected call: sent without waiting for a response record.
int DisconnectConnected() { return at_send_command(zv::Format("%s 1,0", "AT^NDISDUP=").c_str(), nullptr); }

std::string ActivationCommand(const NdisCallInfo &r) {
    if (r.user[0] && r.password[0]) {
        if (r.authtype != 0)
            return zv::Format("%s1, 1,\"%s\",\"%s\",\"%s\",%d", "AT^NDISDUP=", r.apn, r.user, r.password, r.authtype);
        return zv::Format("%s1, 1,\"%s\",\"%s\",\"%s\"", "AT^NDISDUP=", r.apn, r.user, r.password);
    }
    return zv::Format("%s1, 1,\"%s\"", "AT^NDISDUP=", r.apn);
}

enum class Configured { kUp, kFailed, kOvertaken };

// Runs the configuration with the lock let go: the programs it starts and its pauses must not
// hold up the requests, reports and time-outs that need the lock. Whatever changed the call
// meanwhile has answered for it; an interface configured for a call that is no longer up is
// torn down again.
Configured ConfigureUnlocked(int (*configure)(), int state) {
    g_configuring = true;
    const unsigned long long epoch = g_epoch;
    const RIL_Token token = ndis_st.token;
    zv::ps::NdisLockRelease();
    const bool up = configure() == 1;
    zv::ps::NdisLockAcquire();
    g_configuring = false;
    if (epoch == g_epoch && token == ndis_st.token && State() == state) return up ? Configured::kUp : Configured::kFailed;
    RLOGD("the data call changed while its interface was configured");
    if (up && State() != NDIS_STATE_ATIVED) DeleteConfigureInterface();
    return Configured::kOvertaken;
}

// The setup request cleared the addresses; read them back from the configured interface, or
// configure it when someone else brought the modem's call up.
int ReadBackOrConfigure() { return GetAddressInfobyAdapter() == 1 || NdisNegotiatedAddress() == 1 ? 1 : 0; }

// The modem says the call is up: configure the interface and answer the waiting setup.
void ConnectedStep() {
    zv::ps::StopGuard();
    if (g_configuring) {
        RLOGD("ndisi_state:NDIS_STATE_ATIVING: interface configuration under way");
        return;
    }
    switch (ConfigureUnlocked(NdisNegotiatedAddress, NDIS_STATE_ATIVING)) {
        case Configured::kUp:
            RLOGD("ndisi_state:NDIS_STATE_ATIVING ,ndis_event:NDIS_EVENT_REPORT_DCONN\n");
            SetState(NDIS_STATE_ATIVED);
            AnswerPendingSetup();
            break;
        case Configured::kFailed:
            RLOGD("ndisi_state:NDIS_STATE_ATIVING ,ndis_event:NDIS_EVENT_REPORT_DCONN");
            Disconnect();
            SetState(NDIS_STATE_DEATIVED);
            AnswerPending(RIL_E_GENERIC_FAILURE);
            break;
        case Configured::kOvertaken: break;
    }
}

void FromDeactivated(int event, RIL_Token t) {
    switch (event) {
        case NDIS_EVENT_REQUEST_PDP_ACTIVE: {
            RLOGD("Active Ndis   ndis_state = %d\n", NDIS_STATE_DEATIVED);
            ATResponse *raw = nullptr;
            int err = at_send_command(ActivationCommand(ndis_st).c_str(), &raw);
            zv::ATResponsePtr response(raw);
            RLOGD("ndisi_state:NDIS_STATE_DEATIVED ,ndis_event:NDIS_EVENT_REQUEST_PDP_ACTIVE\n");
            if (err == 0 && response && response->success && zv::ps::StartGuard(1)) {
                SetPending(t, true);
                SetState(NDIS_STATE_ATIVING);
            } else {
                Disconnect();
                FailRequest(t, true);
            }
            break;
        }
        case NDIS_EVENT_REQUEST_PDP_DEACTIVE:
            Disconnect();
            Queue(t, Reply::kDone);
            break;
        case NDIS_EVENT_REPORT_DEND:
            RLOGD("netdevice ndisi_state:NDIS_STATE_DEATIVED , ndis_event:NDIS_EVENT_REPORT_DEND\n");
            break;
        default:
            RLOGD("ndisi_state:NDIS_STATE_DEATIVED ,ndis_event:%d\n", event);
            break;
    }
}

void FromActivated(int event, RIL_Token t) {
    switch (event) {
        case NDIS_EVENT_REQUEST_PDP_ACTIVE:
            RLOGD("ndisi_state:NDIS_STATE_ATIVED ,ndis_event:%d\n", event);
            if (g_configuring) {
                RLOGD("ndisi_state:NDIS_STATE_ATIVED: interface configuration under way");
                FailRequest(t, true);
                break;
            }
            switch (ConfigureUnlocked(ReadBackOrConfigure, NDIS_STATE_ATIVED)) {
                case Configured::kUp: Queue(t, Reply::kSetupRecord); break;
                case Configured::kFailed:
                    Disconnect();
                    SetState(NDIS_STATE_DEATIVED);
                    FailRequest(t, true);
                    break;
                case Configured::kOvertaken: FailRequest(t, true); break;
            }
            break;
        case NDIS_EVENT_REQUEST_PDP_DEACTIVE:
            RLOGD(" ndisi_state:NDIS_STATE_ATIVED , ndis_event:NDIS_EVENT_REQUEST_PDP_DEACTIVE \n");
            RLOGD("DEACTIVE  Ndis \n");
            DeleteConfigureInterface();
            if (DisconnectConnected() < 0 || !zv::ps::StartGuard(2)) {
                RLOGD(" ndisi_state:NDIS_STATE_ATIVED , ndis_event:NDIS_EVENT_REQUEST_PDP_DEACTIVE \n");
                Queue(t, Reply::kFailed);
            } else {
                SetPending(t, false);
                SetState(NDIS_STATE_DEATIVING);
            }
            break;
        case NDIS_EVENT_REPORT_DEND:
            if (NdisGetCurrentPdpStat() == 1) {
                RLOGD("netdevice ndisi_state:NDIS_STATE_ATIVED , ndis_event:NDIS_EVENT_REPORT_DEND , "
                      "NdisGetCurrentPdpStat is 1\n");
            } else {
                DeleteConfigureInterface();
                RLOGD("netdevice ndisi_state:NDIS_STATE_ATIVED , ndis_event:NDIS_EVENT_REPORT_DEND\n");
                SetState(NDIS_STATE_DEATIVED);
            }
            break;
        default:
            RLOGD("netdevice ndisi_state:NDIS_STATE_ATIVED , ndis_event:NDIS_EVENT_REPORT_DCONN\n");
            break;
    }
}

void FromActivating(int event, RIL_Token t) {
    switch (event) {
        case NDIS_EVENT_REPORT_DCONN:
            // A report the modem's own state does not confirm yet: keep waiting, under the guard.
            if (NdisGetCurrentPdpStat() != 0) ConnectedStep();
            break;
        case NDIS_EVENT_REPORT_DEND:
            if (NdisGetCurrentPdpStat() == 1) {
                ConnectedStep();
            } else {
                zv::ps::StopGuard();
                Disconnect();
                SetState(NDIS_STATE_DEATIVED);
                AnswerPending(RIL_E_GENERIC_FAILURE);
            }
            break;
        default:
            // A new request while the modem is still connecting ends both.
            zv::ps::StopGuard();
            RLOGD(" ndisi_state:NDIS_STATE_ATIVING ,ndis_event:%d\n", event);
            SetState(NDIS_STATE_DEATIVED);
            AnswerPending(RIL_E_GENERIC_FAILURE);
            FailRequest(t, event == NDIS_EVENT_REQUEST_PDP_ACTIVE);
            break;
    }
}

void FromDeactivating(int event, RIL_Token t) {
    zv::ps::StopGuard();
    SetState(NDIS_STATE_DEATIVED);
    if (event == NDIS_EVENT_REPORT_DEND) {
        RLOGD("ndisi_state:NDIS_STATE_DEATIVING ,ndis_event:NDIS_EVENT_REPORT_DEND\n");
        AnswerPending(RIL_E_SUCCESS);
        return;
    }
    RLOGD("ndisi_state:NDIS_STATE_DEATIVING ,ndis_event:%d\n", event);
    AnswerPending(RIL_E_GENERIC_FAILURE);
    if (event == NDIS_EVENT_REQUEST_PDP_ACTIVE || event == NDIS_EVENT_REQUEST_PDP_DEACTIVE)
        FailRequest(t, event == NDIS_EVENT_REQUEST_PDP_ACTIVE);
}

}  // namespace

namespace zv::ps {

void NdisRunLocked() {
    const int event = ndis_st.ndis_event;
    const RIL_Token t = ndis_st.token;
    const int state = State();
    RLOGD("ndisi_state:%d ,ndis_event:%d\n", state, event);
    switch (state) {
        case NDIS_STATE_DEATIVED: FromDeactivated(event, t); break;
        case NDIS_STATE_ATIVED: FromActivated(event, t); break;
        case NDIS_STATE_ATIVING: FromActivating(event, t); break;
        case NDIS_STATE_DEATIVING: FromDeactivating(event, t); break;
        default: break;
    }
}

bool TransitionPending() {
    int s = State();
    return s == NDIS_STATE_ATIVING || s == NDIS_STATE_DEATIVING || g_configuring;
}

void NdisLockAcquire() {
    pthread_mutex_lock(&s_ndis_mutex);
    t_held.Set(true);
}

void NdisLockRelease() {
    std::vector<Answer> answers;
    answers.swap(g_answers);
    t_held.Set(false);
    pthread_mutex_unlock(&s_ndis_mutex);
    for (const Answer &a : answers) Send(a);
}

bool NdisLockHeld() { return t_held.Get(); }

void StoreCallField(char (&field)[65], const char *value, size_t limit) {
    auto store = [&] {
        memset(field, 0, sizeof field);
        memcpy(field, value, strnlen(value, limit));
    };
    if (t_held.Get()) return store();
    NdisLock lock;
    store();
}

void DropDataCall() {
    auto drop = [] {
        if (State() != NDIS_STATE_DEATIVED || g_configuring) {
            RLOGD("the modem went away with its data call");
            Queue(nullptr, Reply::kListChanged);
        }
        StopGuard();
        SetState(NDIS_STATE_DEATIVED);  // a configuration under way gives up
        if (g_hasPending) {
            g_hasPending = false;
            Queue(g_pending, g_pendingIsSetup ? Reply::kSetupLost : Reply::kFailed);
        }
        DeleteConfigureInterface();
    };
    // The channel's time-out hook may run on a thread inside a run of the machine: that run
    // holds the lock already, and sends the answers when it lets go.
    if (t_held.Get()) return drop();
    NdisLock lock;
    drop();
}

bool StartGuard(int kind) {
    if (kind == 1) activetimeout = 1;
    else deactivetimeout = 1;
    if (TimerStartTime() == 0) return true;
    StopGuard();
    return false;
}

// The flags say which transition the armed guard watches, so they fall with the guard.
void StopGuard() {
    TimerCleanupTime();
    activetimeout = 0;
    deactivetimeout = 0;
}

void GuardTimerExpired() {
    NdisLock lock;
    const long long deadline = GuardDeadlineMs();
    // A wake-up of a guard that was stopped, or restarted since, is stale: its signal was on
    // the way when the transition ended.
    if (deadline == 0 || NowMs() + 20 < deadline) return;
    const int active = activetimeout, deactive = deactivetimeout;
    RLOGD("pdpsm handler activetimeout=%d ,deactivetimeout=%d\n", active, deactive);
    TimerCleanupTime();
    if (active && deactive) {
        activetimeout = deactivetimeout = 0;
        RLOGD("PDP pdpsm handler error !\n");
        AnswerPending(RIL_E_GENERIC_FAILURE);
        return;
    }
    if (active) {
        activetimeout = 0;
        RLOGD("********************ActivePDPTimeOut ********************\n");
        ndis_st.ndis_event = NDIS_EVENT_REPORT_DEND;
        NdisRunLocked();
    } else if (deactive) {
        deactivetimeout = 0;
        RLOGD("********************DeactivePDPTimeOut******************** \n");
        RLOGD("deactive_tiveout_handle  activetimeout=%d ,deactivetimeout=%d\n", activetimeout, deactivetimeout);
        if (DisconnectConnected() < 0) RLOGD("deactive_timeout_handle AT^NDISDUP:cmd is ERROR");
        ndis_st.ndis_event = NDIS_EVENT_REPORT_DEND;
        NdisRunLocked();
    }
}

}  // namespace zv::ps

extern "C" {

int ndisi_state = NDIS_STATE_DEATIVED;
char activetimeout = 0;
char deactivetimeout = 0;
pthread_mutex_t s_ndis_mutex = PTHREAD_MUTEX_INITIALIZER;

void NdisStateMachine(NdisCallInfo *record) {
    if (record != &ndis_st) return;  // there is only the one call record
    zv::ps::NdisLock lock;
    zv::ps::NdisRunLocked();
}

int NdisGetCurrentPdpStat(void) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^NDISSTATQRY?", "^NDISSTATQRY:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return -1;
    char *cursor = response->p_intermediates->line;
    int stat = -1;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &stat) < 0) return -1;
    RLOGD("NDISSTATQRY is: %d", stat);
    return stat;
}

void NdisStateConnectReport(void * /*param*/) {
    zv::ps::NdisLock lock;
    ndis_st.ndis_event = NDIS_EVENT_REPORT_DCONN;
    zv::ps::NdisRunLocked();
}

void NdisStateDisconnectReport(void * /*param*/) {
    RLOGD("NdisStateDisconnectReport START \n");
    {
        zv::ps::NdisLock lock;
        ndis_st.ndis_event = NDIS_EVENT_REPORT_DEND;
        zv::ps::NdisRunLocked();
    }
    zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED);
}

void NdisResetStateMachine(void) { zv::Store(ndisi_state, NDIS_STATE_DEATIVED); }

// "^NDISSTAT: <stat>,<err>,<wx_state>,<PDP_type>[,...]". Runs on the reader thread: it only
// schedules the report callbacks. Only the IPv4 part of a report counts.
void ZvRilPSUnsolicited(const char *line) {
    if (!line || !strStartsWith(line, "^NDISSTAT:")) return;
    std::string copy(line);
    char *cursor = copy.data();
    if (at_tok_start(&cursor) < 0) RLOGD("start line FAIL!!!");
    int stat = -1;
    if (at_tok_nextint(&cursor, &stat) < 0) {
        RLOGD("NDISSTAT is Error_conn!!!");
        return;
    }
    int ignored;
    at_tok_nextint(&cursor, &ignored);
    at_tok_nextint(&cursor, &ignored);
    char *type = nullptr;
    if (at_tok_nextstr(&cursor, &type) < 0) {
        RLOGD("ZvRilPSUnsolicited pdp_type ");
        type = nullptr;
    }
    RLOGD("***pdp_type is %.16s***", type ? type : "");
    if (!type || !strstr(type, "IPV4")) return;
    RLOGD("***It is %.16s***", type);
    if (stat == 1) zv::ScheduleCallback(NdisStateConnectReport, nullptr, 0, 500000);
    else if (stat == 0) zv::ScheduleCallback(NdisStateDisconnectReport, nullptr, 0, 500000);
}

}  // extern "C"
