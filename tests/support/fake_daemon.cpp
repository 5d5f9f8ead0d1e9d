// The fake radio daemon of fake_daemon.h.
#include "support/fake_daemon.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <sstream>

#ifndef ZV_LIBRARY_PATH
#define ZV_LIBRARY_PATH "build/lib/libzorvik-ril.so"
#endif

namespace zvtest {
namespace {

std::mutex g_instanceMu;
FakeDaemon *g_instance = nullptr;

// Response kinds of the requests the suite looks into; anything else is copied as raw bytes.
const std::map<int, PayloadKind> &DefaultResponseKinds() {
    static const std::map<int, PayloadKind> kinds = {
        {RIL_REQUEST_GET_IMSI, PayloadKind::kString},
        {RIL_REQUEST_GET_IMEI, PayloadKind::kString},
        {RIL_REQUEST_GET_IMEISV, PayloadKind::kString},
        {RIL_REQUEST_BASEBAND_VERSION, PayloadKind::kString},
        {RIL_REQUEST_SEND_USSD, PayloadKind::kNone},
        {RIL_REQUEST_VOICE_REGISTRATION_STATE, PayloadKind::kStrings},
        {RIL_REQUEST_DATA_REGISTRATION_STATE, PayloadKind::kStrings},
        {RIL_REQUEST_OPERATOR, PayloadKind::kStrings},
        {RIL_REQUEST_DEVICE_IDENTITY, PayloadKind::kStrings},
        {RIL_REQUEST_CDMA_SUBSCRIPTION, PayloadKind::kStrings},
        {RIL_REQUEST_OEM_HOOK_STRINGS, PayloadKind::kStrings},
        {RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, PayloadKind::kStrings},
        {RIL_REQUEST_GET_SMSC_ADDRESS, PayloadKind::kString},
        {RIL_REQUEST_ENTER_SIM_PIN, PayloadKind::kInts},
        {RIL_REQUEST_ENTER_SIM_PUK, PayloadKind::kInts},
        {RIL_REQUEST_ENTER_SIM_PIN2, PayloadKind::kInts},
        {RIL_REQUEST_ENTER_SIM_PUK2, PayloadKind::kInts},
        {RIL_REQUEST_CHANGE_SIM_PIN, PayloadKind::kInts},
        {RIL_REQUEST_CHANGE_SIM_PIN2, PayloadKind::kInts},
        {RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, PayloadKind::kInts},
        {RIL_REQUEST_QUERY_FACILITY_LOCK, PayloadKind::kInts},
        {RIL_REQUEST_SET_FACILITY_LOCK, PayloadKind::kInts},
        {RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE, PayloadKind::kInts},
        {RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE, PayloadKind::kInts},
        {RIL_REQUEST_GET_CLIR, PayloadKind::kInts},
        {RIL_REQUEST_GET_MUTE, PayloadKind::kInts},
        {RIL_REQUEST_QUERY_CLIP, PayloadKind::kInts},
        {RIL_REQUEST_LAST_CALL_FAIL_CAUSE, PayloadKind::kInts},
        {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, PayloadKind::kInts},
        {RIL_REQUEST_IMS_REGISTRATION_STATE, PayloadKind::kInts},
        {RIL_REQUEST_SIM_IO, PayloadKind::kSimIo},
        {RIL_REQUEST_STK_GET_PROFILE, PayloadKind::kString},
        {RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, PayloadKind::kString},
        {RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE, PayloadKind::kInts},
        {RIL_REQUEST_SETUP_DATA_CALL, PayloadKind::kDataCall},
        {RIL_REQUEST_DATA_CALL_LIST, PayloadKind::kDataCall},
        {RIL_REQUEST_GET_CURRENT_CALLS, PayloadKind::kCalls},
        {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, PayloadKind::kCallForwards},
        {RIL_REQUEST_QUERY_CALL_WAITING, PayloadKind::kInts},
        {RIL_REQUEST_VOICE_RADIO_TECH, PayloadKind::kInts},
        {RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE, PayloadKind::kInts},
    };
    return kinds;
}

const std::map<int, PayloadKind> &DefaultUnsolKinds() {
    static const std::map<int, PayloadKind> kinds = {
        {RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED, PayloadKind::kNone},
        {RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, PayloadKind::kNone},
        {RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, PayloadKind::kNone},
        {RIL_UNSOL_RESPONSE_NEW_SMS, PayloadKind::kString},
        {RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, PayloadKind::kString},
        {RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM, PayloadKind::kInts},
        {RIL_UNSOL_ON_USSD, PayloadKind::kStrings},
        {RIL_UNSOL_NITZ_TIME_RECEIVED, PayloadKind::kString},
        {RIL_UNSOL_STK_PROACTIVE_COMMAND, PayloadKind::kString},
        {RIL_UNSOL_STK_EVENT_NOTIFY, PayloadKind::kString},
        {RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED, PayloadKind::kNone},
        {RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, PayloadKind::kInts},
        {RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED, PayloadKind::kInts},
        {RIL_UNSOL_RIL_CONNECTED, PayloadKind::kInts},
        {RIL_UNSOL_DATA_CALL_LIST_CHANGED, PayloadKind::kDataCall},
    };
    return kinds;
}

std::string SafeString(const char *s) { return s ? std::string(s) : std::string("(null)"); }

void CopyDataCall(const void *data, size_t len, std::vector<int> *ints, std::vector<std::string> *strings) {
    auto put = [&](std::initializer_list<int> i, std::initializer_list<const char *> s) {
        ints->insert(ints->end(), i);
        for (const char *p : s) strings->push_back(SafeString(p));
    };
    if (len == sizeof(RIL_Data_Call_Response_v11)) {
        auto *r = static_cast<const RIL_Data_Call_Response_v11 *>(data);
        put({r->status, r->suggestedRetryTime, r->cid, r->active, r->mtu},
            {r->type, r->ifname, r->addresses, r->dnses, r->gateways});
    } else if (len == sizeof(RIL_Data_Call_Response_v6)) {
        auto *r = static_cast<const RIL_Data_Call_Response_v6 *>(data);
        put({r->status, r->suggestedRetryTime, r->cid, r->active}, {r->type, r->ifname, r->addresses, r->dnses, r->gateways});
    } else if (len == sizeof(RIL_Data_Call_Response_v5)) {
        auto *r = static_cast<const RIL_Data_Call_Response_v5 *>(data);
        put({r->status, r->cid, r->active}, {r->type, r->ifname, r->addresses, r->dnses});
    } else if (len == sizeof(RIL_Data_Call_Response_v4)) {
        auto *r = static_cast<const RIL_Data_Call_Response_v4 *>(data);
        put({r->cid, r->active}, {r->type, r->apn, r->address});
    } else {
        const char *const *p = static_cast<const char *const *>(data);
        for (size_t i = 0; i < len / sizeof(char *); ++i) strings->push_back(SafeString(p[i]));
    }
}

// Copies the payload according to its kind. For string arrays the element count is the length
// divided by the pointer size, as the daemon's own marshalling does.
void CopyPayload(PayloadKind kind, const void *data, size_t len, std::vector<uint8_t> *raw, std::vector<int> *ints,
                 std::vector<std::string> *strings) {
    if (!data) return;
    switch (kind) {
        case PayloadKind::kNone:
        case PayloadKind::kCalls:
        case PayloadKind::kCallForwards:
            break;
        case PayloadKind::kRaw:
            raw->assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + len);
            break;
        case PayloadKind::kInts: {
            raw->assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + len);
            const int *p = static_cast<const int *>(data);
            for (size_t i = 0; i < len / sizeof(int); ++i) ints->push_back(p[i]);
            break;
        }
        case PayloadKind::kString:
            strings->push_back(SafeString(static_cast<const char *>(data)));
            break;
        case PayloadKind::kDataCall:
            CopyDataCall(data, len, ints, strings);
            break;
        case PayloadKind::kStrings: {
            const char *const *p = static_cast<const char *const *>(data);
            for (size_t i = 0; i < len / sizeof(char *); ++i) strings->push_back(SafeString(p[i]));
            break;
        }
        case PayloadKind::kSimIo: {
            if (len < sizeof(RIL_SIM_IO_Response)) break;
            const auto *io = static_cast<const RIL_SIM_IO_Response *>(data);
            ints->push_back(io->sw1);
            ints->push_back(io->sw2);
            strings->push_back(SafeString(io->simResponse));
            break;
        }
    }
}

