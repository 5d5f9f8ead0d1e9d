// SMS requests and stored-message reads over a real channel to the simulated modem: what goes
// out (commands, PDUs, lengths, indexes), what is refused before anything is sent, and how
// the answers real modems give (and broken ones) are read.
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>
#include <modemsim/sms.h>

#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"
#include "unit/sms/sms_env.h"
#include "unit/support/modem_channel.h"

namespace {

using modemsim::Modem;

constexpr const char *kTpdu = "11000B916407281553F80000AA0AE8329BFD4697D9EC37";  // 23 octets
constexpr const char *kDeliver = "07914306073011F00405812261F700003130916191314003C8329B";  // TPDU 19 octets

class SmsOverChannel : public zvtest::ChannelTest<zvtest::SmsEnv> {
protected:
    SmsOverChannel()
        : ChannelTest({{&sState, RADIO_STATE_SIM_READY}, {&g_module_type, 1}, {&g_provider, 1}, {&bims_cdmamsg, 0}},
                      {&g_sms_project}) {}
    // The completion with its payload; served_ is what the handler returned.
    zvtest::SmsCompletion Call(int request, void *data, size_t datalen) {
        CompleteOnce([this](auto... args) { served_ = ZvRilSmsRequest(args...); }, request, data, datalen);
        std::vector<zvtest::SmsCompletion> c = env_.Full();
        return c.empty() ? zvtest::SmsCompletion{} : c[0];
    }
    zvtest::SmsCompletion Send(const char *smsc, const char *tpdu) {
        const char *args[2] = {smsc, tpdu};
        return Call(RIL_REQUEST_SEND_SMS, args, sizeof args);
    }
    int IntOf(const zvtest::SmsCompletion &c) {
        int v = -1;
        if (c.raw.size() >= sizeof v) memcpy(&v, c.raw.data(), sizeof v);
        return v;
    }

    int served_ = -1;
};

TEST_F(SmsOverChannel, SendWriteDeleteAndTheServiceCentre) {
    // No SMSC: "00" goes in front of the TPDU and only the TPDU is counted.
    zvtest::SmsCompletion c = Send(nullptr, kTpdu);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    ASSERT_EQ(c.raw.size(), sizeof(RIL_SMS_Response));
    RIL_SMS_Response response;
    memcpy(&response, c.raw.data(), sizeof response);
    EXPECT_EQ(response.messageRef, 1);
    EXPECT_EQ(response.ackPDU, nullptr);
    ASSERT_EQ(modem_.Submissions().size(), 1u);
    EXPECT_EQ(modem_.Submissions()[0].command, "AT+CMGS=23");
    EXPECT_EQ(modem_.Submissions()[0].pdu, std::string("00") + kTpdu);
    EXPECT_EQ(Send("0891683108608805F9", kTpdu).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Submissions()[1].pdu, std::string("0891683108608805F9") + kTpdu);

    modem_.OnPdu("AT+CMGS=", [](Modem &, const std::string &, const std::string &) { return Modem::Lines{"+CMS ERROR: 500"}; });
    EXPECT_EQ(Send(nullptr, kTpdu).error, RIL_E_GENERIC_FAILURE);
    modem_.ClearOverrides();

    // Writing to the SIM: the index as the modem gave it.
    RIL_SMS_WriteArgs write = {1, const_cast<char *>(kDeliver + 16), nullptr};
    c = Call(RIL_REQUEST_WRITE_SMS_TO_SIM, &write, sizeof write);
    ASSERT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(IntOf(c), 1);
    EXPECT_EQ(modem_.Submissions().back().command, "AT+CMGW=19,1");
    EXPECT_EQ(modem_.Submissions().back().pdu, std::string("00") + (kDeliver + 16));
    EXPECT_EQ(modem_.State().sms.sm.at(1).status, 1);

    // Deleting: the platform counts from 1 where the chip platform's modem counts from 0.
    modem_.ClearCommands();
    for (auto [provider, index, command] :
         {std::tuple{0, 3, "AT+CMGD=2"}, {1, 3, "AT+CMGD=3"}, {9, 3, "AT+CMGD=3"}, {10, 3, "AT+CMGD=2"}}) {
        zv::Store(g_provider, provider);
        EXPECT_EQ(Call(RIL_REQUEST_DELETE_SMS_ON_SIM, &index, sizeof index).error, RIL_E_SUCCESS);
        EXPECT_EQ(modem_.Commands().back(), command);
        EXPECT_EQ(Call(RIL_REQUEST_CDMA_DELETE_SMS_ON_RUIM, &index, sizeof index).error, RIL_E_SUCCESS);
        EXPECT_EQ(modem_.Commands().back(), command);
    }
    zv::Store(g_provider, 0);
    int zero = 0;
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_DELETE_SMS_ON_SIM, &zero, sizeof zero).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(modem_.Commands().empty());

