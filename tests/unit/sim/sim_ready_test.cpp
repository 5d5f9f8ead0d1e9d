// The SIM-ready configuration against the simulated modem (the exact command sequence per
// module type and the choices it leaves), the message store check with its bounded retry
// chain, and the card status lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <modemsim/modemsim.h>
#include <zorvik/host.h>

#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "dev/dev.h"
#include "sim/sim.h"
#include "sim/sim_ready.h"
#include "unit/support/library_env.h"

namespace {

using modemsim::Modem;
using modemsim::ModuleType;
using modemsim::StkDialect;
using Commands = std::vector<std::string>;

class SimReady : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ZORVIK_TIME_SCALE", "100", 1);
        zv::ReloadHostEnvironment();
        for (int i = 0; i < 7; ++i) saved_[i] = *words_[i];
        zv::Store(has_set_radio_on, 0);
        zv::Store(g_stk_project, 2);
        zv::Store(g_sms_project, 0xffff);
        zv::Store(g_cdma_subtype, 0xffff);
    }
    void TearDown() override {
        Close();
        for (int i = 0; i < 7; ++i) zv::Store(*words_[i], saved_[i]);
        unsetenv("ZORVIK_TIME_SCALE");
        zv::ReloadHostEnvironment();
    }
    void Open(ModuleType type, int moduleType) {
        zv::Store(g_module_type, moduleType);
        modem_ = std::make_unique<Modem>(type);
        ASSERT_TRUE(modem_->Plug());
        int fd = open(modem_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        struct termios t;
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        ASSERT_EQ(at_open(fd, [](const char *, const char *) {}), 0);
    }
    void Close() {
        if (!modem_) return;
        at_close();
        modem_->Unplug();
        modem_.reset();
    }
    void Dialect(StkDialect d) {
        modem_->Update([d](modemsim::ModelState &s) { s.simfiles.stk = d; });
    }

    zvtest::RecordingEnv env_;
    std::unique_ptr<Modem> modem_;
    int *words_[7] = {&g_module_type, &g_cdma_subtype, &g_stk_project, &g_sms_project, &has_set_radio_on, &sState,
                      &isUSIMCARD};
    int saved_[7] = {};
};

const Commands k3gppHead = {
    "AT+CIREG=1", "AT+CREG=2",     "AT+CGREG=2", "AT+CCWA=1",   "AT+CMOD=0",      "AT+CSSN=0,1",  "AT+COLP=0",
    "AT+CSCS=\"IRA\"", "AT+CUSD=1", "AT^USSDMODE=1", "AT+CMGF=0", "AT^BOOT=0,0", "AT^DSFLOWRPT=0", "AT^STSF?",
};

