// Shared set-up of the device and SIM integration cases: the library under the fake daemon
// with a simulated modem of the chosen type, and short ways to issue requests.
#ifndef ZORVIK_TESTS_INTEGRATION_DEV_SIM_FIXTURE_H
#define ZORVIK_TESTS_INTEGRATION_DEV_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <modemsim/sim_card.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace zvtest {

using namespace std::chrono_literals;

class DevSimTest : public LibraryTest {
  protected:
    void Start(modemsim::ModuleType type, const std::function<void(modemsim::Modem &)> &prepare = {}) {
        StartWithModem(type, {}, prepare);
    }
    modemsim::Modem &modem() { return rig_->modem(); }
    // Waits for the state (and for a ready card, the end of the SIM-ready configuration),
    // then forgets the commands of the start-up.
    void Settle(int state) {
        ASSERT_TRUE(WaitRadioState(state)) << "state " << RadioState();
        if (state == RADIO_STATE_SIM_READY || state == RADIO_STATE_RUIM_READY || state == RADIO_STATE_NV_READY) {
            ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, 10s));
        }
        modem().ClearCommands();
    }
    Completion Call(int request, void *data = nullptr, size_t datalen = 0) {
        Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(request, data, datalen), 10s, &c)) << request;
        return c;
    }
    Completion CallStrings(int request, std::vector<const char *> args) {
        return Call(request, args.data(), args.size() * sizeof(char *));
    }
    int &Global(const char *name) { return *Sym<int>(name); }
    // The card status payload (v6 layout unless asked for the 2.3 one).
    template <typename Record = RIL_CardStatus_v6>
    Record CardStatus() {
        Record record;
        memset(&record, 0, sizeof record);
        Completion c = Call(RIL_REQUEST_GET_SIM_STATUS);
        EXPECT_EQ(c.error, RIL_E_SUCCESS);
        EXPECT_EQ(c.raw.size(), sizeof record);
        if (c.raw.size() == sizeof record) memcpy(&record, c.raw.data(), sizeof record);
        if constexpr (requires { record.ims_subscription_app_index; }) {
            // The 8-13 daemon refuses the whole record unless each index names an application.
            if (Hidl()) {
                for (int index : {record.gsm_umts_subscription_app_index, record.cdma_subscription_app_index,
                                  record.ims_subscription_app_index})
                    EXPECT_TRUE(index == -1 || (index >= 0 && index < record.num_applications)) << index;
            }
        }
        return record;
    }
    // The card status index of an application that is not there.
    static int NoApp() { return Hidl() ? -1 : RIL_CARD_MAX_APPS; }
    // SIM status reports since `from` (the 8-13 framework's cue to read the card again).
    size_t SimStatusReports(size_t from) const {
        size_t n = 0;
        for (const Unsolicited &u : daemon_.UnsolicitedSince(from)) n += u.id == RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED;
        return n;
    }
};

}  // namespace zvtest

#endif
