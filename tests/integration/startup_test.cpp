// The library finding the simulated modem by itself, starting it up for each module class,
// and coming back after the modem is unplugged and plugged in again.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string.h>
#include <sys/resource.h>
#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>
#include <thread>

#include "support/fd_squeeze.h"
#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace {

using namespace std::chrono_literals;
using modemsim::ModuleType;

class StartupTest : public zvtest::LibraryTest {
protected:
    void Start(ModuleType type, const zvtest::RigOptions &options = {},
               const std::function<void(modemsim::Modem &)> &prepare = {}) {
        StartWithModem(type, options, prepare);
    }
    int State() { return RadioState(); }
    zvtest::Completion Call(int request, void *data = nullptr, size_t datalen = 0) {
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(request, data, datalen), 10s, &c)) << request;
        return c;
    }
    size_t Reports(int id) {
        size_t n = 0;
        for (auto &u : daemon_.UnsolicitedSince(0)) n += u.id == id;
        return n;
    }
    bool WaitState(int state, std::chrono::milliseconds timeout = 10s) { return WaitRadioState(state, timeout); }
    int Global(const char *name) { return __atomic_load_n(Sym<int>(name), __ATOMIC_ACQUIRE); }
    // The library writes its port names under s_state_mutex.
    std::string Text(const char *name) {
        auto *mu = Sym<pthread_mutex_t>("s_state_mutex");
        pthread_mutex_lock(mu);
        std::string text = Sym<char>(name);
        pthread_mutex_unlock(mu);
        return text;
    }
};

TEST_F(StartupTest, WcdmaModemReachesSimReady) {
    Start(ModuleType::kWcdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY)) << "state " << State();
    EXPECT_EQ(Global("g_module_type"), 1);
    EXPECT_EQ(Global("g_provider"), 1);
    EXPECT_EQ(Global("zv_arp_support"), 1);
    EXPECT_EQ(Global("zv_ndis_or_modem"), 2);
    EXPECT_EQ(Text("PORT_ECM_KEYNAME"), "ppp0");
    EXPECT_EQ(Text("SERIAL_PORT_PCUI_KEYNAME"), "/dev/ttyUSB1");
    EXPECT_EQ(Text("SERIAL_PORT_MODEM_KEYNAME"), "/dev/ttyUSB0");
    EXPECT_EQ(Text("SERIAL_PORT_DIAG_KEYNAME"), "/dev/ttyUSB2");
    EXPECT_TRUE(rig_->modem().ExpectCommands(
        {"ATE0V1", "ATE0", "ATQ0V1", "ATS0=0", "AT+CMEE=1", "AT^HS=0,0", "AT^PLATFORM?", "AT^NDISCAP?", "AT+CFUN?",
         "AT+CPIN?", "AT^CARDLOCK?"},
        1000));
    EXPECT_EQ(rig_->modem().CountCommands("AT*PSSIMSTAT"), 0u);
    EXPECT_TRUE(LogContains("Module type is WCDMA"));
    // The radio went unavailable -> off -> SIM not ready -> SIM ready, each reported.
    // (The state is visible a moment before its report has gone out.)
    daemon_.WaitUntil([&] { return Reports(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED) >= 3; }, 5s);
    EXPECT_EQ(Reports(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED), 3u);
}

TEST_F(StartupTest, TdscdmaModemEnablesSimStateReports) {
    Start(ModuleType::kTdscdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY)) << "state " << State();
    EXPECT_EQ(Global("g_module_type"), 2);
    EXPECT_TRUE(rig_->modem().WaitForCommand("AT*PSSIMSTAT=1", 1000));
    EXPECT_TRUE(LogContains("Module type is TDSCDMA"));
}

TEST_F(StartupTest, CdmaModemWithCardReachesRuimReady) {
    Start(ModuleType::kCdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_RUIM_READY)) << "state " << State();
    EXPECT_EQ(Global("g_module_type"), 0);
    EXPECT_EQ(Global("g_cdma_subtype"), 0);
    EXPECT_TRUE(rig_->modem().WaitForCommand("AT^RSSIREP=1", 1000));
    EXPECT_TRUE(LogContains("Cdma sub type is RUIM"));
}

