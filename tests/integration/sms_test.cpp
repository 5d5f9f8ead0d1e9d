// SMS end to end through the simulated modem, for a WCDMA and a CDMA module: messages sent
// reach the modem exactly; messages the network delivers reach the framework one at a time
// when delivered directly, or through the stored-message thread (read, reported, deleted)
// when stored; a full store, status reports, cell broadcasts and the start-up scan of unread
// messages.
#include <gtest/gtest.h>

#include <modemsim/sms.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/library_fixture.h"
#include "support/modem_rig.h"

namespace {

using namespace std::chrono_literals;
using modemsim::Modem;
using modemsim::ModuleType;

constexpr const char *kTpdu = "11000B916407281553F80000AA0AE8329BFD4697D9EC37";
constexpr const char *kDeliver[] = {
    "07914306073011F00405812261F700003130916191314003C8329B",
    "07917248014000F3240B917247587706F400003110824115248012C8329BFD06C9C373B8B82C97E741F034",
    "07916163838428F9040B916121021021F700005190514164220A23C4B0BCFD5E8740C4B0BCFD5E83C26E3248196687C9A0301D440DBBC3677918",
};
constexpr const char *kStatusReport = "07917248014000F506B70AA18092020000317071518590803170715185418000";
constexpr const char *kCdmaPdu = "0000021002020A80039899199A1A9B1B8008050003200010";  // from "1234567", 8-bit

class SmsEndToEnd : public zvtest::LibraryTest {
protected:
    void Start(ModuleType type, int ready, const std::function<void(Modem &)> &prepare = {}) {
        StartWithModem(type, {}, prepare);
        ASSERT_TRUE(WaitRadioState(ready)) << RadioState();
        // The SIM-ready configuration ends with this report; only after it do the test's own
        // choices of indication mode stay as the test set them.
        ASSERT_TRUE(daemon_.WaitUntil(
            [&] {
                for (const auto &u : daemon_.UnsolicitedSince(0))
                    if (u.id == RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED) return true;
                return false;
            },
            10s));
    }
    Modem &modem() { return rig_->modem(); }
    zvtest::Completion Call(int request, void *data = nullptr, size_t datalen = 0) {
        zvtest::Completion c;
        EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(request, data, datalen), 10s, &c)) << request;
        return c;
    }
    // The next unsolicited response with this id after *from; moves *from past it.
    zvtest::Unsolicited Next(int id, size_t *from) {
        zvtest::Unsolicited found;
        bool seen = daemon_.WaitUntil(
            [&] {
                std::vector<zvtest::Unsolicited> since = daemon_.UnsolicitedSince(*from);
                for (size_t i = 0; i < since.size(); ++i) {
                    if (since[i].id != id) continue;
                    found = since[i];
                    *from += i + 1;
                    return true;
                }
                return false;
            },
            5s);
        EXPECT_TRUE(seen) << "no unsolicited " << id;
        return found;
    }
    size_t CountOf(int id, size_t from = 0) {
        size_t n = 0;
        for (const auto &u : daemon_.UnsolicitedSince(from)) n += u.id == id;
        return n;
    }
    // The library's shared words are read and written atomically on its side; so here.
    int Get(const char *name) { return __atomic_load_n(Sym<int>(name), __ATOMIC_RELAXED); }
    void Set(const char *name, int value) { __atomic_store_n(Sym<int>(name), value, __ATOMIC_RELAXED); }
    void SetCnmi(int mt, int bm, int ds) {
        modem().Update([&](modemsim::ModelState &s) {
            s.sms.cnmi[1] = mt;
            s.sms.cnmi[2] = bm;
            s.sms.cnmi[3] = ds;
        });
    }
    // The length given with a PDU read from the store: its hex characters for the 8-13 daemon,
    // the TPDU's octets (without the SMSC part) as the modem counted them for the socket one.
    static size_t StoredLength(const std::string &pdu) {
        return Hidl() ? pdu.size() : pdu.size() / 2 - 1 - std::stoul(pdu.substr(0, 2), nullptr, 16);
    }
    bool StoreEmpties() {
        return daemon_.WaitUntil([&] { return modem().State().sms.sm.empty(); }, 5s);
    }
};

