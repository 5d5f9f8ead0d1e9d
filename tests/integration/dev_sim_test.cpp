// The card as the framework sees it through the library and a simulated modem: card status
// for each card state and platform generation, PIN, PUK and PIN change with the attempts
// left, network depersonalisation, IMSI, and requests refused before anything is sent.
#include <gtest/gtest.h>

#include <string>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModelState;
using modemsim::ModuleType;
using modemsim::SimCard;
using modemsim::SimState;
using zvtest::Completion;
using namespace std::chrono_literals;

class SimTest : public zvtest::DevSimTest {};

void LockWithPin(modemsim::Modem &m) {
    m.Update([](ModelState &s) { s.sim = SimState::kPin; });
}

TEST_F(SimTest, PinLockedCardIsUnlockedAndReachesReady) {
    Start(ModuleType::kWcdma, LockWithPin);
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.card_state, RIL_CARDSTATE_PRESENT);
    EXPECT_EQ(status.num_applications, 1);
    EXPECT_EQ(status.gsm_umts_subscription_app_index, 0);
    EXPECT_EQ(status.cdma_subscription_app_index, NoApp());
    EXPECT_EQ(status.ims_subscription_app_index, NoApp());
    EXPECT_EQ(status.applications[0].app_type, RIL_APPTYPE_USIM);
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_PIN);
    EXPECT_EQ(status.applications[0].pin1, RIL_PINSTATE_ENABLED_NOT_VERIFIED);
    EXPECT_EQ(status.applications[1].app_state, RIL_APPSTATE_UNKNOWN);
    EXPECT_EQ(status.applications[1].app_type, RIL_APPTYPE_USIM) << "empty slots carry the application type too";

    modem().ClearCommands();
    const size_t from = daemon_.UnsolicitedCount();
    Completion c = CallStrings(RIL_REQUEST_ENTER_SIM_PIN, {"1234", nullptr});  // with the (ignored) AID
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, std::vector<int>{3});
    EXPECT_TRUE(modem().ExpectCommands({"AT+CPIN=\"1234\"", "AT^CPIN?", "AT+CPIN?"}, 1000));
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY)) << RadioState();
    if (Hidl()) {
        EXPECT_GE(SimStatusReports(from), 1u) << "the 8-13 framework reads the unlocked card again";
    }
    status = CardStatus();
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_READY);
    EXPECT_EQ(status.applications[0].perso_substate, RIL_PERSOSUBSTATE_READY);
}

TEST_F(SimTest, WrongPinsCostAttemptsUntilThePukRecovers) {
    Start(ModuleType::kWcdma, LockWithPin);
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    for (int left : {2, 1, 0}) {
        const size_t from = daemon_.UnsolicitedCount();
        Completion c = CallStrings(RIL_REQUEST_ENTER_SIM_PIN, {"0000"});
        EXPECT_EQ(c.error, RIL_E_PASSWORD_INCORRECT);
        EXPECT_EQ(c.ints, std::vector<int>{left});
        // Only the 8-13 framework needs telling that the attempts (and at last the lock) changed.
        EXPECT_EQ(SimStatusReports(from), Hidl() ? 1u : 0u);
    }
    EXPECT_EQ(RadioState(), RADIO_STATE_SIM_LOCKED_OR_ABSENT) << "a refused code changes no state";
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_PUK);
    EXPECT_EQ(status.applications[0].pin1, RIL_PINSTATE_ENABLED_BLOCKED);

    Completion c = CallStrings(RIL_REQUEST_ENTER_SIM_PUK, {"87654321", "4321"});
    EXPECT_EQ(c.error, RIL_E_PASSWORD_INCORRECT);
    EXPECT_EQ(c.ints, std::vector<int>{9});
    modem().ClearCommands();
    c = CallStrings(RIL_REQUEST_ENTER_SIM_PUK, {"12345678", "4321"});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, std::vector<int>{10});
    EXPECT_EQ(modem().Commands().at(0), "AT+CPIN=\"12345678\",\"4321\"");
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    EXPECT_EQ(modemsim::CardOf(modem()).pin, "4321");
}

TEST_F(SimTest, PinChangeReportsAttemptsAndPollsTheCardAgain) {
    Start(ModuleType::kTdscdma,
          [](modemsim::Modem &m) { modemsim::UpdateCard(m, [](ModelState &, SimCard &c) { c.pin_enabled = true; }); });
    Settle(RADIO_STATE_SIM_READY);
    Completion c = CallStrings(RIL_REQUEST_CHANGE_SIM_PIN, {"9999", "5555"});
    EXPECT_EQ(c.error, RIL_E_PASSWORD_INCORRECT);
    EXPECT_EQ(c.ints, std::vector<int>{2});
    EXPECT_EQ(RadioState(), RADIO_STATE_SIM_READY);

    size_t before = daemon_.UnsolicitedCount();
    c = CallStrings(RIL_REQUEST_CHANGE_SIM_PIN, {"1234", "5555", "A0000000871002"});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, std::vector<int>{3});
    EXPECT_EQ(modem().Commands().at(2), "AT+CPWD=\"SC\",\"1234\",\"5555\"");
    EXPECT_EQ(modemsim::CardOf(modem()).pin, "5555");
    // Not ready, then ready again after polling.
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    EXPECT_GE(daemon_.UnsolicitedCount() - before, 2u);
}

