// The CDMA transport-layer codec: the hand-checked vectors of 3GPP2 C.S0015, round trips over
// every digit mode and address length the record holds, hostile PDUs, and our encoder's output
// read back by an independent decoder (Wireshark's tshark, when installed).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace {

RIL_CDMA_SMS_Message Message(int teleservice, RIL_CDMA_SMS_DigitMode mode, std::vector<unsigned char> digits,
                             std::vector<unsigned char> bearer) {
    RIL_CDMA_SMS_Message m;
    memset(&m, 0, sizeof m);
    m.uTeleserviceID = teleservice;
    m.sAddress.digit_mode = mode;
    m.sAddress.number_of_digits = static_cast<unsigned char>(digits.size());
    for (size_t i = 0; i < digits.size() && i < RIL_CDMA_SMS_ADDRESS_MAX; ++i) m.sAddress.digits[i] = digits[i];
    m.uBearerDataLen = static_cast<int>(bearer.size());
    for (size_t i = 0; i < bearer.size() && i < RIL_CDMA_SMS_BEARER_DATA_MAX; ++i) m.aBearerData[i] = bearer[i];
    return m;
}

std::string Encode(const RIL_CDMA_SMS_Message &m, const RIL_CDMA_SMS_WriteArgs *args = nullptr) {
    std::vector<char> hex(ZV_CDMA_PDU_HEX, '\0');
    EncodePdu(&m, hex.data(), args);
    return hex.data();
}

void ExpectSameMessage(const RIL_CDMA_SMS_Message &a, const RIL_CDMA_SMS_Message &b, const std::string &what) {
    EXPECT_EQ(a.uTeleserviceID, b.uTeleserviceID) << what;
    EXPECT_EQ(a.sAddress.digit_mode, b.sAddress.digit_mode) << what;
    EXPECT_EQ(a.sAddress.number_mode, b.sAddress.number_mode) << what;
    EXPECT_EQ(a.sAddress.number_type, b.sAddress.number_type) << what;
    EXPECT_EQ(a.sAddress.number_plan, b.sAddress.number_plan) << what;
    ASSERT_EQ(a.sAddress.number_of_digits, b.sAddress.number_of_digits) << what;
    EXPECT_EQ(0, memcmp(a.sAddress.digits, b.sAddress.digits, a.sAddress.number_of_digits)) << what;
    ASSERT_EQ(a.uBearerDataLen, b.uBearerDataLen) << what;
    EXPECT_EQ(0, memcmp(a.aBearerData, b.aBearerData, static_cast<size_t>(a.uBearerDataLen))) << what;
}

TEST(CdmaPdu, HandCheckedVectors) {
    // Teleservice 4098, DTMF destination 1 2 3, bearer data 01 02: the address bits are
    // 0 0 00000011 0001 0010 0011 and two bits of padding.
    EXPECT_EQ(Encode(Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {1, 2, 3}, {1, 2})), "0000021002040300C48C08020102");
    // No digits: ten bits and six of padding.
    EXPECT_EQ(Encode(Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {}, {})), "000002100204020000" "0800");
    // 8-bit digits with number type 1 (international) and plan 1 (telephony), "12": 1 0 001
    // 0001 00000010 00110001 00110010 and seven bits of padding.
    RIL_CDMA_SMS_Message eight = Message(4098, RIL_CDMA_SMS_DIGIT_MODE_8_BIT, {'1', '2'}, {0x55});
    eight.sAddress.number_type = RIL_CDMA_SMS_NUMBER_TYPE_INTERNATIONAL_OR_DATA_IP;
    eight.sAddress.number_plan = RIL_CDMA_SMS_NUMBER_PLAN_TELEPHONY;
    EXPECT_EQ(Encode(eight), "00000210020405" "8881189900" "080155");

    // The address parameter of a message written as received (status 0 or 1) is the originator's.
    RIL_CDMA_SMS_WriteArgs args;
    memset(&args, 0, sizeof args);
    args.message = Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {1, 2, 3}, {1, 2});
    for (int status : {0, 1, 2, 3}) {
        args.status = status;
        EXPECT_EQ(Encode(args.message, &args).substr(10, 2), status <= 1 ? "02" : "04") << status;
    }
}

