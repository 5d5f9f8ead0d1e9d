// Requests whose string arguments may be empty, as each daemon generation hands them over: the
// socket daemon passes "" and the 8-13 daemon NULL. One row per request and argument; each row
// must end the same way in both runs (same answer, same command to the modem, or nothing sent).
#include <gtest/gtest.h>

#include <modemsim/simfiles.h>

#include <functional>
#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using zvtest::Completion;

constexpr const char *kTpdu = "11000B916407281553F80000AA0AE8329BFD4697D9EC37";

class EmptyRequestStrings;

struct Row {
    const char *what;
    // Issues the request with `empty` where the argument is empty.
    std::function<Completion(EmptyRequestStrings &, char *empty)> call;
    RIL_Errno error;
    const char *command;  // the first command the modem gets, or nullptr: nothing is sent
};

class EmptyRequestStrings : public zvtest::DevSimTest {
  public:
    using DevSimTest::Call;
    using DevSimTest::CallStrings;
    template <typename Record>
    Completion Send(int request, Record record) {
        return Call(request, &record, sizeof record);
    }
    Completion Text(int request, char *text) { return Call(request, text, sizeof text); }

  protected:
    // What this run's daemon makes of an empty string.
    static char *Empty() { return Hidl() ? nullptr : const_cast<char *>(""); }
    void RunRows(ModuleType type, int ready, const std::vector<Row> &rows) {
        Start(type);
        Settle(ready);
        for (const Row &row : rows) {
            SCOPED_TRACE(row.what);
            modem().ClearCommands();
            EXPECT_EQ(row.call(*this, Empty()).error, row.error);
            if (row.command) {
                ASSERT_FALSE(modem().Commands().empty());
                EXPECT_EQ(modem().Commands().front(), row.command);
            } else {
                EXPECT_TRUE(modem().Commands().empty()) << modem().Commands().front();
            }
        }
    }
};

using Fixture = EmptyRequestStrings;

TEST_F(EmptyRequestStrings, ThreeGppRequests) {
    const char *pdu = kTpdu;
    RunRows(
        ModuleType::kWcdma, RADIO_STATE_SIM_READY,
        {
            {"10 dial without a number",
             [](Fixture &t, char *e) {
                 return t.Send(RIL_REQUEST_DIAL, RIL_Dial{e, 0, nullptr});
             },
             RIL_E_GENERIC_FAILURE, nullptr},
            {"11 IMSI without AID", [](Fixture &t, char *e) { return t.CallStrings(RIL_REQUEST_GET_IMSI, {e}); },
             RIL_E_SUCCESS, "AT+CIMI"},
            {"24 DTMF without a tone", [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_DTMF, e); },
             RIL_E_GENERIC_FAILURE, nullptr},
            {"49 DTMF start without a tone", [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_DTMF_START, e); },
             RIL_E_GENERIC_FAILURE, nullptr},
            {"25 SMS without SMSC",
             [pdu](Fixture &t, char *e) {
                 return t.CallStrings(RIL_REQUEST_SEND_SMS, {e, pdu});
             },
             RIL_E_SUCCESS, "AT+CMGS=23"},
            {"28 SIM I/O without path, data, PIN2, AID",
             [](Fixture &t, char *e) {
                 return t.Send(RIL_REQUEST_SIM_IO, RIL_SIM_IO_v6{176, 0x2FE2, e, 0, 0, 10, e, e, e});
             },
             RIL_E_SUCCESS, "AT+CRSM=176,12258,0,0,10,,\"\""},
            {"29 USSD without text", [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_SEND_USSD, e); },
             RIL_E_SUCCESS, "AT+CUSD=1,\"\",15"},
            {"33 forwarding query without number",
             [](Fixture &t, char *e) {
                 return t.Send(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, RIL_CallForwardInfo{2, 0, 0, 0, e, 0});
             },
             RIL_E_SUCCESS, "AT+CCFC=0,2"},
            {"34 forwarding off without number",
             [](Fixture &t, char *e) {
                 return t.Send(RIL_REQUEST_SET_CALL_FORWARD, RIL_CallForwardInfo{0, 0, 1, 129, e, 0});
             },
             RIL_E_SUCCESS, "AT+CCFC=0,0,,129,1,,,"},
            {"63 write without SMSC",
             [pdu](Fixture &t, char *e) {
                 return t.Send(RIL_REQUEST_WRITE_SMS_TO_SIM, RIL_SMS_WriteArgs{1, const_cast<char *>(pdu), e});
             },
             RIL_E_SUCCESS, "AT+CMGW=23,1"},
            {"101 SMSC without address", [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_SET_SMSC_ADDRESS, e); },
             RIL_E_GENERIC_FAILURE, nullptr},
            {"113 IMS SMS without SMSC",
             [pdu](Fixture &t, char *e) {
                 const char *strings[2] = {e, pdu};
                 RIL_IMS_SMS_Message ims = {};
                 ims.tech = RADIO_TECH_3GPP;
                 ims.message.gsmMessage = const_cast<char **>(strings);
                 return t.Send(RIL_REQUEST_IMS_SEND_SMS, ims);
             },
             RIL_E_SUCCESS, "AT+CMGS=23"},
            {"69 envelope without hex",
             [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, e); },
             RIL_E_GENERIC_FAILURE, nullptr},
            {"70 terminal response without hex",
             [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, e); },
             RIL_E_GENERIC_FAILURE, nullptr},
        });
}

TEST_F(EmptyRequestStrings, CdmaRequests) {
    RunRows(ModuleType::kCdma, RADIO_STATE_RUIM_READY,
            {
                {"84 flash without feature code", [](Fixture &t, char *e) { return t.Text(RIL_REQUEST_CDMA_FLASH, e); },
                 RIL_E_SUCCESS, "AT^HFLASH"},
                {"85 burst without tones",
                 [](Fixture &t, char *e) {
                     return t.CallStrings(RIL_REQUEST_CDMA_BURST_DTMF, {e, "0", "0"});
                 },
                 RIL_E_GENERIC_FAILURE, nullptr},
            });
}

}  // namespace