TEST_F(StartupTest, CdmaModemWithoutCardGoesToNvReady) {
    Start(ModuleType::kCdmaNoCard);
    ASSERT_TRUE(WaitState(RADIO_STATE_NV_READY)) << "state " << State();
    EXPECT_EQ(Global("g_cdma_subtype"), 1);
    EXPECT_TRUE(LogContains("Cdma sub type is NV"));
    EXPECT_EQ(rig_->modem().CountCommands("AT+CPIN?"), 0u) << "a cardless module is never asked for its card";
}

TEST_F(StartupTest, RadioOffStaysOffAndEcmInterfaceChoosesNdis) {
    zvtest::RigOptions options;
    options.ecm = true;
    Start(ModuleType::kWcdma, options, [](modemsim::Modem &m) {
        m.Update([](modemsim::ModelState &s) { s.cfun = 0; });
        m.On("AT^NDISCAP?", {"^NDISCAP: 1,0", "OK"});
    });
    ASSERT_TRUE(rig_->modem().WaitForCommand("AT+CFUN?", 10000));
    ASSERT_TRUE(daemon_.WaitUntil([&] { return LogContains("This module does NOT support ARP!"); }, 5s));
    EXPECT_TRUE(WaitState(RADIO_STATE_OFF));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(State(), RADIO_STATE_OFF);
    EXPECT_EQ(Global("zv_ndis_or_modem"), 1);
    EXPECT_EQ(Text("PORT_ECM_KEYNAME"), "usb0");
    EXPECT_EQ(Global("zv_arp_support"), 2);
}

TEST_F(StartupTest, UnansweredIdentificationFallsBackToWcdma) {
    Start(ModuleType::kWcdma, {}, [](modemsim::Modem &m) {
        m.On("AT^HS=0,0", {"ERROR"});
        m.On("AT^PLATFORM?", {"ERROR"});
    });
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY)) << "state " << State();
    EXPECT_EQ(rig_->modem().CountCommands("AT^HS=0,0"), 3u);
    EXPECT_EQ(Global("g_module_type"), 1);
    EXPECT_EQ(Global("g_provider"), 0);
    EXPECT_TRUE(LogContains("get Default platform QUALCOMM"));
}

// What the 8-13 daemon no longer derives from the old radio states the library reports and
// answers itself, per module class: the voice technology (before the first SIM state's
// report), the CDMA subscription source, and requests 108 and 104. The socket daemon derives
// all of it, so there the library sends neither report and refuses both requests as before.
struct StartRow {
    const char *name;
    ModuleType type;
    int readyState;
    int tech;
    int source;  // -1: a 3GPP module, no subscription-source report
};

class StartupGenerationTest : public StartupTest, public ::testing::WithParamInterface<StartRow> {};

TEST_P(StartupGenerationTest, TechnologyAndSubscriptionSourceComeFromTheLibrary) {
    const StartRow &row = GetParam();
    Start(row.type);
    ASSERT_TRUE(WaitState(row.readyState)) << "state " << State();
    EXPECT_EQ(daemon_.functions()->onStateRequest(), Hidl() ? RADIO_STATE_ON : row.readyState);
    const std::vector<zvtest::Unsolicited> journal = daemon_.UnsolicitedSince(0);
    auto next = [&](int id, size_t from) {
        while (from < journal.size() && journal[from].id != id) ++from;
        return from;
    };
    const size_t tech = next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, 0);
    const size_t source = next(RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED, 0);
    const zvtest::Completion voice = Call(RIL_REQUEST_VOICE_RADIO_TECH);
    const zvtest::Completion subscription = Call(RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE);
    if (!Hidl()) {
        EXPECT_EQ(tech, journal.size());
        EXPECT_EQ(source, journal.size());
        EXPECT_EQ(voice.error, RIL_E_REQUEST_NOT_SUPPORTED);
        EXPECT_EQ(subscription.error, RIL_E_REQUEST_NOT_SUPPORTED);
        return;
    }
    ASSERT_LT(tech, journal.size());
    EXPECT_EQ(journal[tech].ints, std::vector<int>{row.tech});
    const size_t firstSimState = next(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED, tech);
    EXPECT_LT(firstSimState, journal.size());
    if (row.source >= 0) {
        ASSERT_LT(source, firstSimState) << "the source goes out before the state it comes with";
        EXPECT_EQ(journal[source].ints, std::vector<int>{row.source});
    } else {
        EXPECT_EQ(source, journal.size());
    }
    // The answer is the technology last reported (the modem may have named a finer one since).
    size_t lastTech = tech;
    for (size_t i = tech; (i = next(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, i)) < journal.size(); ++i) lastTech = i;
    EXPECT_EQ(voice.error, RIL_E_SUCCESS);
    EXPECT_EQ(voice.ints, journal[lastTech].ints);
    EXPECT_EQ(subscription.error, RIL_E_SUCCESS);
    EXPECT_EQ(subscription.ints, std::vector<int>{row.source < 0 ? 0 : row.source});
}