    c = Call(RIL_REQUEST_GET_SMSC_ADDRESS, nullptr, 0);
    EXPECT_EQ(c.error, RIL_E_SUCCESS);
    EXPECT_EQ(c.text, "+8613800100500");
    char smsc[] = "+31624000000";
    EXPECT_EQ(Call(RIL_REQUEST_SET_SMSC_ADDRESS, smsc, sizeof smsc).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands().back(), "AT+CSCA=\"+31624000000\"");
    EXPECT_EQ(Call(RIL_REQUEST_GET_SMSC_ADDRESS, nullptr, 0).text, "+31624000000");
}

TEST_F(SmsOverChannel, StringsThatCouldInjectACommandAreRefusedUnsent) {
    modem_.ClearCommands();
    const char *badPdus[] = {nullptr, "", "1", "0011ZZ", "0011\r\nAT+CFUN=0\r", "0011\x1a", "0011\x1b",
                             "00 11", "\"0011\""};
    for (const char *pdu : badPdus) {
        EXPECT_EQ(Send(nullptr, pdu).error, RIL_E_GENERIC_FAILURE);
        EXPECT_EQ(Send(pdu && *pdu ? pdu : "ZZ", kTpdu).error, RIL_E_GENERIC_FAILURE);
        RIL_SMS_WriteArgs write = {0, const_cast<char *>(pdu), nullptr};
        EXPECT_EQ(Call(RIL_REQUEST_WRITE_SMS_TO_SIM, &write, sizeof write).error, RIL_E_GENERIC_FAILURE);
    }
    EXPECT_EQ(Send(nullptr, std::string(2 * 200, '0').c_str()).error, RIL_E_GENERIC_FAILURE);
    const char *badSmsc[] = {"", "+", "\"", "+123\"", "+123\";+CFUN=0", "123\r", "123\x1a", "12a",
                             "+123456789012345678901", "12,145"};
    for (const char *s : badSmsc) {
        EXPECT_EQ(Call(RIL_REQUEST_SET_SMSC_ADDRESS, const_cast<char *>(s), strlen(s) + 1).error,
                  RIL_E_GENERIC_FAILURE)
            << s;
    }
    EXPECT_EQ(Call(RIL_REQUEST_SET_SMSC_ADDRESS, nullptr, 0).error, RIL_E_GENERIC_FAILURE);
    // Short records.
    EXPECT_EQ(Call(RIL_REQUEST_SEND_SMS, nullptr, 0).error, RIL_E_GENERIC_FAILURE);
    const char *one[1] = {kTpdu};
    EXPECT_EQ(Call(RIL_REQUEST_SEND_SMS, one, sizeof one).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SEND_SMS, nullptr, 0).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(modem_.Commands().empty()) << modem_.Commands()[0];
    EXPECT_TRUE(modem_.Submissions().empty());
}

