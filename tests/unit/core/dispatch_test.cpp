// The radio-state gate and the routing of requests and unsolicited lines.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include <zorvik/host.h>

#include <zvril.h>
#include <zvshared.h>

#include "core/dispatch_tables.h"
#include "unit/support/library_env.h"

namespace {

// The routing as the daemon's users expect it, written independently of the library's table.
std::map<int, int> ExpectedRoutes() {
    std::map<int, int> m;
    for (int r : {1, 2, 3, 4, 5, 6, 7, 8, 11, 28, 67, 68, 69, 70, 71}) m[r] = ZV_SERVICE_SIM;
    for (int r : {9, 10, 12, 13, 14, 15, 16, 17, 18, 24, 31, 32, 33, 34, 35, 36, 40, 49, 50, 52, 53, 54, 55, 72, 84, 85})
        m[r] = ZV_SERVICE_CC;
    for (int r : {19, 20, 21, 22, 45, 46, 47, 48, 73, 74, 75, 76, 112}) m[r] = ZV_SERVICE_MM;
    for (int r : {23, 38, 39, 42, 43, 51, 58, 59, 60, 65, 66, 77, 78, 79, 95, 98}) m[r] = ZV_SERVICE_DEV;
    for (int r : {25, 26, 37, 63, 64, 87, 88, 89, 90, 91, 96, 97, 100, 101, 113}) m[r] = ZV_SERVICE_SMS;
    for (int r : {27, 41, 56, 57}) m[r] = ZV_SERVICE_PS;
    for (int r : {29, 30, 44, 62}) m[r] = ZV_SERVICE_USSD;
    return m;
}

TEST(RequestRouting, EveryNumberMapsToItsServiceOrToNone) {
    auto expected = ExpectedRoutes();
    for (int r = -5; r <= 140; ++r) {
        auto it = expected.find(r);
        int want = it == expected.end() ? ZV_SERVICE_NONE : it->second;
        EXPECT_EQ(zv::ServiceForRequest(r), want) << "request " << r;
    }
}

struct Outcome {
    enum Kind { kGateNotAvailable, kUnrouted, kHandled } kind;
};

Outcome ExpectedOutcome(int state, int request) {
    static const std::set<int> offAllowed = {38, 39, 51, 60, 98};
    bool routed = ExpectedRoutes().count(request) > 0;
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
                EXPECT_EQ(zv::Load(at_request), request == 0 ? 0 : zv::Load(at_request));
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

TEST(RequestGate, RecordsTheRequestForTheChannelTimeout) {
    zvtest::RecordingEnv env;
    const int saved = sState;
    zv::Store(sState, RADIO_STATE_SIM_READY);
    onRequest(RIL_REQUEST_SEND_SMS, nullptr, 0, reinterpret_cast<RIL_Token>(1));
    EXPECT_EQ(zv::Load(at_request), RIL_REQUEST_SEND_SMS);
    zv::Store(at_request, 0);
    zv::Store(sState, saved);
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
    EXPECT_EQ(HandleSMSMessage(nullptr), 0);
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
