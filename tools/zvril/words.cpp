#include "words.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace zvril {

const char *ErrorName(RIL_Errno e) {
    switch (e) {
        case RIL_E_SUCCESS: return "SUCCESS";
        case RIL_E_RADIO_NOT_AVAILABLE: return "RADIO_NOT_AVAILABLE";
        case RIL_E_GENERIC_FAILURE: return "GENERIC_FAILURE";
        case RIL_E_PASSWORD_INCORRECT: return "PASSWORD_INCORRECT";
        case RIL_E_SIM_PIN2: return "SIM_PIN2";
        case RIL_E_SIM_PUK2: return "SIM_PUK2";
        case RIL_E_REQUEST_NOT_SUPPORTED: return "REQUEST_NOT_SUPPORTED";
        case RIL_E_CANCELLED: return "CANCELLED";
        case RIL_E_OP_NOT_ALLOWED_DURING_VOICE_CALL: return "OP_NOT_ALLOWED_DURING_VOICE_CALL";
        case RIL_E_OP_NOT_ALLOWED_BEFORE_REG_TO_NW: return "OP_NOT_ALLOWED_BEFORE_REG_TO_NW";
        case RIL_E_SMS_SEND_FAIL_RETRY: return "SMS_SEND_FAIL_RETRY";
        case RIL_E_SIM_ABSENT: return "SIM_ABSENT";
        default: return "OTHER_ERROR";
    }
}

const char *ErrorWords(RIL_Errno e) {
    switch (e) {
        case RIL_E_SUCCESS: return "done";
        case RIL_E_RADIO_NOT_AVAILABLE: return "the radio is not available (modem missing, or radio off)";
        case RIL_E_GENERIC_FAILURE: return "the modem refused it or did not answer";
        case RIL_E_PASSWORD_INCORRECT: return "wrong code";
        case RIL_E_REQUEST_NOT_SUPPORTED: return "not available in this build of the library";
        case RIL_E_OP_NOT_ALLOWED_BEFORE_REG_TO_NW: return "not allowed before the modem is registered";
        case RIL_E_SMS_SEND_FAIL_RETRY: return "the network did not take the message; try again";
        case RIL_E_SIM_ABSENT: return "no SIM card";
        default: return "failed";
    }
}

const char *RadioStateName(int s) {
    static const char *const kNames[] = {"OFF",
                                         "UNAVAILABLE",
                                         "SIM_NOT_READY",
                                         "SIM_LOCKED_OR_ABSENT",
                                         "SIM_READY",
                                         "RUIM_NOT_READY",
                                         "RUIM_READY",
                                         "RUIM_LOCKED_OR_ABSENT",
                                         "NV_NOT_READY",
                                         "NV_READY",
                                         "ON"};
    return (s >= 0 && s <= 10) ? kNames[s] : "?";
}

const char *RadioStateWords(int s) {
    static const char *const kWords[] = {"radio off",
                                         "no modem (radio unavailable)",
                                         "radio on, SIM not ready yet",
                                         "radio on, SIM locked or absent",
                                         "radio on, SIM ready",
                                         "radio on, R-UIM card not ready yet",
                                         "radio on, R-UIM card ready",
                                         "radio on, R-UIM card locked or absent",
                                         "radio on, subscription in modem memory not ready yet",
                                         "radio on, subscription in modem memory ready",
                                         "radio on"};
    return (s >= 0 && s <= 10) ? kWords[s] : "unknown radio state";
}

const char *ModuleWords(int t) {
    switch (t) {
        case 0: return "CDMA";
        case 1: return "WCDMA";
        case 2: return "TD-SCDMA";
        default: return "unknown";
    }
}

const char *GenerationWords(int v) {
    switch (v) {
        case 1: return "2.3";
        case 2: return "3.x";
        case 3: return "4.0";
        case 4: return "4.1 to 4.4";
        case 5: return "5.x";
        case 6: return "6.0 or newer";
        default: return "unknown";
    }
}

const char *DaemonWords(int generation) {
    switch (generation) {
        case 0:
            return "socket daemon (Android 2.3-7.x)";
        case 1:
            return "HAL daemon (Android 8-13)";
        default:
            return "not told by this library (it has no PLATFORM_GENERATION)";
    }
}

const char *TechWords(int tech) {
    static const char *const kTech[] = {
        "",      "GPRS",  "EDGE", "UMTS",         "IS-95A", "IS-95B", "CDMA 1x", "EV-DO rev. 0", "EV-DO rev. A",
        "HSDPA", "HSUPA", "HSPA", "EV-DO rev. B", "eHRPD",  "LTE",    "HSPA+",   "GSM",          "TD-SCDMA"};
    return tech > 0 && tech < static_cast<int>(std::size(kTech)) ? kTech[tech] : "";
}

