/*
 * The library's calls into the radio daemon, through the RIL_Env kept by RIL_Init.
 * Completion goes through RequestCompletion so that every token is ended exactly once.
 */
#ifndef ZORVIK_ZVPLATFORM_H
#define ZORVIK_ZVPLATFORM_H

#include <zvril.h>

namespace zv {

void CompleteRequest(RIL_Token t, RIL_Errno e, void *response = nullptr, size_t responselen = 0);
void ReportUnsolicited(int id, const void *data = nullptr, size_t datalen = 0);
/* Asks the daemon for a callback after the given delay, divided by the host time scale. */
void ScheduleCallback(RIL_TimedCallback cb, void *param, long sec, long usec);

/*
 * Ends a request exactly once: Finish() completes it; a guard destroyed without Finish()
 * completes it with RIL_E_GENERIC_FAILURE, so no handler path can leave a token hanging.
 */
class RequestCompletion {
public:
    explicit RequestCompletion(RIL_Token t) : token_(t) {}
    RequestCompletion(const RequestCompletion &) = delete;
    RequestCompletion &operator=(const RequestCompletion &) = delete;
    ~RequestCompletion() {
        if (!done_) Finish(RIL_E_GENERIC_FAILURE);
    }
    void Finish(RIL_Errno e, void *response = nullptr, size_t responselen = 0) {
        if (done_) return;
        done_ = true;
        CompleteRequest(token_, e, response, responselen);
    }
    bool done() const { return done_; }

private:
    RIL_Token token_;
    bool done_ = false;
};

}  // namespace zv

#endif
