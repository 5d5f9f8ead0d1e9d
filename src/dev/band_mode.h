/*
 * Band modes: the framework's band mode numbers (0 unspecified, 1 Europe, 2 USA, 3 Japan,
 * 4 and 5 Australia, 6 to 17 the CDMA band classes) against the hexadecimal band masks the
 * modem offers in its ^SYSCFGEX=? / ^SYSCFG=? answer. A query fills a table of the mask text
 * that selects each offered mode; a setting sends that text back.
 */
#ifndef ZORVIK_DEV_BAND_MODE_H
#define ZORVIK_DEV_BAND_MODE_H

#include <stddef.h>

#include <zvril.h>

#include "atchannel/atchannel.h"

/* One regional group while an unknown mask is spread over the groups: the bits it collects
   and, once made, their text as the modem writes masks (heap, freed by the caller). */
typedef struct BandGroup {
    int high_mask; /* bits above the low 32 (digits before the last eight) */
    int low_mask;  /* the last eight hex digits */
    char *mask_text;
} BandGroup;

/* One piece of a split text (heap, with its text); the masks are filled by the band-name pass. */
typedef struct BandNode {
    int high_mask;
    int low_mask;
    char *text;
    struct BandNode *next;
} BandNode;

#define ZV_BAND_MODE_COUNT 18     /* band mode numbers 0 to 17 */
#define ZV_BAND_ENTRY_SIZE 16     /* a table entry: at most 15 characters and a terminator */
#define ZV_BAND_ANSWER_INTS 20    /* the query answer: count (entries + 1) and up to 19 modes */
#define ZV_BAND_GROUP_COUNT 6     /* regional band modes 0 to 5 */

/* Request 66: asks the modem for its band list and completes with the 20-int answer. */
ZV_API void RequestQueryAvailableBandMode(int request, RIL_Token t);

/* Parser for message 66: message->text is the command that answered, message->data the
   zeroed 20-int answer. Clears and refills the band table. 1 on success, else 0. */
ZV_API int QueryAvailableBandMode(RilMessage *message, ATResponse *response);
/* Just after the '(' that opens the band list in the answer line, or nullptr. */
ZV_API char *FindBandPosition(RilMessage *message, ATResponse *response);
/* Band mode of a mask the table knows (letter case ignored), or -1. */
ZV_API int MatchBandsbyStatus(const char *mask);
/* Spreads one mask over the six regional groups (each cleared first); names is the
   "/"-separated list of band names to look at. The groups' texts are the caller's to free. */
ZV_API void MatchBandsbyBandName(const char *names, int high, int low, BandGroup *groups);
/* The pieces of text between separators, or nullptr; free with FreeBandNodes. */
ZV_API BandNode *Split(const char *text, const char *separator);
ZV_API void FreeBandNodes(BandNode *head);
/* Copies text[from..to] (to limited to the last character) and a terminator into out, which
   holds at least to - from + 2 bytes. */
ZV_API void SubStringbyIndex(const char *text, int from, int to, char *out);

#ifdef __cplusplus
namespace zv::dev {

/* The fixed list of band names spread over the groups for an unknown mask. */
inline constexpr const char kBandNameList[] =
    "GSM850/GSM900/GSM1800/GSM1900/WCDMA800/WCDMA850/WCDMA900/WCDMA1700/WCDMA1900/WCDMA2000/WCDMA2100/All Bands";

void RequestSetBandMode(void *data, size_t datalen, RIL_Token t);
/* The mask text the last answered query gave for a mode; "" when none or out of range. */
const char *BandTableEntry(int mode);

}  // namespace zv::dev
#endif

#endif
