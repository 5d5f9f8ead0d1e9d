// The packet data service's requests: data call setup and deactivation (handed to the NDIS
// state machine, or to the PPP path), the last fail cause and the data call list, with the
// answer records each platform release and daemon generation expects; and the service's
// message router.
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <zorvik/host.h>
#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

constexpr int kRilVersion = 12;
constexpr const char *kPppd = "/system/bin/pppd";

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// An answer record, with the allocation retried as the daemon's memory may be tight.
template <typename T>
Owned<T> AllocRecord(const char *failLog, size_t count = 1) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (void *p = calloc(count, sizeof(T))) return Owned<T>(static_cast<T *>(p));
        RLOGD("%s", failLog);
    }
    return nullptr;
}

// The setup request's strings: [0] technology, [1] profile, [2] APN, [3] user, [4] password,
// [5] authentication type, [6] protocol. Older platforms send fewer.
enum { kApn = 2, kUser = 3, kPassword = 4, kAuth = 5, kProtocol = 6 };

struct AuthRow {
    char first;
    const char *pppOptions;
    int authtype;
};
constexpr AuthRow kAuthTable[] = {
    {'0', "-pap -chap", 0},
    {'1', "-chap", 1},
    {'2', "-pap", 2},
    {'3', "", 3},
};

const AuthRow &AuthFor(const char *text) {
    static constexpr AuthRow kOther = {'\0', "", 0};
    if (!text) return kOther;  // an absent type is taken like an unknown one
    for (const AuthRow &row : kAuthTable)
        if (row.first == text[0]) return row;
    return kOther;
}

// The protocol is one of "IP", "IPV6", "IPV4V6", "PPP": letters and digits only.
bool SafeProtocol(const char *text) {
    for (const char *p = text; *p; ++p)
        if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9'))) return false;
    return true;
}
bool SafeApn(const char *text) { return zv::ps::SafeField(text, false); }
bool SafeCredential(const char *text) { return zv::ps::SafeField(text, true); }

// The APN and the credentials go inside quotes of an AT command (and, on the PPP path, into
// pppd's arguments): anything that could end the field is refused before anything is sent or
// changed. The cause tells the 8-13 daemon which parameter is at fault, so that the same
// request is not simply repeated.
struct FieldRule {
    int index;
    bool (*safe)(const char *);
    int cause;
};
constexpr FieldRule kFieldRules[] = {
    {kApn, SafeApn, PDP_FAIL_MISSING_UKNOWN_APN},
    {kUser, SafeCredential, PDP_FAIL_USER_AUTHENTICATION},
    {kPassword, SafeCredential, PDP_FAIL_USER_AUTHENTICATION},
    {kProtocol, SafeProtocol, PDP_FAIL_UNKNOWN_PDP_ADDRESS_TYPE},
};

template <size_t N>
void CopyField(char (&field)[N], const char *value, const char *warning) {
    if (!value || !*value) return;
    if (strlen(value) > N - 1) RLOGD("%s", warning);
    zv::CopyBounded(field, N, value);
}

