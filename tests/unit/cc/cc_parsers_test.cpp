// Call control's parsers fed with answers built from lines: real modems' "+CLCC", "+CCWA",
// "+CLIP" lines read to what they mean, rejected call rows leave nothing behind, hostile lines
// never crash, and the call events decide reports and the last call's cause.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "cc/cc.h"
#include "unit/support/responses.h"

namespace {

using zvtest::Response;

struct Row {
    int index, isMT, state, isMpty;
    std::string number;  // "(null)": no number
    int toa;
    bool operator==(const Row &) const = default;
};

void PrintTo(const Row &r, std::ostream *os) {
    *os << "{" << r.index << "," << r.isMT << "," << r.state << "," << r.isMpty << "," << r.number << "," << r.toa
        << "}";
}

constexpr const char *kNone = "(null)";

// The rows the request would report: the slots whose index was set, in order. Every reported
// record must be a whole voice call, with the fields nobody fills left zero.
std::vector<Row> Calls(const std::vector<std::string> &lines) {
    auto r = Response(lines);
    std::vector<RIL_Call> calls(lines.size());
    for (RIL_Call &c : calls) c.index = -1;
    RilMessage m = {RIL_REQUEST_GET_CURRENT_CALLS, nullptr, calls.data()};
    EXPECT_EQ(HandleVoiceMessage(&m, r.get()), 1);
    std::vector<Row> rows;
    bool gap = false;
    for (const RIL_Call &c : calls) {
        if (c.index == -1) {
            gap = true;
            continue;
        }
        EXPECT_FALSE(gap) << "accepted rows fill the slots from the front";
        EXPECT_EQ(c.isVoice, 1);
        EXPECT_EQ(c.als | c.isVoicePrivacy, 0);
        EXPECT_EQ(c.name, nullptr);
        EXPECT_EQ(c.uusInfo, nullptr);
        rows.push_back({c.index, c.isMT, c.state, c.isMpty, c.number ? c.number : kNone, c.toa});
    }
    return rows;
}

TEST(CcParsers, CallListRowsFromRealModemsAndTheirEdges) {
    cc_activeCallIndex = 99;
    // Five rows of one modem: a row without number, an alpha tag, more trailing fields, waiting.
    EXPECT_EQ(Calls({"+CLCC: 1,1,0,0,1", "+CLCC: 2,1,0,0,1,\"123456789\",161",
                     "+CLCC: 3,1,0,0,1,\"987654321\",161,\"Alice\"", "+CLCC: 4,1,0,0,1,\"000000000\",161,\"Bob\",1",
                     "+CLCC: 5,1,5,0,0,\"555555555\",161,\"Mallory\",2,0"}),
              (std::vector<Row>{{1, 1, 0, 1, kNone, 0},
                                {2, 1, 0, 1, "123456789", 161},
                                {3, 1, 0, 1, "987654321", 161},
                                {4, 1, 0, 1, "000000000", 161},
                                {5, 1, 5, 0, "555555555", 161}}));
    EXPECT_EQ(cc_activeCallIndex, 4) << "the last active row seen";
    EXPECT_EQ(Calls({"+CLCC: 1,1,4,0,0,\"+79139131234\",145"}),
              (std::vector<Row>{{1, 1, 4, 0, "+79139131234", 145}}));
    EXPECT_EQ(Calls({"+CLCC: 1,1,4,0,0,\"+7913913ABCA\",145"}),
              (std::vector<Row>{{1, 1, 4, 0, "+7913913ABCA", 145}}));
    EXPECT_EQ(Calls({"+CLCC: 1,0,0,0,0,\"+4930123\",145"}), (std::vector<Row>{{1, 0, 0, 0, "+4930123", 145}}));
    EXPECT_EQ(cc_activeCallIndex, 1);
    // Withheld callers: a word or nothing is no number.
    EXPECT_EQ(Calls({"+CLCC: 2,1,4,0,0,\"Anonymous\",129"}), (std::vector<Row>{{2, 1, 4, 0, kNone, 129}}));
    EXPECT_EQ(Calls({"+CLCC: 2,1,4,0,0,\"\",128"}), (std::vector<Row>{{2, 1, 4, 0, kNone, 128}}));
    // An unquoted number is still a number.
    EXPECT_EQ(Calls({"+CLCC: 1,0,2,0,0,+4930123,145"}), (std::vector<Row>{{1, 0, 2, 0, "+4930123", 145}}));
}

TEST(CcParsers, RejectedCallRowsLeaveNothingBehind) {
    const Row valid = {2, 1, 1, 0, "0301234", 129};
    const std::string validLine = "+CLCC: 2,1,1,0,0,\"0301234\",129";
    // Each bad row comes first; the valid row after it must take its slot, and nothing of the
    // bad row may show up.
    for (const char *bad : {
             "+CLCC: 1,0,0,1,0",                                    // data call
             "+CLCC: 1,0,0,2,0,\"123\",129",                         // fax call
             "+CLCC: 1,0,7,0,0",                                    // state outside 0..5
             "+CLCC: 1,0,-1,0,0",                                   // negative state
             "+CLCC: 1,2,0,0,0",                                    // direction not a boolean
             "+CLCC: 1,0,0,0,5",                                    // multiparty not a boolean
             "+CLCC: 1,0,0,0",                                      // fields missing
             "+CLCC: 1",                                            //
             "+CLCC:",                                              //
             "+CLCC: x,0,0,0,0",                                    // no index
             "+CLCC: 99999999999999999999,0,0,0,0",                 // index beyond any int
             "+CLCC: -1,0,0,0,0",                                   // the empty-slot marker
             "+CLCC: 1,0,0,0,0,\"123\"",                            // number without its type
             "+CLCC: 1,0,0,0,0,\"123\",abc",                        // type not a number
             "+CLCC: 1,0,0,0,0,\"123",                              // unterminated quote
             "1,0,0,0,0",                                           // no prefix at all
         }) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Calls({bad, validLine}), std::vector<Row>{valid});
        EXPECT_EQ(Calls({bad}), std::vector<Row>{});
    }
    // Hostile but harmless: an endless number is no number, a huge type is no type.
    std::string longNumber = "+CLCC: 1,0,0,0,0,\"" + std::string(5000, '1') + "\",145";
    EXPECT_EQ(Calls({longNumber}), (std::vector<Row>{{1, 0, 0, 0, kNone, 145}}));
    EXPECT_EQ(Calls({"+CLCC: 1,0,0,0,0,\"123\",99999999999"}), (std::vector<Row>{{1, 0, 0, 0, "123", 0}}));
    EXPECT_EQ(Calls({}), std::vector<Row>{});
}

