// The acceptance rules of daemon_rules.h.
#include "support/daemon_rules.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <span>

namespace zvtest {
namespace {

// Records the 8-13 daemon requires that the stand-in header (modelled on an older interface)
// does not declare: the signal record with LTE timing advance and TD-SCDMA, and the
// last-call-fail-cause record. Laid out from their named parts so the sizes follow the ABI.
struct SignalStrengthV10 {
    RIL_GW_SignalStrength gw;
    RIL_CDMA_SignalStrength cdma;
    RIL_EVDO_SignalStrength evdo;
    RIL_LTE_SignalStrength_v8 lte;
    int tdScdmaRscp;
};
static_assert(sizeof(SignalStrengthV10) == 56, "the same 56 bytes on every ABI");

struct LastCallFailCauseInfo {
    int causeCode;
    char *vendorCause;
};
static_assert(sizeof(LastCallFailCauseInfo) == ZV_RIL_SIZE(8, 16), "fail-cause record size");

constexpr size_t kPtr = sizeof(char *);
constexpr size_t kInt = sizeof(int);

constexpr Rule Ignored(int n, const char *name) {
    return {n, name, Shape::kIgnored, 0, 0, 0};
}
constexpr Rule Of(int n, const char *name, Shape s, size_t size = 0) {
    return {n, name, s, size, 0, 0};
}
constexpr Rule Strings(int n, const char *name, int count, int count2 = 0) {
    return {n, name, count2 ? Shape::kStringsEither : Shape::kStrings, 0, count, count2};
}
constexpr Rule Ints(int n, const char *name, int count) {
    return {n, name, Shape::kInts, 0, count, 0};
}

// Every request the library answers, and what the 8-13 daemon makes of the answer. Void
// answers are listed so the table reads as the whole interface; their payload is never read.
constexpr Rule kRequestRules[] = {
    Of(RIL_REQUEST_GET_SIM_STATUS, "GET_SIM_STATUS", Shape::kCardStatus, sizeof(RIL_CardStatus_v6)),
    Of(RIL_REQUEST_ENTER_SIM_PIN, "ENTER_SIM_PIN", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_ENTER_SIM_PUK, "ENTER_SIM_PUK", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_ENTER_SIM_PIN2, "ENTER_SIM_PIN2", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_ENTER_SIM_PUK2, "ENTER_SIM_PUK2", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_CHANGE_SIM_PIN, "CHANGE_SIM_PIN", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_CHANGE_SIM_PIN2, "CHANGE_SIM_PIN2", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, "ENTER_NETWORK_DEPERSONALIZATION", Shape::kExactOrEmpty, kInt),
    Of(RIL_REQUEST_GET_CURRENT_CALLS, "GET_CURRENT_CALLS", Shape::kList, sizeof(RIL_Call *)),
    Ignored(RIL_REQUEST_DIAL, "DIAL"),
    Of(RIL_REQUEST_GET_IMSI, "GET_IMSI", Shape::kString),
    Ignored(RIL_REQUEST_HANGUP, "HANGUP"),
    Ignored(RIL_REQUEST_HANGUP_WAITING_OR_BACKGROUND, "HANGUP_WAITING_OR_BACKGROUND"),
    Ignored(RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND, "HANGUP_FOREGROUND_RESUME_BACKGROUND"),
    Ignored(RIL_REQUEST_SWITCH_WAITING_OR_HOLDING_AND_ACTIVE, "SWITCH_WAITING_OR_HOLDING_AND_ACTIVE"),
    Ignored(RIL_REQUEST_CONFERENCE, "CONFERENCE"),
    Ignored(RIL_REQUEST_UDUB, "UDUB"),
    Of(RIL_REQUEST_LAST_CALL_FAIL_CAUSE, "LAST_CALL_FAIL_CAUSE", Shape::kFailCause, sizeof(LastCallFailCauseInfo)),
    Of(RIL_REQUEST_SIGNAL_STRENGTH, "SIGNAL_STRENGTH", Shape::kExact, sizeof(SignalStrengthV10)),
    Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE, "VOICE_REGISTRATION_STATE", 15),
    // 13 strings only from Android 10 on: one build serves 8.0 too.
    Strings(RIL_REQUEST_DATA_REGISTRATION_STATE, "DATA_REGISTRATION_STATE", 6, 11),
    Strings(RIL_REQUEST_OPERATOR, "OPERATOR", 3),
    Ignored(RIL_REQUEST_RADIO_POWER, "RADIO_POWER"),
    Ignored(RIL_REQUEST_DTMF, "DTMF"),
    Of(RIL_REQUEST_SEND_SMS, "SEND_SMS", Shape::kExact, sizeof(RIL_SMS_Response)),
    Of(RIL_REQUEST_SEND_SMS_EXPECT_MORE, "SEND_SMS_EXPECT_MORE", Shape::kExact, sizeof(RIL_SMS_Response)),
    Of(RIL_REQUEST_SETUP_DATA_CALL, "SETUP_DATA_CALL", Shape::kNonEmptyList, sizeof(RIL_Data_Call_Response_v11)),
    Of(RIL_REQUEST_SIM_IO, "SIM_IO", Shape::kExact, sizeof(RIL_SIM_IO_Response)),
    Ignored(RIL_REQUEST_SEND_USSD, "SEND_USSD"),
    Ignored(RIL_REQUEST_CANCEL_USSD, "CANCEL_USSD"),
    Ints(RIL_REQUEST_GET_CLIR, "GET_CLIR", 2),
    Ignored(RIL_REQUEST_SET_CLIR, "SET_CLIR"),
    Of(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, "QUERY_CALL_FORWARD_STATUS", Shape::kList, sizeof(RIL_CallForwardInfo *)),
    Ignored(RIL_REQUEST_SET_CALL_FORWARD, "SET_CALL_FORWARD"),
    Ints(RIL_REQUEST_QUERY_CALL_WAITING, "QUERY_CALL_WAITING", 2),
    Ignored(RIL_REQUEST_SET_CALL_WAITING, "SET_CALL_WAITING"),
    Ignored(RIL_REQUEST_SMS_ACKNOWLEDGE, "SMS_ACKNOWLEDGE"),
    Of(RIL_REQUEST_GET_IMEI, "GET_IMEI", Shape::kNeverSent),
    Of(RIL_REQUEST_GET_IMEISV, "GET_IMEISV", Shape::kNeverSent),
    Ignored(RIL_REQUEST_ANSWER, "ANSWER"),
    Ignored(RIL_REQUEST_DEACTIVATE_DATA_CALL, "DEACTIVATE_DATA_CALL"),
    Of(RIL_REQUEST_QUERY_FACILITY_LOCK, "QUERY_FACILITY_LOCK", Shape::kExact, kInt),
    Of(RIL_REQUEST_SET_FACILITY_LOCK, "SET_FACILITY_LOCK", Shape::kExactOrEmpty, kInt),
    Ignored(RIL_REQUEST_CHANGE_BARRING_PASSWORD, "CHANGE_BARRING_PASSWORD"),
    Of(RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE, "QUERY_NETWORK_SELECTION_MODE", Shape::kExact, kInt),
    Ignored(RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC, "SET_NETWORK_SELECTION_AUTOMATIC"),
    Ignored(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, "SET_NETWORK_SELECTION_MANUAL"),
    Of(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, "QUERY_AVAILABLE_NETWORKS", Shape::kNetworks),
    Ignored(RIL_REQUEST_DTMF_START, "DTMF_START"),
    Ignored(RIL_REQUEST_DTMF_STOP, "DTMF_STOP"),
    Of(RIL_REQUEST_BASEBAND_VERSION, "BASEBAND_VERSION", Shape::kString),
    Ignored(RIL_REQUEST_SEPARATE_CONNECTION, "SEPARATE_CONNECTION"),
    Ignored(RIL_REQUEST_SET_MUTE, "SET_MUTE"),
    Of(RIL_REQUEST_GET_MUTE, "GET_MUTE", Shape::kExact, kInt),
    Of(RIL_REQUEST_QUERY_CLIP, "QUERY_CLIP", Shape::kExact, kInt),
    Of(RIL_REQUEST_LAST_DATA_CALL_FAIL_CAUSE, "LAST_DATA_CALL_FAIL_CAUSE", Shape::kNeverSent),
    Of(RIL_REQUEST_DATA_CALL_LIST, "DATA_CALL_LIST", Shape::kList, sizeof(RIL_Data_Call_Response_v11)),
    Of(RIL_REQUEST_RESET_RADIO, "RESET_RADIO", Shape::kNeverSent),
    Of(RIL_REQUEST_OEM_HOOK_RAW, "OEM_HOOK_RAW", Shape::kNonNull),
    Of(RIL_REQUEST_OEM_HOOK_STRINGS, "OEM_HOOK_STRINGS", Shape::kList, kPtr),
    Ignored(RIL_REQUEST_SCREEN_STATE, "SCREEN_STATE"),
    Ignored(RIL_REQUEST_SET_SUPP_SVC_NOTIFICATION, "SET_SUPP_SVC_NOTIFICATION"),
    Of(RIL_REQUEST_WRITE_SMS_TO_SIM, "WRITE_SMS_TO_SIM", Shape::kExact, kInt),
    Ignored(RIL_REQUEST_DELETE_SMS_ON_SIM, "DELETE_SMS_ON_SIM"),
    Ignored(RIL_REQUEST_SET_BAND_MODE, "SET_BAND_MODE"),
    Of(RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, "QUERY_AVAILABLE_BAND_MODE", Shape::kList, kInt),
    Of(RIL_REQUEST_STK_GET_PROFILE, "STK_GET_PROFILE", Shape::kNeverSent),
    Of(RIL_REQUEST_STK_SET_PROFILE, "STK_SET_PROFILE", Shape::kNeverSent),
    Of(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, "STK_SEND_ENVELOPE_COMMAND", Shape::kString),
    Ignored(RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, "STK_SEND_TERMINAL_RESPONSE"),
    Ignored(RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM, "STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM"),
    Ignored(RIL_REQUEST_EXPLICIT_CALL_TRANSFER, "EXPLICIT_CALL_TRANSFER"),
    Ignored(RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE, "SET_PREFERRED_NETWORK_TYPE"),
    Of(RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE, "GET_PREFERRED_NETWORK_TYPE", Shape::kExact, kInt),
    Of(RIL_REQUEST_GET_NEIGHBORING_CELL_IDS, "GET_NEIGHBORING_CELL_IDS", Shape::kList, sizeof(RIL_NeighboringCell *)),
    Ignored(RIL_REQUEST_SET_LOCATION_UPDATES, "SET_LOCATION_UPDATES"),
    Ignored(RIL_REQUEST_CDMA_SET_SUBSCRIPTION_SOURCE, "CDMA_SET_SUBSCRIPTION_SOURCE"),
    Ignored(RIL_REQUEST_CDMA_SET_ROAMING_PREFERENCE, "CDMA_SET_ROAMING_PREFERENCE"),
    Of(RIL_REQUEST_CDMA_QUERY_ROAMING_PREFERENCE, "CDMA_QUERY_ROAMING_PREFERENCE", Shape::kExact, kInt),
    Of(RIL_REQUEST_QUERY_TTY_MODE, "QUERY_TTY_MODE", Shape::kExact, kInt),
    Ints(RIL_REQUEST_CDMA_QUERY_PREFERRED_VOICE_PRIVACY_MODE, "CDMA_QUERY_PREFERRED_VOICE_PRIVACY_MODE", 1),
    Ignored(RIL_REQUEST_CDMA_FLASH, "CDMA_FLASH"),
    Ignored(RIL_REQUEST_CDMA_BURST_DTMF, "CDMA_BURST_DTMF"),
    Of(RIL_REQUEST_CDMA_SEND_SMS, "CDMA_SEND_SMS", Shape::kExact, sizeof(RIL_SMS_Response)),
    Ignored(RIL_REQUEST_CDMA_SMS_ACKNOWLEDGE, "CDMA_SMS_ACKNOWLEDGE"),
    Of(RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG, "GSM_GET_BROADCAST_SMS_CONFIG", Shape::kList,
       sizeof(RIL_GSM_BroadcastSmsConfigInfo *)),
    Ignored(RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG, "GSM_SET_BROADCAST_SMS_CONFIG"),
    Ignored(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, "GSM_SMS_BROADCAST_ACTIVATION"),
    Strings(RIL_REQUEST_CDMA_SUBSCRIPTION, "CDMA_SUBSCRIPTION", 5),
    Of(RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM, "CDMA_WRITE_SMS_TO_RUIM", Shape::kExact, kInt),
    Ignored(RIL_REQUEST_CDMA_DELETE_SMS_ON_RUIM, "CDMA_DELETE_SMS_ON_RUIM"),
    Strings(RIL_REQUEST_DEVICE_IDENTITY, "DEVICE_IDENTITY", 4),
    Of(RIL_REQUEST_GET_SMSC_ADDRESS, "GET_SMSC_ADDRESS", Shape::kString),
    Ignored(RIL_REQUEST_SET_SMSC_ADDRESS, "SET_SMSC_ADDRESS"),
    Ignored(RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING, "REPORT_STK_SERVICE_IS_RUNNING"),
    Of(RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE, "CDMA_GET_SUBSCRIPTION_SOURCE", Shape::kExact, kInt),
    Of(RIL_REQUEST_VOICE_RADIO_TECH, "VOICE_RADIO_TECH", Shape::kExact, kInt),
    Ints(RIL_REQUEST_IMS_REGISTRATION_STATE, "IMS_REGISTRATION_STATE", 2),
    Of(RIL_REQUEST_IMS_SEND_SMS, "IMS_SEND_SMS", Shape::kExact, sizeof(RIL_SMS_Response)),
};

// Every report the library sends (and the daemon's own 1034), as the 8-13 daemon takes it.
constexpr Rule kUnsolicitedRules[] = {
    Of(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED, "RESPONSE_RADIO_STATE_CHANGED", Shape::kRadioState),
    Ignored(RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, "RESPONSE_CALL_STATE_CHANGED"),
    Ignored(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, "RESPONSE_VOICE_NETWORK_STATE_CHANGED"),
    Of(RIL_UNSOL_RESPONSE_NEW_SMS, "RESPONSE_NEW_SMS", Shape::kHexText),
    Of(RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, "RESPONSE_NEW_SMS_STATUS_REPORT", Shape::kHexText),
    Of(RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM, "RESPONSE_NEW_SMS_ON_SIM", Shape::kExact, kInt),
    Of(RIL_UNSOL_ON_USSD, "ON_USSD", Shape::kUssd),
    Of(RIL_UNSOL_NITZ_TIME_RECEIVED, "NITZ_TIME_RECEIVED", Shape::kNitz),
    Of(RIL_UNSOL_SIGNAL_STRENGTH, "SIGNAL_STRENGTH", Shape::kExact, sizeof(SignalStrengthV10)),
    Of(RIL_UNSOL_DATA_CALL_LIST_CHANGED, "DATA_CALL_LIST_CHANGED", Shape::kList, sizeof(RIL_Data_Call_Response_v11)),
    Of(RIL_UNSOL_SUPP_SVC_NOTIFICATION, "SUPP_SVC_NOTIFICATION", Shape::kExact, sizeof(RIL_SuppSvcNotification)),
    Ignored(RIL_UNSOL_STK_SESSION_END, "STK_SESSION_END"),
    Of(RIL_UNSOL_STK_PROACTIVE_COMMAND, "STK_PROACTIVE_COMMAND", Shape::kText),
    Of(RIL_UNSOL_STK_EVENT_NOTIFY, "STK_EVENT_NOTIFY", Shape::kText),
    Ignored(RIL_UNSOL_SIM_SMS_STORAGE_FULL, "SIM_SMS_STORAGE_FULL"),
    Of(RIL_UNSOL_CALL_RING, "CALL_RING", Shape::kExactOrEmpty, sizeof(RIL_CDMA_SignalInfoRecord)),
    Ignored(RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED, "RESPONSE_SIM_STATUS_CHANGED"),
    Of(RIL_UNSOL_RESPONSE_CDMA_NEW_SMS, "RESPONSE_CDMA_NEW_SMS", Shape::kExact, sizeof(RIL_CDMA_SMS_Message)),
    Of(RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS, "RESPONSE_NEW_BROADCAST_SMS", Shape::kText),
    Ignored(RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL, "CDMA_RUIM_SMS_STORAGE_FULL"),
    Of(RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED, "CDMA_SUBSCRIPTION_SOURCE_CHANGED", Shape::kExact, kInt),
    Of(RIL_UNSOL_RIL_CONNECTED, "RIL_CONNECTED", Shape::kDaemonsOwn),
    Of(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, "VOICE_RADIO_TECH_CHANGED", Shape::kExact, kInt),
    Ignored(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, "RESPONSE_IMS_NETWORK_STATE_CHANGED"),
};

// The 8-13 daemon's report numbers run from 1000 to 1050.
constexpr int kFirstUnsolicited = 1000, kLastUnsolicited = 1050;

const Rule *Find(std::span<const Rule> rules, int number) {
    auto it = std::find_if(rules.begin(), rules.end(), [number](const Rule &r) { return r.number == number; });
    return it == rules.end() ? nullptr : &*it;
}

std::string Bytes(size_t n) {
    return std::to_string(n) + " bytes";
}

bool IsStringArray(Shape s) {
    return s == Shape::kStrings || s == Shape::kStringsEither || s == Shape::kNetworks;
}

std::string CheckCardStatus(const void *data, size_t length) {
    if (!data || length != sizeof(RIL_CardStatus_v6))
        return Bytes(length) + ", exactly " + Bytes(sizeof(RIL_CardStatus_v6)) + " expected";
    RIL_CardStatus_v6 card;
    memcpy(&card, data, sizeof card);
    const struct {
        const char *name;
        int index;
    } indexes[] = {{"gsm", card.gsm_umts_subscription_app_index},
                   {"cdma", card.cdma_subscription_app_index},
                   {"ims", card.ims_subscription_app_index}};
    for (const auto &i : indexes) {
        if (i.index >= card.num_applications)
            return std::string(i.name) + " application index " + std::to_string(i.index) + " with " +
                   std::to_string(card.num_applications) + " applications";
    }
    return {};
}

std::string CheckNetworks(const void *data, size_t length) {
    if (!data) return length ? "NULL with " + Bytes(length) : std::string();
    const size_t n = length / kPtr;
    if (n % 4) return std::to_string(n) + " strings, not groups of 4";
    static constexpr const char *kStatus[] = {"unknown", "available", "current", "forbidden"};
    const auto *strings = static_cast<const char *const *>(data);
    for (size_t i = 3; i < n; i += 4) {
        const char *s = strings[i];
        if (!s) return "network " + std::to_string(i / 4) + " status NULL";
        if (std::none_of(std::begin(kStatus), std::end(kStatus), [s](const char *w) { return strcmp(s, w) == 0; }))
            return "network " + std::to_string(i / 4) + " status \"" + s + "\"";
    }
    return {};
}

std::string CheckHexText(const void *data, size_t length) {
    if (!data || length == 0) return "no text";
    if (length % 2) return std::to_string(length) + " hex characters, an odd count";
    const auto *text = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < length; ++i) {
        if (!isxdigit(text[i])) return "character " + std::to_string(i) + " of " + std::to_string(length) + " not hex";
    }
    return {};
}

