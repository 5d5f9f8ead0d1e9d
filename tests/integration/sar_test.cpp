// SAR control through the library: with a SAR state file under the root at start, the library
// follows it and tells the simulated modem, keeps quiet in airplane mode and replays the level
// when the radio comes back, confirms a suspension, ignores what is no state, and sleeps while
// the file stays as it is.
#include <gtest/gtest.h>

#include <pthread.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using zvtest::Completion;
using namespace std::chrono_literals;

class SarTest : public zvtest::DevSimTest {
  protected:
    std::string StatePath() const { return root_ + "/sys/power/sar/state"; }
    // Replaces the file whole, so the follower never reads half a write.
    void WriteState(const std::string &text) {
        const std::string tmp = StatePath() + ".new";
        std::ofstream(tmp, std::ios::binary) << text;
        ASSERT_EQ(rename(tmp.c_str(), StatePath().c_str()), 0);
    }
    void CreateState(const std::string &text) {
        for (const char *dir : {"/sys", "/sys/power", "/sys/power/sar"}) mkdir((root_ + dir).c_str(), 0755);
        WriteState(text);
    }
    std::string ReadState() const {
        std::ifstream in(StatePath(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    int Word(const char *name) { return std::atomic_ref<int>(Global(name)).load(); }
    bool Until(const std::function<bool()> &pred) { return daemon_.WaitUntil(pred, 5s); }
    int ModemLevel() { return modem().State().band.sarctrl; }
    int SarCommands() { return modem().State().band.sarctrl_commands; }
    size_t LogCount(const std::string &text) {
        const std::string log = ReadLog();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    Completion Power(int on) { return Call(RIL_REQUEST_RADIO_POWER, &on, sizeof on); }
};

constexpr char kNoMatch[] = "processSarCtrlNotification:string not match!";

TEST_F(SarTest, FollowsTheStateFile) {
    CreateState("SAR_CONTROL_OFF\n");
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    EXPECT_TRUE(Until([&] { return Word("g_sarctrl") == 0; }));
    EXPECT_EQ(Word("sarfeature"), 1) << "the library runs SAR control, so the radio replays it";
    EXPECT_TRUE(LogContains("************create thread*****************"));

    WriteState("SAR_CONTROL_ON\n");
    EXPECT_TRUE(Until([&] { return ModemLevel() == 1 && Word("g_sarctrl") == 1; }));
    EXPECT_TRUE(LogContains("***************processSarCtrlNotification:SAR_CONTROL_ON"));
    EXPECT_TRUE(LogContains("Airplane Mode OFF, send AT command"));

    // Airplane mode: the level is kept, the modem is not told until the radio comes back.
    ASSERT_EQ(Power(0).error, RIL_E_SUCCESS);
    const int sent = SarCommands();
    WriteState("SAR_CONTROL_OFF trailing words\n");
    EXPECT_TRUE(Until([&] { return Word("g_sarctrl") == 0; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(SarCommands(), sent);
    EXPECT_EQ(ModemLevel(), 1);
    ASSERT_EQ(Power(1).error, RIL_E_SUCCESS);
    EXPECT_EQ(ModemLevel(), 0) << "replayed on power-on";
    EXPECT_TRUE(LogContains("**** Airplane Mode Off, SARCTRL = 0 ****"));

    // A suspension is applied as on and confirmed in the file, which then names no state.
    const size_t noMatch = LogCount(kNoMatch);
    WriteState("SAR_CONTROL_SUSPEND\n");
    EXPECT_TRUE(Until([&] { return ModemLevel() == 1 && ReadState() == "SAR_CONTINUE"; }));
    EXPECT_TRUE(Until([&] { return LogCount(kNoMatch) == noMatch + 1; }));
    EXPECT_EQ(Word("g_sarctrl"), 1);

    // What is no state changes nothing (the unit table has the other shapes of junk).
    const int before = SarCommands();
    WriteState(std::string(10240, 'x'));
    EXPECT_TRUE(Until([&] { return LogCount(kNoMatch) == noMatch + 2; }));
    EXPECT_EQ(SarCommands(), before);
    EXPECT_EQ(Word("g_sarctrl"), 1);

    WriteState("SAR_CONTROL_OFF");  // no line end
    EXPECT_TRUE(Until([&] { return ModemLevel() == 0 && Word("g_sarctrl") == 0; }));
}

// A state file that does not notify and does not change: the follower wakes at its interval
// only, costs no measurable CPU and sends nothing more.
TEST_F(SarTest, SleepsWhileTheFileStays) {
    CreateState("SAR_CONTROL_ON\n");
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);
    auto *tidWord = Sym<pthread_t>("s_tid_processSarCtrlNotification");
    ASSERT_NE(tidWord, nullptr);
    pthread_t tid{};
    ASSERT_TRUE(Until([&] {
        tid = std::atomic_ref<pthread_t>(*tidWord).load(std::memory_order_acquire);
        return tid != pthread_t{} && Word("g_sarctrl") == 1;
    }));
    clockid_t clock;
    ASSERT_EQ(pthread_getcpuclockid(tid, &clock), 0);
    auto cpuMs = [&] {
        timespec ts{};
        clock_gettime(clock, &ts);
        return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
    };
    // Every read opens the file: count the opens as well, a measure the machine's load
    // cannot blur.
    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    // Closes are watched too: inotify merges an event into an identical one still queued.
    ASSERT_GE(inotify_add_watch(watcher, StatePath().c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    std::this_thread::sleep_for(200ms);  // past the first read and its command
    const int sent = SarCommands();
    auto drainOpens = [&] {
        size_t opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(watcher, buffer, sizeof buffer)) > 0;) {
            for (char *p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
                opens += (reinterpret_cast<inotify_event *>(p)->mask & IN_OPEN) != 0;
        }
        return opens;
    };
    drainOpens();
    const double start = cpuMs();
    std::this_thread::sleep_for(1s);
    const double used = cpuMs() - start;
    const size_t opens = drainOpens();
    close(watcher);
    EXPECT_LT(used, 10.0) << "ms of CPU in one second";
    EXPECT_GE(opens, 1u) << "still following";
    EXPECT_LE(opens, 40u) << "reads in one second";
    EXPECT_EQ(SarCommands(), sent);
}

}  // namespace