TEST_F(SmsOverChannel, RequestsAnsweredAtOnceOrRefused) {
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_CDMA_SMS_ACKNOWLEDGE, nullptr, 0).error, RIL_E_SUCCESS);
    EXPECT_EQ(served_, 1);
    for (int r : {RIL_REQUEST_SEND_SMS_EXPECT_MORE, RIL_REQUEST_CDMA_GET_BROADCAST_SMS_CONFIG,
                  RIL_REQUEST_CDMA_SET_BROADCAST_SMS_CONFIG, RIL_REQUEST_CDMA_SMS_BROADCAST_ACTIVATION,
                  RIL_REQUEST_REPORT_SMS_MEMORY_STATUS}) {
        EXPECT_EQ(Call(r, nullptr, 0).error, RIL_E_REQUEST_NOT_SUPPORTED) << r;
        EXPECT_EQ(served_, 0) << r;
    }
    RIL_IMS_SMS_Message ims;
    memset(&ims, 0, sizeof ims);
    ims.tech = static_cast<RIL_RadioTechnologyFamily>(0);
    EXPECT_EQ(Call(RIL_REQUEST_IMS_SEND_SMS, &ims, sizeof ims).error, RIL_E_GENERIC_FAILURE);
    EXPECT_TRUE(modem_.Commands().empty());

    // IMS messages go by their technology.
    const char *gsm[2] = {nullptr, kTpdu};
    ims.tech = RADIO_TECH_3GPP;
    ims.message.gsmMessage = const_cast<char **>(gsm);
    EXPECT_EQ(Call(RIL_REQUEST_IMS_SEND_SMS, &ims, sizeof ims).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Submissions().back().command, "AT+CMGS=23");
    RIL_CDMA_SMS_Message cdma;
    memset(&cdma, 0, sizeof cdma);
    cdma.uTeleserviceID = 4098;
    cdma.sAddress.number_of_digits = 3;
    cdma.sAddress.digits[0] = 1, cdma.sAddress.digits[1] = 2, cdma.sAddress.digits[2] = 3;
    cdma.uBearerDataLen = 2;
    cdma.aBearerData[0] = 1, cdma.aBearerData[1] = 2;
    ims.tech = RADIO_TECH_3GPP2;
    ims.message.cdmaMessage = &cdma;
    EXPECT_EQ(Call(RIL_REQUEST_IMS_SEND_SMS, &ims, sizeof ims).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Submissions().back().command, "AT^HCMGS=14");
    EXPECT_EQ(modem_.Submissions().back().pdu, "0000021002040300C48C08020102");
}

TEST_F(SmsOverChannel, CellBroadcastSettings) {
    struct Get {
        const char *line;
        std::vector<std::pair<int, int>> ranges;  // empty: the request fails
    } gets[] = {
        {"+CSCB: 0,\"0-5,50\",\"\"", {{0, 5}, {50, 50}}},
        {"+CSCB: 1,\"0-5,50\",\"\"", {{0, 5}, {50, 50}}},
        {"+CSCB: 0, \"0\",\"\"", {{0, 0}}},
        {"+CSCB: 0,\"4383,4400,4371-4378\",\"\"", {{4383, 4383}, {4400, 4400}, {4371, 4378}}},
        {"+CSCB: 0,\"\",\"\"", {}},
        {"+CSCB: 0,\"0-\",\"\"", {}},
        {"+CSCB: 0,\"0,,5\",\"\"", {}},
        {"+CSCB: 0,\"70000\",\"\"", {}},
        {"+CSCB: 0", {}},
        {"+CSCB:", {}},
    };
    for (const Get &g : gets) {
        modem_.On("AT+CSCB?", {g.line, "OK"});
        zvtest::SmsCompletion c = Call(RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG, nullptr, 0);
        EXPECT_EQ(c.error, g.ranges.empty() ? RIL_E_GENERIC_FAILURE : RIL_E_SUCCESS) << g.line;
        EXPECT_EQ(c.ranges, g.ranges) << g.line;
    }
    // More elements than the answer holds are cut at 100.
    std::string many;
    for (int i = 0; i < 150; ++i) many += (i ? "," : "") + std::to_string(i);
    modem_.On("AT+CSCB?", {"+CSCB: 0,\"" + many + "\"", "OK"});
    EXPECT_EQ(Call(RIL_REQUEST_GSM_GET_BROADCAST_SMS_CONFIG, nullptr, 0).ranges.size(), 100u);
    modem_.ClearOverrides();

    RIL_GSM_BroadcastSmsConfigInfo a = {4352, 4354, 0, 255, 0}, b = {50, 50, 0, 0, 1};
    RIL_GSM_BroadcastSmsConfigInfo *list[2] = {&a, &b};
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG, list, sizeof list).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT+CSCB=1,\"4352-4354\"", "AT+CSCB=0,\"50\""}));
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG, list, 0).error, RIL_E_GENERIC_FAILURE);
    modem_.OnPrefix("AT+CSCB=1", {"ERROR"});
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SET_BROADCAST_SMS_CONFIG, list, sizeof list).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem_.Commands().size(), 1u) << "no further entries after a refused one";

    modem_.On("AT+CNMI?", {"+CNMI: 2,1,0,2,0", "OK"});
    int on = 0, off = 1;
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, &on, sizeof on).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands().back(), "AT+CNMI=2, 1, 2, 2, 0");
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, &off, sizeof off).error, RIL_E_SUCCESS);
    EXPECT_EQ(modem_.Commands().back(), "AT+CNMI=2, 1, 0, 2, 0");
    modem_.On("AT+CNMI?", {"+CNMI: 2,1,0,2", "OK"});
    modem_.ClearCommands();
    EXPECT_EQ(Call(RIL_REQUEST_GSM_SMS_BROADCAST_ACTIVATION, &on, sizeof on).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem_.Commands().size(), 1u);
}