TEST(CdmaPdu, RoundTripsEveryDigitModeAndLength) {
    struct Mode {
        RIL_CDMA_SMS_DigitMode digits;
        RIL_CDMA_SMS_NumberMode number;
        int width;
    } modes[] = {
        {RIL_CDMA_SMS_DIGIT_MODE_4_BIT, RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK, 4},
        {RIL_CDMA_SMS_DIGIT_MODE_8_BIT, RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK, 8},
        {RIL_CDMA_SMS_DIGIT_MODE_8_BIT, RIL_CDMA_SMS_NUMBER_MODE_DATA_NETWORK, 8},
    };
    for (const Mode &mode : modes) {
        for (int n = 0; n <= RIL_CDMA_SMS_ADDRESS_MAX; ++n) {
            std::vector<unsigned char> digits;
            for (int i = 0; i < n; ++i) digits.push_back(static_cast<unsigned char>((i * 7 + n) % (1 << mode.width)));
            std::vector<unsigned char> bearer(static_cast<size_t>(n * 7 % 256));
            for (size_t i = 0; i < bearer.size(); ++i) bearer[i] = static_cast<unsigned char>(i * 31 + 5);
            RIL_CDMA_SMS_Message in = Message(4096 + n, mode.digits, digits, bearer);
            in.sAddress.number_mode = mode.number;
            if (mode.digits == RIL_CDMA_SMS_DIGIT_MODE_8_BIT) {
                in.sAddress.number_type = static_cast<RIL_CDMA_SMS_NumberType>(n % 8);
                if (mode.number == RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK)
                    in.sAddress.number_plan = static_cast<RIL_CDMA_SMS_NumberPlan>(n % 16);
            }
            const std::string hex = Encode(in);
            ASSERT_FALSE(hex.empty());
            // The address length byte holds exactly the address bits, padded to a byte.
            EXPECT_EQ(std::stoi(hex.substr(12, 2), nullptr, 16), (zv::sms::AddressBits(in.sAddress) + 7) / 8);
            RIL_CDMA_SMS_Message out;
            memset(&out, 0, sizeof out);
            ASSERT_TRUE(zv::sms::DecodeMessage(&out, hex.c_str())) << hex;
            ExpectSameMessage(in, out, "width " + std::to_string(mode.width) + " digits " + std::to_string(n));
        }
    }
    // The largest bearer data the record holds.
    RIL_CDMA_SMS_Message big = Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {9}, std::vector<unsigned char>(255, 0xA5));
    RIL_CDMA_SMS_Message out;
    memset(&out, 0, sizeof out);
    ASSERT_TRUE(zv::sms::DecodeMessage(&out, Encode(big).c_str()));
    ExpectSameMessage(big, out, "255 bearer bytes");
}

TEST(CdmaPdu, RefusesWhatThePduCannotCarry) {
    RIL_CDMA_SMS_Message m = Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {1}, {1});
    m.sAddress.number_of_digits = RIL_CDMA_SMS_ADDRESS_MAX + 1;  // more than the record holds
    EXPECT_EQ(Encode(m), "");
    m = Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, {1}, {1});
    m.uBearerDataLen = 256;
    EXPECT_EQ(Encode(m), "");
    m.uBearerDataLen = -1;
    EXPECT_EQ(Encode(m), "");
    m = Message(4098, static_cast<RIL_CDMA_SMS_DigitMode>(2), {1}, {1});
    EXPECT_EQ(Encode(m), "");
}

