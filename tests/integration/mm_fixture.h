// The network cases: the library under the fake daemon with a simulated modem whose network
// the test drives, and the signal records read back as ints.
#ifndef ZORVIK_TESTS_INTEGRATION_MM_FIXTURE_H
#define ZORVIK_TESTS_INTEGRATION_MM_FIXTURE_H

#include <modemsim/network.h>

#include <string>
#include <vector>

#include "dev_sim_fixture.h"

namespace zvtest {

class MmTest : public DevSimTest {
  protected:
    // Starts a module of this type and waits for its SIM: on the given platform release, or
    // else on one of the run's daemon generation (4.4.4 socket, 11 for the 8-13 daemon).
    void StartModule(modemsim::ModuleType type, const std::function<void(modemsim::Modem &)> &prepare = {},
                     const std::string &release = {}) {
        SetProperty("ro.build.version.release", !release.empty() ? release : Hidl() ? "11" : "4.4.4");
        daemon_.SetResponseKind(RIL_REQUEST_SIGNAL_STRENGTH, PayloadKind::kInts);
        daemon_.SetUnsolicitedKind(RIL_UNSOL_SIGNAL_STRENGTH, PayloadKind::kInts);
        daemon_.SetUnsolicitedKind(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, PayloadKind::kNone);
        Start(type, prepare);
        hidl_ = Global("PLATFORM_GENERATION") == kHidlGeneration;
        Settle(type == modemsim::ModuleType::kCdma         ? RADIO_STATE_RUIM_READY
               : type == modemsim::ModuleType::kCdmaNoCard ? RADIO_STATE_NV_READY
                                                           : RADIO_STATE_SIM_READY);
    }
    // The library serves the 8-13 daemon in this case, as it decided at start-up.
    bool hidl_ = false;
    static constexpr int kHidlGeneration = 1;
    std::vector<std::string> Strings(int request, void *data = nullptr, size_t datalen = 0) {
        Completion c = Call(request, data, datalen);
        EXPECT_EQ(c.error, RIL_E_SUCCESS) << request;
        return c.strings;
    }
    Completion CallInt(int request, int value) { return Call(request, &value, sizeof value); }
    // The next report of this id after `from`, which moves past it.
    Unsolicited Next(int id, size_t *from) {
        Unsolicited u;
        EXPECT_TRUE(daemon_.WaitForUnsolicited(id, 5s, *from, &u)) << id;
        *from = daemon_.UnsolicitedCount();
        return u;
    }
    size_t CountSince(int id, size_t from) {
        size_t n = 0;
        for (const Unsolicited &u : daemon_.UnsolicitedSince(from)) n += u.id == id;
        return n;
    }
};

}  // namespace zvtest

#endif