int Cause(const char *line) {
    std::string copy = line;
    ATLine single = {nullptr, copy.data()};
    ATResponse r = {0, nullptr, &single};
    RilMessage m = {RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, nullptr, nullptr};
    cc_lastCallFailCause = -7;
    EXPECT_EQ(HandleVoiceMessage(&m, &r), 1);
    return cc_lastCallFailCause;
}

bool Reports(const char *line) {
    std::string copy = line;
    ATLine single = {nullptr, copy.data()};
    ATResponse r = {0, nullptr, &single};
    RilMessage m = {RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, nullptr, nullptr};
    return HandleVoiceMessage(&m, &r) == 1;
}

TEST(CcParsers, CallEventsDecideReportsAndTheLastCause) {
    EXPECT_EQ(Cause("^CEND: 1,0,104,17"), 17);
    EXPECT_EQ(Cause("^CEND: 1,0,100,16"), 16);
    EXPECT_EQ(Cause("^CEND: 1,0,29"), 29);
    EXPECT_EQ(Cause("^CEND: 1,0,29,31"), 29) << "the cc cause counts only behind 100 and 104";
    EXPECT_EQ(Cause("^CEND: 1,0,100"), 0xffff);
    EXPECT_EQ(Cause("^CEND: 1,0,104,-1"), 0xffff);
    EXPECT_EQ(Cause("^CEND: x"), 0xffff);
    EXPECT_EQ(Cause("^CEND:"), 0xffff);
    EXPECT_EQ(Cause("^CEND: 1,0,104,x"), 0xffff);
    EXPECT_EQ(Cause("^CEND: 1,0,99999999999"), 0xffff);

    for (const char *line : {"RING", "NO CARRIER", "+CCWA: \"+4930123\",145,1", "^CONN: 1,0", "+CRING: VOICE"})
        EXPECT_TRUE(Reports(line)) << line;
    for (const char *line : {"+CRING: REL ASYNC", "+CRING: GPRS \"IP\",\"10.0.0.1\"", "+CRING: FAX", "+CRING:",
                             "^ORIG: 1,0", "+CCCM: 000010", "+CLCC: 1,0,0,0,0", "^CONF: 1", ""})
        EXPECT_FALSE(Reports(line)) << line;

    const struct {
        const char *line;
        int kind;
    } rings[] = {{"+CRING: VOICE", 1},     {"+CRING: ASYNC", 2}, {"+CRING: SYNC", 2},     {"+CRING: REL ASYNC", 2},
                 {"+CRING: REL SYNC", 2},  {"+CRING: GPRS", 3},  {"+CRING: VOICE/FAX", 1}, {"+CRING: ALT", 0},
                 {"+CRING", 0},            {"RING", 0},          {kNone, 0}};
    for (const auto &r : rings) EXPECT_EQ(UnsolicitedCring(r.line), r.kind) << (r.line ? r.line : "null");
}