const char *SubscriptionSourceWords(int source) {
    switch (source) {
        case 0:
            return "R-UIM or SIM card";
        case 1:
            return "the modem's own memory (NV)";
        default:
            return "unknown";
    }
}

std::string DataCauseWords(int cause) {
    struct Cause {
        int cause;
        const char *words;
    };
    static const Cause kCauses[] = {
        {PDP_FAIL_OPERATOR_BARRED, "barred by the operator"},
        {PDP_FAIL_INSUFFICIENT_RESOURCES, "insufficient resources"},
        {PDP_FAIL_MISSING_UKNOWN_APN, "missing or unknown APN"},
        {PDP_FAIL_UNKNOWN_PDP_ADDRESS_TYPE, "unknown address type"},
        {PDP_FAIL_USER_AUTHENTICATION, "user authentication failed"},
        {PDP_FAIL_ACTIVATION_REJECT_GGSN, "rejected by the gateway"},
        {PDP_FAIL_ACTIVATION_REJECT_UNSPECIFIED, "rejected by the network"},
        {PDP_FAIL_SERVICE_OPTION_NOT_SUPPORTED, "service option not supported"},
        {PDP_FAIL_SERVICE_OPTION_NOT_SUBSCRIBED, "service option not subscribed"},
        {PDP_FAIL_SERVICE_OPTION_OUT_OF_ORDER, "service option temporarily out of order"},
        {PDP_FAIL_NSAPI_IN_USE, "the call identity is in use"},
        {PDP_FAIL_REGULAR_DEACTIVATION, "ended by the network"},
        {PDP_FAIL_ONLY_IPV4_ALLOWED, "only IPv4 allowed"},
        {PDP_FAIL_ONLY_IPV6_ALLOWED, "only IPv6 allowed"},
        {PDP_FAIL_ONLY_SINGLE_BEARER_ALLOWED, "only one address type allowed"},
        {PDP_FAIL_PROTOCOL_ERRORS, "protocol error"},
        {PDP_FAIL_VOICE_REGISTRATION_FAIL, "not registered for voice"},
        {PDP_FAIL_DATA_REGISTRATION_FAIL, "not registered for data"},
        {PDP_FAIL_SIGNAL_LOST, "signal lost"},
        {PDP_FAIL_PREF_RADIO_TECH_CHANGED, "the preferred technology changed"},
        {PDP_FAIL_RADIO_POWER_OFF, "radio off"},
        {PDP_FAIL_TETHERED_CALL_ACTIVE, "a tethered call is active"},
        {PDP_FAIL_ERROR_UNSPECIFIED, "unspecified"},
    };
    std::string words = "refused";
    for (const auto &c : kCauses)
        if (c.cause == cause) words = c.words;
    return words + " (cause " + std::to_string(cause) + ")";
}

int SdkLevelOfRelease(const std::string &release) {
    const int major = std::atoi(release.c_str());
    const size_t dot = release.find('.');
    const int minor = dot == std::string::npos ? 0 : std::atoi(release.c_str() + dot + 1);
    if (major == 8) return minor >= 1 ? 27 : 26;
    // 12L keeps the release "12" with level 32; --sdk 32 says so.
    static const int kLevels[] = {/* 9 */ 28, /* 10 */ 29, /* 11 */ 30, /* 12 */ 31, /* 13 */ 33};
    return major >= 9 && major <= 13 ? kLevels[major - 9] : -1;
}

std::string ReleaseOfSdkLevel(int level) {
    static const char *const kReleases[] = {
        /* 9 */ "2.3",  "2.3.3", "3.0", "3.1", "3.2", "4.0", "4.0.3", "4.1", "4.2", "4.3", "4.4", "4.4",
        /* 21 */ "5.0", "5.1",   "6.0", "7.0", "7.1", "8.0", "8.1",   "9",   "10",  "11",  "12",  "12",
        /* 33 */ "13"};
    return level >= 9 && level <= 33 ? kReleases[level - 9] : "";
}

