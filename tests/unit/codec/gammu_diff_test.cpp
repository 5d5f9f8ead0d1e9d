// Differential tests against libgammu, an independent GSM 7-bit implementation: packing,
// unpacking, default-alphabet decoding, and which characters the alphabet holds.
//
// Where we differ on purpose, and the comparisons allow for it:
//  - packing: the 7 spare bits after 8k-1 septets hold CR (TS 23.038 6.1.2.3.1, as USSD and
//    cell broadcast need), gammu leaves zeros; a final CR on an octet boundary is followed by
//    one more CR octet;
//  - unpacking by octet count: a CR in the last whole septet is padding, and of a doubled final
//    CR one is kept; gammu is told the septet count and returns them all;
//  - escapes: an empty extension entry or a dangling escape decodes to one space (gammu: a mark,
//    U+00B9, then the default character); 0x1B 0x0A is a space (gammu: form feed), 0x1B 0x1B a
//    line feed; so form feed is no 7-bit character for us;
//  - encoding: characters outside the alphabet are dropped (gammu writes '?' or a look-alike);
//    the escape code's own entry is U+001B (gammu: U+00B9), and U+FFFF counts as 7-bit (and
//    encodes to nothing).
#include <gtest/gtest.h>

#include <random>

#include "codec/codec.h"
#include "codec_test_util.h"

#ifdef ZV_HAVE_GAMMU
#include <gammu.h>

// Exported by libgammu but not declared in its headers.
extern "C" {
int GSM_PackSevenBitsToEight(size_t offset, const unsigned char *in, unsigned char *out, size_t length);
int GSM_UnpackEightBitsToSeven(size_t offset, size_t in_length, size_t out_length, const unsigned char *in,
                               unsigned char *out);
}

using namespace codec_test;

namespace {

constexpr uint8_t kCR = 0x0D;

std::vector<uint8_t> GammuPack(const std::vector<uint8_t> &septets) {
    std::vector<uint8_t> out(septets.size() + 1);
    int n = GSM_PackSevenBitsToEight(0, septets.data(), out.data(), septets.size());
    out.resize(static_cast<size_t>(n));
    return out;
}

std::vector<uint8_t> GammuUnpack(const std::vector<uint8_t> &octets, size_t septets) {
    std::vector<uint8_t> out(septets + 1);
    GSM_UnpackEightBitsToSeven(0, octets.size(), septets, octets.data(), out.data());
    out.resize(septets);
    return out;
}

// Septets (at most 160) as the text of an SMS-DELIVER with the default alphabet.
std::u16string GammuDecode(const std::vector<uint8_t> &septets) {
    std::vector<uint8_t> pdu = {0x00, 0x04, 0x02, 0x81, 0x21, 0x00, 0x00};  // no SMSC, from "12"
    pdu.insert(pdu.end(), 7, 0x11);                                         // time stamp
    pdu.push_back(static_cast<uint8_t>(septets.size()));
    const std::vector<uint8_t> ud = GammuPack(septets);
    pdu.insert(pdu.end(), ud.begin(), ud.end());
    GSM_SMSMessage sms{};
    size_t end = 0;
    EXPECT_EQ(GSM_DecodePDUFrame(nullptr, &sms, pdu.data(), pdu.size(), &end, TRUE), ERR_NONE);
    std::u16string text;
    for (size_t i = 0; sms.Text[2 * i] || sms.Text[2 * i + 1]; ++i)
        text += static_cast<char16_t>(sms.Text[2 * i] << 8 | sms.Text[2 * i + 1]);
    return text;
}

// One unit through gammu's SMS-SUBMIT encoder, as the septets it chose.
std::vector<uint8_t> GammuEncode(uint16_t unit) {
    GSM_SMSMessage sms;
    GSM_SetDefaultSMSData(&sms);
    sms.PDU = SMS_Submit;
    sms.Coding = SMS_Coding_Default_No_Compression;
    EncodeUnicode(sms.Number, "12", 2);
    sms.Text[0] = static_cast<unsigned char>(unit >> 8);
    sms.Text[1] = static_cast<unsigned char>(unit);
    sms.Text[2] = sms.Text[3] = 0;
    unsigned char frame[400] = {};
    int length = 0;
    EXPECT_EQ(GSM_EncodeSMSFrame(nullptr, &sms, frame, PHONE_SMSSubmit, &length, TRUE), ERR_NONE);
    const size_t udl = frame[PHONE_SMSSubmit.TPUDL];
    const std::vector<uint8_t> ud(frame + PHONE_SMSSubmit.Text, frame + PHONE_SMSSubmit.Text + (udl * 7 + 7) / 8);
    return GammuUnpack(ud, udl);
}

// Septets on which the two decoders are meant to agree: escapes only before extension
// codes that both tables fill alike.
std::vector<uint8_t> RandomSeptets(std::mt19937 &rng, size_t len) {
    static const uint8_t kExt[] = {0x14, 0x28, 0x29, 0x2F, 0x3C, 0x3D, 0x3E, 0x40, 0x65};
    std::uniform_int_distribution<int> code(0, 127);
    std::vector<uint8_t> s;
    while (s.size() < len) {
        uint8_t c = static_cast<uint8_t>(code(rng));
        if (c != 0x1B) {
            s.push_back(c);
        } else if (s.size() + 2 <= len) {
            s.insert(s.end(), {c, kExt[static_cast<size_t>(code(rng)) % sizeof kExt]});
        }
    }
    return s;
}

}  // namespace

