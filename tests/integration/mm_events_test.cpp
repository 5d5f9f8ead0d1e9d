// Screen off and on, network time, IMS registration, location updates and the requests the
// network service refuses, end to end.
#include <algorithm>

#include "mm_fixture.h"

namespace {

using namespace std::chrono_literals;

using modemsim::ModuleType;

class MmEvents : public zvtest::MmTest {};

TEST_F(MmEvents, ScreenOffAndOn) {
    StartModule(ModuleType::kWcdma);
    ASSERT_EQ(CallInt(RIL_REQUEST_SCREEN_STATE, 0).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands({"AT^CURC=0", "AT+CREG=0", "AT+CGREG=0", "AT+CIREG=0"}, 1000));
    // With the reports off the modem keeps its changes to itself.
    size_t from = daemon_.UnsolicitedCount();
    modemsim::SetRegistration(modem(), 2);
    modemsim::SetSignal(modem(), 10);
    modemsim::HandOver(modem(), modemsim::Tech::kLte);

    // No data connection: one query each, then an empty call list before the reports go on.
    modem().ClearCommands();
    ASSERT_EQ(CallInt(RIL_REQUEST_SCREEN_STATE, 1).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Commands(), (std::vector<std::string>{"AT^NDISSTATQRY?", "AT+CGACT?", "AT^CURC=1",
                                                            "AT+CREG=2", "AT+CGREG=2", "AT+CIREG=1"}));
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, 5s, from));
    auto since = daemon_.UnsolicitedSince(from);
    ASSERT_GE(since.size(), 3u);
    EXPECT_EQ(since[since.size() - 2].id, RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED);
    ASSERT_EQ(CountSince(RIL_UNSOL_DATA_CALL_LIST_CHANGED, from), 1u);
    auto list = std::find_if(since.begin(), since.end(), [](auto &u) { return u.id == RIL_UNSOL_DATA_CALL_LIST_CHANGED; });
    EXPECT_EQ(list->length, 0u);
    EXPECT_EQ(CountSince(RIL_UNSOL_SIGNAL_STRENGTH, from), 0u);

    // An active data connection: no second query and no call list.
    modem().On("AT^NDISSTATQRY?", {"^NDISSTATQRY: 1,,,\"IPV4\"", "OK"});
    modem().ClearCommands();
    from = daemon_.UnsolicitedCount();
    ASSERT_EQ(CallInt(RIL_REQUEST_SCREEN_STATE, 1).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Commands(),
              (std::vector<std::string>{"AT^NDISSTATQRY?", "AT^CURC=1", "AT+CREG=2", "AT+CGREG=2", "AT+CIREG=1"}));
    EXPECT_EQ(CountSince(RIL_UNSOL_DATA_CALL_LIST_CHANGED, from), 0u);
    // Any other value is accepted and changes nothing.
    modem().ClearCommands();
    EXPECT_EQ(CallInt(RIL_REQUEST_SCREEN_STATE, 7).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(MmEvents, TimeImsLocationAndRefusals) {
    StartModule(ModuleType::kWcdma);
    size_t from = daemon_.UnsolicitedCount();
    modemsim::SendNetworkTime(modem(), "14/03/21,10:08:00+32,00");
    zvtest::Unsolicited nitz = Next(RIL_UNSOL_NITZ_TIME_RECEIVED, &from);
    EXPECT_EQ(nitz.strings, (std::vector<std::string>{"14/03/21,10:08:00+32,00"}));
    // The 8-13 daemon may keep the bytes for later and read them as a C string: the zero counts.
    EXPECT_EQ(nitz.length, hidl_ ? 24u : 23u);
    modem().Inject("^NWTIME:   ");
    zvtest::Unsolicited empty = Next(RIL_UNSOL_NITZ_TIME_RECEIVED, &from);
    EXPECT_EQ(empty.strings, (std::vector<std::string>{""}));
    EXPECT_EQ(empty.length, hidl_ ? 1u : 0u);
    const std::string longer = "14/03/21,10:08:00+32,00" + std::string(60, ' ') + ",1";  // whatever follows, whole
    modemsim::SendNetworkTime(modem(), longer);
    EXPECT_EQ(Next(RIL_UNSOL_NITZ_TIME_RECEIVED, &from).strings, std::vector<std::string>{longer});
    modem().Inject("+CIREGU: 1");
    Next(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, &from);

    EXPECT_EQ(Call(RIL_REQUEST_IMS_REGISTRATION_STATE).ints, (std::vector<int>{0, 1}));
    modem().Update([](modemsim::ModelState &s) { s.network.himsf = 1; });
    EXPECT_EQ(Call(RIL_REQUEST_IMS_REGISTRATION_STATE).ints, (std::vector<int>{1, 2}));
    modem().On("AT^HIMSF?", {"ERROR"});
    EXPECT_EQ(Call(RIL_REQUEST_IMS_REGISTRATION_STATE).ints, (std::vector<int>{0, 1}));

    modem().ClearCommands();
    EXPECT_EQ(CallInt(RIL_REQUEST_SET_LOCATION_UPDATES, 1).error, RIL_E_SUCCESS);
    EXPECT_EQ(CallInt(RIL_REQUEST_SET_LOCATION_UPDATES, 0).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Commands(), (std::vector<std::string>{"AT+CREG=2", "AT+CGREG=2", "AT+CREG=1", "AT+CGREG=1"}));
    EXPECT_EQ(CallInt(RIL_REQUEST_SET_LOCATION_UPDATES, 2).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_GET_NEIGHBORING_CELL_IDS).error, RIL_E_REQUEST_NOT_SUPPORTED);
    EXPECT_EQ(modem().Commands().size(), 4u);
}

TEST_F(MmEvents, CdmaScreenOnAsksNothingOfPacketData) {
    StartModule(ModuleType::kCdma);
    ASSERT_EQ(CallInt(RIL_REQUEST_SCREEN_STATE, 1).error, RIL_E_SUCCESS);
    EXPECT_TRUE(modem().ExpectCommands({"AT^CURC=1", "AT+CREG=2", "AT+CGREG=2", "AT+CIREG=1"}, 1000));
    EXPECT_EQ(modem().CountCommands("AT^NDISSTATQRY?") + modem().CountCommands("AT+CGACT?"), 0u);
}

}  // namespace
