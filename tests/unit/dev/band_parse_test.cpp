// The band list parser over real answer shapes and over hostile ones: which band modes an
// answer yields, what mask text each mode keeps for the setting, and that nothing is written
// outside the answer, the band table or its 15-character entries.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "dev/band_mode.h"
#include "unit/support/responses.h"

namespace {

using Ints = std::vector<int>;
using Entries = std::vector<std::pair<int, std::string>>;

zv::ATResponsePtr Response(const std::string &text) { return zvtest::Response({text}); }

struct Parsed {
    int result = 0;
    Ints answer;  // the used ints, count first
};

Parsed Parse(const char *command, const std::string &line) {
    std::string text = command;
    int answer[ZV_BAND_ANSWER_INTS] = {};
    RilMessage message = {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, text.data(), answer};
    auto response = Response(line);
    Parsed p;
    p.result = HandleDEVMessage(&message, response.get());
    if (p.result == 1) {
        EXPECT_GE(answer[0], 1);
        EXPECT_LE(answer[0], ZV_BAND_ANSWER_INTS);
        p.answer.assign(answer, answer + std::min(std::max(answer[0], 0), ZV_BAND_ANSWER_INTS));
    }
    return p;
}

Entries Table() {
    Entries out;
    for (int mode = 0; mode < ZV_BAND_MODE_COUNT; ++mode) {
        const char *entry = zv::dev::BandTableEntry(mode);
        EXPECT_LT(strnlen(entry, ZV_BAND_ENTRY_SIZE), static_cast<size_t>(ZV_BAND_ENTRY_SIZE));
        if (entry[0]) out.emplace_back(mode, entry);
    }
    return out;
}

constexpr char kEx[] = "AT^SYSCFGEX=?";
constexpr char kOld[] = "AT^SYSCFG=?";

struct ShapeCase {
    const char *name;
    const char *command;
    std::string line;
    Ints answer;
    Entries table;
};

TEST(BandParse, RealAnswerShapes) {
    const ShapeCase cases[] = {
        {"two known masks", kEx,
         "^SYSCFGEX: (\"00\",\"03\",\"02\",\"01\"),((2000000400380,\"GSM900/GSM1800/WCDMA900/WCDMA2100\"),"
         "(3fffffff,\"All Bands\")),(0-3),(0-4),((7fffffffffffffff,\"All Bands\"))",
         {3, 1, 0}, {{0, "3fffffff"}, {1, "2000000400380"}}},
        {"unknown mask spread over the groups", kEx,
         "^SYSCFGEX: (\"00\"),((4a80380,\"GSM850/GSM900/GSM1800/GSM1900/WCDMA850/WCDMA1900\")),(0-3),(0-4),,",
         {5, 1, 2, 4, 5}, {{1, "380"}, {2, "4a80000"}, {4, "4000380"}, {5, "4000380"}}},
        {"high part kept in front of eight low digits", kEx,
         "^SYSCFGEX: (\"00\"),((2000004000380,\"x\")),(0-3),(0-4),,",
         {5, 1, 2, 4, 5}, {{1, "2000000000380"}, {2, "4000000"}, {4, "4000380"}, {5, "4000380"}}},
        {"LTE firmware: every regional group and All Bands", kEx,
         "^SYSCFGEX: (\"00\",\"03\",\"02\",\"01\",\"99\"),((2000004e80380,\"GSM850/GSM900/GSM1800/GSM1900/"
         "WCDMA850/WCDMA900/WCDMA1900/WCDMA2100\"),(3fffffff,\"All Bands\")),(0-3),(0-4),((800c5,\"LTE2100/"
         "LTE1800/LTE2600/LTE900/LTE800\"),(7fffffffffffffff,\"All bands\"))",
         {7, 1, 2, 3, 4, 5, 0},
         {{0, "3fffffff"}, {1, "2000000400380"}, {2, "4a80000"}, {3, "400000"}, {4, "4400380"}, {5, "4000380"}}},
        {"no LTE, upper-case mask matched without regard to case", kEx,
         "^SYSCFGEX: (\"00\",\"01\",\"02\",\"0102\",\"0201\"),((3fffffff,\"All Bands\"),(2000000400180,\"GSM900/"
         "GSM1800/WCDMA900/WCDMA2100\"),(6A80000,\"GSM850/GSM1900/WCDMA850/AWS/WCDMA1900\")),(0-2),(0-4),,",
         {4, 0, 1, 2}, {{0, "3fffffff"}, {1, "2000000400180"}, {2, "6A80000"}}},
        {"old firmware, no blank after the colon, (0) order list", kOld,
         "^SYSCFG:(2,13,14,16),(0),((2000000400380,\"GSM900/GSM1800/WCDMA900/WCDMA2100\"),(280000,\"GSM850/"
         "GSM1900\"),(3fffffff,\"All bands\")),(0-2),(0-4)",
         {4, 1, 2, 0}, {{0, "3fffffff"}, {1, "2000000400380"}, {2, "280000"}}},
        {"old firmware, one band", kOld, "^SYSCFG:(2,13,14,16),(0-3),((400000,\"WCDMA2100\")),(0-2),(0-4)",
         {2, 1}, {{1, "400000"}}},
        {"CDMA band classes", kEx, "^SYSCFGEX: (\"00\"),((1,\"BC0\"),(80000000,\"BC17\"),(8000,\"BC16\")),(0-3)",
         {4, 6, 17, 16}, {{6, "1"}, {16, "8000"}, {17, "80000000"}}},
    };
    for (const ShapeCase &c : cases) {
        Parsed p = Parse(c.command, c.line);
        EXPECT_EQ(p.result, 1) << c.name;
        EXPECT_EQ(p.answer, c.answer) << c.name;
        EXPECT_EQ(Table(), c.table) << c.name;
    }
}

// Hostile answers: the parse may fail or find little, but it stays inside its buffers
// (checked under the address sanitizer) and never reports more than 19 modes.
TEST(BandParse, HostileAnswersStayInBounds) {
    std::string many = "^SYSCFGEX: (\"00\"),(";
    for (int i = 0; i < 40; ++i) many += "(80,\"GSM1800\"),(4a80380,\"mix\"),";
    many += "(0-3)";
    Parsed p = Parse(kEx, many);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.answer.size(), 20u);
    EXPECT_EQ(p.answer[0], 20);