TEST_F(SmsOverChannel, StoredReadsReportAndDelete) {
    struct Case {
        Modem::Lines answer;
        bool reported;
        std::string pdu;
        size_t length;
    } cases[] = {
        {{"+CMGR: 0,,17", kDeliver, "OK"}, true, kDeliver, 17},
        {{"+CMGR: 0,\"\",17", kDeliver, "OK"}, true, kDeliver, 17},
        {{std::string("+CMGR: 1,,17 ") + kDeliver, "OK"}, true, kDeliver, 17},  // PDU after a blank
        {{"+CMGR: ,,17", kDeliver, "OK"}, true, kDeliver, 17},                  // status left empty
        {{"+CMGR: 0,,17", "OK"}, false, "", 0},                                 // the PDU line is missing
        {{"+CMGR: 0", kDeliver, "OK"}, false, "", 0},
        {{"+CMGR: 0,,", kDeliver, "OK"}, false, "", 0},
        {{"+CMGR: 0,,17", "0791ZZ", "OK"}, false, "", 0},
        {{"+CMGR: ,6,20,\"0870000000\",129,\"13/04/29,19:58:00+04\",\"13/04/29,19:59:00+04\",0", "OK"}, false, "", 0},
    };
    for (const Case &c : cases) {
        modem_.On("AT+CMGR=7", c.answer);
        modem_.ClearCommands();
        env_.Clear();
        EXPECT_EQ(GetNewSIMSmsOrSmsReportAndDeleted("\xEE\x07"), 1);
        EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT+CMGR=7", "AT+CMGD=7"})) << c.answer[0];
        std::vector<zvtest::SmsReport> r = env_.Reports();
        ASSERT_EQ(r.size(), c.reported ? 1u : 0u) << c.answer[0];
        if (c.reported) {
            EXPECT_EQ(r[0].id, RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT);
            EXPECT_EQ(r[0].text, c.pdu);
            EXPECT_EQ(r[0].length, c.length);
        }
    }
    // A read that fails deletes nothing and still ends the CDMA-over-IMS mark.
    modem_.On("AT^HCMGR=2", {"+CMS ERROR: 321"});
    zv::Store(bims_cdmamsg, 1);
    modem_.ClearCommands();
    EXPECT_EQ(ReadSmsOnSIMandUnsolicitedResponse(2, 0xFF), -1);
    EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT^HCMGR=2"}));
    EXPECT_EQ(zv::Load(bims_cdmamsg), 0);

    // While the mark is set, a WCDMA module reads a CDMA message and reports the record.
    modem_.On("AT^HCMGR=2", {"^HCMGR: 0,,14", "0000021002040300C48C08020102", "OK"});
    zv::Store(bims_cdmamsg, 1);
    env_.Clear();
    EXPECT_EQ(GetNewSIMSmsOrSmsReportAndDeleted("\xFF\x02"), 1);
    std::vector<zvtest::SmsReport> r = env_.Reports();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].id, RIL_UNSOL_RESPONSE_CDMA_NEW_SMS);
    EXPECT_EQ(r[0].cdma.uTeleserviceID, 4098);
    EXPECT_EQ(r[0].cdma.sAddress.number_of_digits, 3);
    EXPECT_EQ(r[0].cdma.uBearerDataLen, 2);
    EXPECT_EQ(zv::Load(bims_cdmamsg), 0);
    // An undecodable CDMA PDU is deleted but not reported.
    modem_.On("AT^HCMGR=3", {"^HCMGR: 0,,5", "0000021002040A", "OK"});
    zv::Store(bims_cdmamsg, 1);
    env_.Clear();
    modem_.ClearCommands();
    EXPECT_EQ(ReadSmsOnSIMandUnsolicitedResponse(3, 0xFF), 1);
    EXPECT_TRUE(env_.Reports().empty());
    EXPECT_EQ(modem_.Commands().back(), "AT+CMGD=3");
}

