// USSD commands built from framework strings and network reports decoded by coding scheme.
#include <gtest/gtest.h>

#include <string>

#include <zvril.h>
#include <zvshared.h>

#include "unit/support/library_env.h"
#include "ussd/ussd.h"

namespace {

using zv::ussd::BuildSendCommand;
using zv::ussd::DecodeByScheme;

TEST(UssdSend, GsmTextIsPackedWithScheme15) {
    EXPECT_EQ(BuildSendCommand("*100#"), "AT+CUSD=1,\"AA180C3602\",15");
    // Seven characters fill seven octets: the spare bits carry CR padding, not zeros.
    EXPECT_EQ(BuildSendCommand("0123456"), "AT+CUSD=1,\"B0986C46ABD91A\",15");
    // An extension character takes two septets.
    std::string euro = BuildSendCommand("\xE2\x82\xAC");
    EXPECT_EQ(euro, "AT+CUSD=1,\"9B32\",15") << euro;
}

TEST(UssdSend, OtherTextGoesAsUcs2WithScheme72) {
    EXPECT_EQ(BuildSendCommand("\xE4\xBD\xA0\xE5\xA5\xBD"), "AT+CUSD=1,\"4F60597D\",72");
    EXPECT_EQ(BuildSendCommand("a\xE4\xBD\xA0"), "AT+CUSD=1,\"00614F60\",72");
}

TEST(UssdSend, StringsThatCannotFitAreRefused) {
    EXPECT_FALSE(BuildSendCommand(std::string(104, '1').c_str()).empty()) << "91 octets fit";
    EXPECT_TRUE(BuildSendCommand(std::string(105, '1').c_str()).empty()) << "92 octets do not";
    std::string cjk;
    for (int i = 0; i < 45; ++i) cjk += "\xE4\xBD\xA0";
    EXPECT_FALSE(BuildSendCommand(cjk.c_str()).empty());
    cjk += "\xE4\xBD\xA0";
    EXPECT_TRUE(BuildSendCommand(cjk.c_str()).empty());
    EXPECT_TRUE(BuildSendCommand(std::string(5000, '1').c_str()).empty());
}

TEST(UssdSend, InvalidUtf8NeverReadsPastTheString) {
    // Truncated multi-byte sequences at the very end of the string.
    for (const char *bad : {"\xE4", "\xE4\xBD", "abc\xF0\x9F", "\xC3", "\xFF\xFE"}) {
        std::string cmd = BuildSendCommand(bad);
        if (!cmd.empty()) {
            EXPECT_EQ(cmd.rfind("AT+CUSD=1,\"", 0), 0u) << cmd;
        }
    }
}

std::string Hex(const std::string &bytes) {
    static const char *d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

TEST(UssdDecode, ByCodingScheme) {
    const uint8_t packed[] = {0xC8, 0x32, 0x9B, 0xFD, 0x06};  // "Hello"
    EXPECT_EQ(DecodeByScheme(packed, 5, 15), "Hello");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x00), "Hello");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x10), "Hello");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x40 | 0x20), "Hello") << "general group, compressed flag, 7-bit";
    const uint8_t ucs2[] = {0x4F, 0x60, 0x59, 0x7D};
    EXPECT_EQ(DecodeByScheme(ucs2, 4, 72), "\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(DecodeByScheme(ucs2, 4, 0x11), "\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(DecodeByScheme(ucs2, 4, 0x22), "\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(DecodeByScheme(ucs2, 4, 0x98), "\xE4\xBD\xA0\xE5\xA5\xBD");
    const uint8_t latin[] = {'O', 'K', 0xE9};
    EXPECT_EQ(DecodeByScheme(latin, 3, 0x44), "OK\xC3\xA9");
    const uint8_t codes[] = {0x48, 0x69};  // one 7-bit code per byte
    EXPECT_EQ(DecodeByScheme(codes, 2, 0x40), "Hi");
    // Reserved groups and alphabets decode to nothing.
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x12), "");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x25), "");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0xA0), "");
    EXPECT_EQ(DecodeByScheme(packed, 5, 0x4C), "");
    EXPECT_EQ(DecodeByScheme(packed, 5, -1), "");
    EXPECT_EQ(DecodeByScheme(nullptr, 0, 15), "");
}

class UssdReports : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = sState;
        zv::Store(sState, RADIO_STATE_SIM_READY);
    }
    void TearDown() override { zv::Store(sState, saved_); }
    std::vector<std::string> Report(const std::string &line) {
        env_.Clear();
        ZvRilUnsolicited(line.c_str(), nullptr);
        auto p = env_.StringPayloads();
        return p.empty() ? std::vector<std::string>{"<none>"} : p.back();
    }
    zvtest::RecordingEnv env_;
    int saved_ = 0;
};

TEST_F(UssdReports, TypesAndMessages) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Report("+CUSD: 1,\"C8329BFD06\",15"), (V{"1", "Hello"}));
    EXPECT_TRUE(env_.Logged("default"));
    EXPECT_EQ(Report("+CUSD: 0,\"4F60597D\",72"), (V{"0", "\xE4\xBD\xA0\xE5\xA5\xBD"}));
    EXPECT_EQ(Report("+CUSD: 2,\"C8329BFD06\",15"), (V{"2", ""}));
    EXPECT_EQ(Report("+CUSD: 0"), (V{"0", ""}));
    EXPECT_EQ(Report("+CUSD: 0,\"C8329BFD06\""), (V{"0", ""})) << "fewer than two commas";
    EXPECT_EQ(Report("+CUSD: x,\"C8329BFD06\",15"), (V{"-1", ""}));
    EXPECT_EQ(Report("+CSSU: 2"), (V{"<none>"}));
    EXPECT_EQ(env_.Unsolicited().size(), 0u);
}

TEST_F(UssdReports, MalformedHexIsDecodedAsFarAsItGoes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Report("+CUSD: 0,\"4F60597\",72"), (V{"0", "\xE4\xBD\xA0"})) << "odd length";
    EXPECT_EQ(Report("+CUSD: 0,\"4F60ZZ7D\",72"), (V{"0", "\xE4\xBD\xA0"})) << "non-hex digit";
    EXPECT_EQ(Report("+CUSD: 1,\"\",15"), (V{"1", ""}));
    EXPECT_EQ(Report("+CUSD: 1,\"C8329BFD06\",1004"), (V{"1", ""}));
    // Overlong text: decoded whole, never written past a buffer (sanitizer builds check).
    std::string big = "+CUSD: 1,\"" + std::string(4000, '4') + "\",72";
    auto v = Report(big);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].size(), 2000u / 2 * 3);
    std::string packedBig = "+CUSD: 1,\"" + Hex(std::string(900, '\x55')) + "\",15";
    EXPECT_EQ(Report(packedBig).size(), 2u);
}

}  // namespace