const char *UnsolicitedName(int id) {
    switch (id) {
        case RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED: return "RADIO_STATE_CHANGED";
        case RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED: return "CALL_STATE_CHANGED";
        case RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED: return "NETWORK_STATE_CHANGED";
        case RIL_UNSOL_RESPONSE_NEW_SMS: return "NEW_SMS";
        case RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT: return "NEW_SMS_STATUS_REPORT";
        case RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM: return "NEW_SMS_ON_SIM";
        case RIL_UNSOL_ON_USSD: return "ON_USSD";
        case RIL_UNSOL_ON_USSD_REQUEST: return "ON_USSD_REQUEST";
        case RIL_UNSOL_NITZ_TIME_RECEIVED: return "NITZ_TIME_RECEIVED";
        case RIL_UNSOL_SIGNAL_STRENGTH: return "SIGNAL_STRENGTH";
        case RIL_UNSOL_DATA_CALL_LIST_CHANGED: return "DATA_CALL_LIST_CHANGED";
        case RIL_UNSOL_SUPP_SVC_NOTIFICATION: return "SUPP_SVC_NOTIFICATION";
        case RIL_UNSOL_STK_PROACTIVE_COMMAND: return "STK_PROACTIVE_COMMAND";
        case RIL_UNSOL_STK_EVENT_NOTIFY: return "STK_EVENT_NOTIFY";
        case RIL_UNSOL_SIM_REFRESH: return "SIM_REFRESH";
        case RIL_UNSOL_CALL_RING: return "CALL_RING";
        case RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED: return "SIM_STATUS_CHANGED";
        case RIL_UNSOL_RESPONSE_CDMA_NEW_SMS: return "CDMA_NEW_SMS";
        case RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS: return "NEW_BROADCAST_SMS";
        case RIL_UNSOL_RESTRICTED_STATE_CHANGED: return "RESTRICTED_STATE_CHANGED";
        case RIL_UNSOL_CDMA_CALL_WAITING: return "CDMA_CALL_WAITING";
        case RIL_UNSOL_RINGBACK_TONE: return "RINGBACK_TONE";
        case RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED:
            return "CDMA_SUBSCRIPTION_SOURCE_CHANGED";
        case RIL_UNSOL_VOICE_RADIO_TECH_CHANGED: return "VOICE_RADIO_TECH_CHANGED";
        case RIL_UNSOL_RIL_CONNECTED: return "RIL_CONNECTED";
        case RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED: return "IMS_NETWORK_STATE_CHANGED";
        default: return "";
    }
}

CardStatus ReadCardStatus(const std::vector<uint8_t> &raw, int androidVersion, bool cdma) {
    CardStatus out;
    const RIL_AppStatus *apps = nullptr;
    RIL_CardStatus_v6 v6;
    RIL_CardStatus_v5 v5;
    if (androidVersion >= 2 && raw.size() == sizeof v6) {
        std::memcpy(&v6, raw.data(), sizeof v6);
        out.card = v6.card_state, out.apps = v6.num_applications, apps = v6.applications;
        out.gsmIndex = v6.gsm_umts_subscription_app_index, out.cdmaIndex = v6.cdma_subscription_app_index;
        out.imsIndex = v6.ims_subscription_app_index;
    } else if (raw.size() == sizeof v5) {
        std::memcpy(&v5, raw.data(), sizeof v5);
        out.card = v5.card_state, out.apps = v5.num_applications, apps = v5.applications;
        out.gsmIndex = v5.gsm_umts_subscription_app_index, out.cdmaIndex = v5.cdma_subscription_app_index;
    } else {
        return out;
    }
    out.valid = true;
    const int count = out.apps < 0 ? 0 : out.apps > RIL_CARD_MAX_APPS ? RIL_CARD_MAX_APPS : out.apps;
    auto usable = [count](int i) { return i >= 0 && i < count; };
    // The family's own application, else the other family's, else the first one there is.
    const int own = cdma ? out.cdmaIndex : out.gsmIndex, other = cdma ? out.gsmIndex : out.cdmaIndex;
    out.app = usable(own) ? own : usable(other) ? other : count > 0 ? 0 : -1;
    // Without an application the first slot still says what the card is doing.
    const RIL_AppStatus &a = apps[out.app < 0 ? 0 : out.app];
    out.appType = a.app_type, out.appState = a.app_state, out.pin1 = a.pin1;
    return out;
}

std::string CardWords(const CardStatus &s) {
    if (!s.valid) return "unreadable card status record";
    if (s.card == RIL_CARDSTATE_ABSENT || s.apps <= 0) return "no card";
    if (s.card == RIL_CARDSTATE_ERROR) return "card error";
    static const char *const kType[] = {"card", "SIM card", "USIM card", "R-UIM card", "CSIM card", "ISIM card"};
    static const char *const kState[] = {"state unknown", "detected, not ready yet", "PIN required", "PUK required",
                                         "locked to a network (unlock code required)", "ready"};
    std::string out = (s.appType >= 0 && s.appType <= 5) ? kType[s.appType] : "card";
    out += ", ";
    out += (s.appState >= 0 && s.appState <= 5) ? kState[s.appState] : "state unknown";
    return out;
}

