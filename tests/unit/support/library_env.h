// Unit-test helpers for code that talks to the daemon: a recording RIL_Env installed into the
// statically linked library, and a capture of the library's log lines.
#ifndef ZORVIK_TESTS_UNIT_SUPPORT_LIBRARY_ENV_H
#define ZORVIK_TESTS_UNIT_SUPPORT_LIBRARY_ENV_H

#include <telephony/ril.h>

#include <mutex>
#include <string>
#include <vector>

namespace zvtest {

struct RecordedCompletion {
    RIL_Token token;
    RIL_Errno error;
    size_t length;
};

// Installs itself as s_rilenv for its lifetime; records completions, unsolicited ids, timed
// callbacks (not run) and log lines.
class RecordingEnv {
public:
    RecordingEnv();
    ~RecordingEnv();

    std::vector<RecordedCompletion> Completions() const;
    std::vector<int> Unsolicited() const;
    // String payloads of the unsolicited responses that carry them (USSD, toolkit), in order.
    std::vector<std::vector<std::string>> StringPayloads() const;
    std::vector<std::string> Logs() const;
    size_t TimedCallbacks() const;
    bool Logged(const std::string &text) const;  // some line contains text
    void Clear();

private:
    static void OnComplete(RIL_Token t, RIL_Errno e, void *response, size_t len);
    static void OnUnsol(int id, const void *data, size_t len);
    static void OnTimed(RIL_TimedCallback cb, void *param, const struct timeval *delay);
    static void OnLog(int prio, const char *tag, const char *text, void *ctx);

    struct RIL_Env env_;
    const struct RIL_Env *previous_;
    mutable std::mutex mu_;
    std::vector<RecordedCompletion> completions_;
    std::vector<int> unsolicited_;
    std::vector<std::vector<std::string>> stringPayloads_;
    std::vector<std::string> logs_;
    size_t timed_ = 0;
};

}  // namespace zvtest

#endif
