// Operator names, selection mode, network scans as real modules give them (and as hostile ones
// could), the preferred-type readings in the three dialects and the packet-data activity flag.
#include <gtest/gtest.h>

#include <string.h>

#include "codec/codec.h"
#include "mm/mm.h"
#include "unit/mm/mm_test_util.h"

namespace {

using zvtest::Responses;

std::string Str(const char *s) {
    return s ? s : "(null)";
}

TEST(MmOperator, NamesInThreeFormats) {
    struct {
        std::vector<std::string> lines;
        int ok;
        std::string longName, shortName, numeric;
    } cases[] = {
        {{"+COPS: 0,0,\"\"", "+COPS: 0,1,\"OPER\"", "+COPS: 0,2,\"00101\""}, 1, "OPER", "OPER", "00101"},
        {{"+COPS: 0,0,\"Long\",2", "+COPS: 0,1,\"\",2", "+COPS: 0,2,\"00101\",2"}, 1, "Long", "Long", "00101"},
        {{"+COPS: 0,0,TELE2,0", "+COPS: 0,1,T2", "+COPS: 0,2,24007"}, 1, "TELE2", "T2", "24007"},
        {{"+COPS: 0", "+COPS: 0", "+COPS: 0"}, 1, "(null)", "(null)", "(null)"},
        {{"+COPS: 0,0,\"80004F005000450052\"", "+COPS: 0,1,\"8100\"", "+COPS: 0,2,\"46000\""}, 1, "OPER", "", "46000"},
        {{"+COPS: 0,0,\"A\"", "+COPS: 0,1,\"B\""}, 0, "A", "B", "(null)"},
        {{"+COPS: x,0,\"A\"", "+COPS: 0,1,\"B\"", "+COPS: 0,2,\"1\""}, 0, "(null)", "(null)", "(null)"},
        {{"+COPS: 0,0,\"80ZZ\"", "+COPS: 0,1,\"B\"", "+COPS: 0,2,\"1\""}, 0, "80ZZ", "B", "1"},
        {{"+COPS: 0,0,\"A", "+COPS: 0,1,\"B", "+COPS: 0,2,\"1"}, 1, "A", "B", "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines[0]);
        Responses r({c.lines});
        char *names[3] = {};
        char decoded[2 * zv::codec::kSimAlphaUtf8Max];
        RilMessage m{22, decoded, names};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), c.ok);
        EXPECT_EQ(Str(names[0]), c.longName);
        EXPECT_EQ(Str(names[1]), c.shortName);
        EXPECT_EQ(Str(names[2]), c.numeric);
    }
    // A 10,000-character UCS-2 name is cut to what the decoding room holds.
    std::string huge = "80" + std::string(10000 / 4 * 4, '0');
    for (size_t i = 2; i + 4 <= huge.size(); i += 4) huge.replace(i, 4, "0041");
    Responses r({{"+COPS: 0,0,\"" + huge + "\"", "+COPS: 0,1,\"B\"", "+COPS: 0,2,\"1\""}});
    char *names[3] = {};
    char decoded[2 * zv::codec::kSimAlphaUtf8Max];
    RilMessage m{22, decoded, names};
    EXPECT_EQ(GetOperator(&m, r.list()), 1);
    EXPECT_LT(strlen(names[0]), zv::codec::kSimAlphaUtf8Max);
    EXPECT_EQ(std::string(names[0]).find_first_not_of('A'), std::string::npos);
}

struct Net {
    std::string l, s, n, status;
};

std::vector<Net> Scan(const std::vector<std::string> &lines, int *ok) {
    Responses r({lines});
    NetworkList list{0, nullptr};
    RilMessage m{48, nullptr, &list};
    *ok = HandleNetworkMessage(&m, r.list());
    std::vector<Net> out;
    for (size_t i = 0; i < list.length / sizeof(char *); i += 4) {
        out.push_back({Str(list.networks[i]), Str(list.networks[i + 1]), Str(list.networks[i + 2]),
                       Str(list.networks[i + 3])});
    }
    free(list.networks);
    return out;
}

bool operator==(const Net &a, const Net &b) {
    return a.l == b.l && a.s == b.s && a.n == b.n && a.status == b.status;
}

