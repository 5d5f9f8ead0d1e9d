// Voice calls end to end through the simulated network, for a WCDMA and a CDMA module: an
// outgoing call from dialing to hang-up with the repeated report while it is being set up, a
// waiting call taken and joined into a conference, an incoming call from a withheld number
// ended by the other side, a data ring that is no voice call, hostile call lines; then the
// supplementary services and every request refused before anything reaches the modem.
#include <gtest/gtest.h>

#include <modemsim/calls.h>

#include <string.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace {

using modemsim::ModelState;
using modemsim::ModuleType;
using zvtest::CallRecord;
using zvtest::Completion;
using namespace std::chrono_literals;
using V = std::vector<int>;

class CallFlow : public zvtest::LibraryTest, public ::testing::WithParamInterface<ModuleType> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // The test plays the called party: outgoing calls progress only when it says so.
        StartWithModem(GetParam(), {}, [](modemsim::Modem &m) {
            m.Update([](ModelState &s) {
                s.calls.alert_after_ms = -1;
                s.calls.answer_after_ms = -1;
            });
        });
        ASSERT_TRUE(WaitRadioState(cdma() ? RADIO_STATE_RUIM_READY : RADIO_STATE_SIM_READY)) << RadioState();
        modem().ClearCommands();
    }
    bool cdma() const { return GetParam() == ModuleType::kCdma; }
    modemsim::Modem &modem() { return rig_->modem(); }

    Completion Call(int request, const void *data = nullptr, size_t datalen = 0) {
        Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(request, const_cast<void *>(data), datalen), 10s, &c))
            << request;
        return c;
    }
    Completion Text(int request, const char *text) { return Call(request, text, text ? strlen(text) + 1 : 0); }
    std::vector<CallRecord> List() {
        Completion c = Call(RIL_REQUEST_GET_CURRENT_CALLS);
        EXPECT_EQ(c.error, RIL_E_SUCCESS);
        EXPECT_EQ(c.length, c.calls.size() * sizeof(RIL_Call *));
        return c.calls;
    }
    size_t ReportsSince(size_t from) {
        size_t n = 0;
        for (const auto &u : daemon_.UnsolicitedSince(from)) n += u.id == RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED;
        return n;
    }
    bool ReportAfter(size_t from) {
        return daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED, 3s, from);
    }
    // Plays the framework: ask for the list, and again after every call-state report, until
    // the list is what the test waits for.
    std::vector<CallRecord> ListUntil(const std::function<bool(const std::vector<CallRecord> &)> &done) {
        for (int round = 0; round < 50; ++round) {
            size_t from = daemon_.UnsolicitedCount();
            std::vector<CallRecord> calls = List();
            if (done(calls)) return calls;
            if (!ReportAfter(from)) break;
        }
        ADD_FAILURE() << "the list never got there";
        return {};
    }
    static std::function<bool(const std::vector<CallRecord> &)> States(V states) {
        return [states](const std::vector<CallRecord> &calls) {
            V now;
            for (const auto &c : calls) now.push_back(c.state);
            return now == states;
        };
    }
    int LastCause() {
        Completion c = Call(RIL_REQUEST_LAST_CALL_FAIL_CAUSE);
        return c.ints.empty() ? -1 : c.ints[0];
    }
};

