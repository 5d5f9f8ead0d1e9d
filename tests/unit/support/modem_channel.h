// Unit-test fixture for request handlers driven directly over the library's AT channel: the
// channel opened on the slave side of a simulated modem, the library's global words put back
// as they were, and a recording of what the library tells the daemon.
#ifndef ZORVIK_TESTS_UNIT_SUPPORT_MODEM_CHANNEL_H
#define ZORVIK_TESTS_UNIT_SUPPORT_MODEM_CHANNEL_H

#include <gtest/gtest.h>
#include <modemsim/modemsim.h>
#include <stdint.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include <zvshared.h>

#include "unit/support/library_env.h"

namespace zvtest {

// Plugs the modem in and opens the channel on its slave side in raw mode, as the port search
// leaves a port, with an unsolicited handler that drops everything. False when either fails.
bool OpenChannelOn(modemsim::Modem &modem);
// Closes the channel, then pulls the modem.
void CloseChannelOn(modemsim::Modem &modem);

// A case over the channel to a simulated WCDMA modem. The words given to `set` are stored
// before the channel opens; they and the words given to `keep` get their old values back after
// the case, so a case that changes module type, platform or project flags leaves the next one
// the library it found. Env (RecordingEnv, or a service's own) records the daemon calls.
template <class Env = RecordingEnv>
class ChannelTest : public ::testing::Test {
protected:
    explicit ChannelTest(std::initializer_list<std::pair<int *, int>> set = {},
                         std::initializer_list<int *> keep = {})
        : set_(set) {
        for (const auto &word : set_) saved_.emplace_back(word.first, zv::Load(*word.first));
        for (int *word : keep) saved_.emplace_back(word, zv::Load(*word));
    }
    ~ChannelTest() override {
        for (const auto &[word, value] : saved_) zv::Store(*word, value);
    }
    void SetUp() override {
        for (const auto &[word, value] : set_) zv::Store(*word, value);
        ASSERT_TRUE(OpenChannelOn(modem_));
    }
    void TearDown() override { CloseChannelOn(modem_); }

    // Hands one request to `handler` with the request number as its token and returns the error
    // of its completion, which must be the only one.
    template <class Handler>
    RIL_Errno CompleteOnce(Handler handler, int request, const void *data, size_t datalen) {
        env_.Clear();
        handler(request, const_cast<void *>(data), datalen, reinterpret_cast<RIL_Token>(static_cast<intptr_t>(request)));
        const auto done = env_.Completions();
        EXPECT_EQ(done.size(), 1u) << "request " << request << " must be completed once";
        return done.empty() ? RIL_E_GENERIC_FAILURE : ErrorOf(done[0]);
    }

    Env env_;
    modemsim::Modem modem_{modemsim::ModuleType::kWcdma};

private:
    static RIL_Errno ErrorOf(RIL_Errno e) { return e; }
    static RIL_Errno ErrorOf(const RecordedCompletion &c) { return c.error; }

    std::vector<std::pair<int *, int>> set_;
    std::vector<std::pair<int *, int>> saved_;
};

}  // namespace zvtest

#endif