// Empty when `data`/`length` has the shape of the rule, else why not.
std::string CheckShape(const Rule &rule, const void *data, size_t length) {
    switch (rule.shape) {
        case Shape::kIgnored:
        case Shape::kString:
        case Shape::kRadioState:
        case Shape::kNeverSent:
            return {};
        case Shape::kDaemonsOwn:
            return "sent by the daemon itself, never by the library";
        case Shape::kStrings:
        case Shape::kStringsEither: {
            const int n = static_cast<int>(length / kPtr);
            if (data && (n == rule.count || (rule.shape == Shape::kStringsEither && n == rule.count2))) return {};
            std::string want = std::to_string(rule.count);
            if (rule.shape == Shape::kStringsEither) want += " or " + std::to_string(rule.count2);
            return (data ? std::to_string(n) : std::string("NULL")) + " strings, exactly " + want + " expected";
        }
        case Shape::kInts: {
            const int n = static_cast<int>(length / kInt);
            if (data && n == rule.count) return {};
            return (data ? std::to_string(n) : std::string("NULL")) + " ints, exactly " + std::to_string(rule.count) +
                   " expected";
        }
        case Shape::kExact:
            if (data && length == rule.size) return {};
            return (data ? Bytes(length) : "NULL") + ", exactly " + Bytes(rule.size) + " expected";
        case Shape::kExactOrEmpty:
            if ((!data && length == 0) || (data && length == rule.size)) return {};
            return (data ? Bytes(length) : "NULL with " + Bytes(length)) + ", (NULL,0) or " + Bytes(rule.size) +
                   " expected";
        case Shape::kList:
            if (!data) return length ? "NULL with " + Bytes(length) : std::string();
            if (length % rule.size == 0) return {};
            return Bytes(length) + ", not a multiple of " + std::to_string(rule.size);
        case Shape::kNonEmptyList:
            if (data && length > 0 && length % rule.size == 0) return {};
            return (data ? Bytes(length) : "NULL") + ", a non-empty multiple of " + std::to_string(rule.size) +
                   " expected";
        case Shape::kNonNull:
            return data ? std::string() : "NULL";
        case Shape::kFailCause:
            if (data && (length == kInt || length == rule.size)) return {};
            return (data ? Bytes(length) : "NULL") + ", one int or one " + Bytes(rule.size) + " record expected";
        case Shape::kCardStatus:
            return CheckCardStatus(data, length);
        case Shape::kNetworks:
            return CheckNetworks(data, length);
        case Shape::kHexText:
            return CheckHexText(data, length);
        case Shape::kText:
            return data && length > 0 ? std::string() : "no text";
        case Shape::kNitz:
            if (!data || length == 0) return "no text";
            if (static_cast<const char *>(data)[length - 1] != '\0')
                return Bytes(length) + " without the terminating zero";
            return {};
        case Shape::kUssd: {
            if (!data || length != 2 * kPtr) return (data ? Bytes(length) : "NULL") + ", exactly 2 strings expected";
            return static_cast<const char *const *>(data)[0] ? std::string() : "type string NULL";
        }
    }
    return {};
}

