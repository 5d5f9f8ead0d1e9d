/*
 * Text conversions shared by USSD, SMS, SIM I/O and operator names: the GSM 7-bit default
 * alphabet of 3GPP TS 23.038 with its extension and national language tables, septet packing,
 * hex text, UTF-8, UCS-2 (16-bit units, big-endian on the wire) and the SIM's UCS-2 alpha
 * formats 80/81/82. Pure functions on caller buffers: nothing allocates or keeps state.
 *
 * "Septets" are unpacked 7-bit codes, one per byte; "units" are 16-bit UCS-2 code units.
 * The C functions carry no output size, so each states the room its output needs as a function
 * of its count (the zv::codec capacity helpers below compute it) and never writes more. The
 * zv::codec overloads take the output size and return -1 instead of overrunning it.
 * Unless stated otherwise, null pointers and counts below 1 give 0, and a result too large
 * for an int is never returned.
 */
#ifndef ZORVIK_CODEC_CODEC_H
#define ZORVIK_CODEC_CODEC_H

#include <stddef.h>
#include <stdint.h>

#include <zvexport.h>

/* 1 for a unit of the default alphabet or of the extension list (its U+FFFF end mark included). */
ZV_API int GSM_7BitAlphabet(int unit);

/* Units to septets; extension characters become 0x1B + code, others are dropped.
   out: 2 * count bytes. Returns septets written. */
ZV_API int UnicodeToGsm7bit(const uint16_t *in, uint8_t *out, int count);

/* Septets to units through the default alphabet and extension. out: count units. */
ZV_API int Gsm7bitToUnicode(const uint8_t *in, uint16_t *out, unsigned count);

/* The same with the locking and single shift tables of a TS 23.038 language (4, 8, 12). */
ZV_API int Gsm7bitToUnicodeExt(const uint8_t *in, uint16_t *out, unsigned count, int language);

/* Packs septets, CR-padded as TS 23.038 asks for USSD and cell broadcast.
   out: count * 7 / 8 + 1 bytes. Returns octets written. */
ZV_API int CompressGsm7bit(const uint8_t *septets, uint8_t *out, int count);

/* Unpacks count octets and terminates the septets with a 0 byte; the CR padding is not text.
   out: count * 8 / 7 + 1 bytes. Returns septets written. */
ZV_API int UncompressGsm7bit(const uint8_t *octets, uint8_t *out, int count);

/* Each byte as one unit, then a 0 unit. out: count + 1 units. Returns count. */
ZV_API int gsmDecode8bit(const uint8_t *in, uint16_t *out, int count);

ZV_API int hexCharToInt(int c);

/* Hex text to bytes, at most max of them. Returns (strlen + 1) / 2, or -1 for a null string, a
   non-hex character or more than max bytes (the bytes before the fault are written). */
ZV_API int hexStringToBytes(const char *hex, uint8_t *out, int max);

/* Upper-case hex and a terminator. out: 2 * count + 1 chars. Returns 2 * count. */
ZV_API int BytesToHexstring(const uint8_t *in, char *out, int count);

ZV_API int IsLittleEndian(void);

/* Decodes the first count bytes of UTF-8. out: count units. Returns units written. */
ZV_API int Utf8ToUnicode(const char *utf8, uint16_t *out, int count);

/* Units to UTF-8, no terminator. out: 3 * count bytes. Returns bytes written. */
ZV_API int UnicodeToUtf8(const uint16_t *in, char *out, int count);

/* Units to big-endian byte pairs. out: 2 * count bytes. Returns 2 * count. */
ZV_API int WidecharToByte(const uint16_t *in, uint8_t *out, int count);

/* Big-endian byte pairs to units (an odd last byte is ignored). out: count / 2 units. */
ZV_API int BytesToWidechar(const uint8_t *in, uint16_t *out, int count);

/* Copies src up to its first "FFFF" group (offsets 0, 4, 8, ...) or count chars, terminated.
   dst: count + 1 chars. */
ZV_API void str_cut_ffff(char *dst, const char *src, int count);

/* The same with "FF" pairs at even offsets. dst: count + 1 chars. */
ZV_API void str_cut_ff(char *dst, const char *src, int count);

/* SIM 81/82 character bytes: bit 7 set means base + low 7 bits. out: count units. Returns base. */
ZV_API int ucs2_8182_to_unicode(int base, uint16_t *out, const uint8_t *in, int count);

/* SIM alpha text in hex (tag 80, 81 or 82) to terminated UTF-8. utf8: 190 bytes.
   Returns 0, or -1 for null pointers, an unknown tag or text that is not hex. */
ZV_API int UCS2_to_UTF8(const char *hex, char *utf8);

#ifdef __cplusplus
namespace zv::codec {

/* Room the C functions need, from their counts (UnpackedMax and HexMax with the terminator). */
constexpr size_t SeptetsMax(size_t units) {
    return 2 * units;
}
constexpr size_t PackedMax(size_t septets) {
    return septets * 7 / 8 + 1;
}
constexpr size_t UnpackedMax(size_t octets) {
    return octets * 8 / 7 + 1;
}
constexpr size_t Utf8Max(size_t units) {
    return 3 * units;
}
constexpr size_t HexMax(size_t bytes) {
    return 2 * bytes + 1;
}

/* Longest SIM alpha text taken: the hex after the tag (and length byte) is held in a
   128-char buffer, so 127 digits at most; longer text is cut at the last whole character. */
constexpr size_t kSimAlphaHexMax = 127;
constexpr size_t kSimAlphaUtf8Max = 190; /* 63 units of 3 bytes + terminator; cut text needs 187 */

/* The conversions with an explicit output size (bytes, or units for uint16_t outputs).
   Each returns what its C namesake returns, or -1 when the output would not fit; nothing is
   ever written at or past outSize. */
int UnicodeToGsm7bit(const uint16_t *in, uint8_t *out, size_t count, size_t outSize);
int Gsm7bitToUnicodeExt(const uint8_t *in, uint16_t *out, size_t count, int language, size_t outSize);
int CompressGsm7bit(const uint8_t *septets, uint8_t *out, size_t count, size_t outSize);
int UncompressGsm7bit(const uint8_t *octets, uint8_t *out, size_t count, size_t outSize);
int Utf8ToUnicode(const char *utf8, uint16_t *out, size_t count, size_t outSize);
int UnicodeToUtf8(const uint16_t *in, char *out, size_t count, size_t outSize);
int UCS2_to_UTF8(const char *hex, char *utf8, size_t outSize);

}  // namespace zv::codec
#endif

#endif /* ZORVIK_CODEC_CODEC_H */