std::vector<int> Waiting(const std::vector<std::string> &lines, const char *queried = "1") {
    auto r = Response(lines);
    int out[2] = {-5, -5};
    RilMessage m = {RIL_REQUEST_QUERY_CALL_WAITING, const_cast<char *>(queried), out};
    if (HandleVoiceMessage(&m, r.get()) != 1) return {};
    return {out[0], out[1]};
}

TEST(CcParsers, CallWaitingAnswers) {
    using V = std::vector<int>;
    // Real modems, queried for voice: the mask's voice bit is what the framework reads.
    EXPECT_EQ(Waiting({"+CCWA: 0,255"}), (V{0, 0}));
    EXPECT_EQ(Waiting({"+CCWA: 1,255"}), (V{1, 255}));
    EXPECT_EQ(Waiting({"+CCWA: 0,1", "+CCWA: 0,4"}), (V{0, 0}));
    EXPECT_EQ(Waiting({"+CCWA: 1,1", "+CCWA: 1,4"}), (V{1, 5}));
    EXPECT_EQ(Waiting({"+CCWA: 1,2", "+CCWA: 1,4", "+CCWA: 1,8"}), V{}) << "voice not reported";
    EXPECT_EQ(Waiting({"+CCWA: 2,1", "+CCWA: 2,4"}), V{}) << "status 2 is no answer";
    EXPECT_EQ(Waiting({"+CCWA: 0"}), (V{0, 0}));
    EXPECT_EQ(Waiting({"+CCWA: 1"}), (V{1, 7})) << "no class: voice, data and fax";
    EXPECT_EQ(Waiting({"+CCWA: 1,2", "+CCWA: 1,4", "+CCWA: 1,8"}, nullptr), (V{1, 14})) << "no class asked";
    // A waiting call announced in the middle of the answer is skipped.
    EXPECT_EQ(Waiting({"+CCWA: \"+4930123\",145,1", "+CCWA: 1,1"}), (V{1, 1}));
    EXPECT_EQ(Waiting({"+CCWA: x"}), V{});
    EXPECT_EQ(Waiting({"+CCWA: 1,x"}), V{});
}

int Clip(const std::string &line) {
    auto r = Response({line});
    int out = -5;
    RilMessage m = {RIL_REQUEST_QUERY_CLIP, nullptr, &out};
    return HandleVoiceMessage(&m, r.get()) == 1 ? out : -100;
}

