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

}  // namespace
