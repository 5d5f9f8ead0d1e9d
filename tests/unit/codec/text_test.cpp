// Hex text, UTF-8, UCS-2 and SIM alpha text: malformed input and buffer bounds.
#include <gtest/gtest.h>
#include <zorvik/host.h>

#include <cstring>
#include <memory>

#include "codec/codec.h"
#include "codec_test_util.h"

using namespace codec_test;

namespace {

std::u16string FromUtf8(std::string_view s) {
    // Exactly s.size() bytes on the heap, no terminator: any read past count shows under ASan.
    std::unique_ptr<char[]> in(new char[s.size()]);
    memcpy(in.get(), s.data(), s.size());
    std::vector<uint16_t> out(s.size() + 1);
    int n = Utf8ToUnicode(in.get(), out.data(), static_cast<int>(s.size()));
    return FromUnits(out.data(), n);
}

std::string SimAlpha(const char *hex, int *rc = nullptr) {
    std::vector<char> out(zv::codec::kSimAlphaUtf8Max, 'x');
    int r = UCS2_to_UTF8(hex, out.data());
    if (rc) *rc = r;
    return std::string(out.data(), strnlen(out.data(), out.size()));
}

}  // namespace

TEST(Hex, MalformedTextAndShortRoom) {
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(hexStringToBytes("aBC", out, 4), 2) << "a missing last digit is 0";
    EXPECT_EQ(ToHex(out, 2), "ABC0");
    memset(out, 0xEE, sizeof out);
    EXPECT_EQ(hexStringToBytes("112233", out, 2), -1) << "too long: what fits is written";
    EXPECT_EQ(ToHex(out, 3), "1122EE");
    for (const char *bad : {"00G1", "12 4", "1\r"}) EXPECT_EQ(hexStringToBytes(bad, out, 4), -1) << bad;
    EXPECT_EQ(hexStringToBytes(nullptr, out, 4), -1);
    EXPECT_EQ(hexStringToBytes("", nullptr, 0), 0);
}

TEST(Utf8, DecodesWithinCountAndReplacesCutSequences) {
    EXPECT_EQ(FromUtf8("\xC3\xA9"), u"é");
    EXPECT_EQ(FromUtf8("a\xE2\x82\xAC"), u"a€");
    EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD") << "lead at the very end";
    EXPECT_EQ(FromUtf8("\xE2\x82"), u"\uFFFD");
    EXPECT_EQ(FromUtf8("\xC3"
                       "A\xE2\x82"
                       "B"),
              u"\uFFFDA\uFFFDB")
        << "the breaking byte starts the next one";
    EXPECT_EQ(FromUtf8("a\x80z"), u"a") << "stray continuation ends";
    EXPECT_EQ(FromUtf8("a\xF0\x9F\x98\x80z"), u"a") << "no unit beyond the BMP";
    // The platform's modified UTF-8: NUL as C0 80, surrogates one by one.
    EXPECT_EQ(FromUtf8("\xC0\x80"), std::u16string(1, u'\0'));
    EXPECT_EQ(FromUtf8("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
}

TEST(Utf8, UnitsEncodeByRangeAndSizedFormsRefuse) {
    const std::u16string s = u"\u007F\u0080\u07FF\u0800\uFFFF";
    char utf8[15];
    ASSERT_EQ(UnicodeToUtf8(Units(s), utf8, 5), 1 + 2 + 2 + 3 + 3);
    EXPECT_EQ(FromUtf8(std::string_view(utf8, 11)), s);
    EXPECT_EQ(zv::codec::UnicodeToUtf8(Units(s), utf8, 5, 10), -1);
    uint16_t one[1];
    EXPECT_EQ(zv::codec::Utf8ToUnicode("ab", one, 2, 1), -1);
    uint8_t bytes[4];
    EXPECT_EQ(WidecharToByte(Units(s) + 3, bytes, 2), 4);
    EXPECT_EQ(ToHex(bytes, 4), "0800FFFF") << "UCS-2 on the wire is big-endian";
}

TEST(SimAlpha, Formats80_81_82) {
    EXPECT_EQ(SimAlpha("8000410042FFFF0043"), "AB") << "nothing after the first FFFF";
    EXPECT_EQ(SimAlpha("8000FFFF00"), "\u00FF\uFF00") << "FFFF across two units is text";
    EXPECT_EQ(SimAlpha("81030C4181"), "A\u0601");
    EXPECT_EQ(SimAlpha("810602A46563746F72FF"), "\u0124ector") << "base 0x0100 after a length byte";
    EXPECT_EQ(SimAlpha("820505302D82D32D31FF"), "-\u0532\u0583-1");
    // No text (or no base for it) is an empty string; an unknown tag or non-hex text is refused.
    for (auto [hex, rc] : {std::pair{"80", 0},
                           {"8103", 0},
                           {"81030C", 0},
                           {"820505FF", 0},
                           {"80FFFF", 0},
                           {"", -1},
                           {"8", -1},
                           {"83004100", -1},
                           {"0A01566F", -1},
                           {"81030C41Z1", -1}}) {
        int got = -2;
        EXPECT_EQ(SimAlpha(hex, &got), "") << hex;
        EXPECT_EQ(got, rc) << hex;
    }
    EXPECT_EQ(UCS2_to_UTF8(nullptr, nullptr), -1);
}

TEST(SimAlpha, OverlongTextIsCutAtAWholeCharacter) {
    auto repeat = [](std::string head, const char *unit, int n) {
        while (n--) head += unit;
        return head;
    };
    // Of 127 hex digits, tag 80 keeps 31 whole units; 81 and 82 keep 63 bytes with the base.
    EXPECT_EQ(SimAlpha(repeat("80", "4E2D", 50).c_str()).size(), 31u * 3);
    EXPECT_EQ(SimAlpha(repeat("81640C", "81", 100).c_str()).size(), 62u * 2);
    EXPECT_EQ(SimAlpha(repeat("82644E00", "FE", 100).c_str()).size(), 61u * 3);
    char small[4];
    EXPECT_EQ(zv::codec::UCS2_to_UTF8("804E2D", small, 3), -1) << "3 bytes and a terminator";
    EXPECT_STREQ(small, "");
}

TEST(SimAlpha, CutHelpersLogWhatTheyKeep) {
    std::vector<std::string> lines;
    zv::SetLogCapture([](int, const char *, const char *text,
                         void *ctx) { static_cast<std::vector<std::string> *>(ctx)->push_back(text); },
                      &lines);
    char dst[16];
    str_cut_ffff(dst, "0041ffff0042", 12);
    str_cut_ffff(dst + 5, "0FFFF0", 6);
    str_cut_ff(dst + 12, "41FF42", 6);
    zv::SetLogCapture(nullptr, nullptr);
    EXPECT_STREQ(dst, "0041");
    EXPECT_STREQ(dst + 5, "0FFFF0") << "groups only at multiples of 4";
    EXPECT_STREQ(dst + 12, "41");
    EXPECT_EQ(lines,
              (std::vector<std::string>{"str_cut_ffff: dst=0041", "str_cut_ffff: dst=0FFFF0", "str_cut_ff: dst=41"}));
}