TEST(MmOperator, ScansRealAndHostile) {
    using V = std::vector<Net>;
    struct {
        std::vector<std::string> lines;
        V want;
    } cases[] = {
        {{"+COPS: (2,\"A\",\"A\",\"00101\",7),(3,\"B\",\"B\",\"00102\",2),,(0,1,2,3,4),(0,1,2)"},
         {{"A", "A", "00101", "current"}, {"B", "B", "00102", "forbidden"}}},
        {{"+COPS: ,,(0,1,2,3,4),(0,1,2)"}, {}},
        {{"+COPS: (1,\"T-Mobile USA, In\",\"T-Mobile\",\"310260\",0),(1,\"AT&T\",\"AT&T\",\"310410\",0),,(0,1,2,3,4),(0,1,2)"},
         {{"T-Mobile USA, In", "T-Mobile", "310260", "available"}, {"AT&T", "AT&T", "310410", "available"}}},
        // Access technology outside the parenthesis, or missing altogether.
        {{"+COPS: (2,\"\",\"T-Mobile\",\"31026\",0),(2,\"T - Mobile\",\"T - Mobile\",\"310260\"),2),(1,\"AT&T\",\"AT&T\",\"310410\"),0)"},
         {{"", "T-Mobile", "31026", "current"}, {"T - Mobile", "T - Mobile", "310260", "current"},
          {"AT&T", "AT&T", "310410", "available"}}},
        {{"+COPS: (2,\"blau\",\"\",\"26203\"),(3,\"\",\"\",\"26201\")"},
         {{"blau", "", "26203", "current"}, {"", "", "26201", "forbidden"}}},
        // No comma before the trailing lists; one line per network.
        {{"+COPS: (1,\"o2 - de\",\"o2 - de\",\"26203\",7),(1,\"vodafone.de\",\"Vodafone\",\"26202\",7)(0,1,2,3,4),(0,1,2)"},
         {{"o2 - de", "o2 - de", "26203", "available"}, {"vodafone.de", "Vodafone", "26202", "available"}}},
        {{"+COPS: (0,\"AT&T MicroCell\",\"AT&T MicroCell\",\"310410\",2)", "+COPS: (1,\"T-Mobile\",\"TMO\",\"31026\",0)"},
         {{"AT&T MicroCell", "AT&T MicroCell", "310410", "unknown"}, {"T-Mobile", "TMO", "31026", "available"}}},
        // Unbalanced quotes and parentheses, too few fields.
        {{"+COPS: (2,\"A\",\"A\",\"00101"}, {}},
        {{"+COPS: (((((\"\"\"\"\"\""}, {}},
        {{"+COPS: (2,\"A\",\"B\"),(1,\"C\",\"D\",\"00103\")"}, {{"C", "D", "00103", "available"}}},
        {{"+COPS: )))(,,,\"x\")"}, {}},
        {{"no colon (2,\"A\",\"A\",\"00101\",7)"}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines[0]);
        int ok = 0;
        V got = Scan(c.lines, &ok);
        EXPECT_EQ(ok, 1);
        EXPECT_TRUE(got == c.want) << got.size();
    }
    // More than a hundred networks: the first hundred.
    std::string many = "+COPS: ";
    for (int i = 0; i < 150; ++i) many += "(1,\"N" + std::to_string(i) + "\",\"N\",\"00101\",2),";
    int ok = 0;
    V got = Scan({many + ",(0,1,2,3,4),(0,1,2)"}, &ok);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(got.size(), 100u);
    EXPECT_EQ(got[99].l, "N99");
}

TEST(MmOperator, SelectionModeAndPreferredType) {
    struct {
        int id;
        std::string line;
        int ok, value;
    } cases[] = {
        {45, "+COPS: 1,2,\"46000\",7", 1, 1},
        {45, "+COPS: 0", 1, 0},
        {45, "+COPS:", 0, 0},
        {74, "^SYSCFGEX: \"030201\",3FFFFFFF,1,2,7FFFFFFFFFFFFFFF", 1, 9},
        {74, "^SYSCFGEX: \"00\",3FFFFFFF,1,2,7FFFFFFFFFFFFFFF", 1, 7},
        {74, "^SYSCFGEX: \"0102\",3fffffff,1,2,", 1, 7},
        {74, "^SYSCFGEX: \"0201\",3fffffff,1,2,", 1, 0},
        {74, "^SYSCFGEX: \"0304070201\",3fffffff,1,2,", 1, 10},
        {74, "^SYSCFG: 2,2,40000000,2,4", 1, 0},
        {74, "^SYSCFG: 13,0,40000000,2,4", 1, 1},
        {74, "^SYSCFG: 14,2,400000,0,3", 1, 2},
        {74, "^SYSCFG:15", 1, 2},
        {74, "^SYSCFG: x", 0, 0},
        {74, "^PREFMODE: 8", 1, 4},
        {74, "^PREFMODE: 9", 1, 7},
        {74, "^PREFMODE:4", 1, 6},
        {74, "^PREFMODE: 2", 1, 5},
        {74, "^PREFMODE:", 0, 0},
        {74, "+COPS: 0", 0, 0},
        {112, "^HIMSF: 1", 1, 1},
        {112, "^HIMSF:", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        Responses r({{c.line}});
        int value = 0;
        RilMessage m{c.id, nullptr, &value};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(MmOperator, PacketDataActivity) {
    struct {
        std::vector<std::vector<std::string>> lines;
        int flag;
    } cases[] = {
        {{{"^NDISSTATQRY: 1,,,\"IPV4\""}}, 1},
        {{{"^NDISSTATQRY: 0,,,\"IPV4\""}}, 0},
        {{{"+CGACT: 1,1"}}, 1},
        {{{"+CGACT: 1,0"}}, 0},
        {{{"+CGACT: 1"}}, 0},
        {{{"^NDISSTATQRY: 0"}, {"+CGACT: 1,1"}}, 1},
        {{}, 0},
    };
    for (const auto &c : cases) {
        Responses r(c.lines);
        int flag = 7;
        RilMessage m{61, nullptr, &flag};
        EXPECT_EQ(HandleNetworkMessage(&m, r.list()), 1);
        EXPECT_EQ(flag, c.flag);
    }
    EXPECT_EQ(GetPdpActiveFlag(nullptr, nullptr), 0);
}

}  // namespace