TEST_F(SmsEndToEnd, WcdmaSendReceiveStoreAndBroadcast) {
    Start(ModuleType::kWcdma, RADIO_STATE_SIM_READY);
    Set("g_sms_project", 0);

    // Sent: the simulator receives exactly the PDU and the TPDU length.
    const char *send[2] = {nullptr, kTpdu};
    zvtest::Completion c = Call(RIL_REQUEST_SEND_SMS, send, sizeof send);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    RIL_SMS_Response response;
    ASSERT_EQ(c.raw.size(), sizeof response);
    memcpy(&response, c.raw.data(), sizeof response);
    EXPECT_EQ(response.messageRef, 1);
    ASSERT_EQ(modem().Submissions().size(), 1u);
    EXPECT_EQ(modem().Submissions()[0].command, "AT+CMGS=23");
    EXPECT_EQ(modem().Submissions()[0].pdu, std::string("00") + kTpdu);
    // A PDU that could end the prompt early is refused and nothing reaches the modem.
    const char *hostile[2] = {nullptr, "0011\x1a" "AT+CFUN=0"};
    EXPECT_EQ(Call(RIL_REQUEST_SEND_SMS, const_cast<char **>(hostile), sizeof hostile).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().Submissions().size(), 1u);
    EXPECT_EQ(modem().CountCommands("AT+CFUN=0"), 0u);

    // Delivered directly three times without acknowledgement: one at a time, in order.
    SetCnmi(2, 0, 1);
    size_t from = daemon_.UnsolicitedCount();
    for (const char *pdu : kDeliver) modemsim::DeliverSms(modem(), pdu);
    EXPECT_EQ(Next(RIL_UNSOL_RESPONSE_NEW_SMS, &from).strings, std::vector<std::string>{kDeliver[0]});
    modemsim::DeliverStatusReport(modem(), kStatusReport);  // behind the two waiting messages
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(CountOf(RIL_UNSOL_RESPONSE_NEW_SMS, from) + CountOf(RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, from), 0u);
    for (const char *pdu : {kDeliver[1], kDeliver[2]}) {
        int ack[2] = {1, 0};
        EXPECT_EQ(Call(RIL_REQUEST_SMS_ACKNOWLEDGE, ack, sizeof ack).error, RIL_E_SUCCESS);
        EXPECT_EQ(Next(RIL_UNSOL_RESPONSE_NEW_SMS, &from).strings, std::vector<std::string>{pdu});
    }
    int ack[2] = {1, 0};
    Call(RIL_REQUEST_SMS_ACKNOWLEDGE, ack, sizeof ack);
    EXPECT_EQ(Next(RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, &from).strings, std::vector<std::string>{kStatusReport});
    Call(RIL_REQUEST_SMS_ACKNOWLEDGE, ack, sizeof ack);
    EXPECT_EQ(Get("g_outstanding_sms"), 0);
    EXPECT_EQ(modem().CountCommands("AT+CNMA"), 0u) << "acknowledgements send nothing to the modem";

    // Stored and announced by index: the background thread reads, reports and deletes.
    SetCnmi(1, 0, 2);
    modem().ClearCommands();
    for (const char *pdu : kDeliver) modemsim::DeliverSms(modem(), pdu);
    for (const char *pdu : kDeliver) {
        zvtest::Unsolicited u = Next(RIL_UNSOL_RESPONSE_NEW_SMS, &from);
        EXPECT_EQ(u.strings, std::vector<std::string>{pdu});
        EXPECT_EQ(u.length, StoredLength(pdu));
    }
    modemsim::DeliverStatusReport(modem(), kStatusReport);
    zvtest::Unsolicited report = Next(RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, &from);
    EXPECT_EQ(report.strings, std::vector<std::string>{kStatusReport});
    EXPECT_EQ(report.length, StoredLength(kStatusReport));
    EXPECT_TRUE(StoreEmpties());
    EXPECT_TRUE(modem().ExpectCommands({"AT+CMGR=1", "AT+CMGD=1", "AT+CMGR=1", "AT+CMGD=1"}, 1000));
    EXPECT_EQ(Get("g_outstanding_sms"), 0) << "stored messages do not wait for acknowledgements";

    // The framework that keeps messages on the SIM gets the index instead.
    Set("g_sms_project", 1);
    const int index = modemsim::DeliverSms(modem(), kDeliver[0]);
    EXPECT_EQ(Next(RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM, &from).ints, std::vector<int>{index});
    int platformIndex = index;
    EXPECT_EQ(Call(RIL_REQUEST_DELETE_SMS_ON_SIM, &platformIndex, sizeof platformIndex).error, RIL_E_SUCCESS);
    EXPECT_TRUE(StoreEmpties());

    // A full store.
    modem().Update([](modemsim::ModelState &s) { s.sms.capacity = 1; });
    modemsim::StoreSms(modem(), {1, kDeliver[0], false});
    EXPECT_EQ(modemsim::DeliverSms(modem(), kDeliver[1]), -1);
    Next(RIL_UNSOL_SIM_SMS_STORAGE_FULL, &from);
    modem().Update([](modemsim::ModelState &s) {
        s.sms.capacity = 20;
        s.sms.sm.clear();
    });

    // Cell broadcast: choose the identifiers, switch broadcasts on, receive one.
    RIL_GSM_BroadcastSmsConfigInfo range = {4370, 4380, 0, 255, 1};
    RIL_GSM_BroadcastSmsConfigInfo *list[1] = {&range};
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG, list, sizeof list).error, RIL_E_SUCCESS);
    c = Call(RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.length, sizeof(void *));
    // A real page: part 2 of 3 of a public warning on channel 4371.
    const std::string page =
        "46A011130523CC56905D96D35D206519C42E97E7741039EC06DDC37490BA0C6ABFCB7410F95D7683CA6ED03D1C9683D46550BB5C96"
        "83D26EF35BDE0ED3D365D03AEC06D9D36E72D9ED02A9542A10B538A5829AC5E9347804";
    EXPECT_FALSE(modemsim::BroadcastCell(modem(), page)) << "broadcasts are off until activated";
    int on = 0;
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, &on, sizeof on).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().State().sms.cnmi[2], 2);
    EXPECT_TRUE(modemsim::BroadcastCell(modem(), page));
    // The framework reads the report's bytes as the page itself, not as its hex.
    zvtest::Unsolicited cb = Next(RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS, &from);
    ASSERT_EQ(cb.raw.size(), 88u);
    EXPECT_EQ(cb.raw[2] << 8 | cb.raw[3], 4371) << "message identifier";
    EXPECT_EQ(cb.raw[5], 0x23) << "page 2 of 3";
    std::string hex;
    for (uint8_t b : cb.raw) {
        char octet[3];
        snprintf(octet, sizeof octet, "%02X", b);
        hex += octet;
    }
    EXPECT_EQ(hex, page);

    // The service centre, read and set.
    c = Call(RIL_REQUEST_GET_SMSC_ADDRESS);
    EXPECT_EQ(c.strings, std::vector<std::string>{"+8613800100500"});
    char smsc[] = "+31624000000";
    EXPECT_EQ(Call(RIL_REQUEST_SET_SMSC_ADDRESS, smsc, sizeof smsc).error, RIL_E_SUCCESS);
    char hostileSmsc[] = "+3162\";+CFUN=0";
    EXPECT_EQ(Call(RIL_REQUEST_SET_SMSC_ADDRESS, hostileSmsc, sizeof hostileSmsc).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().State().sms.smsc, "+31624000000");

    EXPECT_TRUE(daemon_.Violations().empty());
    // Message contents and numbers stay out of the log.
    for (const char *secret : {kTpdu, kDeliver[1], kStatusReport, "31624000000", "8613800100500"})
        EXPECT_FALSE(LogContains(secret)) << secret;
}

