// The library loaded as the daemon loads it: options, function table, platform generation,
// and the radio state seen from outside.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <errno.h>
#include <pthread.h>

#include <fstream>
#include <vector>
#include <sstream>
#include <thread>

#include "support/library_fixture.h"

namespace {

using namespace std::chrono_literals;
using zvtest::LibraryTest;

// Runs fn with stderr redirected to a file and returns what it wrote.
template <typename Fn>
std::string CaptureStderr(const std::string &path, Fn fn) {
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDERR_FILENO);
    close(fd);
    fn();
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(LibraryTest, InitReturnsTheTableForTheRelease) {
    SetProperty("ro.build.version.release", "4.3.1");
    const RIL_RadioFunctions *f = daemon_.Init({"-d", "/dev/ttyUSB2"});
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->version, 6);
    EXPECT_EQ(*Sym<int>("ANDROID_VERSION"), 4);
    EXPECT_STREQ(Sym<char>("Android_version"), "4.3.1");
    EXPECT_STREQ(f->getVersion(), "RLX-2.5.003.32-demo");
    EXPECT_EQ(f->supports(12345), 1);
    f->onCancel(nullptr);
    EXPECT_EQ(f->onStateRequest(), RADIO_STATE_UNAVAILABLE);
    EXPECT_TRUE(LogContains("RIL_Init Android version: 4.3.1"));
    EXPECT_TRUE(LogContains("RIL_Init Android4.x"));
    EXPECT_EQ(daemon_.generation(), zvtest::Generation::kSocket) << "a 4.x platform has the socket daemon in either run";
    EXPECT_TRUE(LogContains("D/RIL     ("));
}

int Threads() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (struct dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// A second RIL_Init answers with the table but starts no second set of threads.
TEST_F(LibraryTest, SecondInitStartsNoMoreThreads) {
    ASSERT_NE(daemon_.Init({}), nullptr);
    std::this_thread::sleep_for(50ms);
    int threads = Threads();
    int pair0 = Sym<int>("del_sms_control")[0];
    ASSERT_NE(daemon_.Init({}), nullptr);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Threads(), threads);
    EXPECT_EQ(Sym<int>("del_sms_control")[0], pair0);
}

// Repeats of RIL_Init, some at the same time, while a sender is in the middle of an exchange:
// the locks of the first call stay as they are (the sender still holds s_readdelmutex and
// nobody else can take it), no thread is started twice, and every call gets its table.
TEST_F(LibraryTest, RepeatedInitLeavesLocksAndThreadsAlone) {
    const RIL_RadioFunctions *first = daemon_.Init({});
    ASSERT_NE(first, nullptr);
    std::this_thread::sleep_for(50ms);
    const int threads = Threads();
    using InitFn = const RIL_RadioFunctions *(*)(const struct RIL_Env *, int, char **);
    auto init = reinterpret_cast<InitFn>(daemon_.Symbol("RIL_Init"));
    const RIL_Env *env = *Sym<const RIL_Env *>("s_rilenv");
    ASSERT_NE(init, nullptr);
    auto *sender = Sym<pthread_mutex_t>("s_readdelmutex");
    auto *smsLock = Sym<pthread_mutex_t>("s_zvril_readsms_mutex");
    ASSERT_EQ(pthread_mutex_lock(sender), 0);
    ASSERT_EQ(pthread_mutex_lock(smsLock), 0);

    std::vector<std::thread> repeats;
    for (int i = 0; i < 4; ++i) {
        repeats.emplace_back([&] {
            // The library keeps pointing at the path argument, as a daemon's argv lives on.
            static char arg0[] = "rild", opt[] = "-d", path[] = "/dev/ttyUSB7";
            char *argv[] = {arg0, opt, path, nullptr};
            const RIL_RadioFunctions *f = init(env, 3, argv);
            EXPECT_NE(f, nullptr);
            if (f) {
                EXPECT_EQ(f->version, first->version);
            }
        });
    }
    for (std::thread &t : repeats) t.join();

    int senderTry = 0, smsTry = 0;
    std::thread([&] {
        senderTry = pthread_mutex_trylock(sender);
        if (senderTry == 0) pthread_mutex_unlock(sender);
        smsTry = pthread_mutex_trylock(smsLock);
        if (smsTry == 0) pthread_mutex_unlock(smsLock);
    }).join();
    EXPECT_EQ(senderTry, EBUSY) << "a repeated RIL_Init re-initialised a held lock";
    EXPECT_EQ(smsTry, EBUSY);
    EXPECT_EQ(pthread_mutex_unlock(smsLock), 0);
    EXPECT_EQ(pthread_mutex_unlock(sender), 0);
    EXPECT_STREQ(*Sym<const char *>("s_device_path"), "/dev/ttyUSB7");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Threads(), threads);
}

TEST_F(LibraryTest, OldReleaseGetsTheOldTableVersion) {
    SetProperty("ro.build.version.release", "2.3.7");
    const RIL_RadioFunctions *f = daemon_.Init({});
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->version, 4);
    EXPECT_EQ(*Sym<int>("ANDROID_VERSION"), 1);
}

