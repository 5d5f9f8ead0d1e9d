// Incoming messages: the one-outstanding-message rule with its queue and bound, the stored-
// message announcements as two-byte commands or indexes, a full store, cell broadcasts, and
// the lines a hostile modem may send instead.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "codec/codec.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"
#include "unit/sms/sms_env.h"

namespace {

constexpr const char *kPduA = "0891683108608805F9240D91683109";
constexpr const char *kPduB = "07914306073011F00405812261F700";
constexpr const char *kReport = "07914356060013F1065A098136395339F6219011700463802190117004638030";

class SmsIncoming : public ::testing::Test {
protected:
    void SetUp() override {
        saved_[0] = del_sms_control[0];
        saved_[1] = del_sms_control[1];
        ASSERT_EQ(socketpair(AF_LOCAL, SOCK_STREAM, 0, pair_), 0);
        fcntl(pair_[1], F_SETFL, O_NONBLOCK);
        del_sms_control[0] = pair_[0];
        del_sms_control[1] = pair_[1];
        module_ = g_module_type;
        project_ = g_sms_project;
        provider_ = g_provider;
        zv::sms::ResetDeliveryQueue();
        zv::Store(bims_cdmamsg, 0);
    }
    void TearDown() override {
        zv::sms::ResetDeliveryQueue();
        del_sms_control[0] = saved_[0];
        del_sms_control[1] = saved_[1];
        close(pair_[0]);
        close(pair_[1]);
        g_module_type = module_;
        g_sms_project = project_;
        g_provider = provider_;
        zv::Store(bims_cdmamsg, 0);
    }
    // The commands written to the stored-message thread so far, as "kind,index".
    std::vector<std::string> Commands() {
        std::vector<std::string> out;
        unsigned char c[2];
        while (read(pair_[1], c, 2) == 2) out.push_back(std::to_string(c[0]) + "," + std::to_string(c[1]));
        return out;
    }
    void Ack() { ZvRilSmsRequest(RIL_REQUEST_SMS_ACKNOWLEDGE, nullptr, 0, reinterpret_cast<RIL_Token>(1)); }