TEST(CdmaPdu, HostilePdusStayInsideTheRecord) {
    struct Case {
        const char *hex;
        bool ok;
        int teleservice;
        int digits;
        int bearer;
    } cases[] = {
        // service category (0x01) first, then the three parameters
        {"0001020001" "00021002" "040300C48C" "080101", true, 4098, 3, 1},
        // a fourth recognised parameter is not read
        {"00000210020402000008010A" "00021111", true, 4098, 0, 1},
        // the address claims 40 digits (more than the record holds)
        {"0000021002" "0402" "0A00" "0800", false, 4098, 0, 0},
        // the address claims 10 digits in two bytes
        {"0000021002" "0402" "0280" "0800", false, 4098, 0, 0},
        // 8-bit mode claims 18 digits, the parameter holds 3 bytes
        {"0000021002" "0403" "8889" "00" "0800", false, 4098, 0, 0},
        // bearer data runs past the end
        {"0000021002" "08" "0A" "0102", false, 4098, 0, 0},
        // a teleservice parameter too short to hold the identifier
        {"00" "0001" "10", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"000", false, 0, 0, 0},
        {"00ZZ021002", false, 0, 0, 0},
        {"00", true, 0, 0, 0},
        {"00FF", true, 0, 0, 0},
    };
    for (const Case &c : cases) {
        // A guard around the record shows any write outside it.
        struct {
            RIL_CDMA_SMS_Message m;
            unsigned char guard[64];
        } box;
        memset(&box, 0, sizeof box.m);
        memset(box.guard, 0x5A, sizeof box.guard);
        EXPECT_EQ(zv::sms::DecodeMessage(&box.m, c.hex), c.ok) << c.hex;
        EXPECT_EQ(box.m.uTeleserviceID, c.teleservice) << c.hex;
        EXPECT_EQ(box.m.sAddress.number_of_digits, c.digits) << c.hex;
        EXPECT_EQ(box.m.uBearerDataLen, c.bearer) << c.hex;
        for (unsigned char g : box.guard) ASSERT_EQ(g, 0x5A) << c.hex;
    }
    // The exported single-parameter decoders read from the length byte.
    const unsigned char tele[] = {2, 0x10, 0x02};
    const unsigned char addr[] = {3, 0x00, 0xC4, 0x8C};
    RIL_CDMA_SMS_Message m;
    memset(&m, 0, sizeof m);
    DecodeTeleserviceID(&m, tele);
    DecodeAddress(&m, addr);
    EXPECT_EQ(m.uTeleserviceID, 4098);
    ASSERT_EQ(m.sAddress.number_of_digits, 3);
    EXPECT_EQ(m.sAddress.digits[2], 3);
}

// ---- the independent decoder

