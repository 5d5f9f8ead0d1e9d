#include "unit/support/library_env.h"

#include <zorvik/host.h>
#include <zvril.h>

namespace zvtest {
namespace {
RecordingEnv *g_current = nullptr;
}

RecordingEnv::RecordingEnv() {
    env_.OnRequestComplete = OnComplete;
    env_.OnUnsolicitedResponse = OnUnsol;
    env_.RequestTimedCallback = OnTimed;
    g_current = this;
    previous_ = s_rilenv;
    s_rilenv = &env_;
    zv::SetLogCapture(OnLog, this);
}

RecordingEnv::~RecordingEnv() {
    zv::SetLogCapture(nullptr, nullptr);
    s_rilenv = previous_;
    g_current = nullptr;
}

void RecordingEnv::OnComplete(RIL_Token t, RIL_Errno e, void *, size_t len) {
    std::lock_guard<std::mutex> lock(g_current->mu_);
    g_current->completions_.push_back({t, e, len});
}

void RecordingEnv::OnUnsol(int id, const void *data, size_t len) {
    std::lock_guard<std::mutex> lock(g_current->mu_);
    g_current->unsolicited_.push_back(id);
    if (id == RIL_UNSOL_ON_USSD && data) {
        std::vector<std::string> strings;
        auto p = static_cast<const char *const *>(data);
        for (size_t i = 0; i < len / sizeof(char *); ++i) strings.emplace_back(p[i] ? p[i] : "(null)");
        g_current->stringPayloads_.push_back(std::move(strings));
    } else if ((id == RIL_UNSOL_STK_PROACTIVE_COMMAND || id == RIL_UNSOL_STK_EVENT_NOTIFY) && data) {
        g_current->stringPayloads_.push_back({static_cast<const char *>(data)});
    }
}

void RecordingEnv::OnTimed(RIL_TimedCallback, void *, const struct timeval *) {
    std::lock_guard<std::mutex> lock(g_current->mu_);
    ++g_current->timed_;
}

void RecordingEnv::OnLog(int, const char *, const char *text, void *ctx) {
    auto *self = static_cast<RecordingEnv *>(ctx);
    std::lock_guard<std::mutex> lock(self->mu_);
    self->logs_.emplace_back(text);
}

std::vector<RecordedCompletion> RecordingEnv::Completions() const {
    std::lock_guard<std::mutex> lock(mu_);
    return completions_;
}
std::vector<int> RecordingEnv::Unsolicited() const {
    std::lock_guard<std::mutex> lock(mu_);
    return unsolicited_;
}
std::vector<std::vector<std::string>> RecordingEnv::StringPayloads() const {
    std::lock_guard<std::mutex> lock(mu_);
    return stringPayloads_;
}
std::vector<std::string> RecordingEnv::Logs() const {
    std::lock_guard<std::mutex> lock(mu_);
    return logs_;
}
size_t RecordingEnv::TimedCallbacks() const {
    std::lock_guard<std::mutex> lock(mu_);
    return timed_;
}
bool RecordingEnv::Logged(const std::string &text) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto &l : logs_)
        if (l.find(text) != std::string::npos) return true;
    return false;
}
void RecordingEnv::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    completions_.clear();
    unsolicited_.clear();
    stringPayloads_.clear();
    logs_.clear();
    timed_ = 0;
}

}  // namespace zvtest
