// The device requests through the library and a simulated modem: radio power with the
// airplane flag and the SAR replay, identities and versions for each module type, facility
// locks, the CDMA subscription, the OEM hook, and the requests answered without the modem.
#include <gtest/gtest.h>

#include <string>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModelState;
using modemsim::ModuleType;
using modemsim::SimCard;
using zvtest::Completion;
using Strings = std::vector<std::string>;
using Lines = modemsim::Modem::Lines;

class DeviceTest : public zvtest::DevSimTest {
  protected:
    Completion Power(int on) { return Call(RIL_REQUEST_RADIO_POWER, &on, sizeof on); }
};

TEST_F(DeviceTest, RadioPowerKeepsTheAirplaneFlagAndReplaysSar) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    EXPECT_EQ(Power(0).error, RIL_E_SUCCESS);
    EXPECT_EQ(RadioState(), RADIO_STATE_OFF);
    EXPECT_EQ(Global("g_airplanemode"), 1);
    EXPECT_EQ(modem().State().cfun, 0);
    EXPECT_EQ(Global("has_set_radio_on"), 0);
    EXPECT_EQ(Power(1).error, RIL_E_SUCCESS);
    EXPECT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    EXPECT_EQ(Global("g_airplanemode"), 0);
    EXPECT_EQ(Global("has_set_radio_on"), 1);

    // The embedder's SAR thread has not reported yet: nothing to replay.
    Global("sarfeature") = 1;
    EXPECT_EQ(Power(1).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().CountCommands("AT^SARCTRL"), 0u);
    for (int level : {1, 0}) {
        Global("g_sarctrl") = level;
        modem().ClearCommands();
        EXPECT_EQ(Power(1).error, RIL_E_SUCCESS);
        const std::string replay = "AT^SARCTRL=" + std::to_string(level);
        EXPECT_TRUE(modem().ExpectCommands({"AT+CFUN=1", replay}, 1000)) << level;
        EXPECT_TRUE(LogContains("**** Airplane Mode Off, SARCTRL = " + std::to_string(level) + " ****"));
    }
    EXPECT_EQ(Global("g_sarctrl"), 0) << "the library never writes the SAR level";
}

TEST_F(DeviceTest, RadioPowerTrustsWhatTheModemReports) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    modem().On("AT+CFUN=0", {"ERROR"});
    EXPECT_EQ(Power(0).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(RadioState(), RADIO_STATE_SIM_READY);
    EXPECT_EQ(Global("g_airplanemode"), 0);

    // Refused, but the radio reads as on: done.
    modem().On("AT+CFUN=1", {"ERROR"});
    modem().On("AT+CFUN?", {"+CFUN: 1,0", "OK"});
    EXPECT_EQ(Power(1).error, RIL_E_SUCCESS);
    EXPECT_EQ(Global("has_set_radio_on"), 1);
    modem().On("AT+CFUN?", {"+CFUN: 4", "OK"});
    EXPECT_EQ(Power(1).error, RIL_E_GENERIC_FAILURE);
    modem().ClearCommands();
    Power(2);
    EXPECT_EQ(modem().Commands().at(0), "AT+CFUN=1") << "any nonzero value means on";
    EXPECT_EQ(Call(RIL_REQUEST_RADIO_POWER, nullptr, sizeof(int)).error, RIL_E_GENERIC_FAILURE);
    int on = 1;
    EXPECT_EQ(Call(RIL_REQUEST_RADIO_POWER, &on, 0).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(DeviceTest, IdentitiesOfA3gppModule) {
    // IMEI and IMEISV have requests of their own only under the socket daemon (7.x).
    SetProperty("ro.build.version.release", "7.1.2");
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEI).strings, Strings{"351234567890123"});
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEISV).strings, Strings{"05"});
    EXPECT_EQ(Call(RIL_REQUEST_BASEBAND_VERSION).strings, Strings{"21.110.99.01.00"});
    EXPECT_EQ(modem().CountCommands("AT+CGMR"), 1u);
    Completion identity = Call(RIL_REQUEST_DEVICE_IDENTITY);
    EXPECT_EQ(identity.strings, (Strings{"351234567890123", "351234567890123", "(null)", "(null)"}));
    EXPECT_TRUE(LogContains("this is request Device Identity's success"));

    modem().On("AT^IMEISV?", {"^IMEISV: 3543210987654321", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEISV).strings, Strings{"21"});
    modem().On("AT^IMEISV?", {"^IMEISV: 3", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEISV).error, RIL_E_GENERIC_FAILURE);
    modem().On("AT+CGSN", {"356936001568843,NL2A62Z0N5", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEI).strings, Strings{"356936001568843,NL2A62Z0N5"});
    modem().On("AT+CGSN", {"OK"});
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMEI).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_DEVICE_IDENTITY).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(LogContains("this is request Device Identity's fail"));
}

