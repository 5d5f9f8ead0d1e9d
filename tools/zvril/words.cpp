#include "words.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    static const char *const kNames[] = {"OFF",          "UNAVAILABLE", "SIM_NOT_READY",         "SIM_LOCKED_OR_ABSENT",
                                         "SIM_READY",    "RUIM_NOT_READY", "RUIM_READY",          "RUIM_LOCKED_OR_ABSENT",
                                         "NV_NOT_READY", "NV_READY"};
    return (s >= 0 && s <= 9) ? kNames[s] : "?";
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
                                         "radio on, subscription in modem memory ready"};
    return (s >= 0 && s <= 9) ? kWords[s] : "unknown radio state";
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
        case RIL_UNSOL_VOICE_RADIO_TECH_CHANGED: return "VOICE_RADIO_TECH_CHANGED";
        case RIL_UNSOL_RIL_CONNECTED: return "RIL_CONNECTED";
        case RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED: return "IMS_NETWORK_STATE_CHANGED";
        default: return "";
    }
}

CardStatus ReadCardStatus(const std::vector<uint8_t> &raw, int androidVersion) {
    CardStatus out;
    RIL_AppStatus first{};
    if (androidVersion >= 2 && raw.size() == sizeof(RIL_CardStatus_v6)) {
        RIL_CardStatus_v6 s;
        std::memcpy(&s, raw.data(), sizeof s);
        out.card = s.card_state, out.apps = s.num_applications, first = s.applications[0];
    } else if (raw.size() == sizeof(RIL_CardStatus_v5)) {
        RIL_CardStatus_v5 s;
        std::memcpy(&s, raw.data(), sizeof s);
        out.card = s.card_state, out.apps = s.num_applications, first = s.applications[0];
    } else {
        return out;
    }
    out.valid = true;
    out.appType = first.app_type, out.appState = first.app_state, out.pin1 = first.pin1;
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
    std::snprintf(buf, sizeof buf, "card_state %d, num_applications %d, app_type %d, app_state %d, pin1 %d", s.card,
                  s.apps, s.appType, s.appState, s.pin1);
    return buf;
}

std::string SignalWords(const std::vector<uint8_t> &raw, bool cdma) {
    if (raw.size() < sizeof(RIL_GW_SignalStrength) + sizeof(RIL_CDMA_SignalStrength)) return "unreadable signal record";
    RIL_GW_SignalStrength gw;
    RIL_CDMA_SignalStrength c;
    std::memcpy(&gw, raw.data(), sizeof gw);
    std::memcpy(&c, raw.data() + sizeof gw, sizeof c);
    char buf[96];
    if (cdma) {
        if (c.dbm <= 0 || c.dbm >= 125) return "no signal";
        std::snprintf(buf, sizeof buf, "-%d dBm", c.dbm);
        return buf;
    }
    if (gw.signalStrength < 0 || gw.signalStrength > 31) return "no signal";
    // TS 27.007 +CSQ: 0 is -113 dBm or less, each step 2 dB.
    std::snprintf(buf, sizeof buf, "%d of 31 (about %d dBm)", gw.signalStrength, -113 + 2 * gw.signalStrength);
    return buf;
}

std::string RegistrationWords(const std::vector<std::string> &fields) {
    if (fields.empty()) return "no registration record";
    static const char *const kReg[] = {"not registered, not searching", "registered, home network",
                                       "searching for a network", "registration denied", "unknown",
                                       "registered, roaming"};
    int code = std::atoi(fields[0].c_str());
    if (code >= 10) code -= 10;  // 10..15: the same, emergency calls only
    std::string out = (code >= 0 && code <= 5) ? kReg[code] : "unknown";
    if (std::atoi(fields[0].c_str()) >= 10) out += " (emergency calls only)";
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