std::string RequestName(int request, const Rule *rule) {
    return rule ? std::string(rule->name) : "request " + std::to_string(request);
}

}  // namespace

Generation GenerationFromEnvironment() {
    const char *g = getenv("ZV_TEST_GENERATION");
    return g && strcmp(g, "hidl") == 0 ? Generation::kHidl : Generation::kSocket;
}

const Rule *RequestRule(int request) {
    return Find(kRequestRules, request);
}

const Rule *UnsolicitedRule(int id) {
    return Find(kUnsolicitedRules, id);
}

bool RadioStateAccepted(Generation g, int state) {
    if (g == Generation::kHidl)
        return state == RADIO_STATE_OFF || state == RADIO_STATE_UNAVAILABLE || state == RADIO_STATE_ON;
    return state >= RADIO_STATE_OFF && state <= RADIO_STATE_ON;
}

std::string CheckCompletion(Generation g, int request, RIL_Errno e, const void *response, size_t length) {
    if (e != RIL_E_SUCCESS) return {};
    const Rule *rule = RequestRule(request);
    if (!rule) return {};
    std::string why;
    if (g == Generation::kHidl) {
        why = CheckShape(*rule, response, length);
    } else if (IsStringArray(rule->shape) && length % kPtr) {
        why = Bytes(length) + ", not a whole number of strings";
    }
    return why.empty() ? why : RequestName(request, rule) + ": invalid response (" + why + ")";
}

std::string CheckUnsolicited(Generation g, int id, const void *data, size_t length) {
    if (g != Generation::kHidl) return {};
    if (id < kFirstUnsolicited || id > kLastUnsolicited)
        return "unsupported unsolicited response code " + std::to_string(id);
    const Rule *rule = UnsolicitedRule(id);
    if (!rule) return {};
    std::string why = CheckShape(*rule, data, length);
    return why.empty() ? why : "unsolicited " + std::to_string(id) + " " + rule->name + ": dropped (" + why + ")";
}

std::string CheckRequestSent(Generation g, int request) {
    const Rule *rule = RequestRule(request);
    if (g != Generation::kHidl || !rule || rule->shape != Shape::kNeverSent) return {};
    return RequestName(request, rule) + ": never sent by the 8-13 daemon (no method for it)";
}

}  // namespace zvtest