TEST(GammuDiff, PackingAgreesBesidesCrPadding) {
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> code(0, 127);
    for (size_t n = 0; n <= 400; ++n) {
        for (int variant = 0; variant < 2; ++variant) {
            std::vector<uint8_t> septets(n);
            for (auto &s : septets) s = static_cast<uint8_t>(code(rng));
            if (variant == 1 && n > 0) septets.back() = kCR;
            std::vector<uint8_t> expected = GammuPack(septets);
            if (n % 8 == 7) expected.back() |= kCR << 1;
            if (n > 0 && n % 8 == 0 && septets.back() == kCR) expected.push_back(kCR);

            std::vector<uint8_t> ours(zv::codec::PackedMax(n));
            ours.resize(static_cast<size_t>(CompressGsm7bit(septets.data(), ours.data(), static_cast<int>(n))));
            ASSERT_EQ(ToHex(ours), ToHex(expected)) << n << " septets, variant " << variant;
        }
    }
}

TEST(GammuDiff, UnpackingAgreesBesidesCrPadding) {
    std::mt19937 rng(29);
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t m = 1; m <= 300; ++m) {
        for (int variant = 0; variant < 2; ++variant) {
            std::vector<uint8_t> octets(m);
            for (auto &o : octets) o = static_cast<uint8_t>(byte(rng));
            if (variant == 1) octets.back() = static_cast<uint8_t>((octets.back() & 1) | kCR << 1);  // CR on top
            std::vector<uint8_t> theirs = GammuUnpack(octets, m * 8 / 7);
            std::vector<uint8_t> ours(zv::codec::UnpackedMax(m));
            ours.resize(static_cast<size_t>(UncompressGsm7bit(octets.data(), ours.data(), static_cast<int>(m))));
            // Only the CR of a whole group's spare bits may go.
            if (m % 7 == 0 && theirs.back() == kCR) theirs.pop_back();
            ASSERT_EQ(ToHex(ours), ToHex(theirs)) << m << " octets, variant " << variant;
        }
    }
}

TEST(GammuDiff, DefaultAlphabetDecodingAgrees) {
    std::mt19937 rng(31);
    for (size_t len = 1; len <= 160; ++len) {
        const std::vector<uint8_t> septets = RandomSeptets(rng, len);
        std::vector<uint16_t> units(septets.size());
        const int n = Gsm7bitToUnicode(septets.data(), units.data(), static_cast<unsigned>(septets.size()));
        ASSERT_EQ(FromUnits(units.data(), n), GammuDecode(septets)) << "septets " << ToHex(septets);
    }
}

TEST(GammuDiff, AlphabetAndEncodingAgreeOnEveryUnit) {
    uint8_t ours[2];
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        const uint16_t unit = static_cast<uint16_t>(u);
        if (unit == 0x000C || unit == 0x001B || unit == 0x00B9 || unit == 0xFFFF) continue;  // named above
        const std::vector<uint8_t> theirs = GammuEncode(unit);
        // gammu substitutes what it cannot encode: a unit is in its alphabet if it comes back.
        const bool theirsHasIt =
            !theirs.empty() && GammuDecode(theirs) == std::u16string(1, static_cast<char16_t>(unit));
        ASSERT_EQ(GSM_7BitAlphabet(unit) == 1, theirsHasIt) << std::hex << u;
        const int n = UnicodeToGsm7bit(&unit, ours, 1);
        if (theirsHasIt) {
            ASSERT_EQ(ToHex(ours, static_cast<size_t>(n)), ToHex(theirs)) << std::hex << u;
        } else {
            ASSERT_EQ(n, 0) << std::hex << u;
        }
    }
}

#else

TEST(GammuDiff, Skipped) {
    GTEST_SKIP() << "libgammu not found at configure time: no differential tests";
}

#endif
