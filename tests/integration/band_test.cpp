// Band modes through the library and a simulated modem: the query in both command dialects
// over real band lists, the setting with its fallback to the older command, and the refusals
// (before any query, for a mode not offered, when the modem answers nothing usable).
#include <gtest/gtest.h>

#include <modemsim/band.h>

#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::BandList;
using modemsim::ModelState;
using modemsim::ModuleType;
using Ints = std::vector<int>;

class BandTest : public zvtest::DevSimTest {
  protected:
    zvtest::Completion Query() { return Call(RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE); }
    RIL_Errno Set(int mode) { return Call(RIL_REQUEST_SET_BAND_MODE, &mode, sizeof mode).error; }
    // The used part of the 20-int answer, count first (the 8-13 daemon gets the modes alone).
    static Ints Modes(const zvtest::Completion &c) {
        if (Hidl()) {
            Ints modes{static_cast<int>(c.ints.size()) + 1};
            modes.insert(modes.end(), c.ints.begin(), c.ints.end());
            return modes;
        }
        EXPECT_EQ(c.raw.size(), 20 * sizeof(int));
        if (c.ints.empty() || c.ints[0] < 1 || c.ints[0] > 20) return {};
        return Ints(c.ints.begin(), c.ints.begin() + c.ints[0]);
    }
    std::string Band() { return modem().State().band.band; }
    // The band commands the modem received (anything else the library sends meanwhile aside).
    std::vector<std::string> BandCommands() {
        std::vector<std::string> out;
        for (const std::string &c : modem().Commands())
            if (c.rfind("AT^SYSCFG", 0) == 0) out.push_back(c);
        return out;
    }
};

// One flow over the default firmware (^SYSCFGEX with an LTE list and a mask that is no regional
// preset): the refusals before and around a query, the query, settings in both dialects, and
// a failed query that leaves the last good table in place while a garbled one empties it.
TEST_F(BandTest, QueryThenSetEndToEnd) {
    Start(ModuleType::kWcdma);
    Settle(RADIO_STATE_SIM_READY);

    EXPECT_EQ(Set(2), RIL_E_GENERIC_FAILURE) << "no query yet";
    EXPECT_EQ(modem().CountCommands("AT^SYSCFG"), 0u);

    zvtest::Completion q = Query();
    ASSERT_EQ(q.error, RIL_E_SUCCESS);
    EXPECT_EQ(Modes(q), (Ints{7, 1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(BandCommands(), (std::vector<std::string>{"AT^SYSCFGEX=?"}));

    modem().ClearCommands();
    EXPECT_EQ(Set(2), RIL_E_SUCCESS);
    EXPECT_EQ(BandCommands(), (std::vector<std::string>{"AT^SYSCFGEX=\"99\",4a80000,2,4,7FFFFFFFFFFFFFFF,,"}));
    EXPECT_EQ(Band(), "4a80000");
    EXPECT_EQ(Set(1), RIL_E_SUCCESS);
    EXPECT_EQ(Band(), "2000000400380") << "high part and eight low digits";

    for (int mode : {-1, 6, 17, 18, 1000}) EXPECT_EQ(Set(mode), RIL_E_GENERIC_FAILURE) << mode;
    EXPECT_EQ(Call(RIL_REQUEST_SET_BAND_MODE, nullptr, 0).error, RIL_E_GENERIC_FAILURE);

    // The modem refuses the newer command: the same mask goes out in the older one.
    modem().OnPrefix("AT^SYSCFGEX=\"", {"+CME ERROR: 50"});
    modem().ClearCommands();
    EXPECT_EQ(Set(0), RIL_E_SUCCESS);
    EXPECT_EQ(BandCommands(), (std::vector<std::string>{"AT^SYSCFGEX=\"99\",3fffffff,2,4,7FFFFFFFFFFFFFFF,,",
                                                            "AT^SYSCFG=16,3,3fffffff,2,4"}));
    EXPECT_EQ(Band(), "3fffffff");
    modem().OnPrefix("AT^SYSCFG=16", {"ERROR"});
    EXPECT_EQ(Set(0), RIL_E_GENERIC_FAILURE);
    modem().ClearOverrides();

    // Neither query command answers: failure, and the table of the last query stays.
    modem().On("AT^SYSCFGEX=?", {"ERROR"});
    modem().On("AT^SYSCFG=?", {"OK"});  // success without its line
    EXPECT_EQ(Query().error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Set(3), RIL_E_SUCCESS);
    EXPECT_EQ(Band(), "400000");

    // An answer that cannot be read empties the table.
    modem().On("AT^SYSCFGEX=?", {"^SYSCFGEX: (\"00\"),((400000,\"W", "OK"});
    EXPECT_EQ(Query().error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Set(3), RIL_E_GENERIC_FAILURE);
}

// Older firmware knows only ^SYSCFG: the query falls back to it, and so does every setting.
TEST_F(BandTest, OlderFirmwareAnswersInTheOlderDialect) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) {
        m.Update([](ModelState &s) { modemsim::UseBandList(s.band, BandList::kSyscfgPresets); });
    });
    Settle(RADIO_STATE_SIM_READY);
    zvtest::Completion q = Query();
    ASSERT_EQ(q.error, RIL_E_SUCCESS);
    EXPECT_EQ(Modes(q), (Ints{4, 1, 2, 0}));
    EXPECT_TRUE(modem().ExpectCommands({"AT^SYSCFGEX=?", "AT^SYSCFG=?"}, 1000));
    EXPECT_EQ(Set(2), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands({"AT^SYSCFGEX=\"99\",280000,", "AT^SYSCFG=16,3,280000,2,4"}, 1000));
    EXPECT_EQ(Band(), "280000");
}

}  // namespace
