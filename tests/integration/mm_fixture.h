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
    // Starts a module of this type on the given platform release and waits for its SIM.
    void StartModule(modemsim::ModuleType type, const std::function<void(modemsim::Modem &)> &prepare = {},
                     const std::string &release = "4.4.4") {
        SetProperty("ro.build.version.release", release);
        daemon_.SetResponseKind(RIL_REQUEST_SIGNAL_STRENGTH, PayloadKind::kInts);
        daemon_.SetUnsolicitedKind(RIL_UNSOL_SIGNAL_STRENGTH, PayloadKind::kInts);
        daemon_.SetUnsolicitedKind(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, PayloadKind::kNone);
        Start(type, prepare);
        const bool cdma = type == modemsim::ModuleType::kCdma || type == modemsim::ModuleType::kCdmaNoCard;
        Settle(cdma ? RADIO_STATE_RUIM_READY : RADIO_STATE_SIM_READY);
    }
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