TEST_P(CallFlow, CallsThroughTheSimulatedNetwork) {
    modemsim::Modem &m = modem();
    EXPECT_EQ(LastCause(), 0xffff) << "no call has ended yet";
    EXPECT_TRUE(List().empty());

    // A dial string that would end the command and start another is never sent.
    RIL_Dial bad = {const_cast<char *>("123;+CFUN=0"), 0, nullptr};
    EXPECT_EQ(Call(RIL_REQUEST_DIAL, &bad, sizeof bad).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(m.CountCommands("ATD") + m.CountCommands("AT+CDV"), 0u);

    // Outgoing: dialing, alerting, active; the list is asked again while the call is set up.
    RIL_Dial dial = {const_cast<char *>("+4930123"), 1, nullptr};
    EXPECT_EQ(Call(RIL_REQUEST_DIAL, &dial, sizeof dial).error, RIL_E_SUCCESS);
    EXPECT_TRUE(m.WaitForCommand(cdma() ? "AT+CDV+4930123" : "ATD+4930123I;", 1000));
    size_t from = daemon_.UnsolicitedCount();
    std::vector<CallRecord> calls = List();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].state, RIL_CALL_DIALING);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[0].isMT, 0);
    EXPECT_EQ(calls[0].isVoice, 1);
    EXPECT_EQ(calls[0].number, "+4930123");
    EXPECT_EQ(calls[0].toa, 145);
    EXPECT_TRUE(ReportAfter(from)) << "a dialing call brings a repeated report";
    ASSERT_TRUE(modemsim::RemoteAlerting(m, 1));  // "^CONF:" alone reports nothing
    ListUntil(States({RIL_CALL_ALERTING}));
    ASSERT_TRUE(modemsim::RemoteAnswer(m, 1));  // "^CONN:"
    ListUntil(States({RIL_CALL_ACTIVE}));
    std::this_thread::sleep_for(100ms);  // reports still due from the transient lists
    List();
    from = daemon_.UnsolicitedCount();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ReportsSince(from), 0u) << "no repeated report once the call is stable";
    EXPECT_EQ(*Sym<int>("cc_activeCallIndex"), 1);

    // Tones address the active call; a modem that refuses its own command takes +VTS.
    EXPECT_EQ(Text(RIL_REQUEST_DTMF, "5").error, RIL_E_SUCCESS);
    m.OnPrefix("AT^DTMF=", {"ERROR"});
    EXPECT_EQ(Text(RIL_REQUEST_DTMF_START, "#").error, RIL_E_SUCCESS);
    EXPECT_TRUE(m.ExpectCommands({"AT^DTMF=1,5", "AT^DTMF=1,#", "AT+VTS=#"}, 1000));
    m.ClearOverrides();
    EXPECT_EQ(Text(RIL_REQUEST_DTMF, "5\r+CFUN=0").error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_DTMF_STOP).error, RIL_E_SUCCESS);
    EXPECT_EQ(m.State().calls.tones, "5#");

    // A waiting call, taken with the first one put on hold, then both joined.
    from = daemon_.UnsolicitedCount();
    ASSERT_EQ(modemsim::WaitingCall(m, "+4930999"), 2);
    EXPECT_TRUE(ReportAfter(from)) << "+CCWA";
    calls = ListUntil(States({RIL_CALL_ACTIVE, RIL_CALL_WAITING}));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].isMT, 1);
    EXPECT_EQ(calls[1].number, "+4930999");
    EXPECT_EQ(Call(RIL_REQUEST_SWITCH_WAITING_OR_HOLDING_AND_ACTIVE).error, RIL_E_SUCCESS);
    ListUntil(States({RIL_CALL_HOLDING, RIL_CALL_ACTIVE}));
    EXPECT_EQ(Call(RIL_REQUEST_CONFERENCE).error, RIL_E_SUCCESS);
    calls = ListUntil(States({RIL_CALL_ACTIVE, RIL_CALL_ACTIVE}));
    EXPECT_EQ(calls[0].isMpty + calls[1].isMpty, 2);
    int index = 10;
    EXPECT_EQ(Call(RIL_REQUEST_SEPARATE_CONNECTION, &index, sizeof index).error, RIL_E_GENERIC_FAILURE);
    index = 2;
    EXPECT_EQ(Call(RIL_REQUEST_SEPARATE_CONNECTION, &index, sizeof index).error, RIL_E_SUCCESS);
    EXPECT_EQ(m.CountCommands("AT+CHLD=21"), 0u);
    calls = ListUntil(States({RIL_CALL_HOLDING, RIL_CALL_ACTIVE}));
    EXPECT_EQ(calls[0].isMpty + calls[1].isMpty, 0);

    // The active call ends and the held one comes back (a CDMA module ends both), then the rest.
    EXPECT_EQ(Call(RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND).error, RIL_E_SUCCESS);
    ListUntil(cdma() ? States({}) : States({RIL_CALL_ACTIVE}));
    EXPECT_EQ(Call(RIL_REQUEST_HANGUP).error, RIL_E_SUCCESS);
    ListUntil(States({}));
    EXPECT_EQ(LastCause(), modemsim::kCauseNormalClearing);
    EXPECT_TRUE(m.ExpectCommands(cdma() ? std::vector<std::string>{"AT+CHLD=2", "AT+CHLD=3", "AT+CHLD=22", "AT+CHV"}
                                        : std::vector<std::string>{"AT+CHLD=2", "AT+CHLD=3", "AT+CHLD=22",
                                                                   "AT+CHLD=1", "AT+CHUP"},
                                 1000));

    // Incoming from a withheld number, answered, ended by the other side as busy.
    from = daemon_.UnsolicitedCount();
    ASSERT_EQ(modemsim::IncomingCall(m, "Anonymous"), 1);
    EXPECT_TRUE(ReportAfter(from)) << "+CRING: VOICE";
    calls = ListUntil(States({RIL_CALL_INCOMING}));
    EXPECT_EQ(calls[0].isMT, 1);
    EXPECT_FALSE(calls[0].hasNumber);
    EXPECT_EQ(calls[0].toa, 129);
    EXPECT_EQ(Call(RIL_REQUEST_ANSWER).error, RIL_E_SUCCESS);
    ListUntil(States({RIL_CALL_ACTIVE}));
    ASSERT_TRUE(modemsim::RemoteHangUp(m, 1, modemsim::kCauseUserBusy));
    ListUntil(States({}));
    EXPECT_EQ(LastCause(), modemsim::kCauseUserBusy);

    // A data call rings: no report, and its row is no voice call. UDUB sends it away.
    std::this_thread::sleep_for(100ms);
    from = daemon_.UnsolicitedCount();
    ASSERT_GT(modemsim::DataCallRing(m), 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ReportsSince(from), 0u);
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(Call(RIL_REQUEST_UDUB).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modemsim::CurrentCalls(m).empty());
    std::this_thread::sleep_for(200ms);  // its "^CEND:" and report

    // Hostile and quiet lines: one report for the unreadable "^CEND:", whose cause is unknown.
    from = daemon_.UnsolicitedCount();
    for (const char *line : {"^ORIG: 1,0", "+CCCM: 000010", "+CLCC: 99999999999,0,0,0,0", "+CRING: GPRS \"IP\"",
                             "+CLCC: 1,0,0,0,0,\"" "12345678901234567890123456789012345678901234567890"
                             "12345678901234567890\",145",
                             "^CEND: x"})
        m.Inject(line);
    EXPECT_TRUE(ReportAfter(from));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ReportsSince(from), 1u);
    EXPECT_EQ(LastCause(), 0xffff);
    EXPECT_EQ(Call(RIL_REQUEST_EXPLICIT_CALL_TRANSFER).error, RIL_E_REQUEST_NOT_SUPPORTED);
    EXPECT_FALSE(LogContains("4930123")) << "dialled numbers stay out of the log";
}