void RequestSetupDataCall(void *data, size_t datalen, RIL_Token t) {
    const char *const *args = static_cast<const char *const *>(data);
    const size_t count = data ? datalen / sizeof(char *) : 0;
    auto arg = [&](size_t i) -> const char * { return i < count && args[i] && args[i][0] ? args[i] : nullptr; };
    if (count == 0) {
        zv::ps::FailSetup(t, RIL_E_GENERIC_FAILURE, PDP_FAIL_ERROR_UNSPECIFIED);
        return;
    }
    for (const FieldRule &rule : kFieldRules) {
        const char *value = arg(static_cast<size_t>(rule.index));
        if (value && !rule.safe(value)) {
            RLOGD("RequestSetupDataCall: refused a field that cannot go into the command");
            zv::ps::FailSetup(t, RIL_E_GENERIC_FAILURE, rule.cause);
            return;
        }
    }

    const AuthRow &auth = AuthFor(count > kAuth ? args[kAuth] : nullptr);
    auto fill = [&] {
        memset(&ndis_st, 0, sizeof ndis_st);
        RLOGD("********RIL_VERSION = %d **********", kRilVersion);
        CopyField(ndis_st.pdptype, arg(kProtocol), "warning:pdptype too long");
        CopyField(ndis_st.apn, arg(kApn), "warning:apn too long");
        CopyField(ndis_st.user, arg(kUser), "warning:user too long");
        CopyField(ndis_st.password, arg(kPassword), "warning:password too long");
        ndis_st.authtype = auth.authtype;
        ndis_st.token = t;
        ndis_st.ndis_event = NDIS_EVENT_REQUEST_PDP_ACTIVE;
    };

    if (zv::Load(zv_ndis_or_modem) != 1 && access(zv::RootPath(kPppd).c_str(), X_OK) != 0) {
        // Without the platform's pppd nothing could carry the call: the modem is not dialled
        // for nothing, and the framework learns that this device has no data path.
        RLOGD("RequestSetupDataCall: %s is not installed, no data call over PPP", kPppd);
        zv::ps::FailSetup(t, RIL_E_REQUEST_NOT_SUPPORTED, PDP_FAIL_SERVICE_OPTION_NOT_SUPPORTED);
        return;
    }
    if (zv::Load(zv_ndis_or_modem) != 1) {
        // The PPP path dials and waits on this thread for up to half a minute: the state
        // machine's lock is held only for the copy. On 1 the PPP path has answered or will
        // answer (its address thread); on failure nothing has been answered yet.
        NdisCallInfo record;
        {
            zv::ps::NdisLock lock;
            fill();
            record = ndis_st;
        }
        int ret = ModemActivatePdpLink(&record, auth.pppOptions);
        RLOGD("ret = ModemActivatePdpLink ret = %d\n", ret);
        if (ret != 1) zv::ps::FailSetupWithModemCause(t);
        return;
    }

    zv::ps::NdisLock lock;
    fill();
    // Start from what the modem says, unless a transition is under way: its waiting request
    // must be answered by the machine, not forgotten.
    if (!zv::ps::TransitionPending())
        zv::Store(ndisi_state, NdisGetCurrentPdpStat() == 1 ? NDIS_STATE_ATIVED : NDIS_STATE_DEATIVED);
    zv::ps::NdisRunLocked();
}

// The request's strings are the call identifier and the reason ("1" for a radio shut-down).
// There is only call 1, so neither changes what is done; but the 8-13 daemon hands an empty
// string over as NULL, and a deactivation that names no call at all is refused there rather
// than guessed at. The socket daemon's requests are taken as they always were.
void RequestDeactivateDataCall(void *data, size_t datalen, RIL_Token t) {
    const char *const *args = static_cast<const char *const *>(data);
    if (zv::HidlGeneration() && (!args || datalen < sizeof(char *) || !args[0])) {
        RLOGD("RequestDeactivateDataCall: no call identifier");
        zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        return;
    }
    if (zv::Load(zv_ndis_or_modem) != 1) {
        ModemDeactivatePdpLink();
        zv::CompleteRequest(t, RIL_E_SUCCESS);
        return;
    }
    // Answered by the state machine: at once, or when the modem confirms (or the guard ends).
    zv::ps::NdisLock lock;
    memset(&ndis_st, 0, offsetof(NdisCallInfo, token));
    ndis_st.token = t;
    ndis_st.ndis_event = NDIS_EVENT_REQUEST_PDP_DEACTIVE;
    zv::ps::NdisRunLocked();
}

// The modem's last packet data error ("^GLASTERR: 1,<code>"); false when it cannot say (a
// CDMA module has no such query).
bool QueryLastFailCause(int *cause) {
    if (zv::Load(g_module_type) == 0) return false;
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^GLASTERR=1", "^GLASTERR:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) return false;
    *cause = PDP_FAIL_ERROR_UNSPECIFIED;
    ATResponse *list[] = {response.get(), nullptr};
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE, nullptr, cause);
    return message && HandlePSMessage(message.get(), list) == 1;
}

void RequestLastDataCallFailCause(RIL_Token t) {
    zv::RequestCompletion done(t);
    int cause = 0;
    if (QueryLastFailCause(&cause)) done.Finish(RIL_E_SUCCESS, &cause, sizeof cause);
}

// A copy of the call record taken under the state machine's lock, for answers built outside it.
struct CallSnapshot {
    NdisCallInfo call;
    char ifname[sizeof PORT_ECM_KEYNAME];
};

void Snapshot(CallSnapshot *s) {
    {
        zv::ps::NdisLock lock;
        s->call = ndis_st;
    }
    zv::CopyBounded(s->ifname, sizeof s->ifname, zv::ps::EcmName().c_str());
}

void SendList(RIL_Token *tokenRef, RIL_Errno e, void *data, size_t length) {
    if (tokenRef) zv::CompleteRequest(*tokenRef, e, data, length);
    else zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED, data, length);
}

template <typename T>
void FillCommon(T *r, CallSnapshot *s, int active) {
    r->status = 0;
    r->cid = 1;
    r->active = active;
    r->type = s->call.pdptype;
    r->ifname = s->ifname;
    r->addresses = s->call.ipaddr;
    r->dnses = s->call.dns;
}

