// The radio state's one writer and its follow-ups, and the platform-generation table.
#include <gtest/gtest.h>

#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "core/core_internal.h"
#include "unit/support/library_env.h"

namespace {

class RadioStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedState_ = sState;
        savedClosed_ = s_closed;
        zv::Store(s_closed, 0);
    }
    void TearDown() override {
        zv::Store(sState, savedState_);
        zv::Store(s_closed, savedClosed_);
    }
    int savedState_ = 0, savedClosed_ = 0;
};

TEST_F(RadioStateTest, SameStateWithOpenChannelIsSilent) {
    zvtest::RecordingEnv env;
    zv::Store(sState, RADIO_STATE_OFF);
    SetRadioState(RADIO_STATE_OFF);
    EXPECT_TRUE(env.Unsolicited().empty());
    EXPECT_FALSE(env.Logged("SetRadioState: sState="));
    EXPECT_TRUE(env.Logged("oldState 0, sState 0, newState0"));
}

TEST_F(RadioStateTest, ChangeReportsOnceAndOffHasNoFollowUp) {
    zvtest::RecordingEnv env;
    zv::Store(sState, RADIO_STATE_UNAVAILABLE);
    SetRadioState(RADIO_STATE_OFF);
    EXPECT_EQ(currentState(), RADIO_STATE_OFF);
    EXPECT_EQ(getRadioState(), 0);
    ASSERT_EQ(env.Unsolicited().size(), 1u);
    EXPECT_EQ(env.Unsolicited()[0], RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED);
    EXPECT_FALSE(env.Logged("poll_sim_state"));
}

TEST_F(RadioStateTest, ClosedChannelForcesUnavailable) {
    zvtest::RecordingEnv env;
    zv::Store(sState, RADIO_STATE_OFF);
    zv::Store(s_closed, 1);
    SetRadioState(RADIO_STATE_SIM_READY);
    EXPECT_EQ(currentState(), RADIO_STATE_UNAVAILABLE);
    EXPECT_EQ(env.Unsolicited().size(), 1u);
    EXPECT_FALSE(env.Logged("OnSIMReady"));

    // Already unavailable: broadcasts (the main loop's wake-up) but reports nothing new.
    env.Clear();
    SetRadioState(RADIO_STATE_SIM_READY);
    EXPECT_EQ(currentState(), RADIO_STATE_UNAVAILABLE);
    EXPECT_TRUE(env.Unsolicited().empty());
    EXPECT_TRUE(env.Logged("SetRadioState: sState=1"));
}

TEST_F(RadioStateTest, NotReadyStatesStartSimPolling) {
    for (int notReady : {RADIO_STATE_SIM_NOT_READY, RADIO_STATE_RUIM_NOT_READY}) {
        zvtest::RecordingEnv env;
        zv::Store(sState, RADIO_STATE_OFF);
        SetRadioState(static_cast<RIL_RadioState>(notReady));
        EXPECT_TRUE(env.Logged("***poll_sim_state***"));
        // Without a channel the card cannot answer: it reads as not ready and polling re-arms.
        EXPECT_EQ(env.TimedCallbacks(), 1u);
        EXPECT_EQ(currentState(), notReady);
    }
}

TEST_F(RadioStateTest, ReadyStatesRunTheSimReadySequence) {
    for (int ready : {RADIO_STATE_SIM_READY, RADIO_STATE_RUIM_READY, RADIO_STATE_NV_READY}) {
        zvtest::RecordingEnv env;
        zv::Store(sState, RADIO_STATE_OFF);
        SetRadioState(static_cast<RIL_RadioState>(ready));
        EXPECT_TRUE(env.Logged("OnSIMReady")) << ready;
    }
}

TEST_F(RadioStateTest, PollSimStateOutsideNotReadyDoesNothing) {
    zvtest::RecordingEnv env;
    zv::Store(sState, RADIO_STATE_SIM_READY);
    poll_sim_state(nullptr);
    EXPECT_EQ(env.TimedCallbacks(), 0u);
    EXPECT_TRUE(env.Unsolicited().empty());
    // NV-not-ready with an unknown sub-type also does nothing.
    zv::Store(sState, RADIO_STATE_NV_NOT_READY);
    poll_sim_state(nullptr);
    EXPECT_EQ(env.TimedCallbacks(), 0u);
}

TEST_F(RadioStateTest, CardlessCdmaGoesStraightToNvReady) {
    zvtest::RecordingEnv env;
    int savedSubtype = g_cdma_subtype;
    zv::Store(g_cdma_subtype, 1);
    zv::Store(sState, RADIO_STATE_OFF);
    SetRadioState(RADIO_STATE_NV_NOT_READY);
    EXPECT_EQ(currentState(), RADIO_STATE_NV_READY);
    // Two state changes, then the SIM-ready configuration's network state reports.
    EXPECT_EQ(env.Unsolicited(), (std::vector<int>{RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED,
                                                   RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED,
                                                   RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED,
                                                   RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED}));
    zv::Store(g_cdma_subtype, savedSubtype);
}

TEST(PlatformGeneration, ReleaseTable) {
    struct Row {
        const char *release;
        int androidVersion, tableVersion;
        const char *log;
    } rows[] = {
        {"2.3.7", 1, 4, "RIL_Init Android2.3"}, {"3.2", 2, 4, "RIL_Init Android3.x"},
        {"4.0.4", 3, 6, "RIL_Init Android4.0"}, {"4.3.1", 4, 6, "RIL_Init Android4.x"},
        {"5.1", 5, 6, "RIL_Init Android5.x"},   {"6.0", 6, 6, "RIL_Init Android6.x"},
        {"", 6, 6, "RIL_Init Android6.x"},      {"2.2", 6, 6, "RIL_Init Android6.x"},
        {"10", 6, 6, "RIL_Init Android6.x"},    {"4.4.4", 4, 6, "RIL_Init Android4.x"},
        {"beta", 6, 6, "RIL_Init Android6.x"},
    };
    for (const Row &r : rows) {
        auto g = zv::ClassifyRelease(r.release);
        EXPECT_EQ(g.androidVersion, r.androidVersion) << r.release;
        EXPECT_EQ(g.tableVersion, r.tableVersion) << r.release;
        EXPECT_STREQ(g.logLine, r.log) << r.release;
    }
}

}  // namespace