TEST_F(SmsOverChannel, UnreadScanDeletesThenReports) {
    zv::Store(g_sms_project, 1);
    modem_.ClearCommands();
    EXPECT_EQ(GetUnreadSMSandDeletedWhenRilInit(), 0);
    zv::Store(g_sms_project, 0xffff);
    EXPECT_EQ(GetUnreadSMSandDeletedWhenRilInit(), 0);
    EXPECT_TRUE(modem_.Commands().empty());

    zv::Store(g_sms_project, 0);
    const std::string report = "07917248014000F506B70AA18092020000317071518590803170715185418000";
    modemsim::StoreSms(modem_, {0, kDeliver, false});
    modemsim::StoreSms(modem_, {1, kDeliver, false});  // read already: not listed
    modemsim::StoreSms(modem_, {0, report, false});
    env_.Clear();
    EXPECT_EQ(GetUnreadSMSandDeletedWhenRilInit(), 2);
    EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT+CMGL=0", "AT+CMGD=1", "AT+CMGD=3"}));
    std::vector<zvtest::SmsReport> r = env_.Reports();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].id, RIL_UNSOL_RESPONSE_NEW_SMS);
    EXPECT_EQ(r[0].text, kDeliver);
    EXPECT_EQ(r[0].length, 19u);
    EXPECT_EQ(r[1].id, RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT);
    EXPECT_EQ(modem_.State().sms.sm.size(), 1u);

    // Broken listings: the walk stops where a header or its PDU is missing.
    struct Case {
        Modem::Lines answer;
        int count;
        std::vector<std::string> deletes;
    } cases[] = {
        {{"+CMGL: 4,0,,17", "+CMGL: 5,0,,17", kDeliver, "OK"}, 0, {}},
        {{"+CMGL: 4,0,,17", kDeliver, "+CMGL: 5,0", kDeliver, "OK"}, 1, {"AT+CMGD=4"}},
        {{"+CMGL: 4,0,\"Bob\",17", kDeliver, "+CMGL: 5,0,,17", "OK"}, 1, {"AT+CMGD=4"}},
        {{std::string("+CMGL: 4,0,,17 ") + kDeliver, "OK"}, 1, {"AT+CMGD=4"}},
        {{"+CMGL: 4,0,,17", "0791ZZ", "+CMGL: 5,0,,17", kDeliver, "OK"}, 1, {"AT+CMGD=4"}},
        {{"+CMGL: x", kDeliver, "OK"}, 0, {}},
        {{"ERROR"}, 0, {}},
    };
    for (const Case &c : cases) {
        modem_.On("AT+CMGL=0", c.answer);
        modem_.ClearCommands();
        EXPECT_EQ(GetUnreadSMSandDeletedWhenRilInit(), c.count) << c.answer[0];
        std::vector<std::string> sent = modem_.Commands();
        sent.erase(sent.begin());
        EXPECT_EQ(sent, c.deletes) << c.answer[0];
    }

    // A CDMA module lists with AT^HCMGL and reads each entry again.
    modem_.ClearOverrides();
    modem_.Update([](modemsim::ModelState &s) { s.sms.sm.clear(); });
    zv::Store(g_module_type, 0);
    modemsim::StoreSms(modem_, {0, "0000021002040300C48C08020102", true});
    modemsim::StoreSms(modem_, {0, "0000021002040300C48C0800", true});
    env_.Clear();
    modem_.ClearCommands();
    EXPECT_EQ(GetUnreadSMSandDeletedWhenRilInit(), 2);
    EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"AT^HCMGL=0", "AT^HCMGR=1", "AT+CMGD=1", "AT^HCMGR=2",
                                                           "AT+CMGD=2"}));
    r = env_.Reports();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].id, RIL_UNSOL_RESPONSE_CDMA_NEW_SMS);
    EXPECT_TRUE(modem_.State().sms.sm.empty());
}

}  // namespace
