/*
 * SIM file access through the restricted SIM access command (TS 27.007 +CRSM): the request
 * handler, the answer parser, and the rewrites that turn a USIM's file control parameters
 * (TS 102 221 FCP) into the GET RESPONSE layout older frameworks expect (TS 51.011).
 */
#ifndef ZORVIK_SIM_SIM_IO_H
#define ZORVIK_SIM_SIM_IO_H

#include <stddef.h>

#include <zvril.h>

#include "atchannel/atchannel.h"

/* Sends one +CRSM command for the request, with the retries and rewrites; fills out (the
   simResponse is a heap string the caller frees). 1 on success, 0 on failure. */
ZV_API int GetSIMResponse(const char *command, RIL_SIM_IO_v6 *request, RIL_SIM_IO_Response *out);
/* Parser of message 28: "+CRSM: <sw1>,<sw2>[,<response>]" into the message's
   RIL_SIM_IO_Response. 1 on success, 0 when a field cannot be read. */
ZV_API int FillSIMResponse(RilMessage *message, ATResponse *response);
/* Index of tag in an FCP split into two-digit tokens; -1 when token 0 is not "62", a value
   not less than count when the tag is not there. */
ZV_API int isParameterMatch(char ***tokens, const char *tag, int count);

#ifdef __cplusplus
#include <string>

namespace zv::sim {

inline constexpr int kGetResponse = 192;
inline constexpr int kEfSpn = 0x6F46;

void RequestSIMIO(void *data, size_t datalen, RIL_Token t);

/* The FCP length a GET RESPONSE for EF SPN declares in its second byte, or -1. */
int DeclaredFcpLength(const std::string &hex);
/* EF SPN: size (tag 80), type of file and structure moved to where a 2G GET RESPONSE keeps
   them. False (and hex untouched) when it is not an FCP that can be rewritten safely. */
bool RewriteSpnFcp(std::string &hex);
/* A record file's FCP (five-byte file descriptor) to the 15-byte 2G GET RESPONSE. False (and
   hex untouched) when it is not such an FCP or too short to convert. */
bool ConvertRecordFcp(std::string &hex);
/* Only hex digits, an even number of them (an empty string passes). */
bool IsHexText(const char *s);

}  // namespace zv::sim
#endif

#endif