TEST_F(SmsEndToEnd, UnreadMessagesAtStartUpAreReportedAndDeleted) {
    Start(ModuleType::kWcdma, RADIO_STATE_SIM_READY, [](Modem &m) {
        modemsim::StoreSms(m, {0, kDeliver[0], false});
        modemsim::StoreSms(m, {1, kDeliver[1], false});
        modemsim::StoreSms(m, {0, kStatusReport, false});
    });
    // What the SIM-ready sequence does when the store is checked.
    Set("g_sms_project", 0);
    auto scan = reinterpret_cast<int (*)()>(daemon_.Symbol("GetUnreadSMSandDeletedWhenRilInit"));
    ASSERT_NE(scan, nullptr);
    size_t from = daemon_.UnsolicitedCount();
    EXPECT_EQ(scan(), 2);
    std::vector<std::pair<int, std::string>> reports;
    for (const auto &u : daemon_.UnsolicitedSince(from)) {
        if (u.id != RIL_UNSOL_RESPONSE_NEW_SMS && u.id != RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT) continue;
        reports.emplace_back(u.id, u.strings.empty() ? "" : u.strings[0]);
        EXPECT_EQ(u.length, StoredLength(reports.back().second));
    }
    EXPECT_EQ(reports, (std::vector<std::pair<int, std::string>>{{RIL_UNSOL_RESPONSE_NEW_SMS, kDeliver[0]},
                                                                 {RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, kStatusReport}}));
    ASSERT_EQ(modem().State().sms.sm.size(), 1u) << "the message already read stays";
    EXPECT_EQ(modem().State().sms.sm.begin()->second.pdu, kDeliver[1]);
}