// The records behind an array of pointers (call list, forwarding answer), copied field by field
// so that the journal keeps them after the library has freed its answer.
void CopyRecords(PayloadKind kind, const void *data, size_t len, Completion *c) {
    if (!data) return;
    const size_t count = len / sizeof(void *);
    if (kind == PayloadKind::kCalls) {
        const RIL_Call *const *calls = static_cast<const RIL_Call *const *>(data);
        for (size_t i = 0; i < count; ++i) {
            const RIL_Call &k = *calls[i];
            CallRecord r;
            r.state = k.state;
            r.index = k.index;
            r.toa = k.toa;
            r.isMpty = k.isMpty;
            r.isMT = k.isMT;
            r.als = k.als;
            r.isVoice = k.isVoice;
            r.isVoicePrivacy = k.isVoicePrivacy;
            r.hasNumber = k.number != nullptr;
            r.number = SafeString(k.number);
            r.numberPresentation = k.numberPresentation;
            r.hasName = k.name != nullptr;
            r.namePresentation = k.namePresentation;
            r.hasUusInfo = k.uusInfo != nullptr;
            c->calls.push_back(r);
        }
    } else if (kind == PayloadKind::kCallForwards) {
        const RIL_CallForwardInfo *const *infos = static_cast<const RIL_CallForwardInfo *const *>(data);
        for (size_t i = 0; i < count; ++i) {
            const RIL_CallForwardInfo &f = *infos[i];
            ForwardRecord r;
            r.status = f.status;
            r.reason = f.reason;
            r.serviceClass = f.serviceClass;
            r.toa = f.toa;
            r.timeSeconds = f.timeSeconds;
            r.hasNumber = f.number != nullptr;
            r.number = SafeString(f.number);
            c->forwards.push_back(r);
        }
    }
}

}  // namespace

