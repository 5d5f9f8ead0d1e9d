// Operator and network selection end to end: names in three formats (one in UCS-2), the
// selection mode, an automatic selection that succeeds on the third poll, manual selection
// with its refusals, a scan with two networks, and the CDMA answers that need no command.
#include <string.h>

#include <memory>

#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;
using V = std::vector<std::string>;

class MmSelection : public zvtest::MmTest {};

TEST_F(MmSelection, OperatorModeAndScan) {
    StartModule(ModuleType::kWcdma);
    EXPECT_EQ(Strings(RIL_REQUEST_OPERATOR), (V{"Zorvik Telecom", "Zorvik", "00101"}));
    EXPECT_TRUE(modem().WaitForCommand("AT+COPS=3,0;+COPS?;+COPS=3,1;+COPS?;+COPS=3,2;+COPS?", 1000));
    modemsim::SetOperator(modem(), "80004F005000450052", "", "46000");
    EXPECT_EQ(Strings(RIL_REQUEST_OPERATOR), (V{"OPER", "OPER", "46000"}));
    zvtest::Completion mode = Call(RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE);
    EXPECT_EQ(mode.ints, (std::vector<int>{0}));

    EXPECT_EQ(Strings(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS),
              (V{"Zorvik Telecom", "Zorvik", "00101", "current", "Other Net", "Other", "00102", "forbidden"}));
    modemsim::SetScanList(modem(), {});
    EXPECT_EQ(Strings(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS), V{});
    // Not registered: the modem names no operator, and an answer line short of three fails.
    modemsim::SetRegistration(modem(), 2);
    EXPECT_EQ(Strings(RIL_REQUEST_OPERATOR), (V{"(null)", "(null)", "(null)"}));
    modem().On("AT+COPS=3,0;+COPS?;+COPS=3,1;+COPS?;+COPS=3,2;+COPS?", {"+COPS: 0", "+COPS: 0", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_OPERATOR).error, RIL_E_GENERIC_FAILURE);
    modem().On("AT+COPS=?", {"+CME ERROR: 30"});
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS).error, RIL_E_GENERIC_FAILURE);
}

TEST_F(MmSelection, AutomaticSucceedsOnTheThirdPollAndManualRefusals) {
    StartModule(ModuleType::kWcdma);
    modemsim::SetSelectionPolls(modem(), 2);
    const size_t timers = daemon_.TimedCallbacksScheduled();
    RIL_Token t = daemon_.Request(RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC);
    zvtest::Completion c;
    ASSERT_TRUE(daemon_.WaitForCompletion(t, 10s, &c));
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().CountCommands("AT+COPS?"), 3u);
    EXPECT_EQ(daemon_.TimedCallbacksScheduled() - timers, 3u);
    EXPECT_TRUE(modem().ExpectCommands({"AT+COPS=0", "AT+COPS?", "AT+COPS?", "AT+COPS?"}, 1000));

    // A poll the modem refuses ends the selection with a failure.
    modemsim::SetSelectionPolls(modem(), 1);
    auto polls = std::make_shared<int>(0);
    modem().OnHandler("AT+COPS?", [polls](modemsim::Modem &, const std::string &) -> modemsim::Modem::Lines {
        return ++*polls == 1 ? modemsim::Modem::Lines{"+COPS: 0", "OK"} : modemsim::Modem::Lines{"ERROR"};
    });
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC).error, RIL_E_GENERIC_FAILURE);
    modem().ClearOverrides();

    modem().ClearCommands();
    modemsim::SetSelectionDelay(modem(), 200);
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, const_cast<char *>("00101"), 6).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().WaitForCommand("AT+COPS=1,2,\"00101\"", 1000));
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE).ints, (std::vector<int>{1}));
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, const_cast<char *>("00102"), 6).error,
              RIL_E_GENERIC_FAILURE);  // forbidden
    // Operators that are not 5 or 6 digits never reach the modem.
    for (const char *bad : {"0010", "0010123", "00a01", "001\"1", "00101\r", ""}) {
        EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, const_cast<char *>(bad), strlen(bad) + 1).error,
                  RIL_E_GENERIC_FAILURE)
            << bad;
    }
    // The 8-13 daemon hands an empty operator over as a NULL string: refused as "" is.
    for (size_t datalen : {size_t{0}, sizeof(char *)})
        EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, nullptr, datalen).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().CountCommands("AT+COPS=1"), 2u);
    EXPECT_TRUE(daemon_.Violations().empty());
}

TEST_F(MmSelection, CdmaNeedsNoCommandButScans) {
    StartModule(ModuleType::kCdma);
    EXPECT_EQ(Strings(RIL_REQUEST_OPERATOR), (V{"CDMA", "CDMA", "46003"}));
    EXPECT_EQ(Call(RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE).ints, (std::vector<int>{0}));
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_AUTOMATIC).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, const_cast<char *>("x"), 2).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL, nullptr, sizeof(char *)).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().CountCommands("AT+COPS"), 0u);
    EXPECT_EQ(Strings(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS).size(), 8u);
}

}  // namespace
