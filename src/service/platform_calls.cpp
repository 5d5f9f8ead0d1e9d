// Thin wrappers over the daemon's RIL_Env: one place that checks it is there and scales delays.
#include <zvplatform.h>
#include <zorvik/host.h>

#include <atomic>

namespace zv {
namespace {
const RIL_Env *Env() {
    return std::atomic_ref<const RIL_Env *>(const_cast<const RIL_Env *&>(s_rilenv)).load(std::memory_order_acquire);
}
}  // namespace

void CompleteRequest(RIL_Token t, RIL_Errno e, void *response, size_t responselen) {
    if (const RIL_Env *env = Env(); env && env->OnRequestComplete) env->OnRequestComplete(t, e, response, responselen);
}

void ReportUnsolicited(int id, const void *data, size_t datalen) {
    if (const RIL_Env *env = Env(); env && env->OnUnsolicitedResponse) env->OnUnsolicitedResponse(id, data, datalen);
}

void ScheduleCallback(RIL_TimedCallback cb, void *param, long sec, long usec) {
    const RIL_Env *env = Env();
    if (!env || !env->RequestTimedCallback) return;
    struct timeval tv;
    tv.tv_sec = sec;
    tv.tv_usec = usec;
    struct timeval scaled = ScaleTimeval(tv);
    env->RequestTimedCallback(cb, param, &scaled);
}

}  // namespace zv
