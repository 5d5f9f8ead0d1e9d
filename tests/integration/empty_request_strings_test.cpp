// Requests whose string arguments may be empty, as each daemon generation hands them over: the
// socket daemon passes "" and the 8-13 daemon NULL. One row per request; each row must end the
// same way in both runs (same answer, same first command to the modem, or nothing sent).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using zvtest::Completion;

char kTpdu[] = "11000B916407281553F80000AA0AE8329BFD4697D9EC37";

struct Row {
    int request;
    RIL_Errno error;
    const char *command;  // nullptr: nothing reaches the modem
};

class EmptyRequestStrings : public zvtest::DevSimTest {
  protected:
    template <typename Record>
    Completion Send(int request, Record record) {
        return Call(request, &record, sizeof record);
    }
    // The request with `e` in each place it has for an optional string.
    Completion Issue(int request, char *e) {
        switch (request) {
            case RIL_REQUEST_DIAL:
                return Send(request, RIL_Dial{e, 0, nullptr});
            case RIL_REQUEST_SIM_IO:
                return Send(request, RIL_SIM_IO_v6{176, 0x2FE2, e, 0, 0, 10, e, e, e});
            case RIL_REQUEST_QUERY_CALL_FORWARD_STATUS:
                return Send(request, RIL_CallForwardInfo{2, 0, 0, 0, e, 0});
            case RIL_REQUEST_SET_CALL_FORWARD:
                return Send(request, RIL_CallForwardInfo{0, 0, 1, 129, e, 0});
            case RIL_REQUEST_WRITE_SMS_TO_SIM:
                return Send(request, RIL_SMS_WriteArgs{1, kTpdu, e});
            case RIL_REQUEST_GET_IMSI:
                return CallStrings(request, {e});
            case RIL_REQUEST_SEND_SMS:
                return CallStrings(request, {e, kTpdu});
            case RIL_REQUEST_CDMA_BURST_DTMF:
                return CallStrings(request, {e, "0", "0"});
            case RIL_REQUEST_IMS_SEND_SMS: {
                char *gsm[2] = {e, kTpdu};
                RIL_IMS_SMS_Message ims = {};
                ims.tech = RADIO_TECH_3GPP;
                ims.message.gsmMessage = gsm;
                return Send(request, ims);
            }
            default:
                return Call(request, e, sizeof e);  // the string alone
        }
    }
    void RunRows(ModuleType type, int ready, const std::vector<Row> &rows) {
        Start(type);
        Settle(ready);
        char *empty = Hidl() ? nullptr : const_cast<char *>("");
        for (const Row &row : rows) {
            SCOPED_TRACE(row.request);
            modem().ClearCommands();
            EXPECT_EQ(Issue(row.request, empty).error, row.error);
            const std::vector<std::string> sent = modem().Commands();
            EXPECT_EQ(sent.empty() ? std::string() : sent.front(), row.command ? row.command : "");
        }
    }
};

TEST_F(EmptyRequestStrings, ThreeGppRequests) {
    RunRows(ModuleType::kWcdma, RADIO_STATE_SIM_READY,
            {
                {RIL_REQUEST_DIAL, RIL_E_GENERIC_FAILURE, nullptr},  // no number: refused, not sent
                {RIL_REQUEST_GET_IMSI, RIL_E_SUCCESS, "AT+CIMI"},
                {RIL_REQUEST_DTMF, RIL_E_GENERIC_FAILURE, nullptr},
                {RIL_REQUEST_DTMF_START, RIL_E_GENERIC_FAILURE, nullptr},
                {RIL_REQUEST_SEND_SMS, RIL_E_SUCCESS, "AT+CMGS=23"},
                {RIL_REQUEST_SIM_IO, RIL_E_SUCCESS, "AT+CRSM=176,12258,0,0,10,,\"\""},
                {RIL_REQUEST_SEND_USSD, RIL_E_SUCCESS, "AT+CUSD=1,\"\",15"},
                {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, RIL_E_SUCCESS, "AT+CCFC=0,2"},
                {RIL_REQUEST_SET_CALL_FORWARD, RIL_E_SUCCESS, "AT+CCFC=0,0,,129,1,,,"},
                {RIL_REQUEST_WRITE_SMS_TO_SIM, RIL_E_SUCCESS, "AT+CMGW=23,1"},
                {RIL_REQUEST_SET_SMSC_ADDRESS, RIL_E_GENERIC_FAILURE, nullptr},
                {RIL_REQUEST_IMS_SEND_SMS, RIL_E_SUCCESS, "AT+CMGS=23"},
                {RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, RIL_E_GENERIC_FAILURE, nullptr},
                {RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, RIL_E_GENERIC_FAILURE, nullptr},
            });
}

TEST_F(EmptyRequestStrings, CdmaRequests) {
    RunRows(ModuleType::kCdma, RADIO_STATE_RUIM_READY,
            {
                {RIL_REQUEST_CDMA_FLASH, RIL_E_SUCCESS, "AT^HFLASH"},  // a flash without a feature code
                {RIL_REQUEST_CDMA_BURST_DTMF, RIL_E_GENERIC_FAILURE, nullptr},
            });
}

}  // namespace
