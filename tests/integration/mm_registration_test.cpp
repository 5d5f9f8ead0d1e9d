// Registration end to end: a modem that finds its network after start-up, a hand-over from
// WCDMA to LTE, the TD-SCDMA and CDMA answers, and an older platform's view of the same.
#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;
using modemsim::Tech;
using V = std::vector<std::string>;

class MmRegistration : public zvtest::MmTest {};

TEST_F(MmRegistration, WcdmaRegistersLateThenHandsOverToLte) {
    StartModule(ModuleType::kWcdma, [](modemsim::Modem &m) {
        m.Update([](modemsim::ModelState &s) { s.network.cs_stat = s.network.ps_stat = 2; });
    });
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), (V{"2", "ffffffff", "ffffffff", "3"}));
    EXPECT_TRUE(modem().ExpectCommands({"AT+CREG?", "AT^SYSINFOEX"}, 1000));

    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetRegistration(modem(), 1, 0x2540, 0x0A3B);
    Next(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, &from);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), (V{"1", "2540", "a3b", "3"}));
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), (V{"1", "2540", "a3b", "3"}));

    const size_t before = daemon_.UnsolicitedCount();
    from = before;
    modemsim::HandOver(modem(), Tech::kLte);
    zvtest::Unsolicited tech = Next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &from);
    EXPECT_EQ(tech.ints.size(), 1u);
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, 5s, before));
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), (V{"1", "2540", "a3b", "14"}));
    modemsim::HandOver(modem(), Tech::kHspaPlus);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "15");

    // Roaming, and a module that only knows ^SYSINFO.
    modem().On("AT^SYSINFOEX", {"ERROR"});
    modemsim::SetRegistration(modem(), 5, 0x1, 0x0A265185);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), (V{"5", "1", "a265185", "15"}));
    EXPECT_TRUE(modem().ExpectCommands({"AT+CREG?", "AT^SYSINFOEX", "AT^SYSINFO"}, 1000));
    // Without any system information the answer would mislead: a failure.
    modem().On("AT^SYSINFO", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_VOICE_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
    modem().On("AT+CGREG?", {"+CME ERROR: 30"});
    EXPECT_EQ(Call(RIL_REQUEST_DATA_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(daemon_.Violations().empty());
}

TEST_F(MmRegistration, TdscdmaWithAndWithoutSysinfoex) {
    StartModule(ModuleType::kTdscdma);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), (V{"1", "2540", "a3b", "3"}));
    modem().On("AT^SYSINFOEX", {"ERROR"});
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), (V{"1", "2540", "a3b", "3"}));
    // A ^MODE report of the module's own sub-mode.
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^MODE: 15,8");
    EXPECT_EQ(Next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &from).ints, (std::vector<int>{3}));
}

TEST_F(MmRegistration, CdmaAnswersFromSysinfoAndCurrsid) {
    StartModule(ModuleType::kCdma);
    const V want = {"1", "(null)", "(null)", "6", "-1", "2147483647", "2147483647", "0", "13824", "65535", "1", "1", "1", "0"};
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), want);
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), want);
    EXPECT_EQ(modem().CountCommands("AT+CREG"), 0u);
    modem().On("AT^SYSINFO", {"^SYSINFO: 2,3,1,4,1,,0", "OK"});
    modem().On("AT^CURRSID?", {"^CURRSID: 13824,1", "OK"});
    V evdo = Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE);
    EXPECT_EQ((V{evdo[0], evdo[3], evdo[8], evdo[9]}), (V{"5", "8", "13824", "1"}));
    modem().On("AT^CURRSID?", {"^CURRSID: 13824", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_VOICE_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(MmRegistration, OlderPlatformHoldsBackNewerTechnologies) {
    StartModule(ModuleType::kWcdma, {}, "2.3.7");
    modemsim::HandOver(modem(), Tech::kLte);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "0");
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^MODE: 5,9");
    Next(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, &from);
    EXPECT_EQ(CountSince(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, 0), 0u);
    modemsim::HandOver(modem(), Tech::kHspaPlus);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "11");
}

}  // namespace
