// How long a command may take. Network scans and SMS sending can keep the modem busy for
// minutes; most commands answer at once. The first command sent while serving a request
// takes that request's allowance, the rest of the request's commands the default.
#include <telephony/ril.h>

#include "atchannel/at_internal.h"
#include "zvlog.h"
#include "zvshared.h"

namespace zv::at {
namespace {

constexpr long long kDefaultTimeoutMs = 30000;
constexpr long long kLongTimeoutMs = 180000;

struct RequestTimeout {
    int request;
    int timeoutClass;
};

// Searched in this order; the first row for a request wins.
constexpr RequestTimeout kRequestTimeouts[] = {
    {RIL_REQUEST_SET_FACILITY_LOCK, 4},
    {RIL_REQUEST_SEND_SMS, 9},
    {RIL_REQUEST_CDMA_SEND_SMS, 9},
    {RIL_REQUEST_IMS_SEND_SMS, 9},
    {RIL_REQUEST_SETUP_DATA_CALL, 4},
    {RIL_REQUEST_ENTER_SIM_PIN, 4},
    {RIL_REQUEST_ENTER_SIM_PUK, 4},
    {RIL_REQUEST_VOICE_REGISTRATION_STATE, 4},
    {RIL_REQUEST_DATA_REGISTRATION_STATE, 4},
    {RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, 9},
    {RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC, 8},
    {RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, 8},
    {RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE, 8},
    {RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE, 8},
    {RIL_REQUEST_SMS_ACKNOWLEDGE, 2},
};
static_assert(sizeof kRequestTimeouts / sizeof kRequestTimeouts[0] == 15);

constexpr long long kClassMs[] = {500, 5000, 10000, 20000, 30000, 40000, 50000, 60000, 120000, 180000};

}  // namespace

long long TimeoutClassMs(int timeoutClass) {
    if (timeoutClass < 0 || timeoutClass >= static_cast<int>(sizeof kClassMs / sizeof kClassMs[0])) {
        return kDefaultTimeoutMs;
    }
    return kClassMs[timeoutClass];
}

long long ChooseTimeoutMs(const char *command) {
    // The command text may carry a destination number: log it as the masked form.
    if (FindNoCase(command, "AT^HCMGS")) {
        RLOGD("command is %s,timeout is 180s!", MaskedCopy(command).c_str());
        return kLongTimeoutMs;
    }
    if (FindNoCase(command, "AT+COPS=?")) {
        RLOGD("**command is %s,timeout is 180s!**", MaskedCopy(command).c_str());
        return kLongTimeoutMs;
    }
    const int request = zv::Exchange(at_request, 0);
    if (request == 0) return kDefaultTimeoutMs;
    for (const RequestTimeout &row : kRequestTimeouts) {
        if (row.request == request) return TimeoutClassMs(row.timeoutClass);
    }
    return kDefaultTimeoutMs;
}

}  // namespace zv::at
