// What reaches the log of AT traffic: secrets replaced by '*', the shape of the line kept.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zorvik/host.h>

#include "atchannel/atchannel.h"

namespace {

std::vector<std::string> g_lines;

void Capture(int, const char *, const char *text, void *) {
    g_lines.emplace_back(text);
}

std::string Logged(const std::string &text, int direction) {
    g_lines.clear();
    zv::SetLogCapture(Capture, nullptr);
    PrintATCommand(text.c_str(), static_cast<int>(text.size()), direction);
    zv::SetLogCapture(nullptr, nullptr);
    return g_lines.size() == 1 ? g_lines[0] : "<" + std::to_string(g_lines.size()) + " lines>";
}

TEST(AtMask, SentCommandsHideTheirArguments) {
    EXPECT_EQ(Logged("AT+CPIN=\"1234\"", 1), "AT> AT+CPIN=\"****\"");
    EXPECT_EQ(Logged("ATD13800138000;", 1), "AT> ATD***********;");
    EXPECT_EQ(Logged("ATD", 1), "AT> ATD");
    EXPECT_EQ(Logged("at+cusd=1,\"*100#\",15", 1), "AT> at+cusd=*,\"*****\",**");
    EXPECT_EQ(Logged("AT^PPPCFG =\"user\",\"pass\"", 1), "AT> AT^PPPCFG =\"****\",\"****\"");
    EXPECT_EQ(Logged("AT+CGDCONT=1,\"IP\",\"internet\"", 1), "AT> AT+CGDCONT=*,\"**\",\"********\"");
    // An SMS PDU written at the prompt: hidden when it starts with a digit.
    EXPECT_EQ(Logged("0891683108200105F0", 1), "AT> " + std::string(18, '*'));
    EXPECT_EQ(Logged("C0FFEE", 1), "AT> C0FFEE");
    EXPECT_EQ(Logged("AT+CSQ", 1), "AT> AT+CSQ");
}

TEST(AtMask, ReceivedLinesHideValuesButKeepTheirShape) {
    EXPECT_EQ(Logged("+CLCC: 1,0,0,0,0,\"13800138000\",129", 0), "AT< +CLCC: *,*,*,*,*,\"***********\",***");
    EXPECT_EQ(Logged("351234567890123", 0), "AT< " + std::string(15, '*'));
    EXPECT_EQ(Logged("^IMEISV: 3512345678901234", 2), "AT< ^IMEISV: ****************");
    EXPECT_EQ(Logged("OK", 0), "AT< OK");
    EXPECT_EQ(Logged("+CREG: 1,\"00C3\",\"0000001A\",2", 0), "AT< +CREG: 1,\"00C3\",\"0000001A\",2");
    // Only the first len bytes are logged, and the caller's text is left alone.
    char text[] = "+GSN: 351234567890123";
    PrintATCommand(text, 5, 0);
    EXPECT_STREQ(text, "+GSN: 351234567890123");
    EXPECT_EQ(Logged(std::string(text, 9), 0), "AT< +GSN: ***");
    // Long lines are masked to their end.
    const std::string longPdu = "+CMGR: 0,,150 " + std::string(600, 'A');
    EXPECT_EQ(Logged(longPdu, 0), "AT< +CMGR: *,,*** " + std::string(600, '*'));
}

TEST(AtMask, MatchFindsTheFirstTableEntryAnywhere) {
    char *prefix = nullptr;
    EXPECT_STREQ(MatchATCommandbyPrefix("xATD1;AT+cpin=1", &prefix), "AT+CPIN=");
    EXPECT_STREQ(prefix, "AT+CPIN=");
    free(prefix);
    prefix = nullptr;
    EXPECT_STREQ(MatchATCommandbyPrefix("+ccwa: 1", &prefix), "+CCWA:");
    free(prefix);
    char *kept = const_cast<char *>("kept");
    prefix = kept;
    EXPECT_EQ(MatchATCommandbyPrefix("+CREG: 1", &prefix), nullptr);
    EXPECT_EQ(prefix, kept);
}

// Every kind of line that carries a phone number, a PIN or PUK, an unlock code, credentials,
// an IMSI, IMEI or ICCID, in both directions, including values that hold "=" or ":" of their
// own. What must never reach the log is any of the secret digit strings.
TEST(AtMask, NoSecretDigitsReachTheLog) {
    const std::vector<std::string> secrets = {
        "15551234567", "4321", "87654321", "2468", "460001234567890", "351234567890123", "89860012345678901234",
        "98680010325476981032", "13579",
    };
    struct Case {
        const char *text;
        int direction;
        const char *kept;  // what stays readable: the command or prefix
    };
    const Case cases[] = {
        // to the modem
        {"AT+CPIN=\"4321\"", 1, "AT+CPIN="},
        {"AT+CPIN=\"87654321\",\"2468\"", 1, "AT+CPIN="},
        {"AT+CPWD=\"SC\",\"4321\",\"2468\"", 1, "AT+CPWD="},
        {"AT+CLCK=\"SC\",1,\"4321\"", 1, "AT+CLCK="},
        {"AT^CARDUNLOCK=\"87654321\"", 1, "AT^CARDUNLOCK="},
        {"ATD+15551234567;", 1, "ATD"},
        {"ATD15551234567", 1, "ATD"},
        {"AT+CDV15551234567", 1, "AT+CDV"},
        {"AT+CCFC=0,3,\"+15551234567\",145", 1, "AT+CCFC="},
        {"AT+CTFR=\"+15551234567\"", 1, "AT+CTFR="},
        {"AT+CSCA=\"+15551234567\",145", 1, "AT+CSCA="},
        {"AT+CUSD=1,\"*100*4321#\",15", 1, "AT+CUSD="},
        {"AT+CPBW=1,\"15551234567\",129,\"Bob=4321\"", 1, "AT+CPBW="},
        {"AT+VTS=4321", 1, "AT+VTS="},
        {"AT^DTMF=1,4321", 1, "AT^DTMF="},
        {"AT^HFLASH=15551234567", 1, "AT^HFLASH="},
        {"AT+CGDCONT=1,\"IP\",\"apn13579\"", 1, "AT+CGDCONT="},
        {"AT^NDISDUP=1,1,\"apn\",\"user\",\"pw13579\",1", 1, "AT^NDISDUP="},
        {"AT^PPPCFG=\"user\",\"pw13579\"", 1, "AT^PPPCFG="},
        {"AT+CGAUTH=1,1,\"pw13579\",\"user\"", 1, "AT+CGAUTH="},
        {"AT+CSIM=26,\"0020000108343332314646464646\"", 1, "AT+CSIM="},
        {"AT+CMGS=\"+15551234567\"", 1, "AT+CMGS="},
        {"AT+CUSATT=\"810301230082028281830100\"", 1, "AT+CUSATT="},
        {"AT+CUSATE=\"D40D82028281850A33343332314646\"", 1, "AT+CUSATE="},
        {"AT^STGR=3,1,0,\"4321\"", 1, "AT^STGR="},
        {"AT+CUSATW=0,\"4321\"", 1, "AT+CUSATW="},
        {"0011000B915155214365F70000AA05E8329BFD06", 1, ""},
        {"15551234567ATD1", 1, ""},  // a line that starts with a digit is masked whole
        // from the modem
        {"+CLCC: 1,1,4,0,0,\"+15551234567\",145,\"A=B\"", 0, "+CLCC:"},
        {"+CCWA: \"+15551234567\",145,1,\"Bob=x\"", 0, "+CCWA:"},
        {"+CUSD: 0,\"Your PIN 4321, balance=10\",15", 0, "+CUSD:"},
        {"+CUSD: 0,\"code: 4321\",15", 0, "+CUSD:"},
        {"+CLIP: \"+15551234567\",145,,,\"x=y\",0", 0, "+CLIP:"},
        {"+COLP: \"+15551234567\",145", 0, "+COLP:"},
        {"+CNUM: \"Me\",\"+15551234567\",145", 0, "+CNUM:"},
        {"+CSSU: 0,,\"+15551234567\",145", 0, "+CSSU:"},
        {"+CMT: \"+15551234567\",,\"24/01/01,10:00:00+08\"", 0, "+CMT:"},
        {"+CMGR: \"REC READ\",\"+15551234567\",,\"24/01/01\"", 0, "+CMGR:"},
        {"+CMGL: 1,\"REC UNREAD\",\"+15551234567\"", 0, "+CMGL:"},
        {"+CPBR: 1,\"+15551234567\",145,\"Bob\"", 0, "+CPBR:"},
        {"+CCFC: 1,1,\"+15551234567\",145", 0, "+CCFC:"},
        {"+CSCA: \"+15551234567\",145", 0, "+CSCA:"},
        {"460001234567890", 0, ""},
        {"+CIMI: 460001234567890", 0, "+CIMI:"},
        {"351234567890123", 0, ""},
        {"+CGSN: 351234567890123", 0, "+CGSN:"},
        {"+GSN: 351234567890123", 0, "+GSN:"},
        {"^IMEISV: 3512345678901230", 0, "^IMEISV:"},
        {"^ICCID: 89860012345678901234", 0, "^ICCID:"},
        {"+ICCID: 89860012345678901234", 0, "+ICCID:"},
        {"89860012345678901234", 0, ""},
        {"+CRSM: 144,0,\"98680010325476981032\"", 0, "+CRSM:"},
        {"+CSIM: 4,\"9000\"", 0, "+CSIM:"},
        {"+CUSATP: \"D01A8103011000820281838609915155214365F7\"", 0, "+CUSATP:"},
        {"+CUSATE: 0,\"4321\"", 0, "+CUSATE:"},
        {"^STIN: 3,0,\"15551234567\"", 0, "^STIN:"},
        {"^DHCP: 8655a8c0,f8ffffff,0155a8c0,0155a8c0,13579,2468,100000000,100000000", 0, "^DHCP:"},
    };
    for (const Case &c : cases) {
        const std::string logged = Logged(c.text, c.direction);
        for (const std::string &secret : secrets) {
            EXPECT_EQ(logged.find(secret), std::string::npos) << c.text << " logged as " << logged;
        }
        // No run of four digits survives either: no part of a secret is left to piece together.
        int run = 0;
        for (char ch : logged) {
            run = (ch >= '0' && ch <= '9') ? run + 1 : 0;
            EXPECT_LT(run, 4) << c.text << " logged as " << logged;
            if (run >= 4) break;
        }
        EXPECT_EQ(logged.rfind(std::string(c.direction == 1 ? "AT> " : "AT< ") + c.kept, 0), 0u)
            << c.text << " logged as " << logged;
    }
}

}  // namespace