INSTANTIATE_TEST_SUITE_P(Modules, StartupGenerationTest,
                         ::testing::Values(StartRow{"wcdma", ModuleType::kWcdma, RADIO_STATE_SIM_READY, RADIO_TECH_UMTS, -1},
                                           StartRow{"cdma", ModuleType::kCdma, RADIO_STATE_RUIM_READY, RADIO_TECH_1xRTT, 0},
                                           StartRow{"cdma_nocard", ModuleType::kCdmaNoCard, RADIO_STATE_NV_READY,
                                                    RADIO_TECH_1xRTT, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// The 8-13 daemon hears of every change of the card from the library: locked, the PIN's
// verdict, not ready while the PIN is checked, then ready; or missing. The socket daemon derives these from the states.
struct SimRow {
    const char *name;
    modemsim::SimState sim;
    const char *pin;  // entered once the card is locked; nullptr: none
    int finalState;
    size_t halReports;  // card changes the 8-13 daemon hears
};

class StartupSimTest : public StartupTest, public ::testing::WithParamInterface<SimRow> {};

TEST_P(StartupSimTest, StopsAtLockedOrAbsentAndReportsEachCardChange) {
    const SimRow &row = GetParam();
    Start(ModuleType::kWcdma, {}, [&](modemsim::Modem &m) { m.Update([&](modemsim::ModelState &s) { s.sim = row.sim; }); });
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_LOCKED_OR_ABSENT)) << "state " << State();
    if (row.pin) {
        const char *args[] = {row.pin, nullptr};
        EXPECT_EQ(Call(RIL_REQUEST_ENTER_SIM_PIN, args, sizeof args).error, RIL_E_SUCCESS);
    }
    ASSERT_TRUE(WaitState(row.finalState)) << "state " << State();
    const size_t want = Hidl() ? row.halReports : 0u;
    // The state is visible a moment before its reports have gone out.
    daemon_.WaitUntil([&] { return Reports(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED) >= (row.pin ? 4u : 3u); }, 5s);
    EXPECT_EQ(Reports(RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED), want);
}

INSTANTIATE_TEST_SUITE_P(Cards, StartupSimTest,
                         ::testing::Values(SimRow{"pin", modemsim::SimState::kPin, "1234", RADIO_STATE_SIM_READY, 4},
                                           SimRow{"absent", modemsim::SimState::kAbsent, nullptr,
                                                  RADIO_STATE_SIM_LOCKED_OR_ABSENT, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// A framework request waiting for its answer when the modem goes away is failed, once, and
// the radio becomes unavailable.
TEST_F(StartupTest, UnplugFailsTheWaitingRequest) {
    Start(ModuleType::kWcdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY));
    rig_->modem().Withhold("AT+CGSN");
    RIL_Token token = nullptr;
    // The 8-13 daemon asks for the IMEI only through the device identity.
    const int request = Hidl() ? RIL_REQUEST_DEVICE_IDENTITY : RIL_REQUEST_GET_IMEI;
    std::thread requester([&] { token = daemon_.Request(request); });
    ASSERT_TRUE(rig_->modem().WaitForCommand("AT+CGSN", 5000));
    rig_->Unplug();
    requester.join();
    zvtest::Completion c;
    ASSERT_TRUE(daemon_.WaitForCompletion(token, 5s, &c));
    EXPECT_EQ(c.error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(WaitState(RADIO_STATE_UNAVAILABLE));
}

int CountEntries(const char *dir) {
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (struct dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

std::string DescribeFds() {
    std::string out;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (struct dirent *e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            char target[256] = "";
            std::string link = std::string("/proc/self/fd/") + e->d_name;
            ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) target[n] = 0;
            out += std::string(e->d_name) + " -> " + target + "\n";
        }
        closedir(d);
    }
    return out;
}

// Unplug while idle and while the start-up waits for an answer; plug back in under other
// tty names, twenty times: the radio follows, and nothing leaks.
TEST_F(StartupTest, ReattachesAfterUnplugWithoutLeaks) {
    Start(ModuleType::kWcdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY));

    // Unplug in the middle of an exchange: the waiting command fails, the radio goes away.
    rig_->modem().Withhold("AT^PLATFORM?");
    rig_->Unplug();
    ASSERT_TRUE(WaitState(RADIO_STATE_UNAVAILABLE));
    zvtest::RigOptions options;
    options.firstTty = 3;
    ASSERT_TRUE(rig_->PlugIn(options));
    ASSERT_TRUE(rig_->modem().WaitForCommand("AT^PLATFORM?", 10000));
    rig_->Unplug();
    ASSERT_TRUE(WaitState(RADIO_STATE_UNAVAILABLE));
    // Requests are refused while the modem is away.
    zvtest::Completion c;
    ASSERT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_SIGNAL_STRENGTH), 2s, &c));
    EXPECT_EQ(c.error, RIL_E_RADIO_NOT_AVAILABLE);
    rig_->modem().ClearOverrides();

    int fds = -1, threads = -1;
    for (int cycle = 0; cycle < 20; ++cycle) {
        options.firstTty = (cycle % 2) ? 0 : 5;
        ASSERT_TRUE(rig_->PlugIn(options)) << rig_->error();
        ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY)) << "cycle " << cycle << " state " << State();
        EXPECT_EQ(Text("SERIAL_PORT_PCUI_KEYNAME"), "/dev/ttyUSB" + std::to_string(options.firstTty + 1));
        if (cycle == 0) {
            fds = CountEntries("/proc/self/fd");
            threads = CountEntries("/proc/self/task");
        }
        rig_->Unplug();
        ASSERT_TRUE(WaitState(RADIO_STATE_UNAVAILABLE)) << "cycle " << cycle;
    }
    ASSERT_TRUE(rig_->PlugIn(options));
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY));
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds) << DescribeFds();
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

