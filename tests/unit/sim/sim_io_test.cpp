// SIM I/O: the +CRSM answer parser, the FCP rewrites with well-formed and hostile answers,
// the tag search, and the request over a real channel to the simulated modem (command forms,
// refusals before anything is sent, the long-form switch and the bounded retries).
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>
#include <modemsim/simfiles.h>

#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "sim/sim_io.h"
#include "unit/support/library_env.h"
#include "unit/support/modem_channel.h"

namespace {

using modemsim::Modem;
namespace files = modemsim::simfiles;

struct Parsed {
    int filled;
    int sw1, sw2;
    std::string data;  // "(null)" when absent
};

Parsed Parse(const char *line) {
    std::string copy = line;
    ATLine l = {nullptr, copy.data()};
    ATResponse r = {1, nullptr, &l};
    RIL_SIM_IO_Response out = {-1, -1, nullptr};
    RilMessage m = {RIL_REQUEST_SIM_IO, nullptr, &out};
    Parsed p;
    p.filled = HandleSIMMessage(&m, &r);
    p.sw1 = out.sw1;
    p.sw2 = out.sw2;
    p.data = out.simResponse ? out.simResponse : "(null)";
    free(out.simResponse);
    return p;
}

TEST(SimIoParse, CrsmAnswersAsModemsWriteThem) {
    struct Case {
        const char *line;
        int filled, sw1, sw2;
        const char *data;
    } cases[] = {
        {"+CRSM: 144, 0,0054485552415941FFFFFFFFFFFFFFFFFF", 1, 144, 0, "0054485552415941FFFFFFFFFFFFFFFFFF"},
        {"+CRSM: 144, 0,\"0054485552415941FFFFFFFFFFFFFFFFFF\"", 1, 144, 0, "0054485552415941FFFFFFFFFFFFFFFFFF"},
        {"+CRSM: 144,0", 1, 144, 0, "(null)"},
        {"+CRSM: 144,0,", 1, 144, 0, "(null)"},
        {"+CRSM: 106,130", 1, 106, 130, "(null)"},
        {"+CRSM: 144,0,\"\"", 1, 144, 0, ""},
        {"+CRSM: 144,0,\"62", 1, 144, 0, "62"},  // unterminated quote: the rest
        {"+CRSM: 144", 0, -1, -1, "(null)"},
        {"+CRSM: ,0", 0, -1, -1, "(null)"},
        {"+CRSM 144,0", 0, -1, -1, "(null)"},
        {"+CRSM:", 0, -1, -1, "(null)"},
    };
    for (const Case &c : cases) {
        Parsed p = Parse(c.line);
        EXPECT_EQ(p.filled, c.filled) << c.line;
        if (c.filled) {
            EXPECT_EQ(p.sw1, c.sw1) << c.line;
            EXPECT_EQ(p.sw2, c.sw2) << c.line;
            EXPECT_EQ(p.data, c.data) << c.line;
        }
    }
    RilMessage noOutput = {RIL_REQUEST_SIM_IO, nullptr, nullptr};
    EXPECT_EQ(FillSIMResponse(&noOutput, nullptr), 0);
}

int Match(std::vector<std::string> tokens, const char *tag) {
    std::vector<char *> p;
    for (auto &t : tokens) p.push_back(t.data());
    char **array = p.data();
    return isParameterMatch(&array, tag, static_cast<int>(p.size()));
}

TEST(SimIoParse, TagSearchStaysInsideTheTokens) {
    EXPECT_EQ(Match({"62", "08", "82", "02", "41", "21", "80", "02", "00", "11"}, "80"), 6);
    EXPECT_EQ(Match({"62", "08", "82", "02", "41", "21", "80", "02", "00", "11"}, "83"), 10);
    EXPECT_EQ(Match({"6F", "08", "80", "02"}, "80"), -1) << "not an FCP";
    EXPECT_GE(Match({"62", "08", "82", "FF", "80", "02"}, "80"), 6) << "length past the end";
    EXPECT_GE(Match({"62", "08", "82"}, "80"), 3) << "tag without a length";
    EXPECT_GE(Match({"62", "08", "82", "G1", "80", "02"}, "80"), 6) << "length not hex";
    EXPECT_EQ(Match({"62"}, "80"), 2);
    EXPECT_EQ(isParameterMatch(nullptr, "80", 4), -1);
    char **none = nullptr;
    EXPECT_EQ(isParameterMatch(&none, "80", 0), -1);
}

TEST(SimIoRewrite, RecordFileFcpBecomesTheGsmLayout) {
    // Ten records of 28 bytes, file 6F3A.
    const std::string fcp = "621A8205422100" "1C0A" "83026F3A" "8A0105" "8B036F0601" "80020118" "880140";
    std::string hex = fcp;
    ASSERT_TRUE(zv::sim::ConvertRecordFcp(hex));
    EXPECT_EQ(hex.size(), 30u);
    EXPECT_EQ(hex.substr(0, 8), "00000118");
    EXPECT_EQ(hex.substr(8, 4), "6F3A");
    EXPECT_EQ(hex.substr(12, 2), "04");
    EXPECT_EQ(hex.substr(26, 2), "01");
    EXPECT_EQ(hex.substr(28, 2), "1C");
    // The simulator's USIM answers the same way.
    modemsim::SimFile adn = modemsim::DefaultSimFiles()[files::kEfAdn];
    hex = files::UsimFcp(files::kEfAdn, adn).substr(0, 30);
    ASSERT_TRUE(zv::sim::ConvertRecordFcp(hex));
    EXPECT_EQ(hex.substr(0, 12), files::GsmGetResponse(files::kEfAdn, adn).substr(0, 12));

    // Answers that must pass untouched: short, odd, not hex, not an FCP, not a record file.
    const std::string untouched[] = {
        "", "62", fcp.substr(0, 28), fcp.substr(0, 29), "621A8205422100" "1C0A" "83026F3Z" "8A0105",
        "6F1A8205422100" "1C0A" "83026F3A" "8A0105", "621A8202412183026F3A8A01058B036F0601",
    };
    for (const std::string &u : untouched) {
        std::string copy = u;
        EXPECT_FALSE(zv::sim::ConvertRecordFcp(copy)) << u;
        EXPECT_EQ(copy, u);
    }
}

TEST(SimIoRewrite, SpnFcpGetsSizeTypeAndStructureWhereGsmKeepsThem) {
    modemsim::SimFile spn = modemsim::DefaultSimFiles()[files::kEfSpn];
    std::string hex = files::UsimFcp(files::kEfSpn, spn);
    EXPECT_EQ(zv::sim::DeclaredFcpLength(hex), static_cast<int>(hex.size() / 2 - 2));
    ASSERT_TRUE(zv::sim::RewriteSpnFcp(hex));
    EXPECT_EQ(hex.substr(4, 4), "0011") << "file size from tag 80";
    EXPECT_EQ(hex.substr(12, 2), "04") << "type of file";
    EXPECT_EQ(hex.substr(26, 2), "00") << "transparent";

    // A tag length that runs past the end: the size is not copied from outside the answer.
    std::string cut = "6230" "8202" "4121" "8302" "6F46" "8AFF" "05" "8B036F0601" "80020011";
    ASSERT_TRUE(zv::sim::RewriteSpnFcp(cut));
    EXPECT_EQ(cut.substr(4, 4), "8202");
    for (std::string bad : {std::string("62"), std::string("6217820241218302"), std::string(28, 'Z'),
                            std::string("6217") + std::string(25, '0'), std::string("6F") + std::string(40, '0')}) {
        const std::string before = bad;
        EXPECT_FALSE(zv::sim::RewriteSpnFcp(bad)) << before;
        EXPECT_EQ(bad, before);
    }
}

// The request over a real channel.
class SimIoRequest : public zvtest::ChannelTest<> {
  protected:
    SimIoRequest() : ChannelTest({{&bCRSM, 1}, {&bSPN, 1}, {&ANDROID_VERSION, 6}}) {}
    RIL_Errno Io(int command, int fileid, const char *path, int p3 = 15, const char *data = nullptr) {
        RIL_SIM_IO_v6 io = {command, fileid, const_cast<char *>(path), 0, 0, p3, const_cast<char *>(data), nullptr,
                            nullptr};
        return CompleteOnce(ZvRilSIMRequest, RIL_REQUEST_SIM_IO, &io, sizeof io);
    }
};

TEST_F(SimIoRequest, RefusedBeforeAnythingIsSent) {
    struct Case {
        const char *path;
        const char *data;
    } cases[] = {
        {"3F007F1", nullptr},  {"3F007F10\"", nullptr}, {"3F00\r\n7F", nullptr}, {"3F0G7F10", nullptr},
        {"3F007F10", "00\""}, {"3F007F10", "0G"},       {"3F007F10", "ABC"},      {"3F007F10", "41\x1a"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Io(214, 0x6F46, c.path, 1, c.data), RIL_E_GENERIC_FAILURE) << c.path;
    }
    EXPECT_TRUE(env_.Logged("RequestSIMIO: p_args->data is illegal!"));
    CompleteOnce(ZvRilSIMRequest, RIL_REQUEST_SIM_IO, nullptr, 0);
    EXPECT_EQ(modem_.Commands().size(), 0u);
}

TEST_F(SimIoRequest, ShortGetResponseSwitchesToTheLongFormForGood) {
    EXPECT_EQ(Io(192, 28474, "3F007F10"), RIL_E_SUCCESS);
    EXPECT_EQ(zv::Load(bCRSM), 0);
    EXPECT_EQ(Io(192, 28474, "3F007F10"), RIL_E_SUCCESS);
    EXPECT_EQ(Io(214, files::kEfSpn, "3F007FFF", 1, "0a"), RIL_E_SUCCESS);
    const std::vector<std::string> want = {
        "AT+CRSM=192,28474,,,,,\"3F007F10\"", "AT+CRSM=192,28474,0,0,15,,\"3F007F10\"",
        "AT+CRSM=192,28474,0,0,15,,\"3F007F10\"", "AT+CRSM=214,28486,0,0,1,\"0A\",\"3F007FFF\"",
    };
    EXPECT_EQ(modem_.Commands(), want);
    // The long form failing after an empty short answer fails the request.
    zv::Store(bCRSM, 1);
    modem_.On("AT+CRSM=192,28474,0,0,15,,\"3F007F10\"", {"ERROR"});
    EXPECT_EQ(Io(192, 28474, "3F007F10"), RIL_E_GENERIC_FAILURE);
}

TEST_F(SimIoRequest, HostileSpnLengthCannotChainCommands) {
    zv::Store(ANDROID_VERSION, 4);
    // Always a cut FCP that claims more than it carries.
    modem_.OnPrefix("AT+CRSM=192,28486", {"+CRSM: 144,0,\"62FF8202412183026F46\"", "OK"});
    EXPECT_EQ(Io(192, files::kEfSpn, "3F007FFF"), RIL_E_SUCCESS);
    EXPECT_LE(modem_.CountCommands("AT+CRSM="), 3u);
    EXPECT_EQ(zv::Load(bSPN), 0) << "consumed even when the answer cannot be rewritten";
}

}  // namespace