    const struct {
        const char *name;
        std::string line;
        int result;
        size_t modes;
    } cases[] = {
        {"unclosed band list", "^SYSCFGEX: (\"00\",((3fffffff,\"All Bands\"),(0-3)", 0, 0},
        {"closing parentheses only", "^SYSCFGEX: )))(\"00\")),((80,\"a\")),(0-3)", 1, 1},
        {"17-digit mask", "^SYSCFGEX: (\"00\"),((12345678901234567,\"x\"),(3fffffff,\"y\")),(0-3)", 1, 1},
        {"40-digit mask", "^SYSCFGEX: (\"00\"),((" + std::string(40, 'f') + ",\"x\")),(0-3)", 1, 0},
        {"mask that is not hex", "^SYSCFGEX: (\"00\"),((zz80,\"x\")),(0-3)", 1, 0},
        {"missing names", "^SYSCFGEX: (\"00\"),((400000),(80)),(0-3)", 1, 1},
        {"name never closed", "^SYSCFGEX: (\"00\"),((400000,\"WCDMA", 0, 0},
        {"list without its end", "^SYSCFGEX: (\"00\"),((400000,\"W\"))", 0, 0},
        {"no colon", "SYSCFGEX (\"00\"),((80,\"a\")),(0-3)", 0, 0},
        {"empty", "", 0, 0},
        {"long garbage", "^SYSCFGEX: (\"00\"),(" + std::string(9000, '('), 0, 0},
    };
    for (const auto &c : cases) {
        Parsed q = Parse(kEx, c.line);
        EXPECT_EQ(q.result, c.result) << c.name;
        if (q.result == 1) {
            EXPECT_EQ(q.answer.size(), c.modes + 1) << c.name;
        }
        Table();  // every entry terminated inside its 16 bytes
    }

    RilMessage noData = {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, nullptr, nullptr};
    auto r = Response("^SYSCFGEX: (\"00\"),((80,\"a\")),(0-3)");
    EXPECT_EQ(QueryAvailableBandMode(&noData, r.get()), 0);
    EXPECT_EQ(QueryAvailableBandMode(nullptr, r.get()), 0);
}

// What the answer shapes above do not reach: letter case and length of known masks, the
// third GSM900 bit and WCDMA1700, and the pieces of a split.
TEST(BandParse, MasksNamesAndPieces) {
    EXPECT_EQ(MatchBandsbyStatus("3FFFFFFF"), 0);
    EXPECT_EQ(MatchBandsbyStatus("3fffffffff"), -1);
    EXPECT_EQ(MatchBandsbyStatus(nullptr), -1);

    BandGroup groups[ZV_BAND_GROUP_COUNT];
    MatchBandsbyBandName(zv::dev::kBandNameList, 0x40000, 0x100000, groups);
    EXPECT_EQ(groups[0].mask_text, nullptr);
    EXPECT_STREQ(groups[1].mask_text, "100000");
    EXPECT_EQ(groups[2].mask_text, nullptr);
    EXPECT_STREQ(groups[3].mask_text, "4000000000000");
    for (BandGroup &g : groups) free(g.mask_text);

    std::vector<std::string> pieces;
    BandNode *head = Split("/GSM850//GSM900::x/", "/");
    for (BandNode *n = head; n; n = n->next) pieces.push_back(n->text);
    FreeBandNodes(head);
    EXPECT_EQ(pieces, (std::vector<std::string>{"", "GSM850", "", "GSM900::x"}));
    EXPECT_EQ(Split(nullptr, "/"), nullptr);
}

}  // namespace
