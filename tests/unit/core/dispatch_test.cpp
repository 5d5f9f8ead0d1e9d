// The radio-state gate and the routing of requests and unsolicited lines.
#include <gtest/gtest.h>

#include <map>
#include <iterator>
#include <set>
#include <string>

#include <zorvik/host.h>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_internal.h"
#include "core/dispatch_tables.h"
#include "unit/support/library_env.h"

namespace {

// Faults a routing table can have: a request number in two rows (the later row is dead), an
// unsolicited prefix that an earlier row's prefix shadows (its lines go to the wrong service),
// and a row for a service nobody serves.
TEST(RequestRouting, NoRowIsDeadOrShadowed) {
    std::set<int> seen;
    for (const auto &row : zv::kRequestRoutes) {
        EXPECT_TRUE(seen.insert(row.request).second) << "request " << row.request << " routed twice";
        EXPECT_EQ(zv::ServiceForRequest(row.request), row.service) << row.request;
        EXPECT_NE(row.service, ZV_SERVICE_NONE) << row.request;
    }
    for (size_t i = 0; i < std::size(zv::kUnsolicitedRoutes); ++i) {
        const auto &row = zv::kUnsolicitedRoutes[i];
        EXPECT_EQ(zv::ServiceForLine(row.prefix), row.service) << row.prefix << " is shadowed by an earlier row";
        for (size_t j = 0; j < i; ++j) {
            EXPECT_NE(std::string(row.prefix).rfind(zv::kUnsolicitedRoutes[j].prefix, 0), 0u)
                << row.prefix << " can never match: " << zv::kUnsolicitedRoutes[j].prefix << " comes first";
        }
    }
    EXPECT_EQ(zv::ServiceForRequest(0), ZV_SERVICE_NONE);
    EXPECT_EQ(zv::ServiceForRequest(-1), ZV_SERVICE_NONE);
}

struct Outcome {
    enum Kind { kGateNotAvailable, kUnrouted, kHandled } kind;
};

Outcome ExpectedOutcome(int state, int request) {
    static const std::set<int> offAllowed = {38, 39, 51, 60, 98};
    bool routed = zv::ServiceForRequest(request) != ZV_SERVICE_NONE;
    if (request == 61 || request == 103) return {Outcome::kHandled};
    if (state == RADIO_STATE_OFF) {
        if (request == 23 || request == 1) return {Outcome::kHandled};
        if (!offAllowed.count(request)) return {Outcome::kGateNotAvailable};
    } else if (state == RADIO_STATE_UNAVAILABLE) {
        return {request == 1 ? Outcome::kHandled : Outcome::kGateNotAvailable};
    }
    return {routed ? Outcome::kHandled : Outcome::kUnrouted};
}

// Every request number in every radio state, with null data and a zero or bogus length:
// completed exactly once, with the gate's answer, the unrouted answer, or by its service.
TEST(RequestGate, EveryRequestInEveryStateCompletesOnce) {
    // Handlers that retry without a channel sleep between attempts; time runs fast here.
    setenv("ZORVIK_TIME_SCALE", "1000", 1);
    zv::ReloadHostEnvironment();
    zvtest::RecordingEnv env;
    const int saved = sState;
    for (int state = 0; state <= 9; ++state) {
        for (int request = 0; request <= 130; ++request) {
            for (size_t datalen : {size_t{0}, size_t{3}}) {
                env.Clear();
                zv::Store(sState, state);
                auto token = reinterpret_cast<RIL_Token>(static_cast<uintptr_t>(request * 100 + state + 1));
                onRequest(request, nullptr, datalen, token);
                auto done = env.Completions();
                ASSERT_EQ(done.size(), 1u) << "state " << state << " request " << request;
                EXPECT_EQ(done[0].token, token);
                Outcome want = ExpectedOutcome(state, request);
                bool unroutedLogged = env.Logged("Not found the request");
                switch (want.kind) {
                    case Outcome::kGateNotAvailable:
                        EXPECT_EQ(done[0].error, RIL_E_RADIO_NOT_AVAILABLE) << "state " << state << " req " << request;
                        EXPECT_FALSE(env.Logged("Local implementation"));
                        break;
                    case Outcome::kUnrouted:
                        EXPECT_EQ(done[0].error, RIL_E_REQUEST_NOT_SUPPORTED) << "state " << state << " req " << request;
                        EXPECT_TRUE(unroutedLogged) << "state " << state << " req " << request;
                        EXPECT_TRUE(env.Logged("onRequests: invalid service ID:8"));
                        // Nothing went to the modem, and the log must not say it did.
                        EXPECT_FALSE(env.Logged("AT cmd sent")) << "state " << state << " req " << request;
                        EXPECT_TRUE(env.Logged("answered without an AT command"));
                        break;
                    case Outcome::kHandled:
                        EXPECT_FALSE(unroutedLogged) << "state " << state << " req " << request;
                        break;
                }
            }
        }
    }
    zv::Store(sState, saved);
    unsetenv("ZORVIK_TIME_SCALE");
    zv::ReloadHostEnvironment();
}

TEST(RequestGate, ScreenStateAndToolkitReportPassEveryState) {
    zvtest::RecordingEnv env;
    const int saved = sState;
    for (int state = 0; state <= 9; ++state) {
        zv::Store(sState, state);
        for (int request : {61, 103}) {
            env.Clear();
            onRequest(request, nullptr, 0, reinterpret_cast<RIL_Token>(1));
            ASSERT_EQ(env.Completions().size(), 1u);
            EXPECT_NE(env.Completions()[0].error, RIL_E_RADIO_NOT_AVAILABLE);
            EXPECT_FALSE(env.Logged("Local implementation")) << "served before the gate, no routing line";
        }
    }
    zv::Store(sState, saved);
}

// A request's time-out allowance is its own: whatever it did not use (refused by the gate,
// not supported, answered without a command) ends with it, and the next command of anybody
// gets the ordinary time-out. Served requests clean up after themselves as well.
TEST(RequestGate, UnusedTimeoutAllowanceEndsWithTheRequest) {
    setenv("ZORVIK_TIME_SCALE", "1000", 1);
    zv::ReloadHostEnvironment();
    zvtest::RecordingEnv env;
    const int saved = sState;
    const struct {
        int state;
        int request;
    } cases[] = {
        {RADIO_STATE_UNAVAILABLE, RIL_REQUEST_QUERY_AVAILABLE_NETWORKS},  // refused by the gate
        {RADIO_STATE_OFF, RIL_REQUEST_SEND_SMS},                          // refused by the gate
        {RADIO_STATE_SIM_READY, RIL_REQUEST_SEND_SMS},                    // served (no channel here)
        {RADIO_STATE_SIM_READY, RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL},
    };
    for (const auto &c : cases) {
        zv::Store(sState, c.state);
        onRequest(c.request, nullptr, 0, reinterpret_cast<RIL_Token>(1));
        EXPECT_EQ(zv::at::ChooseTimeoutMs("AT+CSQ"), 30000) << "request " << c.request << " in state " << c.state;
    }
    EXPECT_EQ(env.Completions().size(), std::size(cases));
    zv::Store(sState, saved);
    unsetenv("ZORVIK_TIME_SCALE");
    zv::ReloadHostEnvironment();
}

TEST(UnsolicitedRouting, FirstMatchingPrefixDecides) {
    EXPECT_EQ(zv::ServiceForLine("+CMTI: \"SM\",3"), ZV_SERVICE_SMS);
    EXPECT_EQ(zv::ServiceForLine("+CMT: ,23"), ZV_SERVICE_SMS);
    EXPECT_EQ(zv::ServiceForLine("+CREG: 1"), ZV_SERVICE_MM);
    EXPECT_EQ(zv::ServiceForLine("+CGREG: 1,\"00C3\""), ZV_SERVICE_MM);
    EXPECT_EQ(zv::ServiceForLine("RING"), ZV_SERVICE_CC);
    EXPECT_EQ(zv::ServiceForLine("+CCWA: \"123\",129"), ZV_SERVICE_CC);
    EXPECT_EQ(zv::ServiceForLine("+CUSD: 0,\"x\",15"), ZV_SERVICE_USSD);
    EXPECT_EQ(zv::ServiceForLine("^NDISSTAT: 1,,,\"IPV4\""), ZV_SERVICE_PS);
    EXPECT_EQ(zv::ServiceForLine("^DCONN"), ZV_SERVICE_PS);
    EXPECT_EQ(zv::ServiceForLine("*PSSIMSTAT: 1"), ZV_SERVICE_SIM);
    EXPECT_EQ(zv::ServiceForLine("^SIMST: 1"), ZV_SERVICE_SIM);
    // Case-sensitive, whole-prefix matches only.
    EXPECT_EQ(zv::ServiceForLine("+creg: 1"), ZV_SERVICE_NONE);
    EXPECT_EQ(zv::ServiceForLine("+CRE"), ZV_SERVICE_NONE);
    EXPECT_EQ(zv::ServiceForLine(""), ZV_SERVICE_NONE);
    // No row sends anything to the device service.
    for (const auto &row : zv::kUnsolicitedRoutes) EXPECT_NE(row.service, ZV_SERVICE_DEV) << row.prefix;
}

TEST(UnsolicitedRouting, DroppedWhileUnavailableAndUnknownLinesLogged) {
    zvtest::RecordingEnv env;
    const int saved = sState;
    zv::Store(sState, RADIO_STATE_UNAVAILABLE);
    ZvRilUnsolicited("+CUSD: 0,\"hi\",15", nullptr);
    ZvRilUnsolicited("WHATEVER", nullptr);
    EXPECT_FALSE(env.Logged("Unexpected service type"));
    EXPECT_FALSE(env.Logged("CUSD"));

    zv::Store(sState, RADIO_STATE_SIM_READY);
    ZvRilUnsolicited("WHATEVER", nullptr);
    EXPECT_TRUE(env.Logged("ZvRilUnsolicited: Unexpected service type:8"));
    ZvRilUnsolicited(nullptr, nullptr);  // must not crash
    zv::Store(sState, saved);
}

TEST(Obtain, FillsTheMessageWithoutTakingOwnership) {
    int record = 0;
    char text[] = "AT+CSQ";
    RilMessage *m = nullptr;
    Obtain(&m, 19, text, &record);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->id, 19);
    EXPECT_EQ(m->text, text);
    EXPECT_EQ(m->data, &record);
    free(m);
    Obtain(nullptr, 1, nullptr, nullptr);  // tolerated
}

TEST(MessageRouters, NullMessageIsLoggedAndFails) {
    zvtest::RecordingEnv env;
    EXPECT_EQ(HandleVoiceMessage(nullptr), 0);
    EXPECT_EQ(HandleDEVMessage(nullptr), 0);
    EXPECT_EQ(HandleNetworkMessage(nullptr), 0);
    EXPECT_EQ(HandleSMSMessage(nullptr, nullptr), 0);
    EXPECT_EQ(HandleSIMMessage(nullptr), 0);
    EXPECT_EQ(HandlePSMessage(nullptr), 0);
    EXPECT_TRUE(env.Logged("HandleVoiceMessage p_message is NULL"));
    EXPECT_TRUE(env.Logged("HandleDEVMessage  p_message  is  NULL"));
    EXPECT_TRUE(env.Logged("HandleNetworkMessage: p_message is NULL"));
    EXPECT_TRUE(env.Logged("HandleSMSMessage p_message is NULL"));
    EXPECT_TRUE(env.Logged("HandleSIMMessage p_message is NULL"));
    EXPECT_TRUE(env.Logged("HandlePSMessage p_message is NULL"));
}

}  // namespace