TEST_P(CallFlow, SupplementaryServicesAndRefusedRequests) {
    modemsim::Modem &m = modem();
    EXPECT_EQ(Call(RIL_REQUEST_GET_CLIR).ints, (V{0, 4}));
    int value = 1;
    EXPECT_EQ(Call(RIL_REQUEST_SET_CLIR, &value, sizeof value).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_GET_CLIR).ints, (V{1, 4}));
    value = 3;
    EXPECT_EQ(Call(RIL_REQUEST_SET_CLIR, &value, sizeof value).error, RIL_E_GENERIC_FAILURE) << "the modem refuses";
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_CLIP).ints, V{1});

    // Forwarding: this modem wants the number quoted, so the bare first try is repeated quoted.
    RIL_CallForwardInfo cf = {};
    cf.status = 3;
    cf.reason = 0;
    cf.serviceClass = 1;
    cf.toa = 145;
    cf.number = const_cast<char *>("+4912345");
    EXPECT_EQ(Call(RIL_REQUEST_SET_CALL_FORWARD, &cf, sizeof cf).error, RIL_E_SUCCESS);
    cf.reason = 2;
    cf.toa = 129;
    cf.number = const_cast<char *>("0301234");
    cf.timeSeconds = 25;
    EXPECT_EQ(Call(RIL_REQUEST_SET_CALL_FORWARD, &cf, sizeof cf).error, RIL_E_SUCCESS);
    EXPECT_TRUE(m.ExpectCommands({"AT+CCFC=0,3,+4912345,145,1,,,", "AT+CCFC=0,3,\"+4912345\",145,1,,,",
                                  "AT+CCFC=2,3,\"0301234\",129,1,,,25"},
                                 1000));
    RIL_CallForwardInfo query = {};
    query.status = 2;
    Completion c = Call(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, &query, sizeof query);
    ASSERT_EQ(c.forwards.size(), 1u);
    EXPECT_EQ(c.forwards[0].status, 1);
    EXPECT_EQ(c.forwards[0].reason, 0);
    EXPECT_EQ(c.forwards[0].serviceClass, 1);
    EXPECT_EQ(c.forwards[0].number, "+4912345");
    EXPECT_EQ(c.forwards[0].toa, 145);
    query.reason = 2;
    c = Call(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, &query, sizeof query);
    ASSERT_EQ(c.forwards.size(), 1u);
    EXPECT_EQ(c.forwards[0].timeSeconds, 25);
    query.reason = 1;
    c = Call(RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, &query, sizeof query);
    ASSERT_EQ(c.forwards.size(), 1u);
    EXPECT_EQ(c.forwards[0].status, 0);
    EXPECT_EQ(c.forwards[0].reason, 1);
    // Numbers that could end the command are refused; erasing needs no number.
    size_t sent = m.CountCommands("AT+CCFC=");
    for (const char *number : {"1;+CFUN=0", "12\"3", "12\r3"}) {
        cf.number = const_cast<char *>(number);
        EXPECT_EQ(Call(RIL_REQUEST_SET_CALL_FORWARD, &cf, sizeof cf).error, RIL_E_GENERIC_FAILURE) << number;
    }
    EXPECT_EQ(m.CountCommands("AT+CCFC="), sent);
    cf.status = 4;
    cf.reason = 0;
    cf.number = nullptr;
    cf.timeSeconds = 0;
    EXPECT_EQ(Call(RIL_REQUEST_SET_CALL_FORWARD, &cf, sizeof cf).error, RIL_E_SUCCESS);
    EXPECT_TRUE(m.WaitForCommand("AT+CCFC=0,4,,129,1,,,", 1000));

    // Call waiting: class 0 asks for voice, and the request's data says so afterwards.
    int serviceClass = 0;
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_CALL_WAITING, &serviceClass, sizeof serviceClass).ints, (V{1, 1}));
    EXPECT_EQ(serviceClass, 1);
    int off[2] = {0, 1};
    EXPECT_EQ(Call(RIL_REQUEST_SET_CALL_WAITING, off, sizeof off).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_CALL_WAITING, &serviceClass, sizeof serviceClass).ints, (V{0, 0}));
    EXPECT_TRUE(m.ExpectCommands({"AT+CCWA=1,2,1", "AT+CCWA=1,0,1", "AT+CCWA=1,2,1"}, 1000));

    value = 1;
    EXPECT_EQ(Call(RIL_REQUEST_SET_MUTE, &value, sizeof value).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_GET_MUTE).ints, V{1});

    if (cdma()) {
        EXPECT_EQ(Text(RIL_REQUEST_CDMA_FLASH, "").error, RIL_E_SUCCESS);
        EXPECT_EQ(Text(RIL_REQUEST_CDMA_FLASH, "123").error, RIL_E_SUCCESS);
        const char *burst[3] = {"123", "0", "0"};
        EXPECT_EQ(Call(RIL_REQUEST_CDMA_BURST_DTMF, burst, sizeof burst).error, RIL_E_SUCCESS);
        EXPECT_TRUE(m.ExpectCommands({"AT^HFLASH", "AT^HFLASH=123", "AT^DTMF=99,123,150,150"}, 1000));
    } else {
        EXPECT_EQ(Text(RIL_REQUEST_CDMA_FLASH, "").error, RIL_E_GENERIC_FAILURE) << "a 3GPP modem has no flash";
    }

    // Outside the ready states (an emergency call without SIM) the foreground call is hung up.
    std::atomic_ref<int> state(*Sym<int>("sState"));
    const int ready = state.load();
    state.store(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    EXPECT_EQ(Call(RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND).error, RIL_E_SUCCESS);
    state.store(ready);
    EXPECT_TRUE(m.WaitForCommand(cdma() ? "AT+CHV" : "AT+CHUP", 1000));
    EXPECT_EQ(m.CountCommands("AT+CHLD=1"), 0u);

    // Missing, short or unsafe request data: one failure each, and nothing reaches the modem.
    m.ClearCommands();
    char zeros[64] = {};
    const char *unsafeBurst[3] = {"1", "1;+CFUN=0", "0"};
    const struct {
        int request;
        const void *data;
        size_t length;
    } refused[] = {
        {RIL_REQUEST_DIAL, nullptr, 0},
        {RIL_REQUEST_DIAL, zeros, sizeof(char *)},
        {RIL_REQUEST_DIAL, zeros, sizeof(RIL_Dial)},  // null address
        {RIL_REQUEST_DTMF, nullptr, 0},
        {RIL_REQUEST_DTMF_START, zeros, 1},  // empty string
        {RIL_REQUEST_SET_CLIR, nullptr, 0},
        {RIL_REQUEST_SET_CLIR, zeros, 2},
        {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, nullptr, 0},
        {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, zeros, sizeof(RIL_CallForwardInfo) - 1},
        {RIL_REQUEST_SET_CALL_FORWARD, nullptr, 0},
        {RIL_REQUEST_SET_CALL_FORWARD, zeros, 8},
        {RIL_REQUEST_QUERY_CALL_WAITING, nullptr, 0},
        {RIL_REQUEST_SET_CALL_WAITING, zeros, sizeof(int)},
        {RIL_REQUEST_SEPARATE_CONNECTION, nullptr, 0},
        {RIL_REQUEST_SEPARATE_CONNECTION, zeros, sizeof(int)},  // index 0
        {RIL_REQUEST_SET_MUTE, nullptr, 0},
        {RIL_REQUEST_CDMA_FLASH, nullptr, 0},
        {RIL_REQUEST_CDMA_FLASH, "1\x1a", 3},
        {RIL_REQUEST_CDMA_BURST_DTMF, nullptr, 0},
        {RIL_REQUEST_CDMA_BURST_DTMF, zeros, 2 * sizeof(char *)},
        {RIL_REQUEST_CDMA_BURST_DTMF, unsafeBurst, sizeof unsafeBurst},
    };
    for (const auto &r : refused) {
        // There NULL is the empty feature code: a flash without digits (empty_request_strings_test).
        if (Hidl() && r.request == RIL_REQUEST_CDMA_FLASH && !r.data) continue;
        EXPECT_EQ(Call(r.request, r.data, r.length).error, RIL_E_GENERIC_FAILURE) << r.request << "/" << r.length;
    }
    EXPECT_TRUE(m.Commands().empty()) << m.Commands().front();
}

INSTANTIATE_TEST_SUITE_P(Modules, CallFlow, ::testing::Values(ModuleType::kWcdma, ModuleType::kCdma),
                         [](const ::testing::TestParamInfo<ModuleType> &info) {
                             return std::string(modemsim::ModuleTypeName(info.param));
                         });

}  // namespace