// Each card state as the framework's card status shows it, while the radio stays locked.
TEST_F(SimTest, CardStatusFollowsTheCard) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) { m.Update([](ModelState &s) { s.cardlock = 1; }); });
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_SUBSCRIPTION_PERSO);
    EXPECT_EQ(status.applications[0].perso_substate, RIL_PERSOSUBSTATE_SIM_NETWORK);
    EXPECT_EQ(status.applications[0].pin1, RIL_PINSTATE_ENABLED_NOT_VERIFIED);

    // A card waiting for PIN2 is not one the framework can use.
    modemsim::UpdateCard(modem(), [](ModelState &s, SimCard &c) {
        s.cardlock = 2;
        c.awaiting2 = SimCard::Code2::kPin2;
    });
    status = CardStatus();
    EXPECT_EQ(status.card_state, RIL_CARDSTATE_ABSENT);
    EXPECT_EQ(status.num_applications, 0);
    EXPECT_EQ(status.gsm_umts_subscription_app_index, NoApp());

    modem().On("AT^CARDMODE", {"^CARDMODE: 1", "OK"});
    modemsim::UpdateCard(modem(), [](ModelState &s, SimCard &c) {
        s.sim = SimState::kReady;
        c.awaiting2 = SimCard::Code2::kNone;
    });
    EXPECT_EQ(RadioState(), RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    status = CardStatus();
    EXPECT_EQ(status.applications[0].app_type, RIL_APPTYPE_SIM);
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_READY);
    EXPECT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY)) << "a ready card moves the radio on";
}

TEST_F(SimTest, Platform23GetsTheRecordWithoutImsIndex) {
    SetProperty("ro.build.version.release", "2.3.7");
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    RIL_CardStatus_v5 status = CardStatus<RIL_CardStatus_v5>();
    EXPECT_EQ(status.num_applications, 1);
    EXPECT_EQ(status.gsm_umts_subscription_app_index, 0);
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_READY);
}

TEST_F(SimTest, CdmaCardIsAnRuimApplication) {
    Start(ModuleType::kCdma, [](modemsim::Modem &m) { m.On("AT^CARDMODE", {"^CARDMODE: 1", "OK"}); });
    Settle(RADIO_STATE_RUIM_READY);
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.applications[0].app_type, RIL_APPTYPE_RUIM);
    EXPECT_EQ(status.cdma_subscription_app_index, 0);
    EXPECT_EQ(status.gsm_umts_subscription_app_index, NoApp());
    EXPECT_EQ(modem().CountCommands("AT^CARDMODE"), 0u);

    // A PIN-locked R-UIM is unlocked like a SIM, into the R-UIM states.
    modem().Update([](ModelState &s) { s.sim = SimState::kPin; });
    EXPECT_EQ(CardStatus().applications[0].app_state, RIL_APPSTATE_PIN);
    Completion c = CallStrings(RIL_REQUEST_ENTER_SIM_PIN, {"1234"});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_TRUE(WaitRadioState(RADIO_STATE_RUIM_READY));
}

// A module without a card answers as ready without asking, and a switched-off radio stays off.
TEST_F(SimTest, CardlessCdmaModuleWithRadioOff) {
    Start(ModuleType::kCdmaNoCard, [](modemsim::Modem &m) { m.Update([](ModelState &s) { s.cfun = 0; }); });
    ASSERT_TRUE(daemon_.WaitUntil([&] { return LogContains("Cdma sub type is NV"); }, 10s));
    Settle(RADIO_STATE_OFF);
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_READY);
    EXPECT_EQ(status.applications[0].app_type, RIL_APPTYPE_RUIM);
    EXPECT_EQ(modem().CountCommands("AT+CPIN?"), 0u);
    EXPECT_EQ(RadioState(), RADIO_STATE_OFF);
}

