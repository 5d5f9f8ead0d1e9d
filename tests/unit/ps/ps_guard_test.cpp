// The NDIS guard when its timer thread cannot start (no descriptors for its wake-up pipe): the
// connect is answered at once, not left to a guard that never fires; the next one starts the
// thread and its expiry answers. Must be the first to arm the guard in its process (ctest).
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>

#include <stdlib.h>
#include <unistd.h>

#include <optional>

#include <zorvik/host.h>
#include <zvril.h>
#include <zvstr.h>

#include "ps/ps.h"
#include "support/fd_squeeze.h"
#include "unit/support/library_env.h"
#include "unit/support/modem_channel.h"

namespace {

TEST(PsGuard, TimerThreadThatCannotStartFailsTheConnectAndStartsNextTime) {
    setenv("ZORVIK_TIME_SCALE", "100", 1);
    zv::ReloadHostEnvironment();
    zvtest::RecordingEnv env;
    modemsim::Modem modem(modemsim::ModuleType::kWcdma);
    modem.Update([](modemsim::ModelState &s) { s.data.withhold_report = true; });
    ASSERT_TRUE(zvtest::OpenChannelOn(modem));
    zv::CopyBounded(ndis_st.apn, sizeof ndis_st.apn, "internet");
    int tokens[2];
    for (int i = 0; i < 2; ++i) {
        {
            std::optional<zvtest::FdSqueeze> squeeze;
            if (i == 0) squeeze.emplace(1);
            ndis_st.token = &tokens[i];
            ndis_st.ndis_event = NDIS_EVENT_REQUEST_PDP_ACTIVE;
            NdisStateMachine(&ndis_st);
        }
        for (int wait = 0; wait < 500 && env.Completions().size() <= static_cast<size_t>(i); ++wait) usleep(10000);
        ASSERT_EQ(env.Completions().size(), i + 1u) << (i == 0 ? "waits for a guard that cannot fire" : "no expiry");
        EXPECT_EQ(env.Completions()[i].token, &tokens[i]);
        EXPECT_EQ(env.Completions()[i].error, RIL_E_GENERIC_FAILURE);
        EXPECT_EQ(modem.CountCommands("AT^NDISDUP=1,0"), i + 1u) << "the accepted connect is undone";
    }
    EXPECT_TRUE(env.Logged("ActivePDPTimeOut"));
    zvtest::CloseChannelOn(modem);
    unsetenv("ZORVIK_TIME_SCALE");
    zv::ReloadHostEnvironment();
}

}  // namespace