    zvtest::SmsEnv env_;
    int pair_[2] = {-1, -1};
    int saved_[2] = {-1, -1};
    int module_ = 1, project_ = 0, provider_ = 0;
};

TEST_F(SmsIncoming, OneUnacknowledgedDeliveryAtATimeInArrivalOrder) {
    ZvRilSmsUnsolicited("+CMT: ,13", kPduA);
    ZvRilSmsUnsolicited("+CMT: ,13", kPduB);
    ZvRilSmsUnsolicited("+CDS: 24", kReport);
    ASSERT_EQ(env_.Reports().size(), 1u);
    EXPECT_EQ(env_.Reports()[0].id, RIL_UNSOL_RESPONSE_NEW_SMS);
    EXPECT_EQ(env_.Reports()[0].text, kPduA);
    EXPECT_EQ(env_.Reports()[0].length, strlen(kPduA));
    EXPECT_EQ(zv::sms::QueuedDeliveries(), 2u);

    Ack();
    ASSERT_EQ(env_.Reports().size(), 2u);
    EXPECT_EQ(env_.Reports()[1].text, kPduB);
    Ack();
    ASSERT_EQ(env_.Reports().size(), 3u);
    EXPECT_EQ(env_.Reports()[2].id, RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT);
    EXPECT_EQ(env_.Reports()[2].text, kReport);
    EXPECT_EQ(zv::Load(g_outstanding_sms), 1);
    Ack();  // the last acknowledgement finds the queue empty
    EXPECT_EQ(zv::Load(g_outstanding_sms), 0);
    EXPECT_EQ(env_.Reports().size(), 3u);
    EXPECT_EQ(env_.Completions(), (std::vector<RIL_Errno>(3, RIL_E_SUCCESS)));

    // With nothing outstanding the next one goes straight through.
    ZvRilSmsUnsolicited("+CDS: 24", kReport);
    EXPECT_EQ(env_.Reports().size(), 4u);
}

TEST_F(SmsIncoming, AFloodWithoutAcknowledgementIsBounded) {
    for (int i = 0; i < 1000; ++i) ZvRilSmsUnsolicited("+CMT: ,13", kPduA);
    EXPECT_EQ(env_.Reports().size(), 1u);
    EXPECT_EQ(zv::sms::QueuedDeliveries(), zv::sms::kMaxQueuedDeliveries);
    for (size_t i = 0; i < zv::sms::kMaxQueuedDeliveries + 1; ++i) Ack();
    EXPECT_EQ(env_.Reports().size(), zv::sms::kMaxQueuedDeliveries + 1);
    EXPECT_EQ(zv::Load(g_outstanding_sms), 0);
}

TEST_F(SmsIncoming, GarbageInsteadOfAPduIsNotRelayed) {
    const char *bad[] = {nullptr, "", "0", "ZZ", "0891\r\nAT+CMGD=1", "08 91", "+CMT: ,13"};
    for (const char *pdu : bad) {
        ZvRilSmsUnsolicited("+CMT: ,13", pdu);
        ZvRilSmsUnsolicited("+CDS: 24", pdu);
        ZvRilSmsUnsolicited("+CBM: 88", pdu);
    }
    std::string huge(100000, 'A');
    ZvRilSmsUnsolicited("+CMT: ,13", huge.c_str());
    EXPECT_TRUE(env_.Reports().empty());
    EXPECT_EQ(zv::Load(g_outstanding_sms), 0) << "a dropped delivery must not wait for an acknowledgement";
}

TEST_F(SmsIncoming, StoredAnnouncementsBecomeCommandsOrIndexes) {
    struct Case {
        int module, project, provider, bims;
        const char *line;
        std::vector<std::string> commands;
        int index;  // of RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM, -1 none
    } cases[] = {
        {1, 1, 0, 0, "+CMTI: \"SM\",4", {}, 5},
        {1, 1, 1, 0, "+CMTI: \"SM\",4", {}, 4},
        {1, 0, 0, 0, "+CMTI: \"SM\",4", {"255,4"}, -1},
        {0, 1, 0, 0, "+CMTI: \"SM\",4", {"255,4"}, -1},
        {1, 1, 0, 0, "^HCMTI: \"SM\",9", {"255,9"}, -1},
        {1, 1, 0, 0, "+CDSI: \"SM\",7", {"238,7"}, -1},
        {1, 0, 0, 0, "+CMTI: \"ME\",4", {}, -1},
        {1, 0, 0, 0, "+CMTI: \"SR\",4", {}, -1},
        {1, 0, 0, 0, "+CMTI: \"SM\"", {}, -1},
        {1, 0, 0, 0, "+CMTI: \"SM\",x", {}, -1},
        {1, 0, 0, 0, "+CMTI:", {}, -1},
        {1, 0, 0, 0, "+CMTI: \"SM\",256", {}, -1},  // would read and delete index 0
        {1, 0, 0, 0, "+CMTI: \"SM\",-1", {}, -1},
        {1, 0, 0, 0, "+CMTI: \"SM\",255", {"255,255"}, -1},
    };
    for (const Case &c : cases) {
        env_.Clear();
        g_module_type = c.module;
        g_sms_project = c.project;
        g_provider = c.provider;
        zv::Store(bims_cdmamsg, c.bims);
        ZvRilSmsUnsolicited(c.line, nullptr);
        EXPECT_EQ(Commands(), c.commands) << c.line;
        std::vector<zvtest::SmsReport> reports = env_.Reports();
        ASSERT_EQ(reports.size(), c.index >= 0 ? 1u : 0u) << c.line;
        if (c.index >= 0) {
            EXPECT_EQ(reports[0].id, RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM);
            EXPECT_EQ(reports[0].index, c.index) << c.line;
        }
    }
    // "^HCMTI:" marks the next stored read as a CDMA one.
    zv::Store(bims_cdmamsg, 0);
    ZvRilSmsUnsolicited("^HCMTI: \"SM\",1", nullptr);
    EXPECT_EQ(zv::Load(bims_cdmamsg), 1);
}

TEST_F(SmsIncoming, AnnouncementsNeverBlockTheReaderWhenTheThreadLags) {
    // The stored-message thread does not read: the socket fills, and the reader must go on.
    int small = 1024;
    setsockopt(pair_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setsockopt(pair_[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    g_module_type = 0;
    for (int i = 0; i < 5000; ++i) ZvRilSmsUnsolicited("+CMTI: \"SM\",1", nullptr);
    const size_t delivered = Commands().size();
    EXPECT_GT(delivered, 0u);
    EXPECT_LT(delivered, 5000u);
    ZvRilSmsUnsolicited("+CMTI: \"SM\",2", nullptr);  // room again once read
    EXPECT_EQ(Commands(), std::vector<std::string>{"255,2"});
}

TEST_F(SmsIncoming, FullStoreAndCellBroadcast) {
    g_module_type = 1;
    ZvRilSmsUnsolicited("^SMMEMFULL: \"SM\"", nullptr);
    g_module_type = 0;
    ZvRilSmsUnsolicited("^SMMEMFULL: \"SM\"", nullptr);
    const char *page = "46A0111305334590B34C4797E5ECB09B3C071DDFF6B2DCDD2EBBE920685DCC4E8F41D7B0DC9D769F41D3FC9C5E";
    ZvRilSmsUnsolicited("+CBM: 88", page);
    std::vector<zvtest::SmsReport> r = env_.Reports();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].id, RIL_UNSOL_SIM_SMS_STORAGE_FULL);
    EXPECT_EQ(r[1].id, RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL);
    EXPECT_EQ(r[2].id, RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS);
    EXPECT_EQ(r[2].length, strlen(page) / 2) << "the page's octets, not its hex";
    uint8_t octets[64];
    ASSERT_EQ(hexStringToBytes(page, octets, sizeof octets), static_cast<int>(r[2].length));
    EXPECT_EQ(r[2].text, std::string(reinterpret_cast<const char *>(octets), r[2].length));
}

TEST(SmsPduType, ClassifiesByTheFirstTpduOctet) {
    struct Case {
        const char *pdu;
        int type;
    } cases[] = {
        {"07917248014000F506B70AA18092020000317071518590803170715185418000", 0},  // status report
        {"0297F1061C0F910B487228297020F5317062419272803170624192138000", 0},
        {"07917248014000F3240B917247587706F400003110824115248012C8329BFD06C9C373B8B82C97E741F034", 1},
        {"00240B917247587706F4", 1},
        {"0006", 0},
        {"", -1},
        {"0", -1},
        {"07", -1},         // the SMSC part runs past the end
        {"0791724801", -1},
        {"FF00", -1},
        {"ZZ06", -1},
        {"000Z", -1},
        {nullptr, -1},
    };
    for (const Case &c : cases) EXPECT_EQ(GetPDUType(c.pdu), c.type) << (c.pdu ? c.pdu : "(null)");
}

}  // namespace
