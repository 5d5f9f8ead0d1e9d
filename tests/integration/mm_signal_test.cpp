// Signal strength end to end: the request on each module type with its fallbacks, and the
// modem's own reports turned into 1009 with the record size of the platform.
#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;
using I = std::vector<int>;
constexpr int kU = 0x7FFFFFFF;

class MmSignal : public zvtest::MmTest {};

TEST_F(MmSignal, WcdmaRequestAndReports) {
    StartModule(ModuleType::kWcdma);
    zvtest::Completion c = Call(RIL_REQUEST_SIGNAL_STRENGTH);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, (I{20, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}));
    EXPECT_TRUE(modem().WaitForCommand("AT^HCSQ?", 1000));

    // A module without ^HCSQ: +CSQ in its extended scale.
    modem().Update([](modemsim::ModelState &s) { s.network.hcsq = false; });
    modem().On("AT+CSQ", {"+CSQ: 150,99", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, (I{17, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}));
    modem().On("AT+CSQ", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).error, RIL_E_GENERIC_FAILURE);

    // Reports: LTE levels in the modem's order rssi, rsrp, sinr, rsrq.
    modem().Update([](modemsim::ModelState &s) { s.network.hcsq = true; });
    modemsim::HandOver(modem(), modemsim::Tech::kLte);
    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetSignal(modem(), 25);
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99, -1, -1, -1, -1, -1, 25, 71, 10, 0, -1}));
    modem().Inject("^RSSI: 20");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{20, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}));
    modem().Inject("^HCSQ: \"NOSERVICE\"");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}));
    // Lines that do not read are not reported; the next good one is.
    modem().Inject("^RSSI:");
    modem().Inject("^RSSI: x");
    modem().Inject("^CSNR: 5");
    modem().Inject("^RSSI: 199");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints[0], 99);
    EXPECT_EQ(CountSince(RIL_UNSOL_SIGNAL_STRENGTH, 0), 4u);
}

TEST_F(MmSignal, CdmaRequestAndReports) {
    StartModule(ModuleType::kCdma);
    zvtest::Completion c = Call(RIL_REQUEST_SIGNAL_STRENGTH);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, (I{-1, -1, 85, -12, 90, -10, 5}));
    EXPECT_TRUE(modem().ExpectCommands({"AT^CSQLVL", "AT^HDRCSQLVL "}, 1000));
    modem().On("AT^CSQLVL", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, (I{-1, -1, -1, -1, 90, -10, 5}));
    modem().OnPrefix("AT^HDRCSQLVL", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).error, RIL_E_GENERIC_FAILURE);

    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetSignal(modem(), 31);
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99, 75, 99, 99, 99, 99}));
    modem().Inject("^CRSSI: 0");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99, 125, 99, 99, 99, 99}));
    modem().Inject("^HDRRSSI: 40");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99, 99, 99, 40, 99, 99}));
}

TEST_F(MmSignal, OlderPlatformGetsTheShortRecord) {
    StartModule(ModuleType::kTdscdma, {}, "2.3.7");
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^RSSI: 20");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{20, 99}));
    modem().Inject("^HCSQ: \"LTE\",60,70,100,20");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, (I{99, 99}));
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, (I{20, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}));
}

}  // namespace