std::string Capture(const std::string &command) {
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

bool HaveTshark() { return system("command -v tshark >/dev/null 2>&1 && command -v text2pcap >/dev/null 2>&1") == 0; }

// What tshark shows for the 4-bit DTMF digits of C.S0015 table 2.7.1.3.2.4-4.
char DtmfChar(unsigned char d) {
    static const char kTable[] = "?1234567890*#???";
    return kTable[d & 0x0f];
}

// The attribute attr of the first PDML element whose text contains key, or "(none)".
std::string Attribute(const std::string &packet, const std::string &key, const std::string &attr) {
    const size_t at = packet.find(key);
    if (at == std::string::npos) return "(none)";
    const size_t open = packet.rfind('<', at);
    const size_t close = packet.find('>', at);
    const std::string tag = packet.substr(open, close - open);
    const size_t a = tag.find(" " + attr + "=\"");
    if (a == std::string::npos) return "(none)";
    const size_t from = a + attr.size() + 3;
    return tag.substr(from, tag.find('"', from) - from);
}

std::string Field(const std::string &packet, const std::string &name) {
    return Attribute(packet, "<field name=\"" + name + "\"", "show");
}

TEST(CdmaPdu, TsharkDecodesOurPdusIntoTheSameMessage) {
    if (!HaveTshark()) GTEST_SKIP() << "tshark and text2pcap are not installed (scripts/install-deps.sh installs them)";
    std::vector<RIL_CDMA_SMS_Message> messages;
    // A real bearer data: message identifier (deliver, id 1) and 7-bit ASCII user data "Hi".
    const std::vector<unsigned char> bearer = {0x00, 0x03, 0x20, 0x00, 0x10, 0x01, 0x04, 0x10, 0x14, 0x8D, 0x20};
    for (int n : {0, 1, 3, 10, 20, 36}) {
        std::vector<unsigned char> dtmf, ascii;
        for (int i = 0; i < n; ++i) {
            dtmf.push_back(static_cast<unsigned char>(1 + (i * 5) % 12));  // 1..12: digits, *, #
            ascii.push_back(static_cast<unsigned char>('0' + (i * 3) % 10));
        }
        messages.push_back(Message(4098, RIL_CDMA_SMS_DIGIT_MODE_4_BIT, dtmf, bearer));
        RIL_CDMA_SMS_Message e = Message(4097 + n, RIL_CDMA_SMS_DIGIT_MODE_8_BIT, ascii, bearer);
        e.sAddress.number_type = RIL_CDMA_SMS_NUMBER_TYPE_INTERNATIONAL_OR_DATA_IP;
        e.sAddress.number_plan = RIL_CDMA_SMS_NUMBER_PLAN_TELEPHONY;
        messages.push_back(e);
        RIL_CDMA_SMS_Message d = e;
        d.sAddress.number_mode = RIL_CDMA_SMS_NUMBER_MODE_DATA_NETWORK;
        d.sAddress.number_type = RIL_CDMA_SMS_NUMBER_TYPE_NATIONAL_OR_INTERNET_MAIL;
        d.sAddress.number_plan = RIL_CDMA_SMS_NUMBER_PLAN_UNKNOWN;
        messages.push_back(d);
    }

    char dir[] = "/tmp/zv-tshark-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string text = std::string(dir) + "/pdus.txt", pcap = std::string(dir) + "/pdus.pcap";
    {
        std::ofstream f(text);
        for (const auto &m : messages) {
            const std::string hex = Encode(m);
            f << "0000";
            for (size_t i = 0; i < hex.size(); i += 2) f << ' ' << hex.substr(i, 2);
            f << "\n";
        }
    }
    // User link type 147 carries the bytes straight to the 3GPP2 transport-layer dissector.
    ASSERT_EQ(system(("text2pcap -q -l 147 " + text + " " + pcap + " >/dev/null 2>&1").c_str()), 0);
    const std::string pdml =
        Capture("tshark -r " + pcap +
            " -o 'uat:user_dlts:\"User 0 (DLT=147)\",\"ansi_637_trans\",\"0\",\"\",\"0\",\"\"' -T pdml 2>/dev/null");
    if (system(("rm -rf " + std::string(dir)).c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;

    std::vector<std::string> packets;
    for (size_t at = pdml.find("<packet>"); at != std::string::npos;) {
        size_t next = pdml.find("<packet>", at + 1);
        packets.push_back(pdml.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    ASSERT_EQ(packets.size(), messages.size()) << pdml.substr(0, 2000);
    for (size_t i = 0; i < messages.size(); ++i) {
        const RIL_CDMA_SMS_Message &m = messages[i];
        const std::string &p = packets[i];
        const bool eightBit = m.sAddress.digit_mode == RIL_CDMA_SMS_DIGIT_MODE_8_BIT;
        std::string number;
        for (int k = 0; k < m.sAddress.number_of_digits; ++k)
            number += eightBit ? static_cast<char>(m.sAddress.digits[k]) : DtmfChar(m.sAddress.digits[k]);
        const std::string what = "message " + std::to_string(i) + ": " + Encode(m);
        EXPECT_EQ(Field(p, "ansi_637_trans.tele_id"), std::to_string(m.uTeleserviceID)) << what;
        EXPECT_EQ(Field(p, "ansi_637_trans.param_id"), "0") << what;
        EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.digit_mode"), eightBit ? "1" : "0") << what;
        EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.number_mode"), std::to_string(m.sAddress.number_mode)) << what;
        EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.num_fields"), std::to_string(m.sAddress.number_of_digits))
            << what;
        if (m.sAddress.number_of_digits > 0) {
            EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.number"), number) << what;
        }
        if (eightBit) {
            EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.ton"), std::to_string(m.sAddress.number_type)) << what;
            if (m.sAddress.number_mode == RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK) {
                EXPECT_EQ(Field(p, "ansi_637_trans.addr_param.plan"), std::to_string(m.sAddress.number_plan)) << what;
            }
        }
        // The bearer data parameter, as tshark delimits it: id, length and the bytes.
        const std::string bearerParam = Attribute(p, "show=\"Bearer Data\"", "value");
        char expected[8];
        snprintf(expected, sizeof expected, "08%02x", m.uBearerDataLen);
        std::string bytes = expected;
        for (int k = 0; k < m.uBearerDataLen; ++k) {
            snprintf(expected, sizeof expected, "%02x", m.aBearerData[k]);
            bytes += expected;
        }
        EXPECT_EQ(bearerParam, bytes) << what;
        EXPECT_EQ(p.find("Malformed"), std::string::npos) << what;
    }
}

}  // namespace
