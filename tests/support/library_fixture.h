// Integration-test fixture: a private directory for properties, log and fake root, the
// environment variables the library reads, and a fake daemon that loads the real library.
#ifndef ZORVIK_TESTS_SUPPORT_LIBRARY_FIXTURE_H
#define ZORVIK_TESTS_SUPPORT_LIBRARY_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "support/fake_daemon.h"
#include "support/modem_rig.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace zvtest {

// Helper threads that stop before the test does, however it ends: sets stop, joins both.
struct StopAndJoin {
    std::atomic<bool> &stop;
    std::thread &a, &b;
    ~StopAndJoin() {
        stop = true;
        if (a.joinable()) a.join();
        if (b.joinable()) b.join();
    }
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a property file before the library reads it.
    void SetProperty(const std::string &key, const std::string &value);
    std::string ReadLog() const;
    bool LogContains(const std::string &text) const;
    template <typename T>
    T *Sym(const char *name) {
        return static_cast<T *>(daemon_.Symbol(name));
    }

    // Plugs a simulated modem of this type in (prepare runs before the plug) and starts the
    // library with RIL_Init(args).
    void StartWithModem(modemsim::ModuleType type, const RigOptions &options = {},
                        const std::function<void(modemsim::Modem &)> &prepare = {},
                        const std::vector<std::string> &args = {});
    // The radio state as the library keeps it. The socket daemon sees it as it is; the 8-13
    // daemon sees only OFF, UNAVAILABLE and ON (it checks that), so there the library's own
    // word tells the SIM states apart.
    int RadioState();
    // The daemon generation this run serves ($ZV_TEST_GENERATION "hidl" or the socket one).
    static bool Hidl();
    bool WaitRadioState(int state, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Unplugs the modem and waits until the library has let go of it, so that no library
    // thread is still winding down when the test process exits.
    void UnplugAndSettle();

    std::unique_ptr<ModemRig> rig_;
    std::string dir_;
    std::string root_, propDir_, logFile_;
    FakeDaemon daemon_;
};

}  // namespace zvtest

#endif
