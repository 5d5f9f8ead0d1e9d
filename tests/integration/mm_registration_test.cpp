// Registration end to end: a modem that finds its network after start-up, a hand-over from
// WCDMA to LTE, the TD-SCDMA and CDMA answers, and an older platform's view of the same. The
// socket daemon takes 4 strings (3GPP) or 14 (CDMA); the 8-13 daemon 15 for voice and 6 or 11
// for data, NULL ("(null)") where nothing is known.
#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;
using modemsim::Tech;
using V = std::vector<std::string>;

constexpr const char *N = "(null)";

class MmRegistration : public zvtest::MmTest {
  protected:
    // A 3GPP answer from its state, LAC, cell and technology: as is for the socket daemon; for
    // the 8-13 daemon padded with NULL, data with one data call at a time at [5].
    V Answer(int request, V head) const {
        if (!hidl_) return head;
        const bool data = request == RIL_REQUEST_DATA_REGISTRATION_STATE;
        head.resize(data ? 6 : 15, N);
        if (data) head[5] = "1";
        return head;
    }
};

TEST_F(MmRegistration, WcdmaRegistersLateThenHandsOverToLte) {
    StartModule(ModuleType::kWcdma, [](modemsim::Modem &m) {
        m.Update([](modemsim::ModelState &s) { s.network.cs_stat = s.network.ps_stat = 2; });
    });
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE),
              Answer(RIL_REQUEST_VOICE_REGISTRATION_STATE, hidl_ ? V{"2", N, N, "3"} : V{"2", "ffffffff", "ffffffff", "3"}));
    EXPECT_TRUE(modem().ExpectCommands({"AT+CREG?", "AT^SYSINFOEX"}, 1000));

    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetRegistration(modem(), 1, 0x2540, 0x0A3B);
    Next(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, &from);
    for (int request : {RIL_REQUEST_VOICE_REGISTRATION_STATE, RIL_REQUEST_DATA_REGISTRATION_STATE})
        EXPECT_EQ(Strings(request), Answer(request, {"1", "2540", "a3b", "3"})) << request;

    const size_t before = daemon_.UnsolicitedCount();
    from = before;
    modemsim::HandOver(modem(), Tech::kLte);
    zvtest::Unsolicited tech = Next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &from);
    EXPECT_EQ(tech.ints.size(), 1u);
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, 5s, before));
    // On LTE the 8-13 daemon reads the TAC and the E-UTRAN cell from the 11-string form.
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE),
              (hidl_ ? V{"1", "2540", "a3b", "14", N, "1", "2540", N, "a3b", N, N} : V{"1", "2540", "a3b", "14"}));
    modemsim::HandOver(modem(), Tech::kHspaPlus);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "15");

    // Roaming, and a module that only knows ^SYSINFO.
    modem().On("AT^SYSINFOEX", {"ERROR"});
    modemsim::SetRegistration(modem(), 5, 0x1, 0x0A265185);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE),
              Answer(RIL_REQUEST_VOICE_REGISTRATION_STATE, {"5", "1", "a265185", "15"}));
    EXPECT_TRUE(modem().ExpectCommands({"AT+CREG?", "AT^SYSINFOEX", "AT^SYSINFO"}, 1000));
    // Denied: the modules give no reason, so the general one.
    modemsim::SetRegistration(modem(), 3);
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE),
              (hidl_ ? V{"3", N, N, "0", "0", "1"} : V{"3", "ffffffff", "ffffffff", "0"}));
    // Without any system information the answer would mislead: a failure.
    modem().On("AT^SYSINFO", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_VOICE_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
    modem().On("AT+CGREG?", {"+CME ERROR: 30"});
    EXPECT_EQ(Call(RIL_REQUEST_DATA_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(daemon_.Violations().empty());
}

TEST_F(MmRegistration, TdscdmaWithAndWithoutSysinfoex) {
    StartModule(ModuleType::kTdscdma);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), Answer(RIL_REQUEST_VOICE_REGISTRATION_STATE, {"1", "2540", "a3b", "3"}));
    modem().On("AT^SYSINFOEX", {"ERROR"});
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), Answer(RIL_REQUEST_DATA_REGISTRATION_STATE, {"1", "2540", "a3b", "3"}));
    // A ^MODE report of the module's own sub-mode (after another, as the 8-13 daemon hears
    // only of a change).
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^MODE: 15,9");
    EXPECT_EQ(Next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &from).ints, (std::vector<int>{15}));
    modem().Inject("^MODE: 15,8");
    EXPECT_EQ(Next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &from).ints, (std::vector<int>{3}));
}

class MmRegistrationCdma : public MmRegistration, public ::testing::WithParamInterface<ModuleType> {};

TEST_P(MmRegistrationCdma, AnswersFromSysinfoAndCurrsid) {
    StartModule(GetParam());
    if (hidl_) {
        EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE),
                  (V{"1", N, N, "6", N, N, N, "0", "13824", "65535", "1", "1", "1", N, N}));
        EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), (V{"1", N, N, "6", N, "1"}));
    } else {
        const V want = {"1", N, N, "6", "-1", "2147483647", "2147483647", "0", "13824", "65535", "1", "1", "1", "0"};
        EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE), want);
        EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE), want);
    }
    EXPECT_EQ(modem().CountCommands("AT+CREG"), 0u);
    modem().On("AT^SYSINFO", {"^SYSINFO: 2,3,1,4,1,,0", "OK"});
    modem().On("AT^CURRSID?", {"^CURRSID: 13824,1", "OK"});
    V evdo = Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE);
    EXPECT_EQ((V{evdo[0], evdo[3], evdo[8], evdo[9]}), (V{"5", "8", "13824", "1"}));
    // Roaming as the 8-13 daemon's TSB-58 indicator (0: on); the socket answer never said so.
    EXPECT_EQ(evdo[10], hidl_ ? "0" : "1");
    EXPECT_EQ(Strings(RIL_REQUEST_DATA_REGISTRATION_STATE).size(), hidl_ ? 6u : 14u);
    modem().On("AT^CURRSID?", {"^CURRSID: 13824", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_VOICE_REGISTRATION_STATE).error, RIL_E_GENERIC_FAILURE);
}

INSTANTIATE_TEST_SUITE_P(CardAndNv, MmRegistrationCdma, ::testing::Values(ModuleType::kCdma, ModuleType::kCdmaNoCard),
                         [](const ::testing::TestParamInfo<ModuleType> &info) {
                             return std::string(info.param == ModuleType::kCdma ? "Card" : "Nv");
                         });

TEST_F(MmRegistration, OlderPlatformHoldsBackNewerTechnologies) {
    StartModule(ModuleType::kWcdma, {}, "2.3.7");
    modemsim::HandOver(modem(), Tech::kLte);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "0");
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^MODE: 5,9");
    Next(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED, &from);
    // The 2.3 daemon hears no technology report; the 8-13 one hears each change, held back too.
    for (const zvtest::Unsolicited &u : daemon_.UnsolicitedSince(0)) {
        EXPECT_TRUE(u.id != RIL_UNSOL_VOICE_RADIO_TECH_CHANGED || (hidl_ && u.ints != std::vector<int>{RADIO_TECH_LTE}));
    }
    modemsim::HandOver(modem(), Tech::kHspaPlus);
    EXPECT_EQ(Strings(RIL_REQUEST_VOICE_REGISTRATION_STATE)[3], "11");
}

}  // namespace