TEST_F(DeviceTest, IdentitiesAndSubscriptionOfACdmaModule) {
    Start(ModuleType::kCdma);
    Settle(RADIO_STATE_RUIM_READY);
    EXPECT_EQ(Call(RIL_REQUEST_BASEBAND_VERSION).strings, Strings{" 21.110.99.01.00"});
    EXPECT_EQ(Call(RIL_REQUEST_DEVICE_IDENTITY).strings, (Strings{"(null)", "(null)", "6030C012", "A1000009D1F2E3"}));
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).strings,
              (Strings{"15550100123", "13824", "65535", "1234567890", "10032"}));

    modem().On("AT+CGMR", {"11.608.12.02.00", "OK"});  // no prefix: the plain form answers
    EXPECT_EQ(Call(RIL_REQUEST_BASEBAND_VERSION).strings, Strings{"11.608.12.02.00"});
    modem().On("AT+CIMI", {"001010123456789", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).strings.at(3), "0123456789");
    modem().On("AT+CIMI", {"12345", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).strings.at(3), "12345");

    modem().On("AT^CURRSID", {"^CURRSID: 13824", "OK"});  // no NID
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).error, RIL_E_GENERIC_FAILURE);
    modem().On("AT^CURRSID", {"ERROR"});
    modem().ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().Commands(), (Strings{"AT^MDN", "AT^CURRSID"}));
    EXPECT_TRUE(LogContains("requestCDMASubscription error"));
    modem().On("AT^MEID", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_DEVICE_IDENTITY).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(DeviceTest, FacilityLocks) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    auto query = [&](const char *facility) {
        return CallStrings(RIL_REQUEST_QUERY_FACILITY_LOCK, {facility, "", "7", nullptr});
    };
    EXPECT_EQ(query("SC").ints, std::vector<int>{0});
    size_t from = daemon_.UnsolicitedCount();
    Completion c = CallStrings(RIL_REQUEST_SET_FACILITY_LOCK, {"SC", "1", "1234", "7", nullptr});
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, std::vector<int>{3});
    EXPECT_EQ(SimStatusReports(from), Hidl() ? 1u : 0u) << "the PIN lock is on: the card status says so";
    EXPECT_EQ(query("SC").ints, std::vector<int>{7}) << "a status without classes is voice, data and fax";
    modemsim::UpdateCard(modem(), [](ModelState &, SimCard &card) { card.barred["AO"] = 1 | 4; });
    EXPECT_EQ(query("AO").ints, std::vector<int>{5});
    EXPECT_TRUE(modem().WaitForCommand("AT+CLCK=\"AO\",2", 0));
    modem().On("AT+CLCK=\"OI\",2", {"+CLCK: 1,1", "+CLCK: 1,1", "+CLCK: 0,4", "OK"});
    EXPECT_EQ(query("OI").ints, std::vector<int>{1});
    for (const char *bad : {"+CLCK:", "+CLCK: 1,x"}) {
        modem().On("AT+CLCK=\"OI\",2", {"+CLCK: 1,1", bad, "OK"});
        c = query("OI");
        EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE) << bad;
        EXPECT_TRUE(c.raw.empty());
    }
    EXPECT_TRUE(LogContains("RequestQueryFacilityLock ERROR "));

    // The last wrong PIN blocks the card: the framework is sent to read the card again.
    for (int left : {2, 1, 0}) {
        c = CallStrings(RIL_REQUEST_SET_FACILITY_LOCK, {"SC", "0", "0000", "7"});
        EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE);
        EXPECT_EQ(c.ints, std::vector<int>{left});
        if (left) {
            EXPECT_EQ(RadioState(), RADIO_STATE_SIM_READY);
        }
    }
    EXPECT_TRUE(WaitRadioState(RADIO_STATE_SIM_LOCKED_OR_ABSENT)) << RadioState();
}