// The record both answers give in the 8-13 generation, and the setup answer from release 5.
void FillV11(RIL_Data_Call_Response_v11 *r, CallSnapshot *s, int active) {
    FillCommon(r, s, active);
    r->suggestedRetryTime = -1;
    r->gateways = s->call.gateway;
    r->pcscf = nullptr;
    r->mtu = 0;
}

// Whether the call is up by the library's own account, for the modules whose contexts the
// modem is not asked about: the state machine's word on the NDIS path, pppd on the PPP path.
bool OwnCallUp() {
    if (zv::Load(zv_ndis_or_modem) == 1) return zv::Load(ndisi_state) == NDIS_STATE_ATIVED;
    return zv::ps::PppCallUp();
}

// The 8-13 daemon's list: (NULL, 0) when there is no call, else whole records of the one
// version it reads. A list it cannot take as a whole it drops (report) or refuses (request).
void SendHidlList(RIL_Token *tokenRef, bool callUp) {
    if (!callUp) return SendList(tokenRef, RIL_E_SUCCESS, nullptr, 0);
    CallSnapshot s;
    Snapshot(&s);
    auto r = AllocRecord<RIL_Data_Call_Response_v11>("RequestDataCallList: malloc response_v11 FAIL.");
    if (!r) return SendList(tokenRef, RIL_E_GENERIC_FAILURE, nullptr, 0);
    FillV11(r.get(), &s, 2);
    SendList(tokenRef, RIL_E_SUCCESS, r.get(), sizeof *r);
}

}  // namespace

namespace zv::ps {

void FailSetup(RIL_Token t, RIL_Errno error, int cause) {
    if (!zv::HidlGeneration()) return zv::CompleteRequest(t, error);
    // On the stack: a failure is answered even when the heap is what failed.
    static char kEmpty[] = "";
    RIL_Data_Call_Response_v11 r = {};
    r.status = cause == PDP_FAIL_NONE ? PDP_FAIL_ERROR_UNSPECIFIED : cause;
    r.suggestedRetryTime = -1;
    r.type = r.ifname = r.addresses = r.dnses = r.gateways = r.pcscf = kEmpty;
    RLOGD("SetupDataCall failed: cause %d", r.status);
    zv::CompleteRequest(t, RIL_E_SUCCESS, &r, sizeof r);
}

void FailSetupWithModemCause(RIL_Token t, RIL_Errno error) {
    int cause = PDP_FAIL_ERROR_UNSPECIFIED;
    // A modem without an error of its own says 0, which must not reach the daemon as NONE.
    if (zv::HidlGeneration() && (!QueryLastFailCause(&cause) || cause <= 0)) cause = PDP_FAIL_ERROR_UNSPECIFIED;
    FailSetup(t, error, cause);
}

bool SafeField(const char *text, bool allowBlank) {
    if (!text) return true;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (*p < 0x20 || *p > 0x7e || *p == '"' || *p == '\\') return false;
        if (*p == ' ' && !allowBlank) return false;
    }
    return true;
}

}  // namespace zv::ps

extern "C" {

NdisCallInfo ndis_st;

void ZvRilPSRequest(int request, void *data, size_t datalen, RIL_Token t) {
    switch (request) {
        case RIL_REQUEST_SETUP_DATA_CALL: RequestSetupDataCall(data, datalen, t); break;
        case RIL_REQUEST_DEACTIVATE_DATA_CALL: RequestDeactivateDataCall(data, datalen, t); break;
        case RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE: RequestLastDataCallFailCause(t); break;
        case RIL_REQUEST_DATA_CALL_LIST: RequestDataCallList(&t); break;
        default: zv::CompleteRequest(t, RIL_E_REQUEST_NOT_SUPPORTED); break;
    }
}

// Answers the setup from ndis_st; the caller holds s_ndis_mutex or owns the record otherwise.
void SetupDataCallResponse(RIL_Token t) { zv::ps::AnswerSetup(t, ndis_st); }

}  // extern "C"