TEST_F(SimTest, NetworkDepersonalisationInAllItsForms) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) { m.Update([](ModelState &s) { s.cardlock = 1; }); });
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    Completion c = CallStrings(RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"0000"});
    EXPECT_EQ(c.error, RIL_E_PASSWORD_INCORRECT);
    EXPECT_EQ(c.ints, std::vector<int>{9});
    c = CallStrings(RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"1122334455667788"});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.length, 0u);
    EXPECT_EQ(modem().CountCommands("AT+CPIN=\""), 0u) << "the family's own unlock took the key";
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));

    // A modem without ^CARDLOCK= takes the key as a PIN, then lifts the facility lock.
    modemsim::UpdateCard(modem(), [](ModelState &s, SimCard &c) {
        s.cardlock = 1;
        c.ph_net_pin = true;
    });
    modem().OnPrefix("AT^CARDLOCK=", {"ERROR"});
    modem().ClearCommands();
    c = CallStrings(RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"1122334455667788"});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands(
        {"AT^CARDLOCK=", "AT+CPIN=\"1122334455667788\"", "AT+CLCK=\"PN\",0,\"1122334455667788\""}, 1000));

    // Nothing takes it: a failure, completed once.
    modem().OnPrefix("AT+CPIN=", {"ERROR"});
    modem().OnPrefix("AT+CLCK=", {"ERROR"});
    EXPECT_EQ(CallStrings(RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"1"}).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(SimTest, ImsiGetsThreeAttempts) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    Completion c = Call(RIL_REQUEST_GET_IMSI);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.strings, std::vector<std::string>{"460001234567890"});

    int asked = 0;
    modem().OnHandler("AT+CIMI", [&asked](modemsim::Modem &, const std::string &) -> modemsim::Modem::Lines {
        return ++asked < 3 ? modemsim::Modem::Lines{"+CME ERROR: 14"} : modemsim::Modem::Lines{"001010123456789", "OK"};
    });
    c = Call(RIL_REQUEST_GET_IMSI);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.strings, std::vector<std::string>{"001010123456789"});
    modem().On("AT+CIMI", {"OK"});  // no IMSI line
    modem().ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMSI).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().CountCommands("AT+CIMI"), 3u);
}

// Malformed or hostile arguments: one failure each, with the attempts int where the request
// has one, and not a byte to the modem. PIN2 codes and later requests are refused as well.
TEST_F(SimTest, RefusedBeforeAnythingIsSent) {
    Start(ModuleType::kWcdma, LockWithPin);
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    const std::string overlong(200, '1');
    const char *pin[] = {"1234", "5678", "9"};
    struct Case {
        int request;
        std::vector<const char *> args;
        size_t datalen;  // 0: args.size() pointers
    } cases[] = {
        {RIL_REQUEST_ENTER_SIM_PIN, {}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"1234", nullptr, nullptr}, 0},  // three pointers
        {RIL_REQUEST_ENTER_SIM_PIN, {"1234"}, sizeof(char *) + 1},
        {RIL_REQUEST_ENTER_SIM_PIN, {nullptr}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {overlong.c_str()}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12\"34"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"1234\r"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12\n34"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12\x1A"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN,
         {"\x1B"
          "1234"},
         0},
        // A modem that edits its command line as V.250 says would erase "AT+CPIN=\"" and run the rest.
        {RIL_REQUEST_ENTER_SIM_PIN, {"\b\b\b\b\b\b\b\b\bFUN=0;+CPIN=0000"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12\x7f" "4"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12a4"}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {""}, 0},
        {RIL_REQUEST_ENTER_SIM_PIN, {"12345678901234567"}, 0},
        {RIL_REQUEST_ENTER_SIM_PUK, {"12345678", "12\t4"}, 0},
        {RIL_REQUEST_ENTER_SIM_PUK, {"12345678"}, 0},
        {RIL_REQUEST_ENTER_SIM_PUK, {"12345678", nullptr}, 0},
        {RIL_REQUEST_ENTER_SIM_PUK, {"12345678", "1\",\"2"}, 0},
        {RIL_REQUEST_CHANGE_SIM_PIN, {"1234", "1234", "x", "y"}, 0},
        {RIL_REQUEST_CHANGE_SIM_PIN, {"1234\"", "1"}, 0},
        {RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {nullptr}, 0},
        {RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"1\";+CFUN=0;\""}, 0},
        {RIL_REQUEST_ENTER_NETWORK_DEPERSONALIZATION, {"1234\b\b"}, 0},
    };
    for (const Case &k : cases) {
        size_t len = k.datalen ? k.datalen : k.args.size() * sizeof(char *);
        Completion c = Call(k.request, k.args.empty() ? nullptr : const_cast<const char **>(k.args.data()), len);
        EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE) << k.request << " " << len;
        EXPECT_EQ(c.ints, std::vector<int>{-1}) << k.request << " " << len;
    }
    for (int request : {RIL_REQUEST_ENTER_SIM_PIN2, RIL_REQUEST_ENTER_SIM_PUK2, RIL_REQUEST_CHANGE_SIM_PIN2}) {
        Completion c = Call(request, pin, 2 * sizeof(char *));
        EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE);
        EXPECT_TRUE(c.ints.empty());
    }
    // Requests whose data is missing: nothing to send.
    for (int request : {RIL_REQUEST_SIM_IO, RIL_REQUEST_STK_SET_PROFILE, RIL_REQUEST_STK_SEND_ENVELOPE_COMMAND,
                        RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, RIL_REQUEST_STK_HANDLE_CALL_SETUP_REQUESTED_FROM_SIM}) {
        if (Hidl() && request == RIL_REQUEST_STK_SET_PROFILE) continue;  // the 8-13 daemon never sends it
        EXPECT_EQ(Call(request).error, RIL_E_GENERIC_FAILURE) << request;
    }
    EXPECT_TRUE(modem().Commands().empty()) << modem().Commands().front();
    EXPECT_EQ(modemsim::CardOf(modem()).pin_attempts, 3);
}

}  // namespace