// The generation is decided once, logged, and exported; the daemon's appended client id is
// an option like any other.
TEST_F(LibraryTest, InitDecidesTheGenerationAndTakesTheClientId) {
    const RIL_RadioFunctions *f = nullptr;
    std::string err = CaptureStderr(dir_ + "/stderr", [&] { f = daemon_.Init({"-d", "/dev/ttyUSB2", "-c", "0"}); });
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(err.find("zorvik-ril requires"), std::string::npos) << err;
    EXPECT_EQ(f->version, 6);
    const zvtest::Generation expected = Hidl() ? zvtest::Generation::kHidl : zvtest::Generation::kSocket;
    EXPECT_EQ(*Sym<int>("PLATFORM_GENERATION"), static_cast<int>(expected));  // the library's numbering
    EXPECT_EQ(daemon_.generation(), expected);
    EXPECT_TRUE(LogContains(Hidl() ? "RIL_Init platform generation: HAL daemon (Android 8-13)"
                                   : "RIL_Init platform generation: socket daemon (Android 2.3-7.x)"));
}

TEST_F(LibraryTest, PortZeroIsRefusedWithUsage) {
    const RIL_RadioFunctions *f = nullptr;
    std::string err = CaptureStderr(dir_ + "/stderr", [&] { f = daemon_.Init({"-p", "0"}); });
    EXPECT_EQ(f, nullptr);
    EXPECT_NE(err.find("zorvik-ril requires: -p <tcp port> or -d /dev/tty_device"), std::string::npos) << err;
}

TEST_F(LibraryTest, UnknownOptionPrintsUsageAndGoesOn) {
    const RIL_RadioFunctions *f = nullptr;
    std::string err = CaptureStderr(dir_ + "/stderr", [&] { f = daemon_.Init({"-x", "-s", "/dev/socket/x", "-p", "8"}); });
    ASSERT_NE(f, nullptr);
    EXPECT_NE(err.find("zorvik-ril requires"), std::string::npos);
    EXPECT_STREQ(*Sym<const char *>("s_device_path"), "/dev/socket/x");
    EXPECT_EQ(*Sym<int>("s_device_socket"), 1);
    EXPECT_EQ(*Sym<int>("s_port"), 8);
    EXPECT_TRUE(LogContains("Opening loopback port 8"));
    int *pair = Sym<int>("del_sms_control");
    EXPECT_GE(pair[0], 0);
    EXPECT_GE(pair[1], 0);
}

// Before the modem is found every request but the SIM status is refused, each exactly once.
TEST_F(LibraryTest, UnavailableRadioRefusesRequestsThroughTheRealTable) {
    const RIL_RadioFunctions *f = daemon_.Init({});
    ASSERT_NE(f, nullptr);
    size_t sent = 0;
    for (int request = 0; request <= 130; ++request) {
        if (!zvtest::CheckRequestSent(daemon_.generation(), request).empty()) continue;  // not this daemon's
        ++sent;
        RIL_Token t = daemon_.Request(request);
        zvtest::Completion c;
        ASSERT_TRUE(daemon_.WaitForCompletion(t, 2s, &c)) << request;
        if (request == RIL_REQUEST_SCREEN_STATE || request == RIL_REQUEST_GET_SIM_STATUS ||
            request == RIL_REQUEST_REPORT_STK_SERVICE_IS_RUNNING)
            EXPECT_NE(c.error, RIL_E_RADIO_NOT_AVAILABLE) << request;
        else
            EXPECT_EQ(c.error, RIL_E_RADIO_NOT_AVAILABLE) << request;
    }
    EXPECT_EQ(daemon_.CompletionCount(), sent);
}

TEST_F(LibraryTest, RadioStateChangesAreReportedOnce) {
    ASSERT_NE(daemon_.Init({}), nullptr);
    auto setState = reinterpret_cast<void (*)(RIL_RadioState)>(daemon_.Symbol("SetRadioState"));
    ASSERT_NE(setState, nullptr);
    setState(RADIO_STATE_OFF);
    ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED, 1s));
    size_t n = daemon_.UnsolicitedCount();
    setState(RADIO_STATE_OFF);
    EXPECT_EQ(daemon_.UnsolicitedCount(), n);

    // With the channel marked closed every state reads as unavailable.
    *Sym<int>("s_closed") = 1;
    setState(RADIO_STATE_SIM_READY);
    EXPECT_EQ(daemon_.functions()->onStateRequest(), RADIO_STATE_UNAVAILABLE);
    EXPECT_EQ(daemon_.UnsolicitedCount(), n + 1);
    setState(RADIO_STATE_SIM_READY);
    EXPECT_EQ(daemon_.UnsolicitedCount(), n + 1);
    *Sym<int>("s_closed") = 0;
}

// A card that never becomes ready is polled once a (scaled) second for as long as it takes.
TEST_F(LibraryTest, SimPollingRepeatsWhileTheCardIsNotReady) {
    ASSERT_NE(daemon_.Init({}), nullptr);
    auto setState = reinterpret_cast<void (*)(RIL_RadioState)>(daemon_.Symbol("SetRadioState"));
    setState(RADIO_STATE_OFF);
    setState(RADIO_STATE_SIM_NOT_READY);
    EXPECT_TRUE(daemon_.WaitUntil([&] { return daemon_.TimedCallbacksScheduled() >= 3; }, 5s));
    EXPECT_EQ(RadioState(), RADIO_STATE_SIM_NOT_READY);
    EXPECT_EQ(daemon_.functions()->onStateRequest(), Hidl() ? RADIO_STATE_ON : RADIO_STATE_SIM_NOT_READY);
    setState(RADIO_STATE_OFF);  // stops the chain at its next step
}

}  // namespace
