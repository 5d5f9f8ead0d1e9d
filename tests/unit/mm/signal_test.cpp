// The signal parser over every line form and the three ^HCSQ converters at their borders,
// including the LTE field order (rssi, rsrp, sinr, rsrq) of real modules.
#include <gtest/gtest.h>

#include "mm/mm.h"
#include "unit/mm/mm_test_util.h"

namespace {

using zvtest::ModuleScope;
using zvtest::Responses;

constexpr int kU = 0x7FFFFFFF;

RIL_SignalStrength_v6 Initial() {
    return {{99, 99}, {-1, -1}, {-1, -1, -1}, {-1, -1, -1, kU, -1}};
}

std::vector<int> Values(const RIL_SignalStrength_v6 &s) {
    const int *p = reinterpret_cast<const int *>(&s);
    return std::vector<int>(p, p + 12);
}

TEST(MmSignal, EveryLineForm) {
    struct {
        int version;
        std::string line;
        int ok;
        std::vector<int> want;  // the 12 values
    } cases[] = {
        {6, "^HCSQ: \"WCDMA\",50,40,35", 1, {21, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ: \"GSM\",36,255", 1, {14, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ:\"TD-SCDMA\",70", 1, {31, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        // LTE: rssi 60 -> 26, rsrp 70 -> 71, sinr 100 -> 0 dB, rsrq 20 -> 10.
        {6, "^HCSQ: \"LTE\",60,70,100,20", 1, {99, 99, -1, -1, -1, -1, -1, 26, 71, 10, 0, -1}},
        {6, "^HCSQ:\"LTE\",30,19,66,0", 1, {99, 99, -1, -1, -1, -1, -1, 11, 122, 20, -68, -1}},
        // Without the fourth level the RSRQ stays unknown; a SINR beyond range is unknown.
        {6, "^HCSQ: \"LTE\",60,70,20", 1, {99, 99, -1, -1, -1, -1, -1, 26, 71, -1, -160, -1}},
        {6, "^HCSQ: \"LTE\",60,70,255,34", 1, {99, 99, -1, -1, -1, -1, -1, 26, 71, 3, kU, -1}},
        {1, "^HCSQ: \"LTE\",60,70,100,20", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ: \"NOSERVICE\"", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ: \"GSM\"", 1, {0, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ: \"5G\",1,2", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HCSQ: \"WCDMA\",abc", 1, {0, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ: 150,99", 1, {17, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ: 199,99", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ: 100,3", 1, {0, 3, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ: 190,3", 1, {30, 3, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ:4,0", 1, {4, 0, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "+CSQ: 25", 0, {25, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^RSSI: 20", 1, {20, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^RSSI:", 0, {0, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CSQLVL: 3,99,-85,-12", 1, {99, 99, 85, -12, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CSQLVL: 3,99", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HDRCSQLVL: 2,-90,-10,5", 1, {99, 99, -1, -1, 90, -10, 5, -1, -1, -1, kU, -1}},
        {6, "^CRSSI: 0", 1, {99, 99, 125, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CRSSI: 1", 1, {99, 99, 70, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CRSSI: 30", 1, {99, 99, 52, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CRSSI: 31", 1, {99, 99, 75, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^HDRRSSI: 40", 1, {99, 99, -1, -1, 40, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CRSSI: x", 0, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
        {6, "^CSNR: 5", 1, {99, 99, -1, -1, -1, -1, -1, -1, -1, -1, kU, -1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        ModuleScope scope(1, c.version);
        Responses r({{c.line}});
        RIL_SignalStrength_v6 s = Initial();
        RilMessage m{19, nullptr, &s};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), c.ok);
        EXPECT_EQ(Values(s), c.want);
    }
    // A CDMA answer where only the EVDO query answered, and an empty list.
    Responses r({{}, {"^HDRCSQLVL: 2,-90,-10,5"}});
    RIL_SignalStrength_v6 s = Initial();
    RilMessage m{19, nullptr, &s};
    EXPECT_EQ(GetSignalStrength(&m, r.list()), 1);
    EXPECT_EQ(s.CDMA_SignalStrength.dbm, -1);
    EXPECT_EQ(s.EVDO_SignalStrength.dbm, 90);
    ATResponse *none[] = {nullptr};
    EXPECT_EQ(GetSignalStrength(&m, none), 1);
    EXPECT_EQ(GetSignalStrength(nullptr, none), 0);
}

// The 8-13 daemon's record: the TD-SCDMA RSCP at its borders and in the tail, which the v6
// parser of the socket paths leaves alone; an LTE line without RSRQ leaves it unknown.
TEST(MmSignal, FiftySixByteRecord) {
    const std::pair<int, int> rscp[] = {{0, 120}, {1, 120}, {40, 81}, {96, 25}, {97, kU}, {255, kU}, {-1, kU}};
    for (auto [in, out] : rscp) EXPECT_EQ(zv::mm::SignalTdScdmaRscpToReal(in), out) << in;
    ModuleScope scope(2, 6);
    const std::vector<std::vector<std::string>> lines = {{"^HCSQ: \"TD-SCDMA\",70,40"}, {"^HCSQ: \"LTE\",60,70,20"}};
    Responses socket(lines), hidl(lines);
    ZvSignalStrength_v10 s = zv::mm::UnknownSignalV10();
    RilMessage m{19, nullptr, &s.v6};
    EXPECT_EQ(HandleNetworkMessage(&m, socket.list()), 1);
    EXPECT_EQ(s.tdScdmaRscp, kU);
    s = zv::mm::UnknownSignalV10();
    EXPECT_TRUE(zv::mm::FillSignalV10(hidl.list(), &s));
    const int *p = reinterpret_cast<const int *>(&s);
    EXPECT_EQ(std::vector<int>(p, p + 14), (std::vector<int>{31, 99, -1, -1, -1, -1, -1, 26, 71, kU, -160, kU, kU, 81}));
    EXPECT_FALSE(zv::mm::FillSignalV10(nullptr, &s));
}

TEST(MmSignal, ConvertersAtTheirBorders) {
    const std::pair<int, int> rssi[] = {{-5, 0}, {0, 0}, {8, 0}, {9, 0}, {10, 1}, {50, 21}, {70, 31}, {71, 31}, {254, 31}, {255, 99}, {1000, 99}};
    for (auto [in, out] : rssi) EXPECT_EQ(SignalWcdmaRssiToReal(in), out) << in;
    const std::pair<int, int> rsrp[] = {{0, 140}, {1, 140}, {96, 45}, {97, 44}, {98, 140}, {200, 140}, {255, 44}, {-1, 140}};
    for (auto [in, out] : rsrp) EXPECT_EQ(SignalLteRsrpToReal(in), out) << in;
    const std::pair<int, int> rsrq[] = {{0, 20}, {1, 19}, {2, 19}, {3, 18}, {34, 3}, {35, 20}, {-1, 20}, {255, 20}};
    for (auto [in, out] : rsrq) EXPECT_EQ(SignalLteRsrqToReal(in), out) << in;
}

}  // namespace