TEST(CcParsers, SettingsAnswers) {
    EXPECT_EQ(Clip("+CLIP: 1,1"), 1);
    EXPECT_EQ(Clip("+CLIP: 0,2"), 2);
    // Caller-line indications of real modems are not the setting.
    EXPECT_EQ(Clip("+CLIP: \"123456789\",129,,,,0"), -100);
    EXPECT_EQ(Clip("+CLIP: \"+27821231234\",145,,,,0"), -100);
    EXPECT_EQ(Clip("+CLIP: 123456789,129"), -100);
    EXPECT_EQ(Clip("+CLIP: 1"), -100);

    auto clir = Response({"+CLIR: 1,4"});
    int two[2] = {};
    RilMessage m = {RIL_REQUEST_GET_CLIR, nullptr, two};
    EXPECT_EQ(HandleVoiceMessage(&m, clir.get()), 1);
    EXPECT_EQ(two[0] * 10 + two[1], 14);
    auto bad = Response({"+CLIR: 1"});
    EXPECT_EQ(HandleVoiceMessage(&m, bad.get()), 0);

    auto mute = Response({"+CMUT: 1"});
    int muted = 0;
    RilMessage mm = {RIL_REQUEST_GET_MUTE, nullptr, &muted};
    EXPECT_EQ(HandleVoiceMessage(&mm, mute.get()), 1);
    EXPECT_EQ(muted, 1);
    EXPECT_EQ(HandleVoiceMessage(nullptr, mute.get()), 0);
    RilMessage unknown = {RIL_REQUEST_DIAL, nullptr, &muted};
    EXPECT_EQ(HandleVoiceMessage(&unknown, mute.get()), 0);
}

TEST(CcParsers, ForwardingAnswers) {
    auto r = Response({"+CCFC: 0,2", "+CCFC: 1,1,\"+4912345\",145", "+CCFC: 1,4,\"+4954321\",145,,,25",
                       "+CCFC: 1,8,\"777\",129,30", "+CCFC: 1,16,\"888\",129,\"12\",128", "+CCFC: x,y,,z,w"});
    std::vector<RIL_CallForwardInfo> records(6);
    std::vector<RIL_CallForwardInfo *> list;
    for (auto &rec : records) {
        rec.reason = 2;
        list.push_back(&rec);
    }
    RilMessage m = {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, nullptr, list.data()};
    ASSERT_EQ(HandleVoiceMessage(&m, r.get()), 1);
    // The disabled class is overwritten by the next line; each active one keeps its record.
    EXPECT_EQ(records[0].status, 1);
    EXPECT_EQ(records[0].serviceClass, 1);
    EXPECT_STREQ(records[0].number, "+4912345");
    EXPECT_EQ(records[0].toa, 145);
    EXPECT_EQ(records[0].timeSeconds, 0);
    EXPECT_EQ(records[1].timeSeconds, 25) << "the time behind subaddress and its type";
    EXPECT_EQ(records[2].timeSeconds, 30) << "the time right after the type";
    EXPECT_EQ(records[3].timeSeconds, 0) << "a subaddress is no time";
    EXPECT_EQ(records[3].serviceClass, 16);
    // The garbage line left its record's fields as they were.
    EXPECT_EQ(records[4].status, 0);
    EXPECT_EQ(records[4].serviceClass, 0);
    EXPECT_EQ(records[4].reason, 2);
    EXPECT_EQ(records[5].status, 0);

    auto noPrefix = Response({"1,1"});
    EXPECT_EQ(HandleVoiceMessage(&m, noPrefix.get()), 0);
}

TEST(CcParsers, DialStrings) {
    for (const char *ok : {"123", "+4930123", "*21*123#", "123p45w6", "ABCD", "1,2"})
        EXPECT_TRUE(zv::cc::IsDialString(ok)) << ok;
    for (const char *bad : {"", "123;", "12\r3", "12\"3", "12 3", "abc", "1\x1a", "123;+CFUN=0", "P", "W", "12=3"})
        EXPECT_FALSE(zv::cc::IsDialString(bad)) << bad;
    EXPECT_FALSE(zv::cc::IsDialString(nullptr));
    EXPECT_TRUE(zv::cc::IsDialString(std::string(zv::cc::kMaxDialLength, '1').c_str()));
    EXPECT_FALSE(zv::cc::IsDialString(std::string(zv::cc::kMaxDialLength + 1, '1').c_str()));
}

}  // namespace