std::string CardRaw(const CardStatus &s) {
    char buf[128];
    std::snprintf(
        buf, sizeof buf,
        "card_state %d, num_applications %d, indexes gsm %d cdma %d ims %d, app_type %d, app_state %d, pin1 %d", s.card,
        s.apps, s.gsmIndex, s.cdmaIndex, s.imsIndex, s.appType, s.appState, s.pin1);
    return buf;
}

bool CardSettling(const CardStatus &s) {
    return s.valid && s.card == RIL_CARDSTATE_PRESENT && s.apps > 0 &&
           (s.appState == RIL_APPSTATE_UNKNOWN || s.appState == RIL_APPSTATE_DETECTED);
}

namespace {

// Byte offsets of the fields read beyond the shared head; the v10 record (v6, then the LTE
// timing advance and the TD-SCDMA RSCP) is not in every header this program is built
// against, so its two added ints are read by position.
constexpr size_t kSignalV6Size = sizeof(RIL_SignalStrength_v6);
constexpr size_t kLteOffset = offsetof(RIL_SignalStrength_v6, LTE_SignalStrength);
constexpr size_t kTdScdmaRscpOffset = kSignalV6Size + sizeof(int);

int IntAt(const std::vector<uint8_t> &raw, size_t offset) {
    int v;
    std::memcpy(&v, raw.data() + offset, sizeof v);
    return v;
}

}  // namespace

std::string SignalWords(const std::vector<uint8_t> &raw, bool cdma) {
    if (raw.size() < sizeof(RIL_GW_SignalStrength) + sizeof(RIL_CDMA_SignalStrength)) return "unreadable signal record";
    RIL_GW_SignalStrength gw;
    RIL_CDMA_SignalStrength c;
    std::memcpy(&gw, raw.data(), sizeof gw);
    std::memcpy(&c, raw.data() + sizeof gw, sizeof c);
    char buf[96];
    std::string extra;
    // LTE and TD-SCDMA only when the record carries a known value (unknown: INT_MAX, 99 or -1).
    if (raw.size() >= kSignalV6Size) {
        RIL_LTE_SignalStrength lte;
        std::memcpy(&lte, raw.data() + kLteOffset, sizeof lte);
        if (lte.rsrp >= 44 && lte.rsrp <= 140) {
            std::snprintf(buf, sizeof buf, ", LTE RSRP -%d dBm", lte.rsrp);
            extra += buf;
        }
    }
    if (raw.size() >= kSignalV10Size) {
        int rscp = IntAt(raw, kTdScdmaRscpOffset);
        if (rscp >= 25 && rscp <= 120) {
            std::snprintf(buf, sizeof buf, ", TD-SCDMA RSCP -%d dBm", rscp);
            extra += buf;
        }
    }
    if (cdma) {
        if (c.dbm <= 0 || c.dbm >= 125) return extra.empty() ? "no signal" : "no CDMA signal" + extra;
        std::snprintf(buf, sizeof buf, "-%d dBm", c.dbm);
        return buf + extra;
    }
    if (gw.signalStrength < 0 || gw.signalStrength > 31)
        return extra.empty() ? "no signal" : "no GSM/WCDMA signal" + extra;
    // TS 27.007 +CSQ: 0 is -113 dBm or less, each step 2 dB.
    std::snprintf(buf, sizeof buf, "%d of 31 (about %d dBm)", gw.signalStrength, -113 + 2 * gw.signalStrength);
    return buf + extra;
}

std::string RegistrationWords(const std::vector<std::string> &fields, bool data) {
    if (fields.empty()) return "no registration record";
    static const char *const kReg[] = {"not registered, not searching", "registered, home network",
                                       "searching for a network", "registration denied", "unknown",
                                       "registered, roaming"};
    const int given = std::atoi(fields[0].c_str());
    int code = given >= 10 ? given - 10 : given;  // 10..15: the same, emergency calls only
    std::string out = (code >= 0 && code <= 5) ? kReg[code] : "unknown";
    // The 14-string CDMA form of 7.x has no data denial reason (its fifth is the base station).
    const size_t reason = !data ? 13 : fields.size() == 14 ? fields.size() : 4;
    if (code == 3 && fields.size() > reason && fields[reason] != "(null)" && !fields[reason].empty())
        out += " (cause " + fields[reason] + ")";
    if (given >= 10) out += " (emergency calls only)";
    if (fields.size() > 3) {
        const char *tech = TechWords(std::atoi(fields[3].c_str()));
        if (*tech) out += ", " + std::string(tech);
    }
    return out;
}

std::string Value(const std::string &s) { return (s.empty() || s == "(null)") ? "none" : s; }

std::string Printable(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace zvril
