// One session with known secrets, through the paths that carry them: a PIN entered wrong and
// right, a PUK, the IMSI, IMEI and ICCID, a dialled number and the call list, a message sent and
// one received, a toolkit GET INPUT answer, APN credentials and the modem's DHCP answer. None
// of them, in clear or in the modem's encodings, may reach any line of the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModelState;
using modemsim::ModuleType;
using modemsim::SimCard;
using zvtest::Completion;
using namespace std::chrono_literals;

constexpr const char *kPin = "80469713", *kWrongPin = "97531864", *kPuk = "60217385";
// A message to +15559876543 and one from it, both "hellohello" in GSM 7-bit.
constexpr const char *kSubmit = "0011000B915155896745F30000AA0AE8329BFD4697D9EC37";
constexpr const char *kDeliver = "00040B915155896745F30000621030120000000AE8329BFD4697D9EC37";

class Privacy : public zvtest::DevSimTest {};

TEST_F(Privacy, NoSecretReachesTheLog) {
    Start(ModuleType::kWcdma, [](modemsim::Modem &m) {
        modemsim::UpdateCard(m, [](ModelState &s, SimCard &c) {
            s.sim = modemsim::SimState::kPin;
            c.pin = kPin;
            c.puk = kPuk;
        });
    });
    Settle(RADIO_STATE_SIM_LOCKED_OR_ABSENT);
    for (int i = 0; i < SimCard::kPinAttempts; ++i)
        EXPECT_EQ(CallStrings(RIL_REQUEST_ENTER_SIM_PIN, {kWrongPin}).error, RIL_E_PASSWORD_INCORRECT);
    EXPECT_EQ(CallStrings(RIL_REQUEST_ENTER_SIM_PUK, {kPuk, kPin}).error, RIL_E_SUCCESS);
    Settle(RADIO_STATE_SIM_READY);

    EXPECT_EQ(CallStrings(RIL_REQUEST_GET_IMSI, {nullptr}).error, RIL_E_SUCCESS);
    EXPECT_EQ(Call(RIL_REQUEST_DEVICE_IDENTITY).error, RIL_E_SUCCESS);
    RIL_SIM_IO_v6 iccid{176, 0x2FE2, const_cast<char *>("3F00"), 0, 0, 10, nullptr, nullptr, nullptr};
    EXPECT_EQ(Call(RIL_REQUEST_SIM_IO, &iccid, sizeof iccid).error, RIL_E_SUCCESS);

    RIL_Dial dial{const_cast<char *>("+15559876543"), 0, nullptr};
    EXPECT_EQ(Call(RIL_REQUEST_DIAL, &dial, sizeof dial).error, RIL_E_SUCCESS);
    Call(RIL_REQUEST_GET_CURRENT_CALLS);
    int call = 1;
    Call(RIL_REQUEST_HANGUP, &call, sizeof call);

    EXPECT_EQ(CallStrings(RIL_REQUEST_SEND_SMS, {nullptr, kSubmit}).error, RIL_E_SUCCESS);
    modem().SendRaw(std::string("\r\n+CMT: ,28\r\n") + kDeliver + "\r\n");
    EXPECT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_NEW_SMS, 5s));
    int ack[2] = {1, 0};
    Call(RIL_REQUEST_SMS_ACKNOWLEDGE, ack, sizeof ack);

    // GET INPUT answered with the text "97531864" (8-bit data).
    const char *input = "8103012300820282818301008D09043937353331383634";
    Call(RIL_REQUEST_STK_SEND_TERMINAL_RESPONSE, const_cast<char *>(input), sizeof(char *));

    Call(RIL_REQUEST_SETUP_DATA_CALL, std::vector<const char *>{"1", "0", "zvsecretapn", "zvuser", "pw13579x", "2", "IP"}
                                          .data(),
         7 * sizeof(char *));
    Call(RIL_REQUEST_DEACTIVATE_DATA_CALL, std::vector<const char *>{"1", "0"}.data(), 2 * sizeof(char *));
    // The answer a connection reads its addresses from, as a connected modem gives it.
    modem().OnPrefix("AT^DHCP?", {"^DHCP: 8655a8c0,f8ffffff,0155a8c0,0155a8c0,0255a8c0,0355a8c0,100000000,100000000",
                                  "OK"});
    CallStrings(RIL_REQUEST_OEM_HOOK_STRINGS, {"AT^DHCP?"});

    const std::string log = ReadLog();
    ASSERT_NE(log.find("AT> AT+CPIN="), std::string::npos) << "the log holds the session";
    for (const std::string &secret :
         {std::string(kPin), std::string(kWrongPin), std::string(kPuk), std::string("460001234567890"),
          std::string("351234567890123"), std::string("98101430121181157002"), std::string("15559876543"), std::string("5155896745F3"),
          std::string("E8329BFD4697D9EC37"), std::string("3937353331383634"), std::string("zvsecretapn"),
          std::string("zvuser"), std::string("pw13579x")}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << " is in the log";
    }
    // The modem's own DHCP answer (address, gateway, DNS servers as hex words) stays hidden too.
    EXPECT_NE(log.find("AT< ^DHCP:"), std::string::npos);
    for (size_t at = log.find("^DHCP:"); at != std::string::npos; at = log.find("^DHCP:", at + 1)) {
        const std::string line = log.substr(at, log.find('\n', at) - at);
        EXPECT_EQ(line.find_first_of("0123456789abcdefABCDEF", 6), std::string::npos) << line;
    }
}

}  // namespace
