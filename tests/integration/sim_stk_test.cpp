// A toolkit session end to end in each of the modem's dialects: the card's menu after the
// SIM-ready activation, held until the framework's toolkit service runs, a menu selection
// answered by a text to show (sent at once), the text's terminal response answered by a USSD
// the modem carries out itself, and the end of the session.
#include <gtest/gtest.h>

#include <modemsim/simfiles.h>

#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using modemsim::StkDialect;
using zvtest::Completion;
namespace files = modemsim::simfiles;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class ToolkitSession : public zvtest::DevSimTest {
  protected:
    void StartWith(StkDialect dialect) {
        Start(ModuleType::kWcdma, [dialect](modemsim::Modem &m) {
            m.Update([dialect](modemsim::ModelState &s) { s.simfiles.stk = dialect; });
        });
        ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, 10s));
    }
    // The next report of this id after `from`, its string payload ("" when none).
    std::string Next(int id, size_t *from) {
        zvtest::Unsolicited u;
        EXPECT_TRUE(daemon_.WaitForUnsolicited(id, 5s, *from, &u)) << id;
        *from = daemon_.UnsolicitedCount();
        return u.strings.empty() ? "" : u.strings[0];
    }
    Completion Hex(int request, const std::string &hex) {
        return Call(request, const_cast<char *>(hex.c_str()), hex.size() + 1);
    }
    size_t Reports(int id) const {
        size_t n = 0;
        for (const zvtest::Unsolicited &u : daemon_.UnsolicitedSince(0)) n += u.id == id;
        return n;
    }
    void RunSession() {
        // The menu came with the card; the framework hears it only once its service runs.
        ASSERT_TRUE(daemon_.WaitUntil([&] { return LogContains("toolkit report 1013 held"); }, 5s));
        EXPECT_EQ(Reports(RIL_UNSOL_STK_PROACTIVE_COMMAND), 0u);
        size_t from = daemon_.UnsolicitedCount();
        EXPECT_EQ(Call(RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING).error, RIL_E_SUCCESS);
        EXPECT_EQ(Next(RIL_UNSOL_STK_PROACTIVE_COMMAND, &from), files::SetUpMenuCommand());
        EXPECT_EQ(Reports(RIL_UNSOL_STK_PROACTIVE_COMMAND), 1u);
        EXPECT_EQ(Hex(RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, files::TerminalResponse(1, files::kSetUpMenu, 0)).error,
                  RIL_E_SUCCESS);
        from = daemon_.UnsolicitedCount();
        Completion envelope = Hex(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, files::MenuSelectionEnvelope(1));
        EXPECT_EQ(envelope.error, RIL_E_SUCCESS);
        EXPECT_EQ(Next(RIL_UNSOL_STK_PROACTIVE_COMMAND, &from), files::DisplayTextCommand());
        EXPECT_EQ(Hex(RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, files::TerminalResponse(2, files::kDisplayText, 0x81))
                      .error,
                  RIL_E_SUCCESS);
        EXPECT_EQ(Next(RIL_UNSOL_STK_EVENT_NOTIFY, &from), files::SendUssdCommand());
        EXPECT_EQ(Next(RIL_UNSOL_STK_SESSION_END, &from), "");
        // The 8-13 daemon has no requests for the terminal profile.
        if (Hidl()) return;
        Completion profile = Call(RIL_REQUEST_STK_GET_PROFILE);
        EXPECT_EQ(profile.error, RIL_E_SUCCESS);
        EXPECT_EQ(profile.strings, Strings{"FFFFFFFF7F0300DFFF00000000000000"});
        EXPECT_EQ(Hex(RIL_REQUEST_STK_SET_PROFILE, "FFFFFFFF7F").error, RIL_E_SUCCESS);
        EXPECT_EQ(modem().State().simfiles.terminal_profile, "FFFFFFFF7F");
    }
};

TEST_F(ToolkitSession, CusatDialect) {
    StartWith(StkDialect::kCusat);
    EXPECT_EQ(Global("g_stk_project"), 1);
    RunSession();
    EXPECT_TRUE(modem().ExpectCommands({"AT^STSF=1,2", "AT^CUSATM?", "AT^STSF=1,2", "AT+CUSATT=\"8103012500",
                                        "AT+CUSATE=\"D3", "AT+CUSATT=\"8103022181"},
                                       1000));
    EXPECT_EQ(modem().State().simfiles.envelopes, Strings{files::MenuSelectionEnvelope(1)});
}

TEST_F(ToolkitSession, StinDialect) {
    StartWith(StkDialect::kStin);
    EXPECT_EQ(Global("g_stk_project"), 0);
    RunSession();
    EXPECT_TRUE(modem().ExpectCommands({"AT^STSF=1,0", "AT^STGI=0,0", "AT^STSF=1,0", "AT^STGR=1,\"8103012500",
                                        "AT^STGR=0,\"D3", "AT^STGR=1,\"8103022181"},
                                       1000));
    EXPECT_EQ(modem().State().simfiles.terminal_responses.size(), 2u);
}

TEST_F(ToolkitSession, ModemWithoutToolkit) {
    StartWith(StkDialect::kNone);
    EXPECT_EQ(Global("g_stk_project"), 2);
    EXPECT_TRUE(LogContains("This module don't suport STK!!!"));
    EXPECT_EQ(modem().CountCommands("AT^STSF="), 0u);
    modem().ClearCommands();
    // The requests still try the family's commands; the modem refuses them.
    EXPECT_EQ(Hex(RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND, files::MenuSelectionEnvelope(2)).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING).error, RIL_E_GENERIC_FAILURE);
    int accept = 1;
    EXPECT_EQ(Call(RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM, &accept, sizeof accept).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Commands(), (Strings{"AT^STGR=0,\"" + files::MenuSelectionEnvelope(2) + "\"", "AT^STSF=1,0",
                                           "AT^CSTC=1"}));
    EXPECT_TRUE(LogContains("Send STK envelope Failed!"));
    EXPECT_TRUE(LogContains("Activation the STK is  Failed!!!"));
}

}  // namespace
