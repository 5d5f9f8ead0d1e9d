// A recording RIL_Env for the SMS unit tests: keeps each unsolicited payload in the form its
// id carries (PDU text, index, CDMA record) and each completion's error.
#ifndef ZORVIK_TESTS_UNIT_SMS_SMS_ENV_H
#define ZORVIK_TESTS_UNIT_SMS_SMS_ENV_H

#include <string.h>

#include <stdint.h>

#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include <zvril.h>

#include "sms/sms.h"

namespace zvtest {

struct SmsReport {
    int id = 0;
    std::string text;  // PDU text of 1003, 1004, 1021
    size_t length = 0;
    int index = -1;  // 1005
    RIL_CDMA_SMS_Message cdma{};  // 1020
};

// Tests pass the request number as the token, so a completion's payload can be read by it.
struct SmsCompletion {
    int request = 0;
    RIL_Errno error = RIL_E_SUCCESS;
    std::vector<unsigned char> raw;               // the response bytes (RIL_SMS_Response, int)
    std::string text;                             // 100
    std::vector<std::pair<int, int>> ranges;      // 89, with every entry selected
};

class SmsEnv {
public:
    SmsEnv() {
        env_.OnRequestComplete = OnComplete;
        env_.OnUnsolicitedResponse = OnUnsol;
        env_.RequestTimedCallback = nullptr;
        current() = this;
        previous_ = s_rilenv;
        s_rilenv = &env_;
    }
    ~SmsEnv() {
        s_rilenv = previous_;
        current() = nullptr;
    }
    std::vector<SmsReport> Reports() {
        std::lock_guard<std::mutex> lock(mu_);
        return reports_;
    }
    std::vector<RIL_Errno> Completions() {
        std::lock_guard<std::mutex> lock(mu_);
        std::vector<RIL_Errno> out;
        for (const SmsCompletion &c : completions_) out.push_back(c.error);
        return out;
    }
    std::vector<SmsCompletion> Full() {
        std::lock_guard<std::mutex> lock(mu_);
        return completions_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mu_);
        reports_.clear();
        completions_.clear();
    }

private:
    static SmsEnv *&current() {
        static SmsEnv *env = nullptr;
        return env;
    }
    static void OnComplete(RIL_Token t, RIL_Errno e, void *data, size_t len) {
        SmsCompletion c;
        c.request = static_cast<int>(reinterpret_cast<intptr_t>(t));
        c.error = e;
        if (data && c.request == RIL_REQUEST_GET_SMSC_ADDRESS) {
            c.text = static_cast<const char *>(data);
        } else if (data && c.request == RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG) {
            auto *entries = static_cast<RIL_GSM_BroadcastSmsConfigInfo *const *>(data);
            for (size_t i = 0; i < len / sizeof(void *); ++i) {
                if (!entries[i]->selected) c.ranges.emplace_back(-1, -1);
                c.ranges.emplace_back(entries[i]->fromServiceId, entries[i]->toServiceId);
            }
        } else if (data) {
            c.raw.assign(static_cast<const unsigned char *>(data), static_cast<const unsigned char *>(data) + len);
        }
        std::lock_guard<std::mutex> lock(current()->mu_);
        current()->completions_.push_back(c);
    }
    static void OnUnsol(int id, const void *data, size_t len) {
        SmsReport r;
        r.id = id;
        r.length = len;
        if (id == RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM && data && len >= sizeof(int)) {
            r.index = *static_cast<const int *>(data);
        } else if (len == sizeof(RIL_CDMA_SMS_Message) && data) {
            memcpy(&r.cdma, data, sizeof r.cdma);
        } else if (id == RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS && data) {
            r.text.assign(static_cast<const char *>(data), len);  // a page is bytes, not text
        } else if (data) {
            r.text = static_cast<const char *>(data);
        }
        std::lock_guard<std::mutex> lock(current()->mu_);
        current()->reports_.push_back(r);
    }

    struct RIL_Env env_;
    const struct RIL_Env *previous_;
    std::mutex mu_;
    std::vector<SmsReport> reports_;
    std::vector<SmsCompletion> completions_;
};

}  // namespace zvtest

#endif