TEST_F(SmsEndToEnd, CdmaSendWriteAndStoredDelivery) {
    Start(ModuleType::kCdma, RADIO_STATE_RUIM_READY);
    RIL_CDMA_SMS_Message m;
    memset(&m, 0, sizeof m);
    m.uTeleserviceID = 4098;
    m.sAddress.digit_mode = RIL_CDMA_SMS_DIGIT_MODE_4_BIT;
    m.sAddress.number_of_digits = 3;
    m.sAddress.digits[0] = 1, m.sAddress.digits[1] = 2, m.sAddress.digits[2] = 3;
    m.uBearerDataLen = 2;
    m.aBearerData[0] = 1, m.aBearerData[1] = 2;
    zvtest::Completion c = Call(RIL_REQUEST_CDMA_SEND_SMS, &m, sizeof m);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    ASSERT_EQ(modem().Submissions().size(), 1u);
    EXPECT_EQ(modem().Submissions()[0].command, "AT^HCMGS=14");
    EXPECT_EQ(modem().Submissions()[0].pdu, "0000021002040300C48C08020102");
    m.sAddress.number_of_digits = 200;  // more digits than the record holds: refused, nothing sent
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SEND_SMS, &m, sizeof m).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().Submissions().size(), 1u);
    m.sAddress.number_of_digits = 3;

    RIL_CDMA_SMS_WriteArgs write;
    memset(&write, 0, sizeof write);
    write.status = 1;
    write.message = m;
    c = Call(RIL_REQUEST_CDMA_WRITE_SMS_TO_RUIM, &write, sizeof write);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Submissions()[1].command, "AT^HCMGW=14,1");
    EXPECT_EQ(modem().Submissions()[1].pdu, "0000021002020300C48C08020102");
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SMS_ACKNOWLEDGE).error, RIL_E_SUCCESS);
    modem().Update([](modemsim::ModelState &s) { s.sms.sm.clear(); });

    // The network's message is stored, announced, read as CDMA, reported decoded, deleted.
    size_t from = daemon_.UnsolicitedCount();
    modemsim::DeliverCdmaSms(modem(), kCdmaPdu);
    zvtest::Unsolicited u = Next(RIL_UNSOL_RESPONSE_CDMA_NEW_SMS, &from);
    ASSERT_EQ(u.raw.size(), sizeof(RIL_CDMA_SMS_Message));
    RIL_CDMA_SMS_Message got;
    memcpy(&got, u.raw.data(), sizeof got);
    EXPECT_EQ(got.uTeleserviceID, 4098);
    ASSERT_EQ(got.sAddress.number_of_digits, 7);
    EXPECT_EQ(got.sAddress.digit_mode, RIL_CDMA_SMS_DIGIT_MODE_8_BIT);
    EXPECT_EQ(std::string(got.sAddress.digits, got.sAddress.digits + 7), "1234567");
    EXPECT_EQ(got.uBearerDataLen, 5);
    EXPECT_TRUE(StoreEmpties());
    EXPECT_TRUE(modem().ExpectCommands({"AT^HCMGR=1", "AT+CMGD=1"}, 1000));

    // A delivery acknowledgement stored and announced as a status report: the socket daemon takes
    // the record as one; the 8-13 daemon only as a CDMA message, where its bearer data tells.
    daemon_.SetUnsolicitedKind(RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, zvtest::PayloadKind::kRaw);
    const int index = modemsim::StoreSms(modem(), {1, kCdmaPdu, true});
    modem().Inject("+CDSI: \"SM\"," + std::to_string(index));
    u = Next(Hidl() ? RIL_UNSOL_RESPONSE_CDMA_NEW_SMS : RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT, &from);
    EXPECT_EQ(u.raw.size(), sizeof(RIL_CDMA_SMS_Message));
    EXPECT_EQ(u.length, sizeof(RIL_CDMA_SMS_Message));
    EXPECT_EQ(u.raw, std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(&got),
                                          reinterpret_cast<const uint8_t *>(&got) + sizeof got));
    EXPECT_EQ(CountOf(Hidl() ? RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT : RIL_UNSOL_RESPONSE_CDMA_NEW_SMS, from), 0u);
    EXPECT_TRUE(StoreEmpties());

    modem().Inject("^SMMEMFULL: \"SM\"");
    Next(RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL, &from);
    EXPECT_TRUE(daemon_.Violations().empty());
}