// Arguments that would reach the modem malformed or with a command of their own.
TEST_F(DeviceTest, BadArgumentsNeverReachTheModem) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    const std::string overlong(3000, 'A');
    const std::vector<std::vector<const char *>> sets = {
        {"SC", "1;+CFUN=0", "1234"}, {"SC", "2", "1234"},   {"SC", "1", "12\"34"},
        {"SC", "1", nullptr},        {"SC\"", "1", "1234"}, {"SC", "1"},
        {"SC", "1", "\b\b\b\b1234"},   {"SC", "1", "12a4"},   {"SC", "1", ""},
    };
    for (const auto &args : sets) {
        Completion c = CallStrings(RIL_REQUEST_SET_FACILITY_LOCK, args);
        EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE);
        EXPECT_EQ(c.ints, std::vector<int>{-1});
    }
    for (const auto &args : std::vector<std::vector<const char *>>{{nullptr}, {"S\rC"}, {"SCSCSCSCSC"}, {}}) {
        EXPECT_EQ(CallStrings(RIL_REQUEST_QUERY_FACILITY_LOCK, args).error, RIL_E_GENERIC_FAILURE);
    }
    EXPECT_EQ(CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {nullptr}).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {overlong.c_str()}).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_OEM_HOOK_STRINGS).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(modem().Commands().empty()) << modem().Commands().front();
}

TEST_F(DeviceTest, OemHookAndTheRequestsThatNeedNoModem) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    EXPECT_EQ(CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {"AT+CGMR"}).strings, (Strings{"21.110.99.01.00", "OK"}));
    // An indication during the exchange is not part of the answer.
    modem().On("AT+OEMX", {"+CREG: 1", "value", "OK"});
    EXPECT_EQ(CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {"AT+OEMX"}).strings, (Strings{"value", "OK"}));
    Lines many;
    for (int i = 0; i < 300; ++i) many.push_back("line " + std::to_string(i));
    many.push_back("OK");
    modem().On("AT+LIST", many);
    Strings answer = CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {"AT+LIST"}).strings;
    ASSERT_EQ(answer.size(), 256u);
    EXPECT_EQ(answer[254], "line 254");
    EXPECT_EQ(answer[255], "OK");
    EXPECT_EQ(CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {"AT+NONSENSE"}).error, RIL_E_GENERIC_FAILURE);

    modem().ClearCommands();
    for (int request : {RIL_REQUEST_CDMA_SET_SUBSCRIPTION_SOURCE, RIL_REQUEST_CDMA_SET_ROAMING_PREFERENCE}) {
        Completion c = Call(request);
        EXPECT_EQ(c.error, RIL_E_SUCCESS);
        EXPECT_EQ(c.length, 0u);
    }
    for (int request : {RIL_REQUEST_RESET_RADIO, RIL_REQUEST_OEM_HOOK_RAW, RIL_REQUEST_CDMA_QUERY_ROAMING_PREFERENCE}) {
        if (Hidl() && request == RIL_REQUEST_RESET_RADIO) continue;  // the 8-13 daemon never sends it
        EXPECT_EQ(Call(request).error, RIL_E_REQUEST_NOT_SUPPORTED) << request;
    }
    EXPECT_TRUE(modem().Commands().empty());
}