FakeDaemon::FakeDaemon() {
    {
        std::lock_guard<std::mutex> lock(g_instanceMu);
        if (g_instance) {
            fprintf(stderr, "FakeDaemon: only one daemon per process\n");
            abort();
        }
        g_instance = this;
    }
    timerThread_ = std::thread([this] { TimerLoop(); });
}

FakeDaemon::~FakeDaemon() {
    {
        std::lock_guard<std::mutex> lock(g_instanceMu);
        g_instance = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(timerMu_);
        stopping_ = true;
    }
    timerCv_.notify_all();
    timerThread_.join();
    // The library is never unloaded: its threads live as long as the process, as under rild.
}

bool FakeDaemon::Load(const std::string &path) {
    std::string lib = path;
    if (lib.empty()) {
        const char *env = getenv("ZORVIK_RIL_LIBRARY");
        lib = env && *env ? env : ZV_LIBRARY_PATH;
    }
    handle_ = dlopen(lib.c_str(), RTLD_NOW);
    if (!handle_) {
        error_ = dlerror();
        return false;
    }
    return true;
}

void *FakeDaemon::Symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

const RIL_RadioFunctions *FakeDaemon::Init(const std::vector<std::string> &args) {
    using InitFn = const RIL_RadioFunctions *(*)(const struct RIL_Env *, int, char **);
    auto init = reinterpret_cast<InitFn>(Symbol("RIL_Init"));
    if (!init) {
        error_ = "RIL_Init not found";
        return nullptr;
    }
    // argv[0] is the library path, as the daemon passes it.
    static std::vector<std::string> storage;
    static std::vector<char *> argv;
    storage.clear();
    storage.push_back("libzorvik-ril.so");
    storage.insert(storage.end(), args.begin(), args.end());
    argv.clear();
    for (auto &s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    // The library keeps the environment for the life of the process, longer than any daemon
    // object: it lives in static storage, and its callbacks find the current daemon (if any).
    static const struct RIL_Env env = {&FakeDaemon::OnRequestComplete, &FakeDaemon::OnUnsolicitedResponse,
                                       &FakeDaemon::RequestTimedCallback};
    funcs_ = init(&env, static_cast<int>(storage.size()), argv.data());
    if (!funcs_) return nullptr;
    if (const int *decided = static_cast<const int *>(Symbol("PLATFORM_GENERATION")))
        generation_.store(__atomic_load_n(decided, __ATOMIC_ACQUIRE) ? Generation::kHidl : Generation::kSocket);
    // The 8-13 daemon asks for the radio state as soon as the framework connects.
    std::lock_guard<std::mutex> lock(mu_);
    connected_ = funcs_;
    CheckRadioState("at connection");
    return funcs_;
}

void FakeDaemon::AddViolation(std::string what) { violations_.push_back(std::move(what)); }

void FakeDaemon::CheckRadioState(const char *when) {
    if (!connected_ || !connected_->onStateRequest) return;
    const Generation g = generation();
    const int state = connected_->onStateRequest();
    if (!RadioStateAccepted(g, state))
        AddViolation(std::string("radio state ") + std::to_string(state) + " " + when + ": not a state the " +
                     (g == Generation::kHidl ? "8-13" : "socket") + " daemon knows");
}

RIL_Token FakeDaemon::Request(int request, void *data, size_t datalen) {
    RIL_Token t;
    {
        std::lock_guard<std::mutex> lock(mu_);
        t = reinterpret_cast<RIL_Token>(nextToken_++);
        issued_[t] = request;
        if (std::string why = CheckRequestSent(generation(), request); !why.empty()) AddViolation(std::move(why));
    }
    if (funcs_ && funcs_->onRequest) funcs_->onRequest(request, data, datalen, t);
    return t;
}

PayloadKind FakeDaemon::ResponseKind(int request) const {
    if (auto it = responseKinds_.find(request); it != responseKinds_.end()) return it->second;
    if (auto it = DefaultResponseKinds().find(request); it != DefaultResponseKinds().end()) return it->second;
    return PayloadKind::kRaw;
}

PayloadKind FakeDaemon::UnsolKind(int id) const {
    if (auto it = unsolKinds_.find(id); it != unsolKinds_.end()) return it->second;
    if (auto it = DefaultUnsolKinds().find(id); it != DefaultUnsolKinds().end()) return it->second;
    return PayloadKind::kRaw;
}

void FakeDaemon::OnRequestComplete(RIL_Token t, RIL_Errno e, void *response, size_t responselen) {
    std::lock_guard<std::mutex> glock(g_instanceMu);
    FakeDaemon *d = g_instance;
    if (!d) return;
    std::string note;
    {
        std::lock_guard<std::mutex> lock(d->mu_);
        auto it = d->issued_.find(t);
        if (it == d->issued_.end() || d->completions_.count(t)) {
            // No journal entry shows these two: they are told on stderr as they happen.
            std::string what = "completion of unknown token " + std::to_string(reinterpret_cast<uintptr_t>(t));
            if (d->Forgotten(t))
                what = "second completion of token " + std::to_string(reinterpret_cast<uintptr_t>(t));
            else if (it != d->issued_.end())
                what = "second completion of token " + std::to_string(reinterpret_cast<uintptr_t>(t)) + " (request " +
                       std::to_string(it->second) + ")";
            fprintf(stderr, "FakeDaemon: %s\n", what.c_str());
            d->AddViolation(std::move(what));
        } else {
            // Checked now: the payload is the library's only until this call returns.
            if (std::string why = CheckCompletion(d->generation(), it->second, e, response, responselen); !why.empty())
                d->AddViolation(std::move(why));
            Completion c;
            c.token = t;
            c.request = it->second;
            c.error = e;
            c.length = responselen;
            CopyPayload(d->ResponseKind(c.request), response, responselen, &c.raw, &c.ints, &c.strings);
            CopyRecords(d->ResponseKind(c.request), response, responselen, &c);
            note = Describe(c);
            d->completions_[t] = std::move(c);
        }
    }
    d->cv_.notify_all();
    if (d->observer_ && !note.empty()) d->observer_(note);
}

void FakeDaemon::OnUnsolicitedResponse(int id, const void *data, size_t datalen) {
    std::lock_guard<std::mutex> glock(g_instanceMu);
    FakeDaemon *d = g_instance;
    if (!d) return;
    std::string note;
    {
        std::lock_guard<std::mutex> lock(d->mu_);
        // A report the daemon would drop stays in the journal (tests wait on it in both
        // runs); the violation is what fails the test.
        if (std::string why = CheckUnsolicited(d->generation(), id, data, datalen); !why.empty())
            d->AddViolation(std::move(why));
        if (id == RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED && d->generation() == Generation::kHidl)
            d->CheckRadioState("reported");
        Unsolicited u;
        u.id = id;
        u.length = datalen;
        CopyPayload(d->UnsolKind(id), data, datalen, &u.raw, &u.ints, &u.strings);
        note = Describe(u);
        d->unsolicited_.push_back(std::move(u));
    }
    d->cv_.notify_all();
    if (d->observer_) d->observer_(note);
}

void FakeDaemon::RequestTimedCallback(RIL_TimedCallback cb, void *param, const struct timeval *delay) {
    std::lock_guard<std::mutex> glock(g_instanceMu);
    FakeDaemon *d = g_instance;
    if (!d || !cb) return;
    auto wait = std::chrono::microseconds(0);
    if (delay) wait = std::chrono::seconds(delay->tv_sec) + std::chrono::microseconds(delay->tv_usec);
    {
        std::lock_guard<std::mutex> lock(d->timerMu_);
        d->timers_.push_back({std::chrono::steady_clock::now() + wait, d->timerSeq_++, cb, param});
        ++d->timersScheduled_;
    }
    d->timerCv_.notify_all();
}

void FakeDaemon::TimerLoop() {
    std::unique_lock<std::mutex> lock(timerMu_);
    while (!stopping_) {
        if (timers_.empty()) {
            timerCv_.wait(lock);
            continue;
        }
        auto next = std::min_element(timers_.begin(), timers_.end(), [](const Timer &a, const Timer &b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (next->due > std::chrono::steady_clock::now()) {
            // A copy: wait_until reads the deadline while unlocked, when a new timer may move
            // the vector's elements.
            const auto due = next->due;
            timerCv_.wait_until(lock, due);
            continue;
        }
        Timer t = *next;
        timers_.erase(next);
        lock.unlock();
        t.cb(t.param);  // one at a time, on this thread, as the daemon does
        lock.lock();
    }
}

bool FakeDaemon::WaitForCompletion(RIL_Token t, std::chrono::milliseconds timeout, Completion *out) {
    std::unique_lock<std::mutex> lock(mu_);
    bool ok = cv_.wait_for(lock, timeout, [&] { return completions_.count(t) > 0 || Forgotten(t); });
    if (ok && out && completions_.count(t)) *out = completions_[t];
    return ok;
}

std::optional<Completion> FakeDaemon::CompletionOf(RIL_Token t) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = completions_.find(t);
    if (it == completions_.end()) return std::nullopt;
    return it->second;
}

bool FakeDaemon::WaitForUnsolicited(int id, std::chrono::milliseconds timeout, size_t from, Unsolicited *out) {
    std::unique_lock<std::mutex> lock(mu_);
    const Unsolicited *found = nullptr;
    cv_.wait_for(lock, timeout, [&] {
        for (size_t i = from > unsolicitedBase_ ? from - unsolicitedBase_ : 0; i < unsolicited_.size(); ++i) {
            if (unsolicited_[i].id == id) {
                found = &unsolicited_[i];
                return true;
            }
        }
        return false;
    });
    if (found && out) *out = *found;
    return found != nullptr;
}

std::vector<Unsolicited> FakeDaemon::UnsolicitedSince(size_t from) const {
    std::lock_guard<std::mutex> lock(mu_);
    from = from > unsolicitedBase_ ? from - unsolicitedBase_ : 0;
    if (from >= unsolicited_.size()) return {};
    return std::vector<Unsolicited>(unsolicited_.begin() + static_cast<long>(from), unsolicited_.end());
}

size_t FakeDaemon::UnsolicitedCount() const {
    std::lock_guard<std::mutex> lock(mu_);
    return unsolicitedBase_ + unsolicited_.size();
}

size_t FakeDaemon::CompletionCount() const {
    std::lock_guard<std::mutex> lock(mu_);
    return forgottenCount_ + completions_.size();
}

bool FakeDaemon::Forgotten(RIL_Token t) const {
    const uintptr_t n = reinterpret_cast<uintptr_t>(t) - kFirstToken;
    return n < forgotten_.size() && forgotten_[n];
}

void FakeDaemon::Compact() {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto &[t, c] : completions_) {
        const uintptr_t n = reinterpret_cast<uintptr_t>(t) - kFirstToken;
        if (n >= forgotten_.size()) forgotten_.resize(n + 1);
        forgotten_[n] = true;
        issued_.erase(t);
    }
    forgottenCount_ += completions_.size();
    completions_.clear();
    unsolicitedBase_ += unsolicited_.size();
    std::vector<Unsolicited>().swap(unsolicited_);
}

bool FakeDaemon::WaitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
    // The predicate may read library state that changes without a journal entry: poll it at a
    // modest rate in addition to waking on every journal entry.
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
        lock.unlock();
        bool done = pred();
        lock.lock();
        if (done) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        cv_.wait_for(lock, std::chrono::milliseconds(10));
    }
}