TEST_F(SmsEndToEnd, CdmaMessageOverImsOnAWcdmaModule) {
    Start(ModuleType::kWcdma, RADIO_STATE_SIM_READY);
    Set("g_sms_project", 1);  // "^HCMTI:" goes to the thread whatever the project
    size_t from = daemon_.UnsolicitedCount();
    modemsim::DeliverCdmaSms(modem(), kCdmaPdu, true);
    zvtest::Unsolicited u = Next(RIL_UNSOL_RESPONSE_CDMA_NEW_SMS, &from);
    EXPECT_EQ(u.raw.size(), sizeof(RIL_CDMA_SMS_Message));
    EXPECT_TRUE(StoreEmpties());
    EXPECT_TRUE(modem().ExpectCommands({"AT^HCMGR=1", "AT+CMGD=1"}, 1000));
    EXPECT_TRUE(daemon_.WaitUntil([&] { return Get("bims_cdmamsg") == 0; }, 5s)) << "the mark ends with the read";
    // The next stored message is a GSM one again.
    Set("g_sms_project", 0);
    modemsim::DeliverSms(modem(), kDeliver[0]);
    EXPECT_EQ(Next(RIL_UNSOL_RESPONSE_NEW_SMS, &from).strings, std::vector<std::string>{kDeliver[0]});
}

}  // namespace
