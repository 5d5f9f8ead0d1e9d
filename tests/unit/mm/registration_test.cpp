// The registration parsers over the answers real modules give: +CREG/+CGREG in every comma
// layout (quoted or bare hex, spaces, zero padding), the technology tables of ^SYSINFO and
// ^SYSINFOEX with the hold-backs for older platforms, and the CDMA pair ^SYSINFO + ^CURRSID.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "mm/mm.h"
#include "unit/mm/mm_test_util.h"
#include "unit/support/library_env.h"

namespace {

using zvtest::ModuleScope;
using zvtest::Responses;

struct RegCase {
    int module;
    int version;
    bool data;
    std::string reg;
    std::string sysinfo;  // "" for no system information
    int ok;
    RegistrationInfo want;  // regState, lac, cid, radioTech
};

TEST(MmRegistration, RegistrationLinesWithSystemInformation) {
    const RegCase cases[] = {
        {1, 6, false, "+CREG: 2,1,\"2540\",\"0A3B\"", "^SYSINFOEX: 2,3,0,1,,3,\"WCDMA\",41,\"WCDMA\"", 1, {1, 0x2540, 0xa3b, 3, 0, 0}},
        {1, 6, false, "+CREG: 1", "^SYSINFO: 2,3,0,5,1,,4", 1, {1, -1, -1, 3, 0, 0}},
        {1, 6, true, "+CGREG: 0,0", "^SYSINFO: 2,3,0,5,1,,4", 1, {1, -1, -1, 3, 0, 0}},
        // Packet domain not in service: the state stays.
        {1, 6, true, "+CGREG: 0,0", "^SYSINFO: 2,1,0,5,1,,4", 1, {0, -1, -1, 3, 0, 0}},
        {1, 6, false, "+CREG: 2,1,8BE3,2BAF", "^SYSINFO:2,4,5,3,1,0,6", 1, {1, 0x8be3, 0x2baf, 10, 0, 0}},
        {1, 6, false, "+CREG:002,001,\"18d8\",\"ffff\"", "^SYSINFO: 2,3,0,5,1,,9", 1, {1, 0x18d8, 0xffff, 15, 0, 0}},
        {1, 6, false, "+CREG: 1,8BE3,2BAF", "^SYSINFOEX:2,4,5,1,,3,\"WCDMA\",41,\"HSPA+\"", 1, {1, 0x8be3, 0x2baf, 3, 0, 0}},
        {1, 6, false, "+CREG: 2,1,  0 5, 2715", "^SYSINFO: 2,3,0,5,1,,4", 1, {1, 0, 0x2715, 3, 0, 0}},
        {1, 6, true, "+CGREG: 2,5,\"B092\",\"00000697\",3,\"00\"", "^SYSINFOEX: 2,3,1,1,,6,\"LTE\",101,\"LTE\"", 1,
         {5, 0xb092, 0x697, 14, 0, 0}},
        {1, 6, false, "+CREG: 2,1, \"0426\", \"F00F\"", "^SYSINFOEX: 2,3,0,1,,1,\"GSM\",1,\"GSM\"", 1, {1, 0x426, 0xf00f, 0, 0, 0}},
        // Six or more commas: the first field as the state only.
        {1, 6, true, "+CGREG: 1,2,3,4,5,6,7", "^SYSINFO: 2,3,0,5,1,,4", 1, {1, -1, -1, 3, 0, 0}},
        // ^SYSINFO sub-mode 1 is GSM from platform 4 on; sub-mode 8 has no technology.
        {1, 4, false, "+CREG: 1", "^SYSINFO: 2,3,0,3,1,,1", 1, {1, -1, -1, 16, 0, 0}},
        {1, 3, false, "+CREG: 1", "^SYSINFO: 2,3,0,3,1,,1", 1, {1, -1, -1, 0, 0, 0}},
        {1, 6, false, "+CREG: 1", "^SYSINFO: 2,3,0,15,1,,8", 1, {1, -1, -1, 0, 0, 0}},
        // Platform 2.3 knows neither HSPA+ nor LTE.
        {1, 1, false, "+CREG: 1", "^SYSINFO: 2,3,0,5,1,,9", 1, {1, -1, -1, 11, 0, 0}},
        {1, 1, false, "+CREG: 1", "^SYSINFOEX: 2,3,0,1,,3,\"WCDMA\",46,\"DC-HSPA+\"", 1, {1, -1, -1, 11, 0, 0}},
        {1, 1, false, "+CREG: 1", "^SYSINFOEX: 2,3,0,1,,6,\"LTE\",101,\"LTE\"", 1, {1, -1, -1, 0, 0, 0}},
        // Without the sub-mode the technology is unknown; without system information, a failure.
        {1, 6, false, "+CREG: 1", "^SYSINFO:2,4,5,3,1,,", 1, {1, -1, -1, 0, 0, 0}},
        {1, 6, false, "+CREG: 2,1,\"2540\",\"0A3B\"", "", 0, {1, 0x2540, 0xa3b, 0, 0, 0}},
        // Unreadable state, missing cell (still an answer), garbage.
        {1, 6, false, "+CREG: 2,x,\"2540\",\"0A3B\"", "^SYSINFO: 2,3,0,5,1,,4", 0, {0, 0, 0, 3, 0, 0}},
        {1, 6, false, "+CREG: 2,1,\"2540\",", "^SYSINFO: 2,3,0,5,1,,4", 1, {1, 0x2540, 0, 3, 0, 0}},
        {1, 6, false, "+CREG:", "^SYSINFO: 2,3,0,5,1,,4", 0, {0, 0, 0, 3, 0, 0}},
    };
    for (const RegCase &c : cases) {
        SCOPED_TRACE(c.reg + " / " + c.sysinfo);
        ModuleScope scope(c.module, c.version);
        std::vector<std::vector<std::string>> lines = {{c.reg}};
        if (!c.sysinfo.empty()) lines.push_back({c.sysinfo});
        Responses r(lines);
        RegistrationInfo info{};
        RilMessage m{c.data ? 21 : 20, nullptr, &info};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), c.ok);
        EXPECT_EQ(info.regState, c.want.regState);
        EXPECT_EQ(info.lac, c.want.lac);
        EXPECT_EQ(info.cid, c.want.cid);
        EXPECT_EQ(info.radioTech, c.want.radioTech);
    }
}

