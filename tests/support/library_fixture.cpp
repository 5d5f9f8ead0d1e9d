#include "support/library_fixture.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <filesystem>
#include <map>
#include <thread>
#include <sstream>

namespace zvtest {

void LibraryTest::SetUp() {
    char tmpl[] = "/tmp/zvril-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    root_ = dir_ + "/root";
    propDir_ = dir_ + "/props";
    logFile_ = dir_ + "/ril.log";
    mkdir(root_.c_str(), 0755);
    mkdir(propDir_.c_str(), 0755);
    setenv("ZORVIK_ROOT", root_.c_str(), 1);
    setenv("ZORVIK_PROPERTY_DIR", propDir_.c_str(), 1);
    setenv("ZORVIK_LOG_FILE", logFile_.c_str(), 1);
    if (!getenv("ZORVIK_TIME_SCALE")) setenv("ZORVIK_TIME_SCALE", "20", 1);
    if (Hidl()) SetProperty("ro.build.version.sdk", "30");
    ASSERT_TRUE(daemon_.Load()) << daemon_.error();
}

void LibraryTest::TearDown() {
    if (rig_) UnplugAndSettle();
    // Each broken rule once, with how often: a stress case may break one a thousand times.
    std::map<std::string, size_t> violations;
    for (const auto &v : daemon_.Violations()) ++violations[v];
    for (const auto &[v, times] : violations)
        ADD_FAILURE() << "daemon contract: " << v << (times > 1 ? " (" + std::to_string(times) + " times)" : "");
    if (!HasFailure()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    } else {
        fprintf(stderr, "test files kept in %s\n", dir_.c_str());
    }
}

void LibraryTest::StartWithModem(modemsim::ModuleType type, const RigOptions &options,
                                 const std::function<void(modemsim::Modem &)> &prepare,
                                 const std::vector<std::string> &args) {
    rig_ = std::make_unique<ModemRig>(root_, type);
    if (prepare) prepare(rig_->modem());
    ASSERT_TRUE(rig_->PlugIn(options)) << rig_->error();
    ASSERT_NE(daemon_.Init(args), nullptr) << daemon_.error();
}

bool LibraryTest::Hidl() {
    const char *g = getenv("ZV_TEST_GENERATION");
    return g && strcmp(g, "hidl") == 0;
}

int LibraryTest::RadioState() {
    if (!daemon_.functions()) return -1;
    if (!Hidl()) return daemon_.functions()->onStateRequest();
    return __atomic_load_n(Sym<int>("sState"), __ATOMIC_ACQUIRE);
}

bool LibraryTest::WaitRadioState(int state, std::chrono::milliseconds timeout) {
    return daemon_.WaitUntil([&] { return RadioState() == state; }, timeout);
}

void LibraryTest::UnplugAndSettle() {
    if (!rig_) return;
    bool wasPlugged = rig_->modem().IsPlugged();
    rig_->Unplug();
    if (wasPlugged && daemon_.functions()) {
        WaitRadioState(RADIO_STATE_UNAVAILABLE, std::chrono::seconds(5));
        // The reader thread returns right after the state change; give it time to end.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void LibraryTest::SetProperty(const std::string &key, const std::string &value) {
    // A test pinned to a release before 8 is about the socket daemon in either run.
    if (key == "ro.build.version.release" && atoi(value.c_str()) < 8) unlink((propDir_ + "/ro.build.version.sdk").c_str());
    std::ofstream(propDir_ + "/" + key) << value << "\n";
}

std::string LibraryTest::ReadLog() const {
    std::ifstream in(logFile_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool LibraryTest::LogContains(const std::string &text) const { return ReadLog().find(text) != std::string::npos; }

}  // namespace zvtest
