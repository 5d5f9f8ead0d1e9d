// The response-line tokenizer on the shapes real modems send.
#include <gtest/gtest.h>

#include <string>

#include "atchannel/at_tok.h"

namespace {

struct Line {
    explicit Line(const char *s) : text(s), cursor(text.data()) {}
    std::string text;
    char *cursor;
};

TEST(AtTok, NumbersAndEnd) {
    Line l("+CSQ: 17,99");
    ASSERT_EQ(at_tok_start(&l.cursor), 0);
    int a = 0, b = 0;
    EXPECT_EQ(at_tok_nextint(&l.cursor, &a), 0);
    EXPECT_EQ(at_tok_nextint(&l.cursor, &b), 0);
    EXPECT_EQ(a, 17);
    EXPECT_EQ(b, 99);
    EXPECT_EQ(at_tok_hasmore(&l.cursor), 0);
    EXPECT_EQ(at_tok_nextint(&l.cursor, &a), -1);
}

TEST(AtTok, QuotedStringsKeepCommasInsideAndSkipToNextField) {
    Line l("+COPS: 0,0,\"Operator, Inc\",2");
    ASSERT_EQ(at_tok_start(&l.cursor), 0);
    int mode, format, act = 0;
    char *name = nullptr;
    EXPECT_EQ(at_tok_nextint(&l.cursor, &mode), 0);
    EXPECT_EQ(at_tok_nextint(&l.cursor, &format), 0);
    EXPECT_EQ(at_tok_nextstr(&l.cursor, &name), 0);
    EXPECT_STREQ(name, "Operator, Inc");
    EXPECT_EQ(at_tok_nextint(&l.cursor, &act), 0);
    EXPECT_EQ(act, 2);
    EXPECT_EQ(at_tok_hasmore(&l.cursor), 0);
}

TEST(AtTok, EmptyFieldsAndUnterminatedQuote) {
    Line l("^NDISSTAT: 1,,,\"IPV4");
    ASSERT_EQ(at_tok_start(&l.cursor), 0);
    int v = 7;
    char *s = nullptr;
    EXPECT_EQ(at_tok_nextint(&l.cursor, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(at_tok_nextstr(&l.cursor, &s), 0);
    EXPECT_STREQ(s, "");
    v = 7;
    EXPECT_EQ(at_tok_nextint(&l.cursor, &v), -1);
    EXPECT_EQ(v, 0) << "a failed conversion still stores 0";
    EXPECT_EQ(at_tok_nextstr(&l.cursor, &s), 0);
    EXPECT_STREQ(s, "IPV4");
    EXPECT_EQ(l.cursor, nullptr);
    EXPECT_EQ(at_tok_nextstr(&l.cursor, &s), -1);
}

TEST(AtTok, NoColonPoisonsTheCursor) {
    Line l("OK");
    EXPECT_EQ(at_tok_start(&l.cursor), -1);
    EXPECT_EQ(l.cursor, nullptr);
    int v;
    char *s;
    char b;
    EXPECT_EQ(at_tok_nextint(&l.cursor, &v), -1);
    EXPECT_EQ(at_tok_nexthexint(&l.cursor, &v), -1);
    EXPECT_EQ(at_tok_nextstr(&l.cursor, &s), -1);
    EXPECT_EQ(at_tok_nextbool(&l.cursor, &b), -1);
    EXPECT_EQ(at_tok_hasmore(&l.cursor), 0);
    EXPECT_EQ(at_tok_start(nullptr), -1);
}

TEST(AtTok, BoolAndHex) {
    Line l("+X: 2,1,1A3F,1A3F,-5, 0");
    ASSERT_EQ(at_tok_start(&l.cursor), 0);
    char b = 9;
    EXPECT_EQ(at_tok_nextbool(&l.cursor, &b), -1);
    EXPECT_EQ(b, 9) << "a rejected bool leaves out alone";
    EXPECT_EQ(at_tok_nextbool(&l.cursor, nullptr), 0);
    int h = 0, d = 0, n = 0;
    EXPECT_EQ(at_tok_nexthexint(&l.cursor, &h), 0);
    EXPECT_EQ(h, 6719);
    EXPECT_EQ(at_tok_nextint(&l.cursor, &d), 0);
    EXPECT_EQ(d, 1) << "decimal stops at the first non-digit";
    EXPECT_EQ(at_tok_nextint(&l.cursor, &n), 0);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(at_tok_nextbool(&l.cursor, &b), 0);
    EXPECT_EQ(b, 0);
}

TEST(AtTok, PrefixAndDigitHelpers) {
    EXPECT_EQ(strStartsWith("OK", "OK"), 1);
    EXPECT_EQ(strStartsWith("O", "OK"), 0);
    EXPECT_EQ(strStartsWith("anything", ""), 1);
    EXPECT_EQ(strStartsWith("+CMTI: 1", "+CMT:"), 0);
    EXPECT_EQ(char_to_int("7"), 7);
    EXPECT_EQ(char_to_int("a"), 10);
    EXPECT_EQ(char_to_int("Z"), 35);
    EXPECT_EQ(char_to_int("-"), 0);
}

}  // namespace
