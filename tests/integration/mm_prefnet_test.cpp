// Preferred network type end to end in each module's dialect: ^SYSCFGEX where the module has
// it, and ^SYSCFG, ^SYSCONFIG or ^PREFMODE where it refuses it.
#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;

class MmPreferred : public zvtest::MmTest {
  protected:
    RIL_Errno Set(int type) { return CallInt(RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE, type).error; }
    int Get() {
        zvtest::Completion c = Call(RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE);
        EXPECT_EQ(c.error, RIL_E_SUCCESS);
        return c.ints.empty() ? -1 : c.ints[0];
    }
};

TEST_F(MmPreferred, WcdmaSetsNineReadsItBackThenFallsBack) {
    StartModule(ModuleType::kWcdma);
    ASSERT_EQ(Set(9), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^SYSCFGEX=\"030201\",40000000,2,4,7FFFFFFFFFFFFFFF,,", 1000));
    EXPECT_EQ(Get(), 9);
    for (int type : {3, 4, 7, 12, -1}) {
        ASSERT_EQ(Set(type), RIL_E_SUCCESS);
        EXPECT_EQ(Get(), 7) << type;
    }
    ASSERT_EQ(Set(0), RIL_E_SUCCESS);
    EXPECT_EQ(Get(), 0);

    modemsim::RefuseSyscfgex(modem());
    modem().ClearCommands();
    ASSERT_EQ(Set(2), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands({"AT^SYSCFGEX=\"02\"", "AT^SYSCFG=14,2,40000000,2,4"}, 1000));
    EXPECT_EQ(Get(), 2);
    ASSERT_EQ(Set(1), RIL_E_SUCCESS);
    EXPECT_EQ(Get(), 1);
    // A type the old command cannot take either.
    modem().On("AT^SYSCFG=0,2,40000000,2,4", {"ERROR"});
    EXPECT_EQ(Set(11), RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(CallInt(RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE, 0).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_SET_PREFERRED_NETWORK_TYPE, nullptr, 0).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(MmPreferred, TdscdmaFallsBackToSysconfig) {
    StartModule(ModuleType::kTdscdma);
    modemsim::RefuseSyscfgex(modem());
    ASSERT_EQ(Set(2), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^SYSCONFIG=15,2,2,4", 1000));
    EXPECT_EQ(Get(), 2);
}

TEST_F(MmPreferred, CdmaFallsBackToPrefmode) {
    StartModule(ModuleType::kCdma);
    ASSERT_EQ(Set(4), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^PREFMODE=8", 1000));
    EXPECT_EQ(Get(), 4);
    ASSERT_EQ(Set(2), RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT^PREFMODE=0", 1000));
    EXPECT_EQ(Get(), 7);
    ASSERT_EQ(Set(6), RIL_E_SUCCESS);
    EXPECT_EQ(Get(), 6);
    EXPECT_TRUE(modem().WaitForCommand("AT^PREFMODE?", 1000));
}

}  // namespace