TEST(MmRegistration, SystemInformationTables) {
    ModuleScope scope(1, 6);
    // ^SYSINFO sub-modes 0..16 and the ^SYSINFOEX sub-modes, each through its parser.
    const int sysinfo[] = {0, 16, 1, 2, 3, 9, 10, 11, 0, 15, 0, 0, 0, 0, 0, 3, 0};
    for (int submode = 0; submode <= 16; ++submode) {
        Responses r({{"^SYSINFO: 2,3,0,5,1,," + std::to_string(submode)}});
        RilMessage m{20, nullptr, nullptr};
        SysinfoState *s = GetSubmodeBySysinfo(&m, r.at(0));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->radioTech, sysinfo[submode]) << submode;
        EXPECT_EQ(s->psAttached, 1);
        EXPECT_EQ(s->regState, 1);
        free(s);
    }
    const std::pair<int, int> ex[] = {{1, 0},   {2, 1},   {3, 2},   {41, 3},  {61, 3},  {42, 9},  {62, 9},
                                      {43, 10}, {63, 10}, {44, 11}, {64, 11}, {45, 15}, {46, 15}, {65, 15},
                                      {101, 14}, {47, 0}, {-3, 0}};
    for (auto [submode, tech] : ex) {
        Responses r({{"^SYSINFOEX: 2,2,1,1,,3,\"X\"," + std::to_string(submode) + ",\"Y\""}});
        RilMessage m{21, nullptr, nullptr};
        SysinfoState *s = GetSubmodeBySysinfoex(&m, r.at(0));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->radioTech, tech) << submode;
        EXPECT_EQ(s->regState, 0);  // ^SYSINFOEX never sets it
        free(s);
    }
    // Roaming, and the CDMA reading by system mode.
    Responses roam({{"^SYSINFO: 2,3,1,5,1,,4"}});
    RilMessage m{20, nullptr, nullptr};
    SysinfoState *s = GetSubmodeBySysinfo(&m, roam.at(0));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->regState, 5);
    free(s);
    ModuleScope cdma(0, 6);
    for (auto [mode, tech] : {std::pair{2, 6}, {4, 8}, {8, 8}, {5, 0}}) {
        Responses r({{"^SYSINFO: 2,3,0," + std::to_string(mode) + ",1,,0"}});
        s = GetSubmodeBySysinfo(&m, r.at(0));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->radioTech, tech) << mode;
        free(s);
    }
    EXPECT_EQ(GetSubmodeBySysinfo(nullptr, roam.at(0)), nullptr);
}

TEST(MmRegistration, CdmaSysinfoAndCurrsid) {
    ModuleScope scope(0, 6);
    struct {
        std::vector<std::vector<std::string>> lines;
        int ok, regState, radioTech, sid, nid;
    } cases[] = {
        {{{"^SYSINFO: 2,3,1,4,1,,0"}, {"^CURRSID: 13824,1"}}, 1, 5, 8, 13824, 1},
        {{{"^SYSINFO: 2,3,0,2,1,,0"}, {"^CURRSID: 13824,65535"}}, 1, 1, 6, 13824, 65535},
        {{{"^SYSINFO: 2,3,1,4,1,,0"}, {"^CURRSID: 13824"}}, 0, 5, 8, 13824, 0},
        {{{"^SYSINFO: 2,3,1,4,1,,0"}}, 0, 5, 8, 0, 0},
        {{{}, {"^CURRSID: 1,2"}}, 1, 0, 0, 1, 2},
    };
    for (auto &c : cases) {
        Responses r(c.lines);
        RegistrationInfo info{};
        RilMessage m{20, nullptr, &info};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), c.ok);
        EXPECT_EQ(info.regState, c.regState);
        EXPECT_EQ(info.radioTech, c.radioTech);
        EXPECT_EQ(info.sid, c.sid);
        EXPECT_EQ(info.nid, c.nid);
    }
}

TEST(MmRegistration, ModeReportsTechnologyOrNetworkChange) {
    zvtest::RecordingEnv env;
    {
        ModuleScope scope(1, 4);
        UnsolicitedMode("^MODE: 5,8");  // 1035
        UnsolicitedMode("^MODE: 5");    // nothing
        UnsolicitedMode("^MODE:0,0");   // 1035
    }
    {
        ModuleScope scope(1, 3);
        UnsolicitedMode("^MODE: 5,4");  // 1002
    }
    EXPECT_EQ(env.Unsolicited(), (std::vector<int>{1035, 1035, 1002}));
    EXPECT_TRUE(env.Logged("UnsolicitedMode: Error parameter in the AT command"));
}

TEST(MmRegistration, NullMessagesAreRefused) {
    Responses r({{"+CREG: 1"}});
    EXPECT_EQ(HandleNetworkMessage(nullptr, r.list()), 0);
    EXPECT_EQ(GetVoiceRegistrationState(nullptr, r.list()), 0);
    EXPECT_EQ(CdmaGetCURRSID(nullptr, r.at(0)), 0);
    RilMessage unknown{999, nullptr, nullptr};
    EXPECT_EQ(HandleNetworkMessage(&unknown, r.list()), 0);
}

}  // namespace
