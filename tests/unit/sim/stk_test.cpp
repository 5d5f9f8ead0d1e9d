// The toolkit: proactive command classification, the "^STIN:" / "+CUSATP:" report lines as
// real and broken modems write them, and the requests over a real channel (command per set,
// hex refused before anything is sent, answers the modem gets wrong).
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>
#include <modemsim/simfiles.h>

#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "sim/stk.h"
#include "unit/support/library_env.h"
#include "unit/support/modem_channel.h"

namespace {

using modemsim::Modem;
namespace files = modemsim::simfiles;

TEST(StkLines, ProactiveCommandClassification) {
    struct Case {
        std::string hex;
        int id;
    } cases[] = {
        {files::SetUpMenuCommand(), RIL_UNSOL_STK_PROACTIVE_COMMAND},
        {files::DisplayTextCommand(), RIL_UNSOL_STK_PROACTIVE_COMMAND},
        {files::ProactiveCommand(1, files::kSendUssd, 0, ""), RIL_UNSOL_STK_EVENT_NOTIFY},
        {files::SendUssdCommand(), RIL_UNSOL_STK_EVENT_NOTIFY},  // two-byte length: type at 12
        {files::ProactiveCommand(1, 0x13, 0, ""), RIL_UNSOL_STK_EVENT_NOTIFY},
        {files::ProactiveCommand(1, 0x40, 1, ""), RIL_UNSOL_STK_EVENT_NOTIFY},
        {files::ProactiveCommand(1, 0x05, 0, ""), RIL_UNSOL_STK_EVENT_NOTIFY},
        {files::ProactiveCommand(1, 0x01, 0, ""), RIL_UNSOL_STK_SESSION_END},
        {files::ProactiveCommand(1, 0x10, 0, ""), RIL_UNSOL_STK_SESSION_END},
        {"D0", RIL_UNSOL_STK_PROACTIVE_COMMAND},
        {"D081", RIL_UNSOL_STK_PROACTIVE_COMMAND},
        {"D0818103011", RIL_UNSOL_STK_PROACTIVE_COMMAND},
    };
    ASSERT_EQ(files::SendUssdCommand().substr(2, 2), "81");
    for (const Case &c : cases) EXPECT_EQ(zv::stk::ClassifyProactiveCommand(c.hex.c_str()), c.id) << c.hex;
}

TEST(StkLines, ReportsFromTheModem) {
    zvtest::RecordingEnv env;
    // Reports go out at once here; holding them until then runs end to end in the integration suite.
    zv::stk::ToolkitServiceRunning();
    const std::string menu = files::SetUpMenuCommand();
    const std::string ussd = files::SendUssdCommand();
    struct Case {
        std::string line;
        std::vector<int> ids;
        const char *log;
    } cases[] = {
        {"^STIN: 0,\"" + menu + "\"", {RIL_UNSOL_STK_PROACTIVE_COMMAND}, nullptr},
        {"^STIN: 1," + ussd, {RIL_UNSOL_STK_EVENT_NOTIFY}, nullptr},
        {"^STIN: 99,\"D003\"", {RIL_UNSOL_STK_SESSION_END}, nullptr},
        {"^STIN: 99,\"\"", {RIL_UNSOL_STK_SESSION_END}, nullptr},
        {"^STIN:0,0,0", {}, "Error STIN !!!"},  // a modem that only announces the command
        {"^STIN: x", {}, "^STIN parse error 1"},
        {"^STIN: 0", {}, "^STIN parse error 2"},
        {"^STIN: 5,\"D0\"", {}, nullptr},
        {"^STIN: 0,\"D0\rAT\"", {}, nullptr},
        {"+CUSATP: \"" + menu + "\"", {RIL_UNSOL_STK_PROACTIVE_COMMAND}, nullptr},
        {"+CUSATP: " + ussd, {RIL_UNSOL_STK_EVENT_NOTIFY}, nullptr},
        {"+CUSATP: \"" + files::ProactiveCommand(1, 0x01, 0, "") + "\"", {RIL_UNSOL_STK_SESSION_END}, nullptr},
        {"+CUSATP: \"D0\"", {RIL_UNSOL_STK_PROACTIVE_COMMAND}, nullptr},
        {"+CUSATP:", {}, nullptr},
        {"+CUSATP: \"XYZ\"", {}, nullptr},
        {"+CUSATEND", {RIL_UNSOL_STK_SESSION_END}, nullptr},
    };
    for (const Case &c : cases) {
        env.Clear();
        ZvRilSIMUnsolicited(c.line.c_str());
        EXPECT_EQ(env.Unsolicited(), c.ids) << c.line;
        if (c.log) {
            EXPECT_TRUE(env.Logged(c.log)) << c.line;
        }
    }
    env.Clear();
    ZvRilSIMUnsolicited(("^STIN: 0,\"" + menu + "\"").c_str());
    ZvRilSIMUnsolicited(("+CUSATP: " + ussd).c_str());
    EXPECT_EQ(env.StringPayloads(), (std::vector<std::vector<std::string>>{{menu}, {ussd}}));
}

class StkRequests : public zvtest::ChannelTest<> {
  protected:
    StkRequests() : ChannelTest({}, {&g_stk_project}) {}
    RIL_Errno Call(int request, const void *data, size_t datalen = 0) {
        return CompleteOnce(ZvRilSIMRequest, request, data, datalen);
    }
    void Dialect(modemsim::StkDialect d) {
        modem_.Update([d](modemsim::ModelState &s) { s.simfiles.stk = d; });
    }
};

// The session commands of each set run end to end in the integration suite; here what the
// modem gets wrong.
TEST_F(StkRequests, EnvelopesGoInUpperCaseAndNeedTheCardsAnswer) {
    Dialect(modemsim::StkDialect::kStin);
    zv::Store(g_stk_project, 2);
    EXPECT_EQ(Call(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, "d30782020181900101"), RIL_E_SUCCESS);
    zv::Store(g_stk_project, 1);
    Dialect(modemsim::StkDialect::kCusat);
    modem_.On("AT+CUSATE=\"D3\"", {"OK"});  // no answer line: nothing to give the framework
    EXPECT_EQ(Call(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, "D3"), RIL_E_GENERIC_FAILURE);
    modem_.On("AT+CUSATR=3", {"+CUSATR: 3", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_STK_GET_PROFILE, nullptr), RIL_E_GENERIC_FAILURE);
    modem_.On("AT+CUSATW=0,\"FF\"", {"OK"});  // the answer line is optional
    EXPECT_EQ(Call(RIL_REQUEST_STK_SET_PROFILE, "FF"), RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT^STGR=0,\"D30782020181900101\"", "AT+CUSATE=\"D3\"",
                                                           "AT+CUSATR=3", "AT+CUSATW=0,\"FF\""}));
}

TEST_F(StkRequests, HexRefusedWithoutACommand) {
    int reject = 0;
    const char *bad[] = {"", "D3\"", "D3\r\nAT+CFUN=0", "D3\x1a", "D", "XY", "D3 07"};
    for (int request : {RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE,
                        RIL_REQUEST_STK_SET_PROFILE}) {
        for (const char *hex : bad) EXPECT_EQ(Call(request, hex), RIL_E_GENERIC_FAILURE) << hex;
        EXPECT_EQ(Call(request, nullptr), RIL_E_GENERIC_FAILURE);
        std::string longHex(2 * 259, 'A');
        EXPECT_EQ(Call(request, longHex.c_str()), RIL_E_GENERIC_FAILURE);
    }
    EXPECT_EQ(Call(RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM, nullptr), RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM, &reject, 2), RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(modem_.Commands().empty());
    EXPECT_EQ(Call(RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM, &reject, sizeof reject), RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands(), std::vector<std::string>{"AT^CSTC=0"});
}

}  // namespace
