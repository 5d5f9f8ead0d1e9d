// A USSD dialogue end to end: the framework's strings go out as AT+CUSD, the simulated
// network's menu and answers come back as RIL_UNSOL_ON_USSD in 7-bit and UCS-2.
#include <gtest/gtest.h>

#include <memory>

#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace {

using namespace std::chrono_literals;

class UssdDialogue : public zvtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        StartWithModem(modemsim::ModuleType::kWcdma);
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    }
    RIL_Errno Send(const char *text) {
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_SEND_USSD, const_cast<char *>(text),
                                                              sizeof(char *)),
                                              5s, &c));
        return c.error;
    }
    std::vector<std::string> NextReport(size_t *from) {
        zvtest::Unsolicited u;
        EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_ON_USSD, 5s, *from, &u));
        *from = daemon_.UnsolicitedCount();
        return u.strings;
    }
};

TEST_F(UssdDialogue, MenuThenAnswersInBothAlphabets) {
    using V = std::vector<std::string>;
    size_t from = daemon_.UnsolicitedCount();
    ASSERT_EQ(Send("*100#"), RIL_E_SUCCESS);
    EXPECT_TRUE(rig_->modem().WaitForCommand("AT+CUSD=1,\"AA180C3602\",15", 1000));
    EXPECT_EQ(NextReport(&from), (V{"1", "Menu: 1 Balance 2 Data"}));

    ASSERT_EQ(Send("1"), RIL_E_SUCCESS);
    EXPECT_EQ(NextReport(&from), (V{"0", "Balance 10.00"}));

    ASSERT_EQ(Send("*100#"), RIL_E_SUCCESS);
    NextReport(&from);
    ASSERT_EQ(Send("2"), RIL_E_SUCCESS);
    EXPECT_EQ(NextReport(&from), (V{"0", "\xE6\xB5\x81\xE9\x87\x8F 500MB"}));

    // An unknown code: the network ends the dialogue without text.
    ASSERT_EQ(Send("*999#"), RIL_E_SUCCESS);
    EXPECT_EQ(NextReport(&from), (V{"2", ""}));

    zvtest::Completion c;
    ASSERT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_CANCEL_USSD), 5s, &c));
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_TRUE(rig_->modem().WaitForCommand("AT+CUSD=2", 1000));
    // Masked in the log: the USSD string is private.
    EXPECT_FALSE(LogContains("AA180C3602"));
}

TEST_F(UssdDialogue, RefusalsAndModemErrors) {
    zvtest::Completion c;
    ASSERT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_SEND_USSD, nullptr, 0), 5s, &c));
    // The 8-13 daemon's NULL is an empty string, which goes to the network like "" always did.
    EXPECT_EQ(c.error, Hidl() ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
    std::string tooLong(200, '1');
    EXPECT_EQ(Send(tooLong.c_str()), RIL_E_GENERIC_FAILURE);
    rig_->modem().OnPrefix("AT+CUSD=1,", {"+CME ERROR: 100"});
    EXPECT_EQ(Send("*100#"), RIL_E_GENERIC_FAILURE);
    for (int r : {RIL_REQUEST_CHANGE_BARRING_PASSWORD, RIL_REQUEST_SET_SUPP_SVC_NOTIFICATION}) {
        ASSERT_TRUE(daemon_.WaitForCompletion(daemon_.Request(r), 5s, &c));
        EXPECT_EQ(c.error, RIL_E_REQUEST_NOT_SUPPORTED);
    }
    EXPECT_EQ(rig_->modem().CountCommands("AT+CUSD=1,\"1111"), 0u) << "refused strings are never sent";
}

}  // namespace