std::vector<std::string> FakeDaemon::Violations() const {
    std::lock_guard<std::mutex> lock(mu_);
    return violations_;
}

void FakeDaemon::SetObserver(std::function<void(const std::string &)> fn) {
    std::lock_guard<std::mutex> lock(mu_);
    observer_ = std::move(fn);
}

void FakeDaemon::SetResponseKind(int request, PayloadKind kind) {
    std::lock_guard<std::mutex> lock(mu_);
    responseKinds_[request] = kind;
}

void FakeDaemon::SetUnsolicitedKind(int id, PayloadKind kind) {
    std::lock_guard<std::mutex> lock(mu_);
    unsolKinds_[id] = kind;
}

size_t FakeDaemon::TimedCallbacksScheduled() const {
    std::lock_guard<std::mutex> lock(timerMu_);
    return timersScheduled_;
}

std::string FakeDaemon::Describe(const Completion &c) {
    std::ostringstream os;
    os << "complete request " << c.request << " error " << c.error;
    for (auto &s : c.strings) os << " \"" << s << "\"";
    for (int i : c.ints) os << " " << i;
    return os.str();
}

std::string FakeDaemon::Describe(const Unsolicited &u) {
    std::ostringstream os;
    os << "unsolicited " << u.id;
    for (auto &s : u.strings) os << " \"" << s << "\"";
    for (int i : u.ints) os << " " << i;
    return os.str();
}

}  // namespace zvtest
