// Signal strength end to end: the request on each module type with its fallbacks, and the
// modem's own reports turned into 1009 with the record size of the platform. Expected records
// are the generation's "nothing known" record with the fields a line sets.
#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;
using I = std::vector<int>;
constexpr int kU = 0x7FFFFFFF;

class MmSignal : public zvtest::MmTest {
  protected:
    // The 8-13 daemon's 56 bytes know nothing alike for every module; the socket daemon's
    // 3GPP v6 record and its CDMA v5 records (request -1, reports 99) each start their own way.
    I None3gpp() const { return hidl_ ? kNone56 : I{99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}; }
    I NoneCdma(int socketFill) const { return hidl_ ? kNone56 : I(7, socketFill); }
    static I With(I record, std::initializer_list<std::pair<size_t, int>> fields) {
        for (auto [index, value] : fields) record.at(index) = value;
        return record;
    }
    const I kNone56 = {99, 99, -1, -1, -1, -1, -1, 99, kU, kU, kU, kU, kU, kU};
};

TEST_F(MmSignal, WcdmaRequestAndReports) {
    StartModule(ModuleType::kWcdma);
    zvtest::Completion c = Call(RIL_REQUEST_SIGNAL_STRENGTH);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, With(None3gpp(), {{0, 20}}));
    EXPECT_TRUE(modem().WaitForCommand("AT^HCSQ?", 1000));

    // A module without ^HCSQ: +CSQ in its extended scale.
    modem().Update([](modemsim::ModelState &s) { s.network.hcsq = false; });
    modem().On("AT+CSQ", {"+CSQ: 150,99", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, With(None3gpp(), {{0, 17}}));
    modem().On("AT+CSQ", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).error, RIL_E_GENERIC_FAILURE);

    // Reports: LTE levels in the modem's order rssi, rsrp, sinr, rsrq.
    modem().Update([](modemsim::ModelState &s) { s.network.hcsq = true; });
    modemsim::HandOver(modem(), modemsim::Tech::kLte);
    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetSignal(modem(), 25);
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(None3gpp(), {{7, 25}, {8, 71}, {9, 10}, {10, 0}}));
    modem().Inject("^RSSI: 20");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(None3gpp(), {{0, 20}}));
    modem().Inject("^HCSQ: \"NOSERVICE\"");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, None3gpp());
    // Lines that do not read are not reported; the next good one is.
    modem().Inject("^RSSI:");
    modem().Inject("^RSSI: x");
    modem().Inject("^CSNR: 5");
    modem().Inject("^RSSI: 199");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints[0], 99);
    EXPECT_EQ(CountSince(RIL_UNSOL_SIGNAL_STRENGTH, 0), 4u);
}

TEST_F(MmSignal, TdscdmaRscpOnlyWhereTheRecordHasIt) {
    StartModule(ModuleType::kTdscdma);
    modem().On("AT^HCSQ?", {"^HCSQ: \"TD-SCDMA\",50,40,32", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, hidl_ ? With(None3gpp(), {{0, 21}, {13, 81}}) : With(None3gpp(), {{0, 21}}));
    size_t from = daemon_.UnsolicitedCount();
    modem().Inject("^HCSQ: \"TD-SCDMA\",50,255,32");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(None3gpp(), {{0, 21}}));
}

TEST_F(MmSignal, CdmaRequestAndReports) {
    StartModule(ModuleType::kCdma);
    zvtest::Completion c = Call(RIL_REQUEST_SIGNAL_STRENGTH);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.ints, With(NoneCdma(-1), {{2, 85}, {3, -12}, {4, 90}, {5, -10}, {6, 5}}));
    EXPECT_TRUE(modem().ExpectCommands({"AT^CSQLVL", "AT^HDRCSQLVL "}, 1000));
    modem().On("AT^CSQLVL", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).ints, With(NoneCdma(-1), {{4, 90}, {5, -10}, {6, 5}}));
    modem().OnPrefix("AT^HDRCSQLVL", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_SIGNAL_STRENGTH).error, RIL_E_GENERIC_FAILURE);

    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetSignal(modem(), 31);
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(NoneCdma(99), {{2, 75}}));
    modem().Inject("^CRSSI: 0");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(NoneCdma(99), {{2, 125}}));
    modem().Inject("^HDRRSSI: 40");
    EXPECT_EQ(Next(RIL_UNSOL_SIGNAL_STRENGTH, &from).ints, With(NoneCdma(99), {{4, 40}}));
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
