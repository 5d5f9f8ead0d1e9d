// The card and radio queries over a real channel to the simulated modem, fed with the
// answers real modems give: +CPIN codes and errors, ^CPIN counters, ^CARDLOCK, ^CARDMODE
// and +CFUN, including short and malformed lines.
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>

#include <string>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "sim/sim_state.h"
#include "unit/support/library_env.h"
#include "unit/support/modem_channel.h"

namespace {

using modemsim::Modem;

class SimQueries : public zvtest::ChannelTest<> {
  protected:
    SimQueries() : ChannelTest({{&sState, RADIO_STATE_SIM_NOT_READY}, {&g_module_type, 1}, {&g_cdma_subtype, 0xffff}}) {}
    void Answer(const std::string &command, Modem::Lines lines) { modem_.On(command, std::move(lines)); }
};

TEST_F(SimQueries, SimStateFromEveryKindOfCpinAnswer) {
    struct Case {
        Modem::Lines cpin;
        int state;
    } cases[] = {
        {{"+CPIN: READY", "OK"}, SIM_READY},
        {{"+CPIN: SIM PIN", "OK"}, SIM_PIN},
        {{"+CPIN: R-UIM PIN", "OK"}, SIM_PIN},
        {{"+CPIN: SIM PUK", "OK"}, SIM_PUK},
        {{"+CPIN: R-UIM PUK", "OK"}, SIM_PUK},
        {{"+CPIN: PH-NET PIN", "OK"}, SIM_NETWORK_PERSONALIZATION},
        {{"+CPIN: SIM PIN2", "OK"}, SIM_ABSENT},
        {{"+CPIN: SIM PUK2", "OK"}, SIM_ABSENT},
        {{"+CPIN: PH-SIM PIN", "OK"}, SIM_ABSENT},
        {{"+CME ERROR: 10"}, SIM_ABSENT},
        {{"+CME ERROR: 13"}, SIM_ABSENT},
        {{"+CME ERROR: 14"}, SIM_NOT_READY},
        {{"+CME ERROR: 100"}, SIM_NOT_READY},
        {{"+CME ERROR: raspberry"}, SIM_NOT_READY},
        {{"ERROR"}, SIM_NOT_READY},
        {{"OK"}, SIM_NOT_READY},
        {{"+CPIN:", "OK"}, SIM_NOT_READY},
        {{"+CPIN: ", "OK"}, SIM_NOT_READY},
        {{"   SIM PUK", "OK"}, SIM_NOT_READY},
    };
    for (const Case &c : cases) {
        Answer("AT+CPIN?", c.cpin);
        EXPECT_EQ(GetSIMState(), c.state) << c.cpin[0];
    }
    // A ready card may still be locked to a network.
    Answer("AT+CPIN?", {"+CPIN: READY", "OK"});
    for (auto [lock, state] : {std::pair{1, SIM_NETWORK_PERSONALIZATION},
                               {3, SIM_NETWORK_PERSONALIZATION},
                               {2, SIM_READY},
                               {0, SIM_READY}}) {
        Answer("AT^CARDLOCK?", {"^CARDLOCK: " + std::to_string(lock) + ",10,0", "OK"});
        EXPECT_EQ(GetSIMState(), state) << lock;
    }
    Answer("AT^CARDLOCK?", {"ERROR"});
    EXPECT_EQ(GetSIMState(), SIM_READY);
    EXPECT_TRUE(env_.Logged("GetSIMLockStatus FAIL"));
    EXPECT_TRUE(env_.Logged("sim status is 2"));

    // A 3GPP module with its radio off is not asked; a CDMA module is.
    modem_.ClearCommands();
    zv::Store(sState, RADIO_STATE_OFF);
    EXPECT_EQ(GetSIMState(), SIM_NOT_READY);
    EXPECT_TRUE(modem_.Commands().empty());
    zv::Store(g_module_type, 0);
    EXPECT_EQ(GetSIMState(), SIM_READY);
    zv::Store(g_cdma_subtype, 1);
    modem_.ClearCommands();
    EXPECT_EQ(GetSIMState(), SIM_READY);
    EXPECT_TRUE(modem_.Commands().empty());
}

TEST_F(SimQueries, AttemptCountersAndLockStatus) {
    struct Case {
        const char *line;
        int pin, puk;
    } cases[] = {
        {"^CPIN: READY,,10,3,10,3", 3, 10}, {"^CPIN: SIM PIN,2,10,2,10,3", 2, 10}, {"^CPIN: SIM PUK,9,9,0,10,3", 0, 9},
        {"^CPIN: SIM PUK,9", -1, -1},       {"^CPIN: SIM PIN,x,y,z", -1, -1},      {"^CPIN:", -1, -1},
    };
    for (const Case &c : cases) {
        Answer("AT^CPIN?", {c.line, "OK"});
        EXPECT_EQ(getNumRetries(RIL_REQUEST_ENTER_SIM_PIN), c.pin) << c.line;
        EXPECT_EQ(getNumRetries(RIL_REQUEST_CHANGE_SIM_PIN), c.pin) << c.line;
        EXPECT_EQ(getNumRetries(RIL_REQUEST_SET_FACILITY_LOCK), c.pin) << c.line;
        EXPECT_EQ(getNumRetries(RIL_REQUEST_ENTER_SIM_PUK), c.puk) << c.line;
    }
    EXPECT_EQ(getNumRetries(RIL_REQUEST_ENTER_SIM_PIN2), -1);
    Answer("AT^CPIN?", {"+CME ERROR: 10"});
    EXPECT_EQ(getNumRetries(RIL_REQUEST_ENTER_SIM_PIN), -1);

    int status = -7, times = -7;
    Answer("AT^CARDLOCK?", {"^CARDLOCK: 1,7,0", "OK"});
    EXPECT_EQ(GetSIMLockStatus(&status, &times), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(times, 7);
    EXPECT_TRUE(env_.Logged("parameter is status:1,times:7"));
    status = times = -7;
    Answer("AT^CARDLOCK?", {"^CARDLOCK: 3", "OK"});
    EXPECT_EQ(GetSIMLockStatus(&status, &times), -1);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(times, -7) << "a field never reached keeps its value";
    Answer("AT^CARDLOCK?", {"^CARDLOCK:", "OK"});
    EXPECT_EQ(GetSIMLockStatus(&status, &times), -1);
}

TEST_F(SimQueries, CardTypeAndRadioPower) {
    for (auto [line, type] : {std::pair{"^CARDMODE: 1", 1},
                              {"^CARDMODE: 2", 2},
                              {"^CARDMODE: 0", 0},
                              {"^CARDMODE: 99", 2},
                              {"^CARDMODE: -3", 2},
                              {"^CARDMODE:", 2}}) {
        Answer("AT^CARDMODE", {line, "OK"});
        EXPECT_EQ(GetSIMType(), type) << line;
    }
    Answer("AT^CARDMODE", {"ERROR"});
    EXPECT_EQ(GetSIMType(), 2);

    for (auto [line, on] : {std::pair{"+CFUN: 1,0", 1},
                            {"+CFUN: 0", 0},
                            {"+CFUN: 4", -1},
                            {"+CFUN: 19", -1},
                            {"+CFUN: 19,0", -1},
                            {"+CFUN:", -1}}) {
        Answer("AT+CFUN?", {line, "OK"});
        EXPECT_EQ(GetRadioStatus(), on) << line;
    }
    Answer("AT+CFUN?", {"ERROR"});
    EXPECT_EQ(GetRadioStatus(), -1);
}

}  // namespace