// Every module type answers the device requests and the card requests its own way.
struct ModuleCase {
    ModuleType type;
    int notReady, ready;
    bool cdma, nv;
};

void PrintTo(const ModuleCase &k, std::ostream *os) {
    *os << modemsim::ModuleTypeName(k.type);
}

class PerModuleTest : public zvtest::DevSimTest, public ::testing::WithParamInterface<ModuleCase> {};

TEST_P(PerModuleTest, AnswersTheDeviceAndCardRequests) {
    const ModuleCase &k = GetParam();
    Start(k.type);
    Settle(k.ready);
    int off = 0, on = 1;
    EXPECT_EQ(Call(RIL_REQUEST_RADIO_POWER, &off, sizeof off).error, RIL_E_SUCCESS);
    EXPECT_EQ(RadioState(), RADIO_STATE_OFF);
    size_t from = daemon_.UnsolicitedCount();
    EXPECT_EQ(Call(RIL_REQUEST_RADIO_POWER, &on, sizeof on).error, RIL_E_SUCCESS);
    EXPECT_TRUE(WaitRadioState(k.ready));
    EXPECT_TRUE(LogContains("SetRadioState: sState=" + std::to_string(k.notReady)));
    EXPECT_GE(daemon_.UnsolicitedCount() - from, 2u);

    if (!Hidl()) {  // the 8-13 daemon asks for identities only through DEVICE_IDENTITY
        EXPECT_EQ(Call(RIL_REQUEST_GET_IMEI).error, RIL_E_SUCCESS);
        EXPECT_EQ(Call(RIL_REQUEST_GET_IMEISV).error, k.cdma ? RIL_E_GENERIC_FAILURE : RIL_E_SUCCESS);
    }
    EXPECT_EQ(Call(RIL_REQUEST_BASEBAND_VERSION).error, RIL_E_SUCCESS);
    Strings identity = Call(RIL_REQUEST_DEVICE_IDENTITY).strings;
    ASSERT_EQ(identity.size(), 4u);
    EXPECT_EQ(identity[0] == "(null)", k.cdma);
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SUBSCRIPTION).error, k.cdma ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_GET_IMSI).error, RIL_E_SUCCESS);

    modem().ClearCommands();
    Completion lock = CallStrings(RIL_REQUEST_QUERY_FACILITY_LOCK, {"SC", "", "7", nullptr});
    EXPECT_EQ(lock.ints, std::vector<int>{k.nv ? 1 : 0});
    EXPECT_EQ(modem().CountCommands("AT+CLCK"), k.nv ? 0u : 1u);
    RIL_CardStatus_v6 status = CardStatus();
    EXPECT_EQ(status.applications[0].app_state, RIL_APPSTATE_READY);
    EXPECT_EQ(status.applications[0].app_type, k.cdma ? RIL_APPTYPE_RUIM : RIL_APPTYPE_USIM);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, PerModuleTest,
    ::testing::Values(ModuleCase{ModuleType::kWcdma, RADIO_STATE_SIM_NOT_READY, RADIO_STATE_SIM_READY, false, false},
                      ModuleCase{ModuleType::kTdscdma, RADIO_STATE_SIM_NOT_READY, RADIO_STATE_SIM_READY, false, false},
                      ModuleCase{ModuleType::kCdma, RADIO_STATE_RUIM_NOT_READY, RADIO_STATE_RUIM_READY, true, false},
                      ModuleCase{ModuleType::kCdmaNoCard, RADIO_STATE_NV_NOT_READY, RADIO_STATE_NV_READY, true, true}),
    [](const ::testing::TestParamInfo<ModuleCase> &info) {
        std::string name = modemsim::ModuleTypeName(info.param.type);
        for (char &c : name) c = c == '-' ? '_' : c;
        return name;
    });

}  // namespace