namespace zv::ps {

void AnswerSetup(RIL_Token t, const NdisCallInfo &call) {
    // A copy: the record points into it.
    CallSnapshot s;
    s.call = call;
    zv::CopyBounded(s.ifname, sizeof s.ifname, zv::ps::EcmName().c_str());
    const int version = zv::Load(ANDROID_VERSION);
    if (zv::HidlGeneration() || version >= 5) {
        auto r = AllocRecord<RIL_Data_Call_Response_v11>("RequestDataCallList: malloc response_v11 FAIL.");
        if (!r) return zv::ps::FailSetup(t, RIL_E_GENERIC_FAILURE, PDP_FAIL_ERROR_UNSPECIFIED);
        FillV11(r.get(), &s, 2);
        zv::CompleteRequest(t, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else if (version >= 3) {
        auto r = AllocRecord<RIL_Data_Call_Response_v6>("RequestDataCallList: malloc response_v6 FAIL.");
        if (!r) return zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        FillCommon(r.get(), &s, 2);
        r->suggestedRetryTime = -1;
        r->gateways = s.call.gateway;
        zv::CompleteRequest(t, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else if (version == 2) {
        auto r = AllocRecord<zv::ps::DataCallResponseV5>("RequestDataCallList: malloc response_v5 FAIL.");
        if (!r) return zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        FillCommon(r.get(), &s, 2);
        zv::CompleteRequest(t, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else {
        auto r = AllocRecord<char *>("RequestDataCallList: malloc response_android23 FAIL.", 3);
        if (!r) return zv::CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        static char kCid[] = "1";
        r.get()[0] = kCid;
        r.get()[1] = s.ifname;
        r.get()[2] = s.call.ipaddr;
        zv::CompleteRequest(t, RIL_E_SUCCESS, r.get(), 3 * sizeof(char *));
    }
}

}  // namespace zv::ps

extern "C" {

void RequestDataCallList(RIL_Token *tokenRef) {
    int flag = 0;
    int result = QueryCurrentPpdState("AT^NDISSTATQRY?", "^NDISSTATQRY:", &flag);
    if (result != 1) return SendList(tokenRef, RIL_E_GENERIC_FAILURE, nullptr, 0);
    if (zv::HidlGeneration()) return SendHidlList(tokenRef, zv::Load(g_module_type) == 1 ? flag == 1 : OwnCallUp());
    const int active = flag == 1 ? 2 : flag;
    CallSnapshot s;
    Snapshot(&s);
    const int version = zv::Load(ANDROID_VERSION);
    if (version >= 3 && version <= 6) {
        auto r = AllocRecord<RIL_Data_Call_Response_v6>("RequestDataCallList: malloc responses_v6 FAIL.");
        if (!r) return SendList(tokenRef, RIL_E_GENERIC_FAILURE, nullptr, 0);
        FillCommon(r.get(), &s, active);
        r->suggestedRetryTime = -1;
        r->gateways = s.call.gateway;
        SendList(tokenRef, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else if (version == 2) {
        auto r = AllocRecord<zv::ps::DataCallResponseV5>("RequestDataCallList: malloc response_v5 FAIL.");
        if (!r) return SendList(tokenRef, RIL_E_GENERIC_FAILURE, nullptr, 0);
        FillCommon(r.get(), &s, active);
        SendList(tokenRef, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else if (version == 1) {
        auto r = AllocRecord<RIL_Data_Call_Response_v4>("RequestDataCallList: malloc response_v4 FAIL.");
        if (!r) return SendList(tokenRef, RIL_E_GENERIC_FAILURE, nullptr, 0);
        r->cid = 1;
        r->active = active;
        r->type = s.call.pdptype;
        r->apn = s.call.apn;
        r->address = s.call.ipaddr;
        SendList(tokenRef, RIL_E_SUCCESS, r.get(), sizeof *r);
    } else {
        RLOGD("Have not system version");
        SendList(tokenRef, RIL_E_SUCCESS, nullptr, 0);
    }
}

void UnsoliteDataCallListChanged(void) { zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED); }

int GetLastDataCallFailCause(RilMessage *message, ATResponse **responses) {
    if (!message || !message->data || !responses || !responses[0] || !responses[0]->p_intermediates) return 0;
    char *line = responses[0]->p_intermediates->line;
    // Only the prefix: the rest is the modem's and is not for the log.
    RLOGD("GetLastDataCallFailCause: GLASTERR --------------------------------------%s", "^GLASTERR:");
    char *cursor = line;
    int first, code;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &first) < 0 || at_tok_nextint(&cursor, &code) < 0)
        return 0;
    RLOGD("GetLastDataCallFailCause: --------------------------code=%d", code);
    *static_cast<int *>(message->data) = code;
    return 1;
}

int HandlePSMessage(RilMessage *m, ...) {
    if (!m) {
        RLOGD("HandlePSMessage p_message is NULL");
        return 0;
    }
    va_list ap;
    va_start(ap, m);
    ATResponse **responses = va_arg(ap, ATResponse **);
    va_end(ap);
    switch (m->id) {
        case RIL_REQUEST_SETUP_DATA_CALL: return SetupDataCallProcess(m, responses);
        case RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE: return GetLastDataCallFailCause(m, responses);
        case 21: return ObtainNetworkRegistation(m, responses);
        default: return 0;
    }
}

}  // extern "C"