Commands Join(Commands a, const Commands &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The other module types and toolkit sets run end to end in the integration suite.
TEST_F(SimReady, RefusedRoutingFallsBackToStoredMessages) {
    Open(ModuleType::kWcdma, 1);
    Dialect(StkDialect::kStin);
    modem_->On("AT+CNMI=2,2,2,1,0", {"ERROR"});
    OnSIMReady();
    EXPECT_EQ(modem_->Commands(), Join(k3gppHead, {"AT^STSF=1,0", "AT^STGI=0,0", "AT+CSMS=0", "AT+CRC=1",
                                                   "AT+CNMI=2,2,2,1,0", "AT+CNMI=2,1,2,2,0"}));
    EXPECT_EQ(zv::Load(g_stk_project), 0);
    EXPECT_EQ(zv::Load(g_sms_project), 0);
    EXPECT_EQ(env_.Unsolicited(), (std::vector<int>{1002, 1037}));
}

TEST_F(SimReady, CdmaSequenceLeavesTheChoicesAlone) {
    Open(ModuleType::kCdma, 0);
    zv::Store(g_stk_project, 0);
    zv::Store(g_sms_project, 1);
    OnSIMReady();
    EXPECT_EQ(zv::Load(g_stk_project), 0);
    EXPECT_EQ(zv::Load(g_sms_project), 1);
}

TEST_F(SimReady, StoreCheckOnlyAfterRadioOnAndByStoreKind) {
    struct Case {
        ModuleType type;
        int moduleType, subtype;
        const char *cpms;
        int report;
    } cases[] = {
        {ModuleType::kWcdma, 1, 0xffff, "AT+CPMS=\"SM\",\"SM\",\"SM\"", RIL_UNSOL_SIM_SMS_STORAGE_FULL},
        {ModuleType::kCdma, 0, 0, "AT+CPMS=\"SM\",\"SM\",\"SM\"", RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL},
        {ModuleType::kCdmaNoCard, 0, 1, "AT+CPMS=\"ME\",\"ME\",\"ME\"", RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL},
    };
    for (const Case &c : cases) {
        Open(c.type, c.moduleType);
        Dialect(StkDialect::kNone);
        zv::Store(g_cdma_subtype, c.subtype);
        modem_->OnPrefix("AT+CPMS=", {"+CPMS: 10,10,10,10,10,10", "OK"});
        zv::Store(has_set_radio_on, 0);
        OnSIMReady();
        EXPECT_EQ(modem_->CountCommands("AT+CPMS"), 0u);
        zv::Store(has_set_radio_on, 1);
        env_.Clear();
        OnSIMReady();
        EXPECT_EQ(modem_->CountCommands(c.cpms), 1u) << c.cpms;
        // 10 of 10 used and none deleted: full.
        EXPECT_EQ(env_.Unsolicited(), (std::vector<int>{c.report, 1002, 1037}));
        Close();
    }
    // The arithmetic with deleted messages: 10 of 10 less 2 deleted is not full.
    static_assert(!zv::sim::StorageFull(10, 10, 2));
    static_assert(zv::sim::StorageFull(8, 10, -2));
}

// A recording daemon that keeps the timed callbacks with their delays, to run them by hand.
struct Timed {
    RIL_TimedCallback cb;
    void *param;
    long sec;
};
std::vector<Timed> g_timed;

TEST_F(SimReady, StoreRetryBacksOffToAMinuteAndStopsWhenTheRadioLeaves) {
    unsetenv("ZORVIK_TIME_SCALE");
    zv::ReloadHostEnvironment();
    struct RIL_Env env = {};
    env.OnRequestComplete = [](RIL_Token, RIL_Errno, void *, size_t) {};
    env.OnUnsolicitedResponse = [](int, const void *, size_t) {};
    env.RequestTimedCallback = [](RIL_TimedCallback cb, void *param, const struct timeval *tv) {
        g_timed.push_back({cb, param, tv->tv_sec});
    };
    const struct RIL_Env *previous = s_rilenv;
    s_rilenv = &env;
    g_timed.clear();
    zv::Store(sState, RADIO_STATE_SIM_READY);

    IsSIMFull();  // no channel: the store never answers
    std::vector<long> pauses;
    for (int i = 0; i < 10 && !g_timed.empty(); ++i) {
        Timed next = g_timed.back();
        pauses.push_back(next.sec);
        g_timed.clear();
        next.cb(next.param);
    }
    EXPECT_EQ(pauses, (std::vector<long>{1, 2, 4, 8, 16, 32, 60, 60, 60, 60}));

    // The radio leaves the ready state: the waiting try ends the chain.
    ASSERT_EQ(g_timed.size(), 1u);
    Timed last = g_timed.back();
    g_timed.clear();
    zv::Store(sState, RADIO_STATE_SIM_NOT_READY);
    last.cb(last.param);
    EXPECT_TRUE(g_timed.empty());

    // A newer check replaces a chain still waiting.
    zv::Store(sState, RADIO_STATE_SIM_READY);
    IsNVFull();
    ASSERT_EQ(g_timed.size(), 1u);
    Timed stale = g_timed.back();
    g_timed.clear();
    IsNVFull();
    ASSERT_EQ(g_timed.size(), 1u);
    g_timed.clear();
    stale.cb(stale.param);
    EXPECT_TRUE(g_timed.empty());
    s_rilenv = previous;
}

TEST_F(SimReady, CardStatusLines) {
    struct Case {
        const char *line;
        int state;
        bool polls;
    } cases[] = {
        {"*PSSIMSTAT: 0", RADIO_STATE_SIM_READY, false},     {"*PSSIMSTAT: 0", RADIO_STATE_SIM_NOT_READY, true},
        {"*PSSIMSTAT: 0", RADIO_STATE_OFF, true},            {"*PSSIMSTAT: 1", RADIO_STATE_SIM_READY, true},
        {"*PSSIMSTAT: 1", RADIO_STATE_SIM_NOT_READY, false}, {"*PSSIMSTAT: 7", RADIO_STATE_SIM_READY, false},
        {"*PSSIMSTAT: x", RADIO_STATE_SIM_READY, true},      {"*PSSIMSTAT", RADIO_STATE_SIM_READY, true},
    };
    for (const Case &c : cases) {
        env_.Clear();
        zv::Store(sState, c.state);
        ZvRilSIMUnsolicited(c.line);
        // The state change is deferred off the reader thread.
        EXPECT_EQ(env_.TimedCallbacks(), c.polls ? 1u : 0u) << c.line << " in " << c.state;
        EXPECT_EQ(zv::Load(sState), c.state);
    }
    env_.Clear();
    ZvRilSIMUnsolicited("^SIMST: 1,0");
    ZvRilSIMUnsolicited(nullptr);
    EXPECT_EQ(env_.Unsolicited(), std::vector<int>{RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED});
    EXPECT_TRUE(env_.Logged("LINE POINT TO NULL!!"));
}

}  // namespace
