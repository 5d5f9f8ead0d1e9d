// Unplug and replug, over and over, with framework requests in flight the whole time and a
// descriptor shortage that comes and goes at random moments: at the end the radio is back,
// every request was answered exactly once, and no descriptor or thread was left behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "support/fd_squeeze.h"
#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace {

using namespace std::chrono_literals;

int CountEntries(const char *dir) {
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (struct dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// Sanitized builds run several times slower; they get fewer cycles of the same mix.
int Cycles() {
    if (const char *env = getenv("ZV_STRESS_CYCLES")) return atoi(env);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return 40;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return 40;
#else
    return 200;
#endif
#else
    return 200;
#endif
}

class ReattachStressTest : public zvtest::LibraryTest {
protected:
    // The shortage is the library's to cope with: the rig's own tree and pseudo-terminal
    // work is done between shortages (a half-removed sysfs tree would be a broken modem).
    void PlugIn(const zvtest::RigOptions &options) {
        std::lock_guard<std::mutex> lock(rigMutex_);
        ASSERT_TRUE(rig_->PlugIn(options)) << rig_->error();
    }
    void Unplug() {
        std::lock_guard<std::mutex> lock(rigMutex_);
        rig_->Unplug();
    }
    std::mutex rigMutex_;
};

TEST_F(ReattachStressTest, UnplugReplugWithRequestsInFlightAndDescriptorShortages) {
    StartWithModem(modemsim::ModuleType::kWcdma);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    std::this_thread::sleep_for(100ms);
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");

    std::atomic<bool> stop{false};
    std::mutex tokensMutex;
    std::vector<RIL_Token> tokens;
    // The framework keeps asking, whatever the modem is doing (what its daemon can ask).
    std::vector<int> requests;
    for (int r : {RIL_REQUEST_GET_IMEI, RIL_REQUEST_GET_IMSI, RIL_REQUEST_BASEBAND_VERSION, RIL_REQUEST_GET_SIM_STATUS,
                  RIL_REQUEST_SIGNAL_STRENGTH, RIL_REQUEST_DEVICE_IDENTITY}) {
        if (zvtest::CheckRequestSent(daemon_.generation(), r).empty()) requests.push_back(r);
    }
    std::thread requester([&] {
        for (size_t i = 0; !stop.load(); ++i) {
            RIL_Token t = daemon_.Request(requests[i % requests.size()]);
            {
                std::lock_guard<std::mutex> lock(tokensMutex);
                tokens.push_back(t);
            }
            std::this_thread::sleep_for(1ms);  // a busy framework, not a spinning one
        }
    });
    // Descriptors run out now and then, for a few milliseconds, at random moments.
    std::thread shortage([&] {
        std::mt19937 rng(20240607);
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 15));
            std::lock_guard<std::mutex> lock(rigMutex_);
            zvtest::FdSqueeze squeeze(rng() % 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 25));
        }
    });

    // However the cycles end, the helper threads stop before the test does.
    struct Joiner {
        std::atomic<bool> &stop;
        std::thread &a, &b;
        ~Joiner() {
            stop = true;
            if (a.joinable()) a.join();
            if (b.joinable()) b.join();
        }
    } joiner{stop, shortage, requester};

    std::mt19937 rng(7);
    const int cycles = Cycles();
    zvtest::RigOptions options;
    for (int cycle = 0; cycle < cycles && !HasFatalFailure(); ++cycle) {
        Unplug();
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE, 10s)) << "cycle " << cycle;
        options.firstTty = (cycle % 2) ? 0 : 4;
        PlugIn(options);
        // Either all the way to SIM ready or pulled out at some point of the start-up.
        if (rng() % 3 == 0) {
            ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY, 20s)) << "cycle " << cycle << " state " << RadioState();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 40));
        }
    }

    stop = true;
    shortage.join();
    requester.join();
    Unplug();
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_UNAVAILABLE, 10s));
    options.firstTty = 0;
    PlugIn(options);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY, 20s)) << "state " << RadioState();

    {
        const std::string log = ReadLog();
        auto count = [&](const char *text) {
            size_t n = 0;
            for (size_t p = 0; (p = log.find(text, p)) != std::string::npos; ++p) ++n;
            return n;
        };
        // How often the shortage bit the library's own start-up, for whoever reads the output.
        // The identities asked for all along never reach the log, in either direction.
        const modemsim::ModelState model = rig_->modem().State();
        EXPECT_EQ(log.find(model.imei), std::string::npos) << "IMEI in the log";
        EXPECT_EQ(log.find(model.imsi), std::string::npos) << "IMSI in the log";
        printf("shortage hits: at_open %zu, port open or search retries %zu, commands on a closed channel %zu\n",
               count("AT error -1 on at_open"), count("_____Searching Ports..._____"), count("err = -3"));
    }

    // Every request answered, once (a second answer is a contract violation of the daemon).
    std::vector<RIL_Token> issued;
    {
        std::lock_guard<std::mutex> lock(tokensMutex);
        issued = tokens;
    }
    EXPECT_GT(issued.size(), static_cast<size_t>(cycles));
    for (RIL_Token t : issued) EXPECT_TRUE(daemon_.WaitForCompletion(t, 5s)) << "a request was never answered";
    EXPECT_EQ(daemon_.CompletionCount(), issued.size());

    // The library's threads and descriptors are what they were with the radio up before.
    EXPECT_TRUE(daemon_.WaitUntil([&] { return CountEntries("/proc/self/fd") == fds; }, 5s))
        << CountEntries("/proc/self/fd") << " descriptors, " << fds << " before";
    EXPECT_TRUE(daemon_.WaitUntil([&] { return CountEntries("/proc/self/task") == threads; }, 5s))
        << CountEntries("/proc/self/task") << " threads, " << threads << " before";
}

}  // namespace
