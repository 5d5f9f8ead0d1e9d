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

// The 8-13 daemon's record: all unknown to start with, the fields a line sets, the TD-SCDMA
// RSCP only there (and never through the v6 parser the socket paths use).
TEST(MmSignal, FiftySixByteRecord) {
    const std::vector<int> none = {99, 99, -1, -1, -1, -1, -1, 99, kU, kU, kU, kU, kU, kU};
    struct {
        std::string line;
        bool ok;
        std::vector<std::pair<size_t, int>> set;
    } cases[] = {
        {"^HCSQ: \"TD-SCDMA\",70,40,32", true, {{0, 31}, {13, 81}}},
        {"^HCSQ: \"TD-SCDMA\",70,0", true, {{0, 31}, {13, 120}}},
        {"^HCSQ: \"TD-SCDMA\",70,96", true, {{0, 31}, {13, 25}}},
        {"^HCSQ: \"TD-SCDMA\",70,97", true, {{0, 31}}},
        {"^HCSQ: \"TD-SCDMA\",70", true, {{0, 31}}},
        {"^HCSQ: \"WCDMA\",50,40,35", true, {{0, 21}}},
        {"^HCSQ: \"LTE\",60,70,20", true, {{7, 26}, {8, 71}, {10, -160}}},
        {"+CSQ: 25", false, {{0, 25}}},
    };
    ModuleScope scope(2, 6);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        Responses r({{c.line}});
        ZvSignalStrength_v10 s = zv::mm::UnknownSignalV10();
        EXPECT_EQ(zv::mm::FillSignalV10(r.list(), &s), c.ok);
        std::vector<int> want = none;
        for (auto [index, value] : c.set) want[index] = value;
        const int *p = reinterpret_cast<const int *>(&s);
        EXPECT_EQ(std::vector<int>(p, p + 14), want);
    }
    Responses r({{"^HCSQ: \"TD-SCDMA\",70,40,32"}});
    ZvSignalStrength_v10 s = zv::mm::UnknownSignalV10();
    RilMessage m{19, nullptr, &s.v6};
    EXPECT_EQ(HandleNetworkMessage(&m, r.list()), 1);
    EXPECT_EQ(s.tdScdmaRscp, kU);
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
