// The fake daemon's acceptance rules on their own: for each kind of rule, an answer the daemon
// takes and one it refuses, so that a silent checker cannot pass for a strict one.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "support/daemon_rules.h"

namespace {

using zvtest::Generation;

constexpr Generation kHidl = Generation::kHidl, kSocket = Generation::kSocket;

int kInts[2] = {1, 0};
unsigned char kSignal[56], kSignalV6[48];
const char *kStr[15] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"};
const char *kNetworks[8] = {"Op", "Op", "00101", "available", "Other", "Other", "00102", "forbidden"};
const char *kNetworksBad[4] = {"Op", "Op", "00101", "roaming"};
const char *kUssdNoType[2] = {nullptr, "text"};
RIL_Data_Call_Response_v11 kCalls[2];
RIL_Data_Call_Response_v6 kCallV6;
RIL_SIM_IO_Response kSimIo;
char kPdu[] = "0891ab", kPduBad[] = "08G1";
char kNitz[] = "24/01/02,03:04:05+08,00";

RIL_CardStatus_v6 Card(int gsm, int cdma, int ims, int apps) {
    RIL_CardStatus_v6 c{};
    c.gsm_umts_subscription_app_index = gsm;
    c.cdma_subscription_app_index = cdma;
    c.ims_subscription_app_index = ims;
    c.num_applications = apps;
    return c;
}
RIL_CardStatus_v6 kCardOk = Card(0, -1, -1, 1), kCardNoApp = Card(-1, -1, -1, 0), kCardBad = Card(0, 8, 8, 1);

struct Row {
    Generation generation;
    int number;  // a request, or an unsolicited number (1000 and up)
    RIL_Errno error;
    const void *data;
    size_t length;
    const char *violation;  // nullptr: accepted; else a part of the violation's text
};

constexpr size_t P = sizeof(char *);

const Row kRows[] = {
    // exact records, the card's indexes, error answers never looked at
    {kHidl, RIL_REQUEST_GET_SIM_STATUS, RIL_E_SUCCESS, &kCardOk, sizeof kCardOk, nullptr},
    {kHidl, RIL_REQUEST_GET_SIM_STATUS, RIL_E_SUCCESS, &kCardNoApp, sizeof kCardNoApp, nullptr},
    {kHidl, RIL_REQUEST_GET_SIM_STATUS, RIL_E_SUCCESS, &kCardBad, sizeof kCardBad,
     "GET_SIM_STATUS: invalid response (cdma application index 8 with 1 applications)"},
    {kHidl, RIL_REQUEST_GET_SIM_STATUS, RIL_E_GENERIC_FAILURE, &kCardBad, sizeof kCardBad, nullptr},
    {kHidl, RIL_REQUEST_SIGNAL_STRENGTH, RIL_E_SUCCESS, kSignal, sizeof kSignal, nullptr},
    {kHidl, RIL_REQUEST_SIGNAL_STRENGTH, RIL_E_SUCCESS, kSignalV6, sizeof kSignalV6,
     "SIGNAL_STRENGTH: invalid response (48 bytes, exactly 56 bytes expected)"},
    {kHidl, RIL_REQUEST_SIM_IO, RIL_E_SUCCESS, &kSimIo, sizeof kSimIo, nullptr},
    {kHidl, RIL_REQUEST_SIM_IO, RIL_E_SUCCESS, nullptr, 0, "SIM_IO: invalid response (NULL"},
    // n strings, one count or another
    {kHidl, RIL_REQUEST_VOICE_REGISTRATION_STATE, RIL_E_SUCCESS, kStr, 15 * P, nullptr},
    {kHidl, RIL_REQUEST_VOICE_REGISTRATION_STATE, RIL_E_SUCCESS, kStr, 4 * P, "4 strings, exactly 15 expected"},
    {kHidl, RIL_REQUEST_DATA_REGISTRATION_STATE, RIL_E_SUCCESS, kStr, 11 * P, nullptr},
    {kHidl, RIL_REQUEST_DATA_REGISTRATION_STATE, RIL_E_SUCCESS, kStr, 13 * P, "13 strings, exactly 6 or 11 expected"},
    // n ints, one int, an int or nothing
    {kHidl, RIL_REQUEST_GET_CLIR, RIL_E_SUCCESS, kInts, 2 * sizeof(int), nullptr},
    {kHidl, RIL_REQUEST_GET_CLIR, RIL_E_SUCCESS, kInts, sizeof(int), "GET_CLIR: invalid response (1 ints"},
    {kHidl, RIL_REQUEST_VOICE_RADIO_TECH, RIL_E_SUCCESS, kInts, sizeof(int), nullptr},
    {kHidl, RIL_REQUEST_QUERY_CLIP, RIL_E_SUCCESS, kInts, 2 * sizeof(int), "8 bytes, exactly 4 bytes expected"},
    {kHidl, RIL_REQUEST_ENTER_SIM_PIN, RIL_E_SUCCESS, nullptr, 0, nullptr},
    {kHidl, RIL_REQUEST_ENTER_SIM_PIN, RIL_E_SUCCESS, nullptr, sizeof(int), "NULL with 4 bytes"},
    // lists: empty, whole records, NULL with a length, records of the wrong version
    {kHidl, RIL_REQUEST_DATA_CALL_LIST, RIL_E_SUCCESS, nullptr, 0, nullptr},
    {kHidl, RIL_REQUEST_DATA_CALL_LIST, RIL_E_SUCCESS, kCalls, sizeof kCalls, nullptr},
    {kHidl, RIL_REQUEST_DATA_CALL_LIST, RIL_E_SUCCESS, &kCallV6, sizeof kCallV6, "not a multiple of"},
    {kHidl, RIL_REQUEST_DATA_CALL_LIST, RIL_E_SUCCESS, nullptr, sizeof kCalls, "NULL with"},
    {kHidl, RIL_REQUEST_SETUP_DATA_CALL, RIL_E_SUCCESS, kCalls, sizeof kCalls[0], nullptr},
    {kHidl, RIL_REQUEST_SETUP_DATA_CALL, RIL_E_SUCCESS, nullptr, 0, "a non-empty multiple"},
    {kHidl, RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, RIL_E_SUCCESS, kNetworks, sizeof kNetworks, nullptr},
    {kHidl, RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, RIL_E_SUCCESS, kNetworksBad, sizeof kNetworksBad,
     "network 0 status \"roaming\""},
    {kHidl, RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, RIL_E_SUCCESS, kNetworks, 6 * P, "6 strings, not groups of 4"},
    {kHidl, RIL_REQUEST_LAST_CALL_FAIL_CAUSE, RIL_E_SUCCESS, nullptr, 0, "LAST_CALL_FAIL_CAUSE: invalid response"},
    // the socket daemon: lengths by record, but no half pointer
    {kSocket, RIL_REQUEST_VOICE_REGISTRATION_STATE, RIL_E_SUCCESS, kStr, 4 * P, nullptr},
    {kSocket, RIL_REQUEST_SIGNAL_STRENGTH, RIL_E_SUCCESS, kSignalV6, sizeof kSignalV6, nullptr},
    {kSocket, RIL_REQUEST_OPERATOR, RIL_E_SUCCESS, kStr, 3 * P + 1, "not a whole number of strings"},
    // reports
    {kHidl, RIL_UNSOL_RESPONSE_NEW_SMS, RIL_E_SUCCESS, kPdu, strlen(kPdu), nullptr},
    {kHidl, RIL_UNSOL_RESPONSE_NEW_SMS, RIL_E_SUCCESS, kPdu, 3, "an odd count"},
    {kHidl, RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, RIL_E_SUCCESS, kPduBad, 4, "character 2 of 4 not hex"},
    {kHidl, RIL_UNSOL_NITZ_TIME_RECEIVED, RIL_E_SUCCESS, kNitz, sizeof kNitz, nullptr},
    {kHidl, RIL_UNSOL_NITZ_TIME_RECEIVED, RIL_E_SUCCESS, kNitz, strlen(kNitz), "without the terminating zero"},
    {kHidl, RIL_UNSOL_SIGNAL_STRENGTH, RIL_E_SUCCESS, kSignalV6, sizeof kSignalV6, "1009 SIGNAL_STRENGTH: dropped"},
    {kHidl, RIL_UNSOL_DATA_CALL_LIST_CHANGED, RIL_E_SUCCESS, nullptr, 0, nullptr},
    {kHidl, RIL_UNSOL_ON_USSD, RIL_E_SUCCESS, kStr, 2 * P, nullptr},
    {kHidl, RIL_UNSOL_ON_USSD, RIL_E_SUCCESS, kUssdNoType, 2 * P, "type string NULL"},
    {kHidl, RIL_UNSOL_STK_PROACTIVE_COMMAND, RIL_E_SUCCESS, nullptr, 0, "no text"},
    {kHidl, RIL_UNSOL_RIL_CONNECTED, RIL_E_SUCCESS, kInts, sizeof(int), "sent by the daemon itself"},
    {kHidl, 1051, RIL_E_SUCCESS, nullptr, 0, "unsupported unsolicited response code 1051"},
    {kSocket, RIL_UNSOL_SIGNAL_STRENGTH, RIL_E_SUCCESS, kSignalV6, sizeof kSignalV6, nullptr},
};

TEST(DaemonRules, EachKindTakesAGoodPayloadAndRefusesABrokenOne) {
    for (const Row &r : kRows) {
        const std::string why = r.number >= RIL_UNSOL_RESPONSE_BASE
                                    ? zvtest::CheckUnsolicited(r.generation, r.number, r.data, r.length)
                                    : zvtest::CheckCompletion(r.generation, r.number, r.error, r.data, r.length);
        const std::string row = std::string(r.generation == kHidl ? "hidl " : "socket ") + std::to_string(r.number) +
                                " length " + std::to_string(r.length);
        if (r.violation)
            EXPECT_NE(why.find(r.violation), std::string::npos) << row << ": \"" << why << "\"";
        else
            EXPECT_EQ(why, "") << row;
    }
}

TEST(DaemonRules, RequestsAndRadioStatesTheHalDaemonNeverUses) {
    EXPECT_NE(zvtest::CheckRequestSent(kHidl, RIL_REQUEST_GET_IMEI).find("GET_IMEI: never sent"), std::string::npos);
    EXPECT_EQ(zvtest::CheckRequestSent(kHidl, RIL_REQUEST_DEVICE_IDENTITY), "");
    EXPECT_EQ(zvtest::CheckRequestSent(kSocket, RIL_REQUEST_GET_IMEI), "");
    EXPECT_TRUE(zvtest::RadioStateAccepted(kHidl, RADIO_STATE_ON));
    EXPECT_FALSE(zvtest::RadioStateAccepted(kHidl, RADIO_STATE_SIM_READY));
    EXPECT_TRUE(zvtest::RadioStateAccepted(kSocket, RADIO_STATE_SIM_READY));
}

}  // namespace