double CpuSeconds() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Attached and quiet, the library's threads sleep; with no modem it searches once a second.
TEST_F(StartupTest, IdleCostsNothing) {
    setenv("ZORVIK_TIME_SCALE", "1", 1);  // real seconds for this one
    Start(ModuleType::kWcdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY, 20s));
    double before = CpuSeconds();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(CpuSeconds() - before, 0.05) << "threads must block while the modem is quiet";

    rig_->Unplug();
    ASSERT_TRUE(WaitState(RADIO_STATE_UNAVAILABLE));
    std::this_thread::sleep_for(300ms);
    auto passes = [&] {
        std::string log = ReadLog();
        size_t n = 0;
        for (size_t p = 0; (p = log.find("_____Enum ports._____", p)) != std::string::npos; ++p) ++n;
        return n;
    };
    size_t first = passes();
    before = CpuSeconds();
    std::this_thread::sleep_for(2500ms);
    size_t searched = passes() - first;
    EXPECT_GE(searched, 1u);
    EXPECT_LE(searched, 4u) << "about one pass a second";
    EXPECT_LT(CpuSeconds() - before, 0.1);
}

// A channel that cannot be opened for want of a descriptor (the port opened, its wake-up
// descriptor did not) is a passing shortage: the library keeps searching, and the radio comes
// back once descriptors are free again. The port asks for hardware flow control on the way,
// which the library turns off.
TEST_F(StartupTest, FailedChannelOpenIsRetriedUntilTheShortagePasses) {
    // Attached once before, as after any unplug (and every code path has run once, so that
    // nothing but the library meets the shortage).
    Start(ModuleType::kWcdma);
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY));
    UnplugAndSettle();
    auto *stateMutex = Sym<pthread_mutex_t>("s_state_mutex");
    // Holding this mutex stops the main loop right after it has found the ports, before it
    // opens the control port: the one moment the descriptor table can be set up exactly.
    pthread_mutex_lock(stateMutex);
    ASSERT_TRUE(rig_->PlugIn()) << rig_->error();
    const std::string port = rig_->modem().SlavePath();
    {
        int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        struct termios t;
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        t.c_cflag |= CRTSCTS;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        close(fd);
    }
    std::this_thread::sleep_for(300ms);  // many search passes at this time scale
    {
        zvtest::FdSqueeze squeeze(1);  // room for the port, none for the channel's wake-up
        pthread_mutex_unlock(stateMutex);
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(State(), RADIO_STATE_UNAVAILABLE);
    }
    EXPECT_TRUE(LogContains("AT error -1 on at_open"));
    ASSERT_TRUE(WaitState(RADIO_STATE_SIM_READY)) << "state " << State();

    int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    struct termios t;
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u) << "hardware flow control left on";
}

}  // namespace
