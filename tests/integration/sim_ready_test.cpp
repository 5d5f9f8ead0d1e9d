// The SIM-ready configuration end to end: the command sequence each module type receives
// once its card is ready, the choices it leaves for SMS and the toolkit, and the message
// store check that keeps asking a silent store ever less often and stops with the radio.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <modemsim/simfiles.h>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using modemsim::StkDialect;
using Commands = std::vector<std::string>;
using namespace std::chrono_literals;

class SimReadyFlow : public zvtest::DevSimTest {
  protected:
    // The commands from the first "AT+CIREG=1" on, once the sequence has ended.
    Commands SequenceAfterReady() {
        EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, 10s));
        Commands all = modem().Commands();
        auto first = std::find(all.begin(), all.end(), "AT+CIREG=1");
        return Commands(first, all.end());
    }
};

const Commands k3gppHead = {
    "AT+CIREG=1", "AT+CREG=2",     "AT+CGREG=2", "AT+CCWA=1",   "AT+CMOD=0",      "AT+CSSN=0,1",  "AT+COLP=0",
    "AT+CSCS=\"IRA\"", "AT+CUSD=1", "AT^USSDMODE=1", "AT+CMGF=0", "AT^BOOT=0,0", "AT^DSFLOWRPT=0", "AT^STSF?",
};

Commands Join(Commands a, const Commands &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(SimReadyFlow, WcdmaRoutesNewMessagesAndFindsTheCusatToolkit) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) { m.On("AT+CNMI=2,2,2,1,0", {"OK"}); });
    EXPECT_EQ(SequenceAfterReady(),
              Join(k3gppHead, {"AT^STSF=1,2", "AT^CUSATM?", "AT+CSMS=0", "AT+CRC=1", "AT+CNMI=2,2,2,1,0"}));
    EXPECT_EQ(Global("g_stk_project"), 1);
    EXPECT_EQ(Global("g_sms_project"), 1);
    zvtest::Unsolicited menu;
    // The menu waits for the framework's toolkit service.
    EXPECT_EQ(Call(RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING).error, RIL_E_SUCCESS);
    ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_STK_PROACTIVE_COMMAND, 1s, 0, &menu));
    EXPECT_EQ(menu.strings, std::vector<std::string>{modemsim::simfiles::SetUpMenuCommand()});
    EXPECT_EQ(modem().CountCommands("AT+CPMS"), 0u) << "the radio was never switched on by request";
}

TEST_F(SimReadyFlow, TdscdmaWithTheFamilyToolkitKeepsItsSmsChoice) {
    Start(ModuleType::kTdscdma,
          [](modemsim::Modem &m) { m.Update([](modemsim::ModelState &s) { s.simfiles.stk = StkDialect::kStin; }); });
    EXPECT_EQ(SequenceAfterReady(),
              Join(k3gppHead, {"AT^STSF=1,0", "AT^STGI=0,0", "AT+CSMS=0", "AT+CRC=1", "AT+CNMI=1,2,2,1,0"}));
    EXPECT_EQ(Global("g_stk_project"), 0);
    EXPECT_EQ(Global("g_sms_project"), 0xffff);
}

TEST_F(SimReadyFlow, CdmaGetsOnlyItsMessageSetUp) {
    Start(ModuleType::kCdma);
    EXPECT_EQ(SequenceAfterReady(), (Commands{"AT+CIREG=1", "AT+CSMS=0", "AT+CMGF=0", "AT+CNMI=1,1,0,2,0", "AT+CCWA=1"}));
    EXPECT_EQ(Global("g_stk_project"), 2);
    EXPECT_EQ(Global("g_sms_project"), 0xffff);
}

TEST_F(SimReadyFlow, SilentStoreIsAskedLessAndLessAndNotAfterRadioOff) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) {
        m.OnPrefix("AT+CPMS=", {"+CMS ERROR: 314"});  // SIM busy, for ever
        m.Update([](modemsim::ModelState &s) { s.simfiles.stk = StkDialect::kNone; });
    });
    Settle(RADIO_STATE_SIM_READY);
    int off = 0, on = 1;
    ASSERT_EQ(Call(RIL_REQUEST_RADIO_POWER, &off, sizeof off).error, RIL_E_SUCCESS);
    ASSERT_EQ(Call(RIL_REQUEST_RADIO_POWER, &on, sizeof on).error, RIL_E_SUCCESS);
    ASSERT_TRUE(modem().WaitForCommand("AT+CPMS=\"SM\",\"SM\",\"SM\"", 10000));
    // Time runs 20 times faster: 4 s here are 80 s of the library's time. Tries at 0, 1, 3, 7,
    // 15, 31 and 63 s (fewer on a slow machine); once a second would be 80 of them.
    std::this_thread::sleep_for(4s);
    const size_t tries = modem().CountCommands("AT+CPMS=");
    EXPECT_GE(tries, 3u);
    EXPECT_LE(tries, 8u);

    ASSERT_EQ(Call(RIL_REQUEST_RADIO_POWER, &off, sizeof off).error, RIL_E_SUCCESS);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_OFF));
    const size_t atOff = modem().CountCommands("AT+CPMS=");
    // The try that was waiting finds the radio off and ends the chain.
    EXPECT_TRUE(daemon_.WaitUntil([this] { return LogContains("IsSIMFull: radio not ready, store check stopped"); },
                                  20s));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(modem().CountCommands("AT+CPMS="), atOff);
}

}  // namespace
